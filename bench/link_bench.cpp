// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of the link: port accesses per byte, the link's own time per port access, and the
// simulated writer's end-to-end throughput for 16 KiB blocks.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "link/link.h"
#include "sim/sim.h"

namespace {

using namespace quillon;

// An always-ready port that answers every read with zero nibbles and does nothing else:
// what remains is the link's own work.
class NullPort final : public link::Port {
 public:
  std::uint8_t readStatus() override { return link::kStatusReady; }
  void writeData(std::uint8_t value) override { benchmark::DoNotOptimize(value); }
  std::uint8_t readControl() override { return 0; }
  void writeControl(std::uint8_t value) override { benchmark::DoNotOptimize(value); }
  void delayTicks(std::uint32_t) override {}
  std::string describe() const override { return "null"; }
};

void BM_SendByte(benchmark::State& state) {
  NullPort port;
  link::Link link(port);
  const auto before = link.portAccesses();
  for (auto _ : state) link.SendByte(0x5A);
  state.counters["accesses/byte"] =
      static_cast<double>(link.portAccesses() - before) / static_cast<double>(state.iterations());
  state.counters["ns/access"] = benchmark::Counter(static_cast<double>(link.portAccesses() - before),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_SendByte);

void BM_ReceiveByte(benchmark::State& state) {
  NullPort port;
  link::Link link(port);
  const auto before = link.portAccesses();
  for (auto _ : state) benchmark::DoNotOptimize(link.ReceiveByte());
  state.counters["accesses/byte"] =
      static_cast<double>(link.portAccesses() - before) / static_cast<double>(state.iterations());
  state.counters["ns/access"] = benchmark::Counter(static_cast<double>(link.portAccesses() - before),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ReceiveByte);

struct SimWriterDir {
  std::filesystem::path dir;
  SimWriterDir() {
    dir = std::filesystem::temp_directory_path() / "quillon-link-bench";
    std::filesystem::remove_all(dir);
    sim::insertGbFlash(dir);
  }
  ~SimWriterDir() { std::filesystem::remove_all(dir); }
};

void BM_SimWriteBlock16K(benchmark::State& state) {
  SimWriterDir writer;
  auto port = sim::openSimPort(writer.dir);
  link::Link link(*port);
  std::vector<std::uint8_t> data(0x4000, 0xFF);
  link.WriteByte(0x0000, 0x0A);  // FLASH ROM presented; programming 0xFF changes nothing
  for (auto _ : state) link.WriteBlock(10, 0x4000, data);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 0x4000);
}
BENCHMARK(BM_SimWriteBlock16K)->Unit(benchmark::kMillisecond);

void BM_SimReadBlock16K(benchmark::State& state) {
  SimWriterDir writer;
  auto port = sim::openSimPort(writer.dir);
  link::Link link(*port);
  std::vector<std::uint8_t> buffer(0x4000);
  for (auto _ : state) {
    if (link.ReadBlock(0x4000, buffer) != 0) state.SkipWithError("check failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 0x4000);
}
BENCHMARK(BM_SimReadBlock16K)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
