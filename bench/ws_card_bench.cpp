// SPDX-License-Identifier: GPL-3.0-or-later
// A whole 4 MiB WS card through the simulated writer: written (erases, each block sent
// twice, save memory cleared) and read back. Reports the wall time and the port accesses
// per payload byte of each operation as a whole (frames, checks, status polls included),
// and what the same traffic costs on a real port at 1 us per port access.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "gb_images.h"
#include "link/link.h"
#include "quiet_window.h"
#include "sim/sim_writer.h"
#include "ws/ws_operations.h"

namespace {

using namespace quillon;
namespace fs = std::filesystem;

constexpr std::uint64_t kCardBytes = 0x400000;

using benchsupport::QuietWindow;

struct Image {
  fs::path dir = fs::temp_directory_path() / ("quillon-ws-bench-" + std::to_string(::getpid()));
  Image() {
    fs::create_directories(dir);
    std::vector<std::uint8_t> bytes(kCardBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + (i >> 12));
    support::writeFile(dir / "bench.wsc", bytes);
  }
  ~Image() { fs::remove_all(dir); }
};

void Report(benchmark::State& state, std::uint64_t accesses) {
  const double perByte = static_cast<double>(accesses) / static_cast<double>(kCardBytes);
  state.counters["accesses/byte"] = perByte;
  state.counters["real port s"] = static_cast<double>(accesses) * 1e-6;  // at 1 us per access
  state.SetBytesProcessed(static_cast<std::int64_t>(kCardBytes * state.iterations()));
}

void BM_WriteAndReadCard(benchmark::State& state, bool write) {
  const Image image;
  std::uint64_t accesses = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sim::SimWriter writer(sim::emptyWsFlashCard());
    writer.setCommandLog(false);
    std::ostringstream quiet;
    link::LinkOptions options;
    options.diagnostics = &quiet;
    link::Link link(writer, options);
    ops::ProgramState programState;
    programState.setWriterType(quillon::library::WriterType::Ws);
    programState.cardList.AddWsImage(image.dir, "bench.wsc");
    QuietWindow window;
    ops::StopToken stop;
    ops::Operation op{link, programState, window, stop.flag()};
    if (!write) (void)ws::WriteWsCard(op, "");
    const auto before = link.portAccesses();
    state.ResumeTiming();

    bool ok = true;
    if (write) {
      ok = ws::WriteWsCard(op, "").ok();
    } else {
      window.answer = (image.dir / "read.wsc").string();
      ok = ws::ReadWsCard(op, false).ok();
    }
    if (!ok) state.SkipWithError("the operation failed");
    accesses = link.portAccesses() - before;
  }
  Report(state, accesses);
}

void BM_Write4MiBWsCard(benchmark::State& state) { BM_WriteAndReadCard(state, true); }
void BM_Read4MiBWsCard(benchmark::State& state) { BM_WriteAndReadCard(state, false); }
BENCHMARK(BM_Write4MiBWsCard)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Read4MiBWsCard)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
