// SPDX-License-Identifier: GPL-3.0-or-later
// Every card operation with the writer lost at many command boundaries (silent from its first
// byte or from one byte into it, or a port that fails once there): no run reports success
// unless its file or card is exactly what a run without the loss gives; a failed read leaves
// no file.
#include <gtest/gtest.h>

#include <sstream>

#include "bench.h"
#include "gb/gb_operations.h"
#include "link/trace.h"
#include "sim/sim.h"
#include "ws/ws_operations.h"

namespace quillon::test {
namespace {

using support::Bytes;
namespace fs = std::filesystem;

struct Rig {
  sim::SimWriter writer;
  std::ostringstream diagnostics, trace;
  link::StreamTrace traced{trace};
  // A busy writer's silence is given up sooner than on a real port: the outcome is what counts.
  link::Link link{writer,
                  {.busySilence = std::chrono::milliseconds(300), .diagnostics = &diagnostics, .trace = &traced}};
  gbtest::RecordingWindow window;
  ops::StopToken stop;
  ops::Operation op;
  Rig(sim::CardContents card, sim::Faults faults, ops::ProgramState& state)
      : writer(std::move(card), faults), op{link, state, window, stop.flag()} {}
  sim::CardContents contents() const {
    sim::CardContents card{writer.cardKind(), writer.biosChip(), writer.flashChip(), {}};
    for (std::size_t m = 0; m < sim::kMemoryCount; ++m) {
      const auto bytes = writer.memory(static_cast<sim::Memory>(m));
      card.memory[m].assign(bytes.begin(), bytes.end());
    }
    return card;
  }
};

struct SweepCase {
  const char* name;
  bool ws, cartridge, restore;
  ops::Result (*run)(ops::Operation&);
};

class LostWriter : public ::testing::TestWithParam<SweepCase> {};

TEST_P(LostWriter, AtCommandBoundaries_successOnlyWithTheRightResult) {
  const SweepCase& c = GetParam();
  gbtest::TempDir dir;
  support::writeFile(dir / "cgbbios.bin", support::makeMenuImage(0x4000));
  const Bytes game = support::makeGbImage({"GAME", 0x1B, 1, 3, false});
  support::writeFile(dir / "game.gb", game);
  Bytes ws(0x80000);
  for (std::size_t i = 0; i < ws.size(); ++i) ws[i] = static_cast<std::uint8_t>(i >> 15);  // each block its own
  support::writeFile(dir / "game.ws", ws);
  Bytes save(0x8000);
  for (std::size_t i = 0; i < save.size(); ++i) save[i] = static_cast<std::uint8_t>(i * 3 + (i >> 7));
  support::writeFile(dir / "in.sav", save);

  ops::ProgramState state;
  state.setWriterType(c.ws ? library::WriterType::Ws : library::WriterType::Gb);
  state.programDir = dir.path().string() + "/";
  ASSERT_TRUE(c.ws ? state.cardList.AddWsImage(dir.path(), "game.ws").added
                   : state.cardList.AddGbImage(dir.path(), "game.gb", state.writerType()).added);
  // A cartridge with a save, or a flash card written with the image.
  sim::CardContents card = c.cartridge ? sim::gbCartridge(game, save)
                           : c.ws      ? sim::emptyWsFlashCard()
                                       : sim::emptyGbFlashCard(12, 21);
  if (!c.cartridge) {
    Rig prepare(card, {}, state);
    ASSERT_TRUE((c.ws ? ws::WriteWsCard(prepare.op, "") : gb::WriteGbCard(prepare.op)).ok());
    card = prepare.contents();
  }
  Rig probe(card, {}, state);
  ASSERT_EQ(detect::ProbeCard(probe.link, state.writerType(), state.cardInfo), detect::ProbeOutcome::Probed);

  const fs::path out = dir / "out.bin";
  const auto file = [&] { return fs::exists(out) ? support::readFile(out) : Bytes(); };
  const auto runWith = [&](sim::Faults faults) {
    fs::remove(out);
    faults.accessUs = 1;  // the writer's clock as a real port's
    auto rig = std::make_unique<Rig>(card, faults, state);
    rig->window.fileAnswer = (c.restore ? dir / "in.sav" : out).string();
    return std::pair(c.run(rig->op), std::move(rig));
  };
  const auto [healthyResult, healthy] = runWith({});
  ASSERT_TRUE(healthyResult.ok()) << healthyResult.text;
  const sim::CardContents expectedCard = healthy->contents();
  const Bytes expectedFile = file();
  std::vector<std::uint64_t> starts;  // bytes crossed before each command
  std::istringstream trace(healthy->trace.str());
  std::uint64_t crossed = 0;
  for (std::string line; std::getline(trace, line); crossed += line.rfind('#', 0) == 0 ? 0 : line.size() / 3)
    if (line.size() > 2 && line[0] == '#' && std::isupper(static_cast<unsigned char>(line[2])))
      starts.push_back(crossed);

  for (std::size_t i = 0; i < starts.size(); i += std::max<std::size_t>(1, starts.size() / 100)) {
    for (const auto& [silent, at] : {std::pair{true, starts[i]}, {true, starts[i] + 1}, {false, starts[i]}}) {
      SCOPED_TRACE((silent ? "silent from byte " : "port fails at byte ") + std::to_string(at));
      sim::Faults faults;
      (silent ? faults.dropAfter : faults.portFailAt) = at;
      const auto [result, rig] = runWith(faults);
      if (result.ok()) {
        EXPECT_TRUE(rig->contents().memory == expectedCard.memory) << "a success with the card not as it should be";
        EXPECT_TRUE(file() == expectedFile) << "a success with a wrong file";
      } else if (!expectedFile.empty()) {
        EXPECT_FALSE(fs::exists(out)) << result.text;
      }
    }
  }
}

using Op = ops::Operation;
INSTANTIATE_TEST_SUITE_P(
    Ops, LostWriter,
    ::testing::Values(SweepCase{"cartRead", false, true, false, [](Op& op) { return gb::ReadGbCard(op, 0); }},
                      SweepCase{"cartBackup", false, true, false, [](Op& op) { return gb::BackupGbRam(op, 0); }},
                      SweepCase{"cartRestore", false, true, true, [](Op& op) { return gb::RestoreGbRam(op, 0); }},
                      SweepCase{"flashWrite", false, false, false, [](Op& op) { return gb::WriteGbCard(op); }},
                      SweepCase{"flashRead", false, false, false, [](Op& op) { return gb::ReadGbCard(op, 0); }},
                      SweepCase{"flashBackup", false, false, false, [](Op& op) { return gb::BackupGbRam(op, 0); }},
                      SweepCase{"flashRestore", false, false, true, [](Op& op) { return gb::RestoreGbRam(op, 0); }},
                      SweepCase{"flashErase", false, false, false, [](Op& op) { return gb::EraseGbCard(op, 0); }},
                      SweepCase{"wsWrite", true, false, false, [](Op& op) { return ws::WriteWsCard(op, ""); }},
                      SweepCase{"wsRead", true, false, false, [](Op& op) { return ws::ReadWsCard(op); }},
                      SweepCase{"wsBackup", true, false, false, [](Op& op) { return ws::BackupWsRam(op); }},
                      SweepCase{"wsRestore", true, false, true, [](Op& op) { return ws::RestoreWsRam(op); }},
                      SweepCase{"wsErase", true, false, false, [](Op& op) { return ws::EraseWsCard(op); }}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
