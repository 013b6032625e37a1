// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <thread>

#include "link/link.h"
#include "scripted_port.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Fixture = LinkRig;

Bytes frame(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4) {
  return {0x00, 0x00, 0xD5, 0xAA, 0x96, op, p1, p2, p3, p4, static_cast<std::uint8_t>(0x81 ^ op ^ p1 ^ p2 ^ p3 ^ p4)};
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// --- exact bytes of each command -------------------------------------------------------

struct PacketCase {
  const char* name;
  std::function<void(link::Link&)> call;
  Bytes expected;
};

void PrintTo(const PacketCase& c, std::ostream* os) { *os << c.name; }

class PacketBytes : public ::testing::TestWithParam<PacketCase> {};

TEST_P(PacketBytes, SendsExactlyTheFrameAndData) {
  Fixture f;
  GetParam().call(*f.link);
  EXPECT_EQ(f.port.sent, GetParam().expected);
}

const std::uint8_t kBlock[] = {0x12, 0x34, 0xFF};

INSTANTIATE_TEST_SUITE_P(
    Link, PacketBytes,
    ::testing::Values(PacketCase{"WriteByte",
                                 [](link::Link& l) { l.WriteByte(0x0000, 0x0A); },
                                 {0x00, 0x00, 0xD5, 0xAA, 0x96, 0x00, 0x00, 0x00, 0x01, 0x00, 0x80, 0x0A, 0x8B}},
                      PacketCase{"SetBank",
                                 [](link::Link& l) { l.SetBank(5); },
                                 {0x00, 0x00, 0xD5, 0xAA, 0x96, 0x06, 0x00, 0x05, 0x00, 0x00, 0x82}},
                      PacketCase{"SetMode",
                                 [](link::Link& l) { l.SetMode(0x27); },
                                 {0x00, 0x00, 0xD5, 0xAA, 0x96, 0x05, 0x27, 0x00, 0x00, 0x00, 0xA3}},
                      PacketCase{"SetControl", [](link::Link& l) { l.SetControl(2, 0x12, 0x25, 0xC0); },
                                 frame(6, 2, 0x12, 0x25, 0xC0)},
                      PacketCase{"WriteBlockEmpty", [](link::Link& l) { l.WriteBlock(7, 0x4000, {}); },
                                 concat(frame(7, 0x00, 0x40, 0, 0), {0x81})},
                      PacketCase{"WriteBlockData", [](link::Link& l) { l.WriteBlock(16, 0x8000, kBlock); },
                                 concat(frame(16, 0x00, 0x80, 3, 0), {0x12, 0x34, 0xFF, 0x81 ^ 0x12 ^ 0x34 ^ 0xFF})},
                      PacketCase{"WriteBlockAddressLowFirst", [](link::Link& l) { l.WriteBlock(0, 0xA1B2, kBlock); },
                                 concat(frame(0, 0xB2, 0xA1, 3, 0), {0x12, 0x34, 0xFF, 0x81 ^ 0x12 ^ 0x34 ^ 0xFF})}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// --- read-type commands ----------------------------------------------------------------

TEST(Link, CheckDevice_CorrectAnswer_ReturnsZeroAndSaysOk) {
  Fixture f;
  f.port.answer({0x5A});
  EXPECT_EQ(f.link->CheckDevice(), 0);
  EXPECT_EQ(f.port.sent, (Bytes{0x00, 0x00, 0xD5, 0xAA, 0x96, 0x01, 0x80, 0x00, 0x01, 0x00, 0x01, 0x00}));
  EXPECT_EQ(f.diag.str(), "Device ...........OK ! \n");
  EXPECT_TRUE(f.port.answers.empty());
}

TEST(Link, CheckDevice_WrongCheckByte_ReturnsOneAndSaysError) {
  Fixture f;
  f.port.answers = {0x5A, 0x5A};
  EXPECT_EQ(f.link->CheckDevice(), 1);
  EXPECT_EQ(f.diag.str(), "Device ...........ERROR ! \n");
}

TEST(Link, ReadByte_ReturnsValueOrZeroOnBadCheck) {
  Fixture f;
  f.port.answer({0xC3});
  EXPECT_EQ(f.link->ReadByte(0x4001), 0xC3);
  EXPECT_EQ(f.port.sent, concat(frame(1, 0x01, 0x40, 1, 0), {0x00}));
  EXPECT_EQ(f.diag.str(), "");
  f.port.answers = {0xC3, 0x00};
  EXPECT_EQ(f.link->ReadByte(0x4001), 0);
  EXPECT_EQ(f.diag.str(), "Checksum error !!! \n");
}

TEST(Link, QueryState_ReturnsStatusOrOneOnBadCheck) {
  Fixture f;
  f.port.answer({0x00});
  EXPECT_EQ(f.link->QueryState3(), 0);
  f.port.answer({0x02});
  EXPECT_EQ(f.link->QueryState6(), 2);
  EXPECT_EQ(f.port.sent, concat(concat(frame(6, 3, 0, 0, 0), {0x00}), concat(frame(6, 6, 0, 0, 0), {0x00})));
  f.port.answers = {0x00, 0x00};
  EXPECT_EQ(f.link->QueryState3(), 1);
  EXPECT_EQ(f.diag.str(), "Receiver checksum error\n");
}

TEST(Link, ReadBlock_StoresBytesInOrderAndChecks) {
  Fixture f;
  f.port.answer({0x01, 0xF2, 0x3E, 0x80});
  Bytes buffer(4);
  EXPECT_EQ(f.link->ReadBlock(0xA000, buffer), 0);
  EXPECT_EQ(buffer, (Bytes{0x01, 0xF2, 0x3E, 0x80}));
  EXPECT_EQ(f.port.sent, concat(frame(1, 0x00, 0xA0, 4, 0), {0x00}));
}

TEST(Link, ReadBlock_BadCheck_ReturnsOneButKeepsData) {
  Fixture f;
  f.port.answers = {0xAB, 0xCD, 0x00};
  Bytes buffer(2);
  EXPECT_EQ(f.link->ReadBlock(0x0000, buffer), 1);
  EXPECT_EQ(buffer, (Bytes{0xAB, 0xCD}));
  EXPECT_EQ(f.diag.str(), "");
}

TEST(Link, ReadBlock_CountZero_ExpectsOnlyTheCheckByte) {
  for (std::uint8_t check : {std::uint8_t{0x81}, std::uint8_t{0x80}}) {
    Fixture f;
    f.port.answers = {check};
    Bytes none;
    EXPECT_EQ(f.link->ReadBlock(0x4000, none), check == 0x81 ? 0 : 1);
    EXPECT_TRUE(f.port.answers.empty());
  }
}

// --- byte layer: handshake, nibbles, strobe ------------------------------------------

TEST(Link, ReceiveByte_LowNibbleFromStatusBits3To6First) {
  Fixture f;
  f.port.answers = {0xA5};
  EXPECT_EQ(f.link->ReceiveByte(), 0xA5);
  // Two nibbles: wait read + nibble read each, one strobe change each.
  EXPECT_EQ(f.port.statusReads, 4u);
  EXPECT_EQ(f.port.controlWrites.size(), 2u);
}

TEST(Link, Strobe_ControlReadOnceAndOnlyBit0Flips) {
  Fixture f;
  f.link->SendByte(0x11);
  f.link->SendByte(0x22);
  f.link->SendByte(0x33);
  EXPECT_EQ(f.port.controlReads, 1u);
  EXPECT_EQ(f.port.controlWrites, (Bytes{0xC5, 0xC4, 0xC5}));
  EXPECT_EQ(f.port.sent, (Bytes{0x11, 0x22, 0x33}));
}

TEST(Link, SendByte_WriterNeverReady_GivesUpAfter40000ReadsWithoutTouchingThePort) {
  Fixture f;
  f.port.ready = [](std::uint64_t) { return false; };
  f.link->SendByte(0x42);
  EXPECT_EQ(f.port.statusReads, 40000u);
  EXPECT_EQ(f.port.dataWrites, 0u);
  EXPECT_TRUE(f.port.controlWrites.empty());
}

TEST(Link, SendByte_ReadyOnlyAtThe40000thRead_StillGivesUp) {
  for (std::uint64_t readyAt : {39999u, 40000u}) {
    Fixture f;
    f.port.ready = [readyAt](std::uint64_t n) { return n >= readyAt; };
    f.link->SendByte(0x42);
    EXPECT_EQ(f.port.sent.size(), readyAt < 40000 ? 1u : 0u) << readyAt;
    EXPECT_EQ(f.port.statusReads, readyAt);
  }
}

TEST(Link, ReceiveByte_WriterNeverReady_ReturnsZeroAfter40000Reads) {
  Fixture f;
  f.port.ready = [](std::uint64_t) { return false; };
  EXPECT_EQ(f.link->ReceiveByte(), 0);
  EXPECT_EQ(f.port.statusReads, 40000u);
  EXPECT_TRUE(f.port.controlWrites.empty());
}

TEST(Link, ReceiveByte_SecondNibbleTimesOut_DropsTheFirst) {
  Fixture f;
  f.port.answers = {0x37};
  // Ready for the first wait and nibble read only.
  f.port.ready = [](std::uint64_t n) { return n <= 2; };
  EXPECT_EQ(f.link->ReceiveByte(), 0);
  EXPECT_EQ(f.port.statusReads, 2u + 40000u);
}

// --- dead writer ----------------------------------------------------------------------

TEST(Link, ReadBlock_DeadWriter_AbandonsAtTheFirstTimeOut) {
  Fixture f;
  f.port.ready = [](std::uint64_t) { return false; };
  Bytes buffer(0x4000, 0x55);
  EXPECT_EQ(f.link->ReadBlock(0x4000, buffer), 1);
  // 11 frame bytes, each one full wait; a request the writer missed gets no answer prompt
  // and no wait for an answer: not 16 K waits.
  EXPECT_EQ(f.port.statusReads, 11u * 40000u);
}

TEST(Link, WriteBlock_WriterStopsAnswering_RestOfBlockAndCheckNotSent) {
  Fixture f;
  // Frame (11 bytes) and 2 data bytes go through, then the writer is gone.
  f.port.ready = [](std::uint64_t n) { return n <= 13; };
  Bytes data(0x4000, 0x77);
  f.link->WriteBlock(10, 0x4000, data);
  EXPECT_EQ(f.port.sent.size(), 13u);
  EXPECT_EQ(f.port.statusReads, 13u + 40000u);
}

TEST(Link, SendClock_WriterNeverReady_GivesUpAfterTheBoundLikeATimedOutByte) {
  Fixture f;
  f.port.ready = [](std::uint64_t) { return false; };
  f.link->SendClock();
  EXPECT_GT(f.port.statusReads, 40000u);  // no read limit, a time bound
  EXPECT_EQ(f.port.dataWrites, 0u);
  EXPECT_NE(f.traceText.str().find("# time-out"), std::string::npos);
}

TEST(Link, SendClock_WaitsBeyond40000ReadsForASlowWriter) {
  Fixture f;
  f.port.ready = [](std::uint64_t n) { return n > 100000; };
  f.link->SendClock();
  EXPECT_EQ(f.port.sent, (Bytes{0x00}));
}

TEST(Link, SendClock_StopRequestEndsTheWait) {
  ScriptedPort port;
  port.ready = [](std::uint64_t) { return false; };
  link::LinkOptions options;
  options.clockTimeout = std::chrono::hours(1);
  link::Link link(port, options);
  std::atomic<bool> stop{false};
  link.setStopFlag(&stop);
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
  });
  link.SendClock();
  stopper.join();
  EXPECT_EQ(port.dataWrites, 0u);
}

// --- stop flag ------------------------------------------------------------------------

TEST(Link, StopFlag_NothingSentOnceSet) {
  Fixture f;
  std::atomic<bool> stop{false};
  f.link->setStopFlag(&stop);
  f.link->SetBank(1);
  const auto before = f.port.sent.size();
  stop = true;
  f.port.answer({0x00});
  f.link->WriteByte(0, 0);
  f.link->SetBank(2);
  f.link->SetMode(0x22);
  f.link->SetControl(2, 15, 0, 0);
  Bytes data(16);
  f.link->WriteBlock(0, 0, data);
  EXPECT_EQ(f.link->ReadBlock(0, data), 1);
  EXPECT_EQ(f.link->CheckDevice(), 1);
  EXPECT_EQ(f.link->QueryState3(), 1);
  EXPECT_EQ(f.port.sent.size(), before);
  EXPECT_TRUE(f.link->stopRequested());
}

// --- trace ----------------------------------------------------------------------------

TEST(Link, Trace_NamesCommandsAndGroupsBytesByDirection) {
  Fixture f;
  f.port.answer({0x5A});
  f.link->CheckDevice();
  f.link->SetBank(5);
  f.trace.flush();
  EXPECT_EQ(f.traceText.str(),
            "# CheckDevice\n"
            "> 00 00 D5 AA 96 01 80 00 01 00 01 00\n"
            "< 5A DB\n"
            "# SetBank\n"
            "> 00 00 D5 AA 96 06 00 05 00 00 82\n");
}

TEST(Link, Trace_DroppedBytesAreNotListedAsSent) {
  Fixture f;
  f.port.ready = [](std::uint64_t n) { return n <= 3; };
  f.link->SetBank(1);
  f.trace.flush();
  EXPECT_EQ(f.traceText.str(), "# SetBank\n> 00 00 D5\n# time-out\n");
}

// --- delay ----------------------------------------------------------------------------

TEST(Link, DelayTicks_PassesTheCountToThePortAtLeastOne) {
  Fixture f;
  f.link->DelayTicks(65535);
  f.link->DelayTicks(0);
  EXPECT_EQ(f.port.ticks, 65536u);
}

}  // namespace
}  // namespace quillon::test

