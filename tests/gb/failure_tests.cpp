// SPDX-License-Identifier: GPL-3.0-or-later
// Every failure of writing and erasing, driven by a fault of the simulated writer: the
// message, and nothing sent after the failing command.
#include <algorithm>

#include "bench.h"
#include "chips.h"
#include "gb/gb_operations.h"
#include "sim/sim.h"

namespace quillon::gbtest {
namespace {

using namespace support::chips;

using Command = sim::CommandRecord;
using Arrange = std::function<void(Bench&)>;
using LastCommand = std::function<bool(const Command&)>;

bool QueryState3(const Command& c) { return IsCommand(c, 6, 3, 0); }
bool StatusByteRead(const Command& c) { return c.op == 1 && c.address() == 0x4000 && c.count() == 1; }
bool VoltageOff(const Command& c) { return IsCommand(c, 6, 2, 10) && c.p3 == 0; }
bool ProbeEnd(const Command& c) { return IsCommand(c, 6, 2, 15); }
bool CartridgeHeaderRead(const Command& c) { return c.op == 1 && c.address() == 0x0000 && c.count() == 512; }

enum class Run { Write, Erase16, Erase32 };
constexpr sim::ChipId kCartridge = {};  // no chip: an ordinary cartridge in the writer instead of a flash card

struct FailureCase {
  const char* name;
  sim::ChipId bios;
  sim::ChipId flash;
  Run run;
  Arrange arrange;
  std::string message;
  LastCommand last;  // nullptr: the writer received no command at all
};

// Two small images: "ONE" 32 KiB (region 0), "TWO" 64 KiB (region 1).
void ComposeTwo(Bench& bench) {
  support::writeFile(bench.dir / "one.gb", support::makeGbImage({"ONE", 0x19, 0, 0, false}));
  support::writeFile(bench.dir / "two.gb", support::makeGbImage({"TWO", 0x19, 1, 2, false}));
  bench.Compose(bench.dir.path(), {"one.gb", "two.gb"});
}

Arrange Fault(void (*arm)(sim::Faults&)) {
  return [arm](Bench& bench) {
    ComposeTwo(bench);
    arm(bench.writer->faults());
  };
}

class Failing : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failing, Operation_fault_messageAndNothingAfter) {
  const FailureCase& c = GetParam();
  Bench bench(c.flash == kCartridge ? sim::gbCartridge(support::makeGbImage({"CART", 0x19, 1, 2, false}))
                                    : sim::emptyGbFlashCard(c.bios, c.flash));
  if (c.flash == kCartridge) {
    // Nothing to look at but the traffic.
    c.arrange(bench);
    EXPECT_EQ(gb::WriteGbCard(bench.op).text, c.message);
    EXPECT_TRUE(c.last(bench.writer->commands().back()));
    return;
  }
  auto bios = bench.writer->memory(sim::Memory::GbBios);
  auto sram = bench.writer->memory(sim::Memory::GbSram);
  auto flash = bench.writer->memory(sim::Memory::GbFlash);
  std::fill(bios.begin(), bios.end(), std::uint8_t{0x5A});
  std::fill(sram.begin(), sram.end(), std::uint8_t{0x11});
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x77});
  c.arrange(bench);
  const ops::Result result =
      c.run == Run::Write ? gb::WriteGbCard(bench.op) : gb::EraseGbCard(bench.op, c.run == Run::Erase16 ? 0 : 1);
  EXPECT_EQ(result.text, c.message);
  EXPECT_EQ(result.outcome, ops::Outcome::Failed);
  EXPECT_EQ(bench.window.work.back(), c.message);
  EXPECT_EQ(bench.window.beeps, 1);
  const auto& log = bench.writer->commands();
  if (!c.last) {
    EXPECT_TRUE(log.empty());
  } else {
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(c.last(log.back())) << "last command: op " << int(log.back().op) << " " << int(log.back().p1) << " "
                                    << int(log.back().p2);
  }
  // A failure found before the first erase leaves the whole card as it was.
  const bool beforeErase = c.message.rfind("Opening File", 0) == 0 || c.message.rfind("Reading ", 0) == 0 ||
                           c.message == "BIOS Reading Error" || c.message == "Linking Fail" ||
                           c.message.rfind("Card is not", 0) == 0;
  if (beforeErase) {
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](auto b) { return b == 0x77; })) << "FLASH ROM untouched";
  }
  // The operation stops at its failure: whatever comes later in its sequence is not done.
  const bool biosReached = c.message.find("BIOS Fail") != std::string::npos || c.message == "Earsing RAM Fail";
  if (!biosReached) {
    EXPECT_TRUE(std::all_of(bios.begin(), bios.end(), [](auto b) { return b == 0x5A; })) << "BIOS ROM untouched";
  }
  if (c.message != "Earsing RAM Fail") {
    EXPECT_TRUE(std::all_of(sram.begin(), sram.end(), [](auto b) { return b == 0x11; })) << "save memory untouched";
  }
}

