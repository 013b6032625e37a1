// SPDX-License-Identifier: GPL-3.0-or-later
// Every card operation with the writer lost (silent, or a port failing once) or stopped at many
// command boundaries: a success only with the file or card a run without the loss gives, no file
// after a failed read, and after a stop only what switches off what the operation switched on.
#include <gtest/gtest.h>

#include <sstream>

#include "bench.h"
#include "chips.h"
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
  bool ws, cartridge, restore;  // a restore reads its file and keeps a copy of the save first
  ops::Result (*run)(ops::Operation&);
  std::uint8_t cartridgeType = 0x1B;  // MBC5; 0x03: a banked MBC1
};

// A command that switches off what an operation switched on, and whether any is left on.
bool Closing(const sim::CommandRecord& c, bool cartridge) {
  return (c.op == 0 && c.address() == 0x6000 && c.value == 0) ||
         (cartridge && c.op == 0 && c.address() == 0 && c.value == 0) || c == sim::CommandRecord{6, 2, 10, 0, 0};
}
// The status query right after a block went out: only the writer knows whether it took it.
bool StatusOfBlockSent(const std::vector<sim::CommandRecord>& log, std::size_t k) {
  const std::string name = sim::commandName(log[k]);
  return k > 0 && (name == "QueryState3" || name == "QueryState6") && sim::commandName(log[k - 1]) == "WriteBlock";
}
bool LeftOn(const std::vector<sim::CommandRecord>& log, bool cartridge) {
  bool saveMemory = false, banking = false, voltage = false;
  for (const sim::CommandRecord& c : log) {
    if (cartridge && c.op == 0 && c.address() == 0) saveMemory = c.value == 0x0A;
    if (c.op == 0 && c.address() == 0x6000) banking = c.value == 0x01;
    if (c == sim::CommandRecord{6, 2, 9, 0, 0} || c == sim::CommandRecord{6, 2, 10, 0, 0}) voltage = c.p2 == 9;
  }
  return saveMemory || banking || voltage;
}

class LostWriter : public ::testing::TestWithParam<SweepCase> {};

