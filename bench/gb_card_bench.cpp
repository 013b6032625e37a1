// SPDX-License-Identifier: GPL-3.0-or-later
// A whole 4 MiB GB card through the simulated writer: written (erases, banks, menu image)
// and read back image by image. Reports the wall time and the port accesses per payload
// byte of each operation as a whole (frames, checks, status polls included), and what the
// same traffic costs on a real port at 1 us per port access.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "detect/probe.h"
#include "gb/gb_operations.h"
#include "gb_images.h"
#include "link/link.h"
#include "quiet_window.h"
#include "sim/sim_writer.h"

namespace {

using namespace quillon;
namespace fs = std::filesystem;

constexpr std::uint64_t kCardBytes = 0x400000;

using benchsupport::QuietWindow;

struct Card {
  fs::path dir = fs::temp_directory_path() / ("quillon-gb-bench-" + std::to_string(::getpid()));
  Card() {
    fs::create_directories(dir);
    support::writeFile(dir / "cgbbios.bin", support::makeMenuImage(0x4000));
    for (int i = 0; i < 8; ++i) {
      const std::string title = "BENCH " + std::to_string(i);
      support::writeFile(dir / (title + ".gb"), support::makeGbImage({title, 0x19, 4, 0, false}));
    }
  }
  ~Card() { fs::remove_all(dir); }
};

void Report(benchmark::State& state, std::uint64_t accesses) {
  const double perByte = static_cast<double>(accesses) / static_cast<double>(kCardBytes);
  state.counters["accesses/byte"] = perByte;
  state.counters["real port s"] = static_cast<double>(accesses) * 1e-6;  // at 1 us per access
  state.SetBytesProcessed(static_cast<std::int64_t>(kCardBytes * state.iterations()));
}

void BM_WriteAndReadCard(benchmark::State& state, bool write) {
  const Card card;
  std::uint64_t accesses = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sim::SimWriter writer(sim::emptyGbFlashCard());
    writer.setCommandLog(false);
    std::ostringstream quiet;
    link::LinkOptions options;
    options.diagnostics = &quiet;
    link::Link link(writer, options);
    ops::ProgramState programState;
    programState.programDir = card.dir.string() + "/";
    for (int i = 0; i < 8; ++i)
      programState.cardList.AddGbImage(card.dir, "BENCH " + std::to_string(i) + ".gb", library::WriterType::Gb);
    QuietWindow window;
    ops::StopToken stop;
    ops::Operation op{link, programState, window, stop.flag()};
    if (!write) {
      (void)gb::WriteGbCard(op);
      (void)detect::ProbeCard(link, library::WriterType::Gb, programState.cardInfo);
    }
    const auto before = link.portAccesses();
    state.ResumeTiming();

    bool ok = true;
    if (write) {
      ok = gb::WriteGbCard(op).ok();
    } else {
      window.answer = (card.dir / "read.gb").string();
      for (int i = 0; i < 8 && ok; ++i) ok = gb::ReadGbCard(op, i, false).ok();
    }
    if (!ok) state.SkipWithError("the operation failed");
    accesses = link.portAccesses() - before;
  }
  Report(state, accesses);
}

void BM_Write4MiBCard(benchmark::State& state) { BM_WriteAndReadCard(state, true); }
void BM_Read4MiBCard(benchmark::State& state) { BM_WriteAndReadCard(state, false); }
BENCHMARK(BM_Write4MiBCard)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Read4MiBCard)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