const auto kCases = ::testing::Values(
    FailureCase{"noWriter", kIntel28F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.absent = true; }), "Linking Fail", nullptr},
    FailureCase{"cartridgeForWriting", kIntel28F010, kCartridge, Run::Write, ComposeTwo,
                "Card is not inserted right or FLASH ROM is not supported", CartridgeHeaderRead},
    FailureCase{"unknownBiosChip", kIntel28F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.unknownBiosChip = true; }),
                "Card is not inserted right or FLASH ROM is not supported", ProbeEnd},
    FailureCase{"unknownFlashChip", kIntel28F010, kIntel28F016SA, Run::Erase16, Fault([](sim::Faults& f) { f.unknownFlashChip = true; }),
                "Card is not inserted right or FLASH ROM is not supported", ProbeEnd},
    FailureCase{"noMenuImage", kIntel28F010, kIntel28F016SA, Run::Write,
                [](Bench& bench) {
                  ComposeTwo(bench);
                  fs::remove(bench.dir / "cgbbios.bin");
                },
                "BIOS Reading Error", ProbeEnd},
    FailureCase{"shortMenuImage", kIntel28F010, kIntel28F016SA, Run::Write,
                [](Bench& bench) {
                  ComposeTwo(bench);
                  support::writeFile(bench.dir / "cgbbios.bin", Bytes(0x3FFF, 0));
                },
                "BIOS Reading Error", ProbeEnd},
    FailureCase{"shortPasswordMenu", kIntel28F010, kIntel28F016SA, Run::Write,
                [](Bench& bench) {
                  bench.state.setWriterType(library::WriterType::GbPassword);
                  ComposeTwo(bench);
                  support::writeFile(bench.dir / "chtbios.bin", support::makeMenuImage(0x4000));
                },
                "BIOS Reading Error", ProbeEnd},
    FailureCase{"blockEraseMethod0", kIntel28F010, kIntel28F016SV, Run::Write, Fault([](sim::Faults& f) { f.eraseFailBlock = 8; }),
                "Earsing ROM Fail", StatusByteRead},
    FailureCase{"blockEraseMethod1", kIntel28F010, kFuji28F016, Run::Write, Fault([](sim::Faults& f) { f.eraseFailBlock = 0; }),
                "Earsing ROM Fail", QueryState3},
    // A method-2 FLASH ROM gets its programming voltage switched off before the failure ends.
    FailureCase{"blockEraseMethod2", kIntel28F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.eraseFailBlock = 8; }),
                "Earsing ROM Fail", VoltageOff},
    // Every image is read before the first erase: a file that is gone, short, or a folder
    // stops the writing with the card untouched, whichever place it has in the card list.
    FailureCase{"imageFileGone", kIntel28F010, kIntel28F016SV, Run::Write,
                [](Bench& bench) {
                  ComposeTwo(bench);
                  fs::remove(bench.dir / "two.gb");
                },
                "Opening File two.gb Error", ProbeEnd},
    FailureCase{"imageFileFolder", kIntel28F010, kIntel28F016SV, Run::Write,
                [](Bench& bench) {
                  ComposeTwo(bench);
                  fs::remove(bench.dir / "one.gb");
                  fs::create_directory(bench.dir / "one.gb");
                },
                "Opening File one.gb Error", ProbeEnd},
    FailureCase{"imageFileShort", kIntel28F010, kIntel28F016SA, Run::Write,
                [](Bench& bench) {
                  ComposeTwo(bench);
                  Bytes two = support::readFile(bench.dir / "two.gb");
                  two.resize(0x4000 + 0x3000);
                  support::writeFile(bench.dir / "two.gb", two);
                },
                "Reading two.gb Error", ProbeEnd},
    FailureCase{"bankProgramming", kIntel28F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.programFailBank = 33; }),
                "Writing two.gb Fail", VoltageOff},
    FailureCase{"bankProgrammingMethod0", kIntel28F010, kIntel28F016SV, Run::Write, Fault([](sim::Faults& f) { f.programFailBank = 33; }),
                "Writing two.gb Fail", QueryState3},
    FailureCase{"biosEraseMethod0", kIntel28F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.biosEraseFail = true; }),
                "Earsing BIOS Fail", QueryState3},
    FailureCase{"biosEraseMethod2", kAmd29F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.biosEraseFail = true; }),
                "Earsing BIOS Fail", QueryState3},
    FailureCase{"biosPieceMethod0", kIntel28F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.biosProgramFail = true; }),
                "Updating BIOS Fail", VoltageOff},
    FailureCase{"biosPieceMethod1", kSst29EE010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.biosProgramFail = true; }),
                "Updating BIOS Fail", QueryState3},
    // The piece reads back different every time: ten attempts, then the failure.
    FailureCase{"biosVerifyMethod1", kSst29EE010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.biosVerifyDiffer = true; }),
                "Updating BIOS Fail", QueryState3},
    FailureCase{"eraseBiosVerifyMethod1", kSst29EE010, kIntel28F016SA, Run::Erase16,
                Fault([](sim::Faults& f) { f.biosVerifyDiffer = true; }), "Earsing BIOS Fail", QueryState3},
    FailureCase{"biosBankMethod2", kAmd29F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.biosProgramFail = true; }),
                "Updating BIOS Fail", QueryState3},
    // The 500th poll of a piece answers done: too late.
    FailureCase{"biosPiece500thPoll", kIntel28F010, kIntel28F016SA, Run::Write, Fault([](sim::Faults& f) { f.busyPolls = 499; }),
                "Updating BIOS Fail", VoltageOff},
    FailureCase{"eraseNoWriter", kIntel28F010, kIntel28F016SA, Run::Erase16, Fault([](sim::Faults& f) { f.absent = true; }), "Linking Fail",
                nullptr},
    FailureCase{"eraseBlock", kIntel28F010, kIntel28F016SA, Run::Erase32, Fault([](sim::Faults& f) { f.eraseFailBlock = 40; }),
                "Earsing ROM Fail", VoltageOff},
    FailureCase{"eraseBlockMethod0", kIntel28F010, kIntel28F016SV, Run::Erase32, Fault([](sim::Faults& f) { f.eraseFailBlock = 40; }),
                "Earsing ROM Fail", StatusByteRead},
    FailureCase{"eraseBiosMethod0", kIntel28F010, kIntel28F016SA, Run::Erase16, Fault([](sim::Faults& f) { f.biosEraseFail = true; }),
                "Earsing BIOS Fail", QueryState3},
    FailureCase{"eraseBiosMethod1", kSst29EE010, kFuji28F016, Run::Erase16, Fault([](sim::Faults& f) { f.biosEraseFail = true; }),
                "Earsing BIOS Fail", QueryState3},
    FailureCase{"eraseBiosMethod2", kAmd29F010, kIntel28F016SA, Run::Erase16, Fault([](sim::Faults& f) { f.biosEraseFail = true; }),
                "Earsing BIOS Fail", QueryState3},
    FailureCase{"eraseRam", kIntel28F010, kIntel28F016SA, Run::Erase16, Fault([](sim::Faults& f) { f.sramWriteFail = true; }),
                "Earsing RAM Fail", QueryState3});

