// SPDX-License-Identifier: GPL-3.0-or-later
// A writer that stops answering: after eight commands in a row in which no byte crossed, the
// link gives it up for the rest of the operation and touches the port no more; and the link's
// diagnostics lines, repeated, are said once with their count.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "link/link.h"
#include "scripted_port.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The clock's time bound only keeps a broken test from hanging.
struct Rig : LinkRig {
  Rig() : LinkRig(std::chrono::seconds(10)) {}
  void silent() {
    port.ready = [](std::uint64_t) { return false; };
  }
  void answering() {
    port.ready = [](std::uint64_t) { return true; };
  }
  std::uint64_t portUse() const { return port.statusReads + port.dataWrites + port.controlWrites.size() + port.ticks; }

  // One step of a script, by letter:
  //   b / e  an operation begins / ends
  //   D      ReadByte on a silent writer (every byte times out)
  //   A      ReadByte answered correctly
  //   r / q  ReadByte / QueryState3 answered with a wrong check byte
  //   c      CheckDevice answered correctly
  //   f      flushDiagnostics
  //   x      the link is destroyed
  void run(const std::string& script) {
    for (const char step : script) {
      switch (step) {
        case 'b':
          link->beginOperation();
          break;
        case 'e':
          link->endOperation();
          break;
        case 'D':
          silent();
          EXPECT_EQ(link->ReadByte(0x4000), 0);
          break;
        case 'A':
          answering();
          port.answer({0x80});
          EXPECT_EQ(link->ReadByte(0x4000), 0x80);
          break;
        case 'r':
          answering();
          port.answers = {0xC3, 0x00};
          EXPECT_EQ(link->ReadByte(0x4000), 0);
          break;
        case 'q':
          answering();
          port.answers = {0x00, 0x00};
          EXPECT_EQ(link->QueryState3(), 1);
          break;
        case 'c':
          answering();
          port.answer({0x5A});
          EXPECT_EQ(link->CheckDevice(), 0);
          break;
        case 'f':
          link->flushDiagnostics();
          break;
        case 'x':
          link.reset();
          break;
        default:
          FAIL() << "no step '" << step << "'";
      }
    }
  }
};

// --- when the writer is given up, and when it is tried again ---------------------------------

struct GoneCase {
  const char* name;
  const char* script;
  bool triesPort;  // whether the next command still goes to the port
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

class GivingUp : public ::testing::TestWithParam<GoneCase> {};

TEST_P(GivingUp, NextCommand_triesThePortOnlyWhileTheWriterIsNotGivenUp) {
  Rig rig;
  rig.run(GetParam().script);
  rig.answering();
  rig.port.answer({0x5A});
  const std::uint64_t before = rig.portUse();
  const int result = rig.link->CheckDevice();
  if (GetParam().triesPort) {
    EXPECT_EQ(result, 0) << "a writer that answers again is used again";
    EXPECT_GT(rig.portUse(), before);
  } else {
    EXPECT_EQ(result, 1);
    EXPECT_EQ(rig.portUse(), before) << "a gone writer's port is not touched";
  }
}

INSTANTIATE_TEST_SUITE_P(Link, GivingUp,
                         ::testing::Values(GoneCase{"sevenDead", "bDDDDDDD", true},
                                           GoneCase{"eightDead", "bDDDDDDDD", false},
                                           GoneCase{"manyDead", "bDDDDDDDDDDDD", false},
                                           // One byte through sets the count back.
                                           GoneCase{"answerInBetween", "bDDDDDDDADDDDDDD", true},
                                           GoneCase{"badCheckIsNoDeadCommand", "bDDDDDDDrDDDDDDD", true},
                                           // The main window's probes, outside any operation, always try.
                                           GoneCase{"outsideOperation", "DDDDDDDDDDDD", true},
                                           GoneCase{"operationEnded", "bDDDDDDDDe", true},
                                           GoneCase{"nextOperation", "bDDDDDDDDeb", true},
                                           // Dead commands before an operation do not count towards its eight.
                                           GoneCase{"countStartsWithOperation", "DDDDbDDDD", true},
                                           // The operation windows' guard and the operation's own one nest.
                                           GoneCase{"nestedOperationEnds", "bbDDDDDDDDe", false},
                                           GoneCase{"nestedOperationBegins", "bDDDDDDDDb", false},
                                           GoneCase{"outerOperationEnds", "bbDDDDDDDDee", true}),
                         [](const auto& param) { return std::string(param.param.name); });

// --- every command of a gone writer: its failure result, nothing on the port ---------------

struct DroppedCase {
  const char* name;
  std::function<int(link::Link&)> call;  // the command's result (0 for those without one)
  int failure;
};

void PrintTo(const DroppedCase& c, std::ostream* os) { *os << c.name; }

class Dropped : public ::testing::TestWithParam<DroppedCase> {};

TEST_P(Dropped, GoneWriter_command_failsAtOnceWithoutPortAndNotedOnce) {
  Rig rig;
  rig.run("bDDDDDDDD");
  rig.trace.flush();
  const std::string traceBefore = rig.traceText.str();
  // Even a writer that would answer now is not asked before the next operation.
  rig.answering();
  rig.port.answer({0x00});
  const std::uint64_t before = rig.portUse();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetParam().call(*rig.link), GetParam().failure) << i;
  EXPECT_EQ(rig.portUse(), before);
  EXPECT_TRUE(rig.port.sent.empty());
  rig.trace.flush();
  EXPECT_EQ(rig.traceText.str(), traceBefore + "# writer gone\n");
  // Said when the operation ends, after its own message.
  rig.run("e");
  EXPECT_EQ(rig.diag.str(), "Checksum error !!! \n(repeated 7 times)\nThe writer stopped answering\n");
}

