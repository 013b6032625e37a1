// SPDX-License-Identifier: GPL-3.0-or-later
// Every failure of the WS operations, driven by a fault of the simulated writer or a file:
// the message, nothing sent after the failing command, no file left; and stop requests at
// many points: nothing sent after the stop.
#include <algorithm>
#include <functional>

#include "ws_bench.h"

namespace quillon::wstest {
namespace {

enum class Run { Write, Read, Backup, Restore, Erase };

ops::Result RunOperation(Run run, ops::Operation& op, const std::string& patch) {
  switch (run) {
    case Run::Write:
      return ws::WriteWsCard(op, patch);
    case Run::Read:
      return ws::ReadWsCard(op, false);
    case Run::Backup:
      return ws::BackupWsRam(op);
    case Run::Restore:
      return ws::RestoreWsRam(op);
    case Run::Erase:
      return ws::EraseWsCard(op);
  }
  return {};
}

bool ProbeId(const CommandRecord& c) { return c.op == 6 && c.p1 == 5; }
bool SizeAnswer(const CommandRecord& c) { return c.op == 6 && c.p1 == 7; }
bool BlockRead(const CommandRecord& c) { return c.op == 1 && c.address() == 0x8000 && c.count() == 0x8000; }

struct FailureCase {
  const char* name;
  Run run;
  std::function<void(WsBench&)> arrange;
  std::string message;                             // "{dir}" stands for the test's folder
  std::function<bool(const CommandRecord&)> last;  // nullptr: nothing sent at all
};

using Arm = std::function<void(WsBench&)>;
Arm Fault(void (*arm)(sim::Faults&)) {
  return [arm](WsBench& bench) { arm(bench.writer->faults()); };
}
Arm Answer(const std::string& name) {
  return [name](WsBench& bench) { bench.window.fileAnswer = (bench.dir / name).string(); };
}
Arm ImageFile(std::size_t bytes) {
  return [bytes](WsBench& bench) { support::writeFile(bench.dir / "game.ws", Bytes(bytes, 0x33)); };
}

class Failing : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failing, Operation_fault_messageAndNothingAfter) {
  const FailureCase& c = GetParam();
  WsBench bench;
  auto sram = bench.writer->memory(sim::Memory::WsSram);
  std::fill(sram.begin(), sram.end(), std::uint8_t{0x11});
  bench.Compose(WsImage(0x80000, 1));
  const path out = bench.dir / "out.bin";
  support::writeFile(out, Bytes(0x8000, 0x77));
  bench.window.fileAnswer = out.string();
  c.arrange(bench);
  const std::string patch = gbtest::fs::exists(bench.dir / "none") ? (bench.dir / "none" / "p.ips").string() : "";

