// SPDX-License-Identifier: GPL-3.0-or-later
// How true the time left is. Operations run against a simulated writer slowed to a real port's
// pace (byte-delay) whose erases take real time (deaf-erase-ms: the writer holds the handshake
// while its chip erases, as the real one does). Every time left the operation reported from
// 20 % on is compared with the time that really remained, and the worst error of each
// operation is printed. A goal of ±25 %; the exit status is 1 when an operation misses it.
//
//   progress_estimate [BYTE_DELAY_US [ERASE_MS]]     (defaults: 10 and 150)
//   PROGRESS_TRACE=1 in the environment prints every report against the time really left.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "detect/probe.h"
#include "gb/gb_operations.h"
#include "gb_images.h"
#include "link/link.h"
#include "quiet_window.h"
#include "sim/sim_writer.h"
#include "ws/ws_operations.h"

namespace {

using namespace quillon;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kFrom = 0.20;         // the goal holds from this fraction on
constexpr double kGoal = 0.25;         // within this share of the time that really remained
constexpr double kShortestLeft = 1.0;  // seconds: below this a relative error says little

struct Sample {
  Clock::time_point at;
  double fraction;
  std::optional<double> left;
};

struct Scenario {
  const char* name;
  sim::CardContents (*card)();
  library::WriterType writer;
  std::function<ops::Result(ops::Operation&, const fs::path&)> run;
};

sim::CardContents GbFlash() { return sim::emptyGbFlashCard(); }
sim::CardContents WsFlash() { return sim::emptyWsFlashCard(); }
sim::CardContents GbCartridge() { return sim::gbCartridge(support::makeGbImage({"BENCH READ", 0x19, 4, 0, false})); }

void WriteFiles(const fs::path& dir) {
  support::writeFile(dir / "cgbbios.bin", support::makeMenuImage(0x4000));
  const char* titles[] = {"LARGE", "MEDIUM", "SMALL"};
  for (std::uint8_t i = 0; i < 3; ++i) {
    support::writeFile(dir / (std::string(titles[i]) + ".gb"),
                       support::makeGbImage({titles[i], 0x1B, static_cast<std::uint8_t>(4 - i), 2, false}));
  }
  std::vector<std::uint8_t> ws(0x80000);
  for (std::size_t i = 0; i < ws.size(); ++i) ws[i] = static_cast<std::uint8_t>(i * 7 + (i >> 10));
  support::writeFile(dir / "game.ws", ws);
  // An IPS patch: four bytes at 0x000100.
  const std::vector<std::uint8_t> patch = {'P',  'A', 'T', 'C', 'H', 0x00, 0x01, 0x00, 0x00,
                                           0x04, 1,   2,   3,   4,   'E',  'O',  'F'};
  support::writeFile(dir / "game.ips", patch);
}

const Scenario kScenarios[] = {
    {"GB write, three images", GbFlash, library::WriterType::Gb,
     [](ops::Operation& op, const fs::path& dir) {
       for (const char* name : {"LARGE.gb", "MEDIUM.gb", "SMALL.gb"})
         op.state.cardList.AddGbImage(dir, name, library::WriterType::Gb);
       return gb::WriteGbCard(op);
     }},
    {"GB read", GbCartridge, library::WriterType::Gb,
     [](ops::Operation& op, const fs::path&) { return gb::ReadGbCard(op, 0, false); }},
    {"GB erase", GbFlash, library::WriterType::Gb,
     [](ops::Operation& op, const fs::path&) { return gb::EraseGbCard(op, 0); }},
    {"WS write with patch", WsFlash, library::WriterType::Ws,
     [](ops::Operation& op, const fs::path& dir) {
       op.state.cardList.AddWsImage(dir, "game.ws");
       return ws::WriteWsCard(op, (dir / "game.ips").string());
     }},
};

// The worst relative error of the time left from kFrom on, and at what fraction.
struct Worst {
  double error = 0;
  double fraction = 0;
  int compared = 0;
};

Worst WorstError(const std::vector<Sample>& samples, Clock::time_point end) {
  Worst worst;
  for (const Sample& s : samples) {
    if (s.fraction < kFrom || !s.left) continue;
    const double actual = std::chrono::duration<double>(end - s.at).count();
    if (actual < kShortestLeft) continue;
    ++worst.compared;
    const double error = (*s.left - actual) / actual;
    if (std::fabs(error) > std::fabs(worst.error)) worst = {error, s.fraction, worst.compared};
  }
  return worst;
}

bool RunScenario(const Scenario& scenario, const fs::path& dir, std::uint32_t byteDelay, std::uint32_t eraseMs) {
  sim::SimWriter writer(scenario.card());
  writer.setCommandLog(false);
  std::ostringstream quiet;
  link::LinkOptions options;
  options.diagnostics = &quiet;
  link::Link link(writer, options);
  ops::ProgramState state;
  state.setWriterType(scenario.writer);
  state.programDir = dir.string() + "/";
  state.keepSaveCopies = true;
  state.backupFolder = (dir / "copies").string();
  if (scenario.writer == library::WriterType::Gb) (void)detect::ProbeCard(link, scenario.writer, state.cardInfo);
  writer.faults().byteDelay = byteDelay;
  writer.faults().deafEraseMs = eraseMs;

  benchsupport::QuietWindow window;
  window.answer = (dir / "read.gb").string();
  std::vector<Sample> samples;
  window.onProgress = [&samples](const ops::ProgressReport& report) {
    samples.push_back({Clock::now(), report.fraction, report.secondsLeft});
  };
  ops::StopToken stop;
  ops::Operation op{link, state, window, stop.flag()};
  const auto began = Clock::now();
  const ops::Result result = scenario.run(op, dir);
  const auto end = Clock::now();
  if (!result.ok()) {
    std::printf("%-24s failed: %s\n", scenario.name, result.text.c_str());
    return false;
  }
  const Worst worst = WorstError(samples, end);
  if (std::getenv("PROGRESS_TRACE") != nullptr) {
    for (const Sample& s : samples)
      std::printf("  %6.2f s %5.1f %% left %6.2f real %6.2f\n", std::chrono::duration<double>(s.at - began).count(),
                  s.fraction * 100, s.left.value_or(-1), std::chrono::duration<double>(end - s.at).count());
  }
  std::printf("%-24s %6.1f s  worst time-left error from 20 %%: %+5.1f %% at %4.1f %% (%d reports compared)\n",
              scenario.name, std::chrono::duration<double>(end - began).count(), worst.error * 100,
              worst.fraction * 100, worst.compared);
  return std::fabs(worst.error) <= kGoal;
}

}  // namespace

int main(int argc, char** argv) {
  const auto byteDelay = static_cast<std::uint32_t>(argc > 1 ? std::atoi(argv[1]) : 10);
  const auto eraseMs = static_cast<std::uint32_t>(argc > 2 ? std::atoi(argv[2]) : 150);
  const fs::path dir = fs::temp_directory_path() / ("quillon-progress-" + std::to_string(::getpid()));
  fs::create_directories(dir / "copies");
  WriteFiles(dir);
  std::printf("byte-delay=%u deaf-erase-ms=%u; goal: within %.0f %% while at least %.0f s remains\n", byteDelay,
              eraseMs, kGoal * 100, kShortestLeft);
  bool met = true;
  for (const Scenario& scenario : kScenarios) met = RunScenario(scenario, dir, byteDelay, eraseMs) && met;
  fs::remove_all(dir);
  return met ? 0 : 1;
}