const std::uint8_t kBlock[16] = {0x5A, 0xA5};

// A command without a result, as a case whose result is 0.
std::function<int(link::Link&)> noResult(void (*command)(link::Link&)) {
  return [command](link::Link& l) {
    command(l);
    return 0;
  };
}

INSTANTIATE_TEST_SUITE_P(
    Link, Dropped,
    ::testing::Values(DroppedCase{"CheckDevice", [](link::Link& l) { return l.CheckDevice(); }, 1},
                      DroppedCase{"ReadByte", [](link::Link& l) { return int{l.ReadByte(0x4000)}; }, 0},
                      DroppedCase{"ReadBlock",
                                  [](link::Link& l) {
                                    Bytes block(16);
                                    return l.ReadBlock(0x4000, block);
                                  },
                                  1},
                      DroppedCase{"QueryState3", [](link::Link& l) { return l.QueryState3(); }, 1},
                      DroppedCase{"QueryState6", [](link::Link& l) { return l.QueryState6(); }, 1},
                      DroppedCase{"SendHeader",
                                  [](link::Link& l) { return int{l.SendHeader(6, 5, 0, 0, 0, "SetControl")}; }, 0},
                      DroppedCase{"ReceiveByte", [](link::Link& l) { return int{l.ReceiveByte()}; }, 0},
                      DroppedCase{"WriteByte", noResult([](link::Link& l) { l.WriteByte(0x0000, 0x0A); }), 0},
                      DroppedCase{"WriteBlock", noResult([](link::Link& l) { l.WriteBlock(7, 0x4000, kBlock); }), 0},
                      DroppedCase{"SetControl", noResult([](link::Link& l) { l.SetControl(2, 15, 0, 0); }), 0},
                      DroppedCase{"SetBank", noResult([](link::Link& l) { l.SetBank(3); }), 0},
                      DroppedCase{"SetMode", noResult([](link::Link& l) { l.SetMode(0x24); }), 0},
                      DroppedCase{"SendByte", noResult([](link::Link& l) { l.SendByte(0x00); }), 0},
                      DroppedCase{"SendClock", noResult([](link::Link& l) { l.SendClock(); }), 0},
                      DroppedCase{"DelayTicks", noResult([](link::Link& l) { l.DelayTicks(1000); }), 0}),
    [](const auto& param) { return std::string(param.param.name); });

// A writer that takes nothing does not get the clock's long wait: SendClock after a timed-out
// byte costs one ordinary time-out; after a byte that went through it waits for a busy writer.
TEST(Link, SendClock_afterTimedOutByte_waitsTheReadLimitOnly) {
  struct ClockCase {
    bool firstByteCrosses;
    std::uint64_t readyAgainAt;  // status read from which the writer is ready again
    std::size_t sent;            // bytes that crossed: the first one, the clock
    std::uint64_t reads;
  };
  for (const ClockCase& c : {ClockCase{false, 200000, 0, 2 * 40000}, ClockCase{true, 200000, 2, 200000}}) {
    Rig rig;
    rig.port.ready = [&c](std::uint64_t n) { return (c.firstByteCrosses && n == 1) || n >= c.readyAgainAt; };
    rig.link->SendByte(0x11);
    rig.link->SendClock();
    EXPECT_EQ(rig.port.sent.size(), c.sent) << c.firstByteCrosses;
    EXPECT_EQ(rig.port.statusReads, c.reads) << c.firstByteCrosses;
  }
}

// --- repeated diagnostics ------------------------------------------------------------------

struct SayCase {
  const char* name;
  const char* script;
  std::string said;
};

void PrintTo(const SayCase& c, std::ostream* os) { *os << c.name; }

class Diagnostics : public ::testing::TestWithParam<SayCase> {};

TEST_P(Diagnostics, RepeatedLines_saidOnceThenCounted) {
  Rig rig;
  rig.run(GetParam().script);
  EXPECT_EQ(rig.diag.str(), GetParam().said);
}

const std::string kChecksum = "Checksum error !!! \n";
const std::string kReceiver = "Receiver checksum error\n";
const std::string kOk = "Device ...........OK ! \n";

INSTANTIATE_TEST_SUITE_P(
    Link, Diagnostics,
    ::testing::Values(SayCase{"singleLineAsItIs", "rx", kChecksum},
                      SayCase{"differentLinesEach", "rqrcq", kChecksum + kReceiver + kChecksum + kOk + kReceiver},
                      SayCase{"eighteenThenOther", "rrrrrrrrrrrrrrrrrrc", kChecksum + "(repeated 17 times)\n" + kOk},
                      SayCase{"onceMoreSaidAgain", "rrx", kChecksum + kChecksum},
                      SayCase{"notCountedBeforeTheEnd", "rrr", kChecksum},
                      SayCase{"flushThenSameLine", "rrrfr", kChecksum + "(repeated 2 times)\n" + kChecksum},
                      SayCase{"operationEndFlushes", "bqqqe", kReceiver + "(repeated 2 times)\n"},
                      SayCase{"probesInARow", "ccccx", kOk + "(repeated 3 times)\n"},
                      SayCase{"goneWriterSaidOnce", "bDDDDDDDDDDDDDDDDDDe",
                              kChecksum + "(repeated 7 times)\nThe writer stopped answering\n"},
                      SayCase{"goneAgainNextOperation", "bDDDDDDDDebDDDDDDDDe",
                              kChecksum + "(repeated 7 times)\nThe writer stopped answering\n" + kChecksum +
                                  "(repeated 7 times)\nThe writer stopped answering\n"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