TEST_P(LostWriter, AtCommandBoundaries_successOnlyWithTheRightResult) {
  const SweepCase& c = GetParam();
  gbtest::TempDir dir;
  support::writeFile(dir / "cgbbios.bin", support::makeMenuImage(0x4000));
  const Bytes game = support::makeGbImage({"GAME", c.cartridgeType, 1, 3, false});
  support::writeFile(dir / "game.gb", game);
  Bytes ws(0x80000), save(0x8000);  // each WS block, each save bank its own
  for (std::size_t i = 0; i < ws.size(); ++i) ws[i] = static_cast<std::uint8_t>(i >> 15);
  for (std::size_t i = 0; i < save.size(); ++i) save[i] = static_cast<std::uint8_t>(i * 3 + (i >> 7));
  support::writeFile(dir / "game.ws", ws);
  support::writeFile(dir / "in.sav", save);

  ops::ProgramState state;
  state.setWriterType(c.ws ? library::WriterType::Ws : library::WriterType::Gb);
  state.programDir = dir.path().string() + "/";
  state.keepSaveCopies = c.restore;
  state.backupFolder = (dir / "copies").string();
  ASSERT_TRUE(c.ws ? state.cardList.AddWsImage(dir.path(), "game.ws").added
                   : state.cardList.AddGbImage(dir.path(), "game.gb", state.writerType()).added);
  // A cartridge with a save, or a flash card written with the image.
  sim::CardContents card = c.cartridge ? sim::gbCartridge(game, save)
                           : c.ws      ? sim::emptyWsFlashCard()
                                       : sim::emptyGbFlashCard(support::chipId("AMD 29F010"), sim::kDefaultFlashChip);
  if (!c.cartridge) {
    Rig prepare(card, {}, state);
    ASSERT_TRUE((c.ws ? ws::WriteWsCard(prepare.op, "") : gb::WriteGbCard(prepare.op)).ok());
    card = prepare.contents();
  }
  ASSERT_EQ(detect::ProbeCard(Rig(card, {}, state).op.link, state.writerType(), state.cardInfo),
            detect::ProbeOutcome::Probed);

  const fs::path out = dir / "out.bin";
  const auto file = [&] { return fs::exists(out) ? support::readFile(out) : Bytes(); };
  const auto runWith = [&](sim::Faults faults, std::uint64_t stopAfter = 0) {
    fs::remove(out);
    faults.accessUs = 1;  // the writer's clock as a real port's
    auto rig = std::make_unique<Rig>(card, faults, state);
    rig->writer.setCommandHooks({{}, [r = rig.get(), stopAfter] {
                                   if (r->writer.commands().size() == stopAfter) r->stop.RequestStop();
                                 }});
    rig->window.fileAnswer = (c.restore ? dir / "in.sav" : out).string();
    return std::pair(c.run(rig->op), std::move(rig));
  };
  const auto [healthyResult, healthy] = runWith({});
  ASSERT_TRUE(healthyResult.ok()) << healthyResult.text;
  const sim::CardContents expectedCard = healthy->contents();
  const Bytes expectedFile = file();
  std::vector<std::uint64_t> starts;  // bytes crossed before each command
  std::size_t lastRead = 0;           // commands up to the last block read: the work is done then
  std::istringstream trace(healthy->trace.str());
  std::uint64_t crossed = 0;
  for (std::string line; std::getline(trace, line); crossed += line.rfind('#', 0) == 0 ? 0 : line.size() / 3) {
    if (line.size() > 2 && line[0] == '#' && std::isupper(static_cast<unsigned char>(line[2])))
      starts.push_back(crossed);
    if (line == "# ReadBlock") lastRead = starts.size();
  }

  enum Loss { Silent, PortFails, Stop };
  const char* const kLossNames[] = {"silent from byte ", "port fails at byte ", "stop after command "};
  const std::size_t n = starts.size(), step = std::max<std::size_t>(1, n / 100);
  for (std::size_t i = 0; i < n; i = i + step < n || i + 1 == n ? i + step : n - 1) {  // and the last one
    for (const auto& [loss, at] : {std::pair{Silent, starts[i]},
                                   {Silent, starts[i] + 1},
                                   {PortFails, starts[i]},
                                   {Stop, std::uint64_t{i + 1}}}) {
      SCOPED_TRACE(std::string(kLossNames[loss]) + std::to_string(at));
      sim::Faults faults;
      if (loss != Stop) (loss == Silent ? faults.dropAfter : faults.portFailAt) = at;
      const auto [result, rig] = runWith(faults, loss == Stop ? at : 0);
      if (loss == Stop) {
        const auto& log = rig->writer.commands();
        for (std::size_t k = std::min<std::size_t>(at, log.size()); k < log.size(); ++k)
          EXPECT_TRUE(Closing(log[k], c.cartridge) || StatusOfBlockSent(log, k))
              << "sent after the stop: " << sim::commandName(log[k]);
        EXPECT_FALSE(LeftOn(log, c.cartridge)) << "the card is left with something switched on";
        EXPECT_TRUE(result.ok() || !(at == n || (!expectedFile.empty() && at >= lastRead))) << result.text;
      }
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
    ::testing::Values(SweepCase{"cartRead", false, true, false, [](Op& op) { return gb::ReadGbCard(op, 0, false); }},
                      SweepCase{"cartBackup", false, true, false, [](Op& op) { return gb::BackupGbRam(op, 0); }},
                      SweepCase{"cartRestore", false, true, true, [](Op& op) { return gb::RestoreGbRam(op, 0); }},
                      SweepCase{"mbc1Backup", false, true, false, [](Op& op) { return gb::BackupGbRam(op, 0); }, 0x03},
                      SweepCase{"mbc1Restore", false, true, true, [](Op& op) { return gb::RestoreGbRam(op, 0); }, 0x03},
                      SweepCase{"flashWrite", false, false, false, [](Op& op) { return gb::WriteGbCard(op); }},
                      SweepCase{"flashRead", false, false, false, [](Op& op) { return gb::ReadGbCard(op, 0, false); }},
                      SweepCase{"flashBackup", false, false, false, [](Op& op) { return gb::BackupGbRam(op, 0); }},
                      SweepCase{"flashRestore", false, false, true, [](Op& op) { return gb::RestoreGbRam(op, 0); }},
                      SweepCase{"flashErase", false, false, false, [](Op& op) { return gb::EraseGbCard(op, 0); }},
                      SweepCase{"wsWrite", true, false, false, [](Op& op) { return ws::WriteWsCard(op, ""); }},
                      SweepCase{"wsRead", true, false, false, [](Op& op) { return ws::ReadWsCard(op, false); }},
                      SweepCase{"wsBackup", true, false, false, [](Op& op) { return ws::BackupWsRam(op); }},
                      SweepCase{"wsRestore", true, false, true, [](Op& op) { return ws::RestoreWsRam(op); }},
                      SweepCase{"wsErase", true, false, false, [](Op& op) { return ws::EraseWsCard(op); }}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