// --- a port that fails ---------------------------------------------------------------------

namespace quillon::test {
namespace {

// The scripted writer behind a port that throws like a pulled adapter while `failing`.
class FailingPort final : public ScriptedPort {
 public:
  bool failing = false;
  int throws = 0;
  std::uint8_t readStatus() override {
    check();
    return ScriptedPort::readStatus();
  }
  void writeData(std::uint8_t value) override {
    check();
    ScriptedPort::writeData(value);
  }
  void writeControl(std::uint8_t value) override {
    check();
    ScriptedPort::writeControl(value);
  }

 private:
  void check() {
    if (failing) {
      ++throws;
      throw std::runtime_error("/dev/parport0: PPRSTATUS failed: No such device");
    }
  }
};

TEST(LinkPortFailure, ThrowingPort_commandsFailLikeASilentWriter_saidOnce_recovers) {
  FailingPort port;
  std::ostringstream diag;
  link::LinkOptions options;
  options.diagnostics = &diag;
  link::Link link(port, options);
  port.failing = true;
  EXPECT_EQ(link.CheckDevice(), 1);
  EXPECT_EQ(link.QueryState3(), 1);
  std::vector<std::uint8_t> block(16, 0xAA);
  EXPECT_EQ(link.ReadBlock(0x4000, block), 1);
  EXPECT_NO_THROW(link.WriteBlock(10, 0x4000, block));
  EXPECT_NO_THROW(link.SendClock());
  // One access per command: the port is not hammered 40000 times per byte once it failed.
  EXPECT_LE(port.throws, 6);
  const std::string said = diag.str();
  const auto first = said.find("PPRSTATUS failed");
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find("PPRSTATUS failed", first + 1), std::string::npos) << "said once: " << said;

  port.failing = false;
  port.answer({0x5A});
  EXPECT_EQ(link.CheckDevice(), 0) << "a port that works again is used again";
}

}  // namespace
}  // namespace quillon::test
