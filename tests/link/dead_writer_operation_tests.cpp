// SPDX-License-Identifier: GPL-3.0-or-later
// Card operations against the simulated writer in memory when it stops answering in a loop of
// the operation: what the port and the delay cost after that, what is said, and a writer that
// answers again is used by the next operation on the same link.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "bench.h"
#include "chips.h"
#include "gb/gb_operations.h"
#include "link/link.h"
#include "ops/operation.h"
#include "sim/sim.h"
#include "ws/ws_operations.h"

namespace quillon::test {
namespace {

using namespace support::chips;

// Port reads of one command whose every byte times out: at most 12 bytes sent and 2 received.
constexpr std::uint64_t kDeadCommandReads = 14 * link::kPollLimit;

struct Rig {
  explicit Rig(sim::CardContents card, int writerType) : writer(std::move(card)), link(writer, options(diagnostics)) {
    state.setWriterType(static_cast<library::WriterType>(writerType));
    // Arms the drop when the step label first shows `dropAt`.
    window.onWork = [this](const std::string& shown) {
      if (shown != dropAt || armed) return;
      armed = true;
      writer.faults().dropAfter = writer.bytesCrossed() + dropOffset;
      // The writer's clock as a real port's: 1 us an access.
      writer.faults().accessUs = 1;
      readsWhenArmed = writer.statusReads();
      ticksWhenArmed = writer.ticks();
    };
  }
  static link::LinkOptions options(std::ostream& out) {
    link::LinkOptions o;
    o.diagnostics = &out;
    return o;
  }
  std::size_t said(const std::string& line) const {
    const std::string text = diagnostics.str();
    std::size_t count = 0;
    for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
    return count;
  }
  // Three lines in a row that are the same: repeated diagnostics not collapsed (a line that
  // comes once more is said again, from then on counted).
  std::string sameLineThrice() const {
    std::istringstream in(diagnostics.str());
    std::string previous;
    int times = 0;
    for (std::string line; std::getline(in, line); previous = line) {
      times = line == previous ? times + 1 : 1;
      if (times == 3) return line;
    }
    return {};
  }

  sim::SimWriter writer;
  std::ostringstream diagnostics;
  link::Link link;
  ops::ProgramState state;
  gbtest::RecordingWindow window;
  ops::StopToken stop;
  ops::Operation op{link, state, window, stop.flag()};
  std::string dropAt;
  std::uint64_t dropOffset = 0;  // bytes that still cross after the step label
  bool armed = false;
  std::uint64_t readsWhenArmed = 0, ticksWhenArmed = 0;
};

enum class Run { GbErase, WsErase };

struct LoopCase {
  const char* name;
  sim::ChipId bios, flash;  // GB chips
  Run run;
  const char* dropAt;
  std::uint64_t dropOffset;
  std::string message;
  bool givesUp;              // the operation goes on long enough for eight dead commands
  std::uint64_t ticksAfter;  // most DelayTicks ticks from the step label on
};

void PrintTo(const LoopCase& c, std::ostream* os) { *os << c.name; }

class SilentInLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(SilentInLoop, Operation_writerStopsAnswering_failsAfterFewDeadCommands) {
  const LoopCase& c = GetParam();
  Rig rig(c.run == Run::WsErase ? sim::emptyWsFlashCard() : sim::emptyGbFlashCard(c.bios, c.flash),
          c.run == Run::WsErase ? 2 : 0);
  rig.dropAt = c.dropAt;
  rig.dropOffset = c.dropOffset;
  // Every GB job keeps the host polling for a while (a WS card is waited for by clocks).
  if (c.run == Run::GbErase) rig.writer.faults().busyPolls = 20;
  const ops::Result result = c.run == Run::WsErase ? ws::EraseWsCard(rig.op) : gb::EraseGbCard(rig.op, 0);
  ASSERT_TRUE(rig.armed) << "the step label " << c.dropAt << " never came; last: " << result.text;
  EXPECT_FALSE(rig.writer.answering());
  EXPECT_EQ(result.outcome, ops::Outcome::Failed);
  EXPECT_EQ(result.text, c.message);
  // A wait for the writer's job gives it 30 s of its clock (1 us an access), and a command
  // under way; elsewhere the rest of the command the drop fell into, and eight dead ones.
  EXPECT_LE(rig.writer.statusReads() - rig.readsWhenArmed, c.givesUp ? 31'000'000 : (1 + 8) * kDeadCommandReads);
  EXPECT_LE(rig.writer.ticks() - rig.ticksWhenArmed, c.ticksAfter);
  EXPECT_EQ(rig.said("The writer stopped answering\n"), c.givesUp ? 1u : 0u) << rig.diagnostics.str();
  EXPECT_EQ(rig.sameLineThrice(), "") << rig.diagnostics.str();
  EXPECT_TRUE(rig.writer.unexpected().empty());
}

// Offsets: a GB block erase sends its 11-byte erase command and polls 14 bytes at a time;
// the drop falls into the sync bytes of a later poll, so the polls after it are dead whole.
// Each loop waits for a job: the writer is given up after 30 s of silence, not 8 commands.
INSTANTIATE_TEST_SUITE_P(Link, SilentInLoop,
                         ::testing::Values(
                             // The chip's status byte read again and again (ReadByte).
                             LoopCase{"gbBlockStatusByte", kIntel28F010, kIntel28F016SV, Run::GbErase,
                                      "Earsing ROM : 0x010000 - 0x01FFFF", 11 + 14 * 5 + 3, "Earsing ROM Fail", true,
                                      0},
                             // 3000 rounds of a 1000-tick delay and a status query, after one long delay: four
                             // rounds before the drop and about 66 dead ones (0.45 s each), not 3000.
                             LoopCase{"gbBiosRoundsOfDelay", kIntel28F010, kIntel28F016SA, Run::GbErase, "Earsing BIOS",
                                      11 + 14 * 3 + 3, "Earsing BIOS Fail", true, 65535 + 80 * 1000},
                             // The erase command is followed by two clocks that wait for a busy writer.
                             LoopCase{"wsEraseClocks", kIntel28F010, kIntel28F010, Run::WsErase,
                                      "Earsing : 0x010000 - 0x01FFFF", 3, "Earsing Flash ROM Fail", true, 0}),
                         [](const auto& param) { return std::string(param.param.name); });

// The desktop program keeps its link open: a writer that stopped answering during one
// operation and answers again (cable back in) is used by the next one.
TEST(SilentWriter, NextOperationOnSameLink_writerAnswersAgain_succeeds) {
  Rig rig(sim::emptyGbFlashCard(), 0);
  rig.dropAt = "Earsing ROM : 0x020000 - 0x02FFFF";
  rig.dropOffset = 11 + 3;
  auto flash = rig.writer.memory(sim::Memory::GbFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  EXPECT_EQ(gb::EraseGbCard(rig.op, 0).text, "Earsing ROM Fail");
  ASSERT_EQ(rig.said("The writer stopped answering\n"), 1u);

  rig.writer.faults().dropAfter.reset();
  rig.writer.resetFrame();
  rig.window.onWork = nullptr;
  const std::uint64_t readsBefore = rig.writer.statusReads();
  EXPECT_EQ(gb::EraseGbCard(rig.op, 0).text, "Earsing Success");
  EXPECT_GT(rig.writer.statusReads(), readsBefore);
  EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + 0x200000, [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(rig.said("The writer stopped answering\n"), 1u);
  EXPECT_TRUE(rig.writer.unexpected().empty());
}

}  // namespace
}  // namespace quillon::test