  const ops::Result result = RunOperation(c.run, bench.op, patch);
  std::string message = c.message;
  if (const auto at = message.find("{dir}"); at != std::string::npos) message.replace(at, 5, bench.dir.path().string());
  EXPECT_EQ(result.text, message);
  EXPECT_EQ(result.outcome, message == "Writing Cancelled" ? ops::Outcome::Cancelled : ops::Outcome::Failed);
  EXPECT_EQ(bench.window.work.back(), message);
  EXPECT_EQ(bench.window.beeps, 1);
  const auto& log = bench.writer->commands();
  if (!c.last) {
    EXPECT_TRUE(log.empty());
  } else {
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(c.last(log.back())) << "last command: " << sim::commandName(log.back());
  }
  EXPECT_TRUE(std::all_of(sram.begin(), sram.end(), [](std::uint8_t b) { return b == 0x11; }));
  EXPECT_TRUE(support::readFile(out) == Bytes(0x8000, 0x77));
  for (const auto& entry : gbtest::fs::directory_iterator(bench.dir.path()))
    EXPECT_EQ(entry.path().string().find(".quillon-"), std::string::npos) << entry.path();
  EXPECT_EQ(bench.state.settings.ramDir, "");
  EXPECT_EQ(bench.state.settings.saveRomDir, "");
}

const char* const kWrongCard = "Card is not inserted right or FLASH ROM is not supported";

INSTANTIATE_TEST_SUITE_P(
    Faults, Failing,
    ::testing::Values(
        FailureCase{"writeNoWriter", Run::Write, Fault([](sim::Faults& f) { f.absent = true; }), "Linking Fail", nullptr},
        FailureCase{"writeWrongCard", Run::Write, Fault([](sim::Faults& f) { f.wsId = 0x1234; }), kWrongCard, ProbeId},
        FailureCase{"writeNoImage", Run::Write, [](WsBench& b) { gbtest::fs::remove(b.dir / "game.ws"); },
                    "Opening File game.ws Error", ProbeId},
        FailureCase{"writeSize256Over", Run::Write, ImageFile(0x80000 + 0x100), "File Size Error", ProbeId},
        FailureCase{"writeSize1536Over", Run::Write, ImageFile(0x80000 + 0x600), "File Size Error", ProbeId},
        // A patch that cannot be read (none there, a folder) is not applied: the answer No to
        // writing the image without it ends the write before anything is erased.
        FailureCase{"writeNoPatch", Run::Write, [](WsBench& b) { gbtest::fs::create_directories(b.dir / "none"); },
                    "Writing Cancelled", ProbeId},
        FailureCase{"writePatchFolder", Run::Write,
                    [](WsBench& b) { gbtest::fs::create_directories(b.dir / "none" / "p.ips"); }, "Writing Cancelled",
                    ProbeId},
        FailureCase{"writeErase", Run::Write, Fault([](sim::Faults& f) { f.eraseFailBlock = 60; }),
                    "Earsing Flash ROM Fail", QueryState6},
        FailureCase{"writeEraseTop", Run::Write, Fault([](sim::Faults& f) { f.eraseFailBlock = 63; }),
                    "Earsing Flash ROM Fail", QueryState6},
        FailureCase{"writeProgram", Run::Write, Fault([](sim::Faults& f) { f.programFailBank = 57; }),
                    "Writing game.ws Fail", QueryState6},
        FailureCase{"writeRam", Run::Write, Fault([](sim::Faults& f) { f.sramWriteFail = true; }), "Earsing RAM Fail",
                    QueryState6},
        FailureCase{"readNoWriter", Run::Read, Fault([](sim::Faults& f) { f.absent = true; }), "Linking Error", nullptr},
        FailureCase{"readSizeCheck", Run::Read, Fault([](sim::Faults& f) { f.wsSizeBadCheck = true; }), "Reading Error",
                    SizeAnswer},
        // Answers: CheckDevice, the probe's CheckDevice and identification, the size query's
        // read and size, then the blocks.
        FailureCase{"readBlockCheck", Run::Read, Fault([](sim::Faults& f) { f.badCheck = 7; }), "Reading Error",
                    BlockRead},
        FailureCase{"readFailBlock", Run::Read, Fault([](sim::Faults& f) { f.readFailBank = 2; }), "Reading Error",
                    BlockRead},
        FailureCase{"readOpen", Run::Read, Answer("none/out.wsc"), "Open {dir}/none/out.wsc Error", nullptr},
        FailureCase{"backupNoWriter", Run::Backup, Fault([](sim::Faults& f) { f.absent = true; }), "Linking Fail",
                    nullptr},
        FailureCase{"backupCheck", Run::Backup, Fault([](sim::Faults& f) { f.badCheck = 4; }), "Reading Error",
                    BlockRead},
        FailureCase{"backupReadFail", Run::Backup, Fault([](sim::Faults& f) { f.sramReadFail = true; }),
                    "Reading Error", BlockRead},
        FailureCase{"backupOpen", Run::Backup, Answer("none/out.sav"), "Open File {dir}/none/out.sav Error", nullptr},
        FailureCase{"restoreNoWriter", Run::Restore, Fault([](sim::Faults& f) { f.absent = true; }), "Linking Fail",
                    nullptr},
        FailureCase{"restoreStatus", Run::Restore, Fault([](sim::Faults& f) { f.sramWriteFail = true; }),
                    "Uploading Fail", QueryState6},
        FailureCase{"restoreOpen", Run::Restore, Answer("missing.sav"), "Open {dir}/missing.sav Error", nullptr},
        FailureCase{"restoreShort", Run::Restore,
                    [](WsBench& b) {
                      support::writeFile(b.dir / "short.sav", Bytes(0x7FFF, 0x22));
                      b.window.fileAnswer = (b.dir / "short.sav").string();
                    },
                    "Reading File Error", nullptr},
        FailureCase{"eraseNoWriter", Run::Erase, Fault([](sim::Faults& f) { f.absent = true; }), "Linking Fail", nullptr},
        FailureCase{"eraseWrongCard", Run::Erase, Fault([](sim::Faults& f) { f.wsId = 0x1234; }), kWrongCard, ProbeId},
        FailureCase{"eraseBank", Run::Erase, Fault([](sim::Faults& f) { f.eraseFailBlock = 31; }),
                    "Earsing Flash ROM Fail", QueryState6},
        FailureCase{"eraseRam", Run::Erase, Fault([](sim::Faults& f) { f.sramWriteFail = true; }), "Earsing RAM Fail",
                    QueryState6},
        // A card that answers busy after an erase: the single status query takes that as
        // a failure.
        FailureCase{"writeBusy", Run::Write, Fault([](sim::Faults& f) { f.busyPolls = 1; }), "Earsing Flash ROM Fail",
                    QueryState6},
        FailureCase{"eraseBusy", Run::Erase, Fault([](sim::Faults& f) { f.busyPolls = 1; }), "Earsing Flash ROM Fail",
                    QueryState6}),
    [](const auto& param) { return std::string(param.param.name); });

// The erases of the small sectors at the top of each 2 MiB half fail on their own: the
// operation gets as far as their status query, after every bank before them.
struct ExtraEraseCase {
  const char* name;
  Run run;
  unsigned firstBlock;
  unsigned failingBlock;  // 63 or 127
};

class ExtraEraseFailing : public ::testing::TestWithParam<ExtraEraseCase> {};

TEST_P(ExtraEraseFailing, StatusAfterTheTopSectors_failsThere) {
  const ExtraEraseCase& c = GetParam();
  WsBench bench;
  bench.Compose(WsImage(0x80000, 1));
  bench.writer->faults().extraEraseFail = true;
  EXPECT_EQ(RunOperation(c.run, bench.op, "").text, "Earsing Flash ROM Fail");
  // Everything up to the status query after the last top sector of block `failingBlock`.
  std::vector<std::string> expected = ExpectedSchedule(c.firstBlock, c.run == Run::Write);
  std::string lastSector = "E";
  lastSector.append(std::to_string(c.failingBlock / 2)).append(":37:192");
  const auto at = std::find(expected.begin(), expected.end(), lastSector);
  ASSERT_NE(at, expected.end());
  expected.erase(at + 2, expected.end());
  EXPECT_EQ(Schedule(bench.writer->commands()), expected);
}

INSTANTIATE_TEST_SUITE_P(Runs, ExtraEraseFailing,
                         ::testing::Values(ExtraEraseCase{"write512KiB", Run::Write, 112, 127},
                                           ExtraEraseCase{"erase", Run::Erase, 0, 63}),
                         [](const auto& param) { return std::string(param.param.name); });

struct CancelCase {
  const char* name;
  Run run;
  std::string atWork;        // stop when the step label shows this text
  std::uint64_t atProgress;  // or when the progress reaches this (0: not)
};

class Cancelling : public ::testing::TestWithParam<CancelCase> {};

TEST_P(Cancelling, StopRequest_nothingSentAfter_noFileLeft) {
  const CancelCase& c = GetParam();
  WsBench bench;
  bench.Compose(WsImage(0x80000, 2));
  const path out = bench.dir / "out.bin";
  support::writeFile(out, Bytes(0x8000, 0x77));
  bench.window.fileAnswer = out.string();
  if (!c.atWork.empty()) bench.StopAtWork(c.atWork);
  if (c.atProgress) bench.StopAtProgress(c.atProgress);
  if (c.atWork.empty() && !c.atProgress) bench.StopInDialog();

  const ops::Result result = RunOperation(c.run, bench.op, "");
  ASSERT_TRUE(bench.stop.StopRequested()) << "the stop point was never reached";
  EXPECT_EQ(result.outcome, ops::Outcome::Stopped);
  EXPECT_EQ(bench.writer->commands().size(), bench.commandsAtStop());
  EXPECT_EQ(bench.window.beeps, 0);
  EXPECT_TRUE(support::readFile(out) == Bytes(0x8000, 0x77));
  for (const auto& entry : gbtest::fs::directory_iterator(bench.dir.path()))
    EXPECT_EQ(entry.path().string().find(".quillon-"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Points, Cancelling,
    ::testing::Values(CancelCase{"writeSecondBlock", Run::Write, "Writing : 0x008000 - 0x00FFFF", 0},
                      CancelCase{"writeMidway", Run::Write, "", 0x48000},
                      CancelCase{"writeRam", Run::Write, "Earsing RAM", 0},
                      CancelCase{"eraseBank", Run::Erase, "Earsing : 0x200000 - 0x20FFFF", 0},
                      CancelCase{"eraseTopSectors", Run::Erase, "Earsing : 0x1F8000 - 0x1FFFFF", 0},
                      CancelCase{"eraseRam", Run::Erase, "Earsing RAM", 0}, CancelCase{"readDialog", Run::Read, "", 0},
                      CancelCase{"readMidway", Run::Read, "", 0x18000}, CancelCase{"backupDialog", Run::Backup, "", 0},
                      CancelCase{"restoreDialog", Run::Restore, "", 0}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::wstest
