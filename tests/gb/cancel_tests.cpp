// SPDX-License-Identifier: GPL-3.0-or-later
// A stop request at many points of every operation: the operation ends at once, the writer
// receives nothing after the stop but the programming voltage switched off, no file is left
// behind.
#include "bench.h"
#include "chips.h"
#include "gb/gb_operations.h"
#include "sim/sim.h"

namespace quillon::gbtest {
namespace {

using namespace support::chips;

enum class Run { Write, Erase, Read, Backup, Restore };

struct CancelCase {
  const char* name;
  Run run;
  sim::ChipId bios;
  std::string atWork;        // stop when the step label shows this text
  std::uint64_t atProgress;  // or when the progress reaches this (0: not)
  bool inDialog;             // or while the file dialog is open
};

class Cancelling : public ::testing::TestWithParam<CancelCase> {};

TEST_P(Cancelling, StopRequest_onlyVoltageOffAfter_noFileLeft) {
  const CancelCase& c = GetParam();
  const bool usesImage = c.run == Run::Read || c.run == Run::Backup || c.run == Run::Restore;
  Bench bench(sim::emptyGbFlashCard(c.bios, sim::kDefaultFlashChip));
  support::writeFile(bench.dir / "one.gb", support::makeGbImage({"ONE", 0x19, 1, 3, false}));
  support::writeFile(bench.dir / "two.gb", support::makeGbImage({"TWO", 0x19, 0, 2, false}));
  bench.Compose(bench.dir.path(), {"one.gb", "two.gb"});
  if (usesImage) {
    ASSERT_EQ(gb::WriteGbCard(bench.op).text, "Writing Success");
    ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
    bench.writer->clearCommands();
    bench.window.beeps = 0;
  }
  const fs::path out = bench.dir / "out.bin";
  support::writeFile(out, Bytes(0x8000, 0x77));  // restore reads it; read and backup must leave it
  bench.window.fileAnswer = out.string();
  if (!c.atWork.empty()) bench.StopAtWork(c.atWork);
  if (c.atProgress) bench.StopAtProgress(c.atProgress);
  if (c.inDialog) bench.StopInDialog();

  ops::Result result;
  switch (c.run) {
    case Run::Write:
      result = gb::WriteGbCard(bench.op);
      break;
    case Run::Erase:
      result = gb::EraseGbCard(bench.op, 1);
      break;
    case Run::Read:
      result = gb::ReadGbCard(bench.op, 0, false);
      break;
    case Run::Backup:
      result = gb::BackupGbRam(bench.op, 0);
      break;
    case Run::Restore:
      result = gb::RestoreGbRam(bench.op, 0);
      break;
  }
  ASSERT_TRUE(bench.stop.StopRequested()) << "the stop point was never reached";
  EXPECT_EQ(result.outcome, ops::Outcome::Stopped);
  const auto& sent = bench.writer->commands();
  ASSERT_GE(sent.size(), bench.commandsAtStop());
  EXPECT_LE(sent.size() - bench.commandsAtStop(), 1u);
  for (std::size_t i = bench.commandsAtStop(); i < sent.size(); ++i)
    EXPECT_EQ(sent[i], (sim::CommandRecord{6, 2, 10, 0, 0})) << "command " << i << " after the stop";
  EXPECT_EQ(bench.window.beeps, 0) << "a stopped operation's window closes without a result";
  EXPECT_EQ(support::readFile(out), Bytes(0x8000, 0x77));
  for (const auto& entry : fs::directory_iterator(bench.dir.path()))
    EXPECT_EQ(entry.path().string().find(".quillon-"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Points, Cancelling,
    ::testing::Values(
        CancelCase{"writeReadingMenu", Run::Write, kIntel28F010, "Reading BIOS", 0, false},
        CancelCase{"writeFirstErase", Run::Write, kIntel28F010, "Earsing ROM : 0x000000 - 0x00FFFF", 0, false},
        CancelCase{"writeSecondBank", Run::Write, kIntel28F010, "Writing : 0x004000 - 0x007FFF", 0, false},
        CancelCase{"writeMidErase", Run::Write, kIntel28F010, "", 0x10000 + 0x4000, false},
        CancelCase{"writeBiosErase", Run::Write, kAmd29F010, "Earsing BIOS", 0, false},
        // erases and images 0x3C000 bytes of work, then 16 of the menu's 128 pieces
        CancelCase{"writeMenuPieces", Run::Write, kSst29EE010, "", 0x3C000 + 0x800, false},
        CancelCase{"writeUpdating", Run::Write, kIntel28F010, "Updating BIOS", 0, false},
        CancelCase{"eraseBlocks", Run::Erase, kIntel28F010, "Earsing ROM : 0x050000 - 0x05FFFF", 0, false},
        CancelCase{"eraseBios", Run::Erase, kSst29EE010, "Earsing BIOS", 0, false},
        CancelCase{"eraseRam", Run::Erase, kIntel28F010, "Earsing RAM", 0, false},
        CancelCase{"readDialog", Run::Read, kIntel28F010, "", 0, true},
        CancelCase{"readMidway", Run::Read, kIntel28F010, "", 0x8000, false},
        CancelCase{"backupDialog", Run::Backup, kIntel28F010, "", 0, true},
        CancelCase{"backupMidway", Run::Backup, kIntel28F010, "", 0x2000, false},
        CancelCase{"restoreDialog", Run::Restore, kIntel28F010, "", 0, true},
        CancelCase{"restoreMidway", Run::Restore, kIntel28F010, "", 0x4000, false}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::gbtest

namespace quillon::gbtest {
namespace {

// A stop belongs to its operation: the next operation on the same link runs to its end,
// and the link has no stop flag left on it.
TEST(StopToken, StoppedWrite_nextOperationOnSameLinkRuns) {
  Bench bench(sim::emptyGbFlashCard());
  support::writeFile(bench.dir / "one.gb", support::makeGbImage({"ONE", 0x19, 0, 0, false}));
  bench.Compose(bench.dir.path(), {"one.gb"});
  bench.StopAtWork("Updating BIOS");
  ASSERT_EQ(gb::WriteGbCard(bench.op).outcome, ops::Outcome::Stopped);
  EXPECT_EQ(bench.link->stopFlag(), nullptr);

  ops::StopToken fresh;
  ops::Operation again{*bench.link, bench.state, bench.window, fresh.flag()};
  bench.window.onWork = nullptr;
  EXPECT_EQ(gb::WriteGbCard(again).text, "Writing Success");
}

}  // namespace
}  // namespace quillon::gbtest