INSTANTIATE_TEST_SUITE_P(Faults, Failing, kCases, [](const auto& param) { return std::string(param.param.name); });

// Poll limits are counts: a block erase gives up after exactly 18000 status reads, a
// method-0 BIOS erase after 3000 rounds and one more query, a method-2 menu bank after
// 125 attempts, a BIOS piece after 500 polls.
struct PollCase {
  const char* name;
  sim::ChipId bios;
  void (*arm)(sim::Faults&);
  std::function<bool(const Command&)> polled;
  long expected;
};

class PollLimits : public ::testing::TestWithParam<PollCase> {};

TEST_P(PollLimits, FailingStep_pollsCounted) {
  const PollCase& c = GetParam();
  Bench bench(sim::emptyGbFlashCard(c.bios, kIntel28F016SV));
  ComposeTwo(bench);
  c.arm(bench.writer->faults());
  (void)gb::WriteGbCard(bench.op);
  const auto& log = bench.writer->commands();
  EXPECT_EQ(std::count_if(log.begin(), log.end(), c.polled), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, PollLimits,
    ::testing::Values(
        PollCase{"blockErase", kIntel28F010, [](sim::Faults& f) { f.eraseFailBlock = 0; }, StatusByteRead, 18000},
        PollCase{"biosEraseMethod0", kIntel28F010, [](sim::Faults& f) { f.biosEraseFail = true; }, QueryState3,
                 // 1 per programmed bank (one + two: 2 + 4 banks), 3000 rounds and one more
                 6 + 3000 + 1},
        PollCase{"biosPieceMethod0", kIntel28F010, [](sim::Faults& f) { f.biosProgramFail = true; }, QueryState3,
                 // the image banks, the BIOS erase (busy, done, one more), the first piece
                 6 + 3 + 500},
        PollCase{"verifyAttemptsMethod1", kSst29EE010, [](sim::Faults& f) { f.biosVerifyDiffer = true; },
                 [](const Command& c) { return c.op == 8; }, 10},
        PollCase{"menuBankMethod2", kAmd29F010, [](sim::Faults& f) { f.biosProgramFail = true; },
                 [](const Command& c) { return c.op == 7; }, 125}),
    [](const auto& param) { return std::string(param.param.name); });

// One poll short of the limit still succeeds.
TEST(PollLimitEdge, PieceDoneOn499thPoll_writingSucceeds) {
  Bench bench(sim::emptyGbFlashCard());
  ComposeTwo(bench);
  bench.writer->faults().busyPolls = 498;
  EXPECT_EQ(gb::WriteGbCard(bench.op).text, "Writing Success");
}

}  // namespace
}  // namespace quillon::gbtest
