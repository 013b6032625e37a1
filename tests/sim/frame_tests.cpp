// SPDX-License-Identifier: GPL-3.0-or-later
// The writer's side of the handshake and the frame: ready bit, nibbles, check bytes,
// resynchronisation, ignored frames.
#include <gtest/gtest.h>

#include <numeric>

#include "host.h"
#include "sim/sim_writer.h"

namespace quillon::simtest {
namespace {

using sim::CardKind;
using sim::CommandRecord;
using sim::Memory;
using sim::SimWriter;

sim::CardContents cardOf(CardKind kind) {
  switch (kind) {
    case CardKind::None:
      return sim::noCard();
    case CardKind::GbFlash:
      return sim::emptyGbFlashCard();
    case CardKind::GbCart: {
      Bytes rom(0x8000, 0x00);
      return sim::gbCartridge(rom);
    }
    case CardKind::WsFlash:
      return sim::emptyWsFlashCard();
  }
  return sim::noCard();
}

class EveryCard : public ::testing::TestWithParam<CardKind> {};

TEST_P(EveryCard, CheckDevice_anyCard_answersWithMatchingCheck) {
  SimWriter writer(cardOf(GetParam()));
  Host host(writer);
  const Answer a = host.readBlock(0x0080, 1);
  ASSERT_TRUE(a.complete);
  EXPECT_EQ(a.check, a.bytes[0] ^ 0x81);
  EXPECT_EQ(writer.commands(), (std::vector<CommandRecord>{{1, 0x80, 0x00, 0x01, 0x00}}));
}

INSTANTIATE_TEST_SUITE_P(Cards, EveryCard,
                         ::testing::Values(CardKind::None, CardKind::GbFlash, CardKind::GbCart, CardKind::WsFlash));

TEST(Registers, Status_waitingForByte_readySetWithoutNibble) {
  SimWriter writer;
  EXPECT_EQ(writer.readStatus(), 0x80);
}

TEST(Registers, Answer_presentsLowNibbleFirstOnBits3to6_nextNibbleAfterEachStrobeChange) {
  SimWriter writer(sim::emptyGbFlashCard());
  writer.memory(Memory::GbBios)[0x0123] = 0xA7;
  Host host(writer);
  host.header(1, 0x23, 0x01, 0x01, 0x00);
  host.sendByte(0x00);
  EXPECT_EQ(writer.readStatus(), 0x80 | (0x7 << 3));
  EXPECT_EQ(writer.readStatus(), 0x80 | (0x7 << 3)) << "reading the status alone does not move on";
  host.flipStrobe();
  EXPECT_EQ(writer.readStatus(), 0x80 | (0xA << 3));
  host.flipStrobe();
  const std::uint8_t check = 0xA7 ^ 0x81;
  EXPECT_EQ(writer.readStatus(), 0x80 | ((check & 0xF) << 3));
  host.flipStrobe();
  EXPECT_EQ(writer.readStatus(), 0x80 | ((check >> 4) << 3));
  host.flipStrobe();
  EXPECT_EQ(writer.readStatus(), 0x80) << "back to receiving after the check byte";
}

TEST(Registers, ControlBitsOtherThanStrobe_changeNothing) {
  SimWriter writer(sim::emptyGbFlashCard());
  writer.writeData(0x00);
  writer.writeControl(static_cast<std::uint8_t>(writer.readControl() ^ 0x0E));
  writer.writeControl(static_cast<std::uint8_t>(writer.readControl() ^ 0x20));
  EXPECT_EQ(writer.bytesCrossed(), 0u);
  EXPECT_EQ(writer.readStatus(), 0x80);
}

TEST(Registers, DelayTicks_countsIntoVirtualClock) {
  SimWriter writer;
  writer.delayTicks(65535);
  writer.delayTicks(1000);
  writer.delayTicks(1);
  EXPECT_EQ(writer.ticks(), 66536u);
}

struct AnswerCase {
  const char* name;
  std::uint16_t address;
  std::uint16_t count;
};

class AnswerChecks : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerChecks, ReadBlock_bytesFromCardAndCheckIs81XorBytes) {
  SimWriter writer(sim::emptyGbFlashCard());
  auto bios = writer.memory(Memory::GbBios);
  for (std::size_t i = 0; i < 0x4000; ++i) bios[i] = static_cast<std::uint8_t>(i * 7 + 3);
  Host host(writer);
  const auto [name, address, count] = GetParam();
  const Answer a = host.readBlock(address, count);
  ASSERT_TRUE(a.complete) << name;
  ASSERT_EQ(a.bytes.size(), count);
  std::uint8_t check = 0x81;
  for (std::size_t i = 0; i < count; ++i) {
    ASSERT_EQ(a.bytes[i], bios[address + i]) << name << " byte " << i;
    check ^= a.bytes[i];
  }
  EXPECT_EQ(a.check, check) << name;
}

INSTANTIATE_TEST_SUITE_P(Reads, AnswerChecks,
                         ::testing::Values(AnswerCase{"empty", 0x0000, 0}, AnswerCase{"one", 0x0147, 1},
                                           AnswerCase{"eight", 0x3FF8, 8}, AnswerCase{"bank", 0x0000, 0x4000}),
                         [](const auto& p) { return std::string(p.param.name); });

// Bytes the PC may have sent before a frame (dropped packets, clocks): all skipped.
struct GarbageCase {
  const char* name;
  Bytes garbage;
};

class Resync : public ::testing::TestWithParam<GarbageCase> {};

TEST_P(Resync, Garbage_beforeSync_isSkippedAndFrameCarriedOut) {
  SimWriter writer(sim::emptyGbFlashCard());
  writer.memory(Memory::GbBios)[0x0080] = 0x3C;
  Host host(writer);
  for (auto b : GetParam().garbage) host.sendByte(b);
  EXPECT_EQ(host.readByte(0x0080), 0x3C);
  EXPECT_EQ(writer.commands(), (std::vector<CommandRecord>{{1, 0x80, 0x00, 0x01, 0x00}}));
}

INSTANTIATE_TEST_SUITE_P(
    Garbage, Resync,
    ::testing::Values(GarbageCase{"strayZeros", {0x00, 0x00, 0x00}}, GarbageCase{"oneZero", {0x00}},
                      GarbageCase{"noise", {0x12, 0xD5, 0xAA, 0x96, 0xFF}},
                      GarbageCase{"syncCutAfterD5", {0x00, 0x00, 0xD5}},
                      GarbageCase{"syncCutAfterAA", {0x00, 0x00, 0xD5, 0xAA}},
                      GarbageCase{"zeroThenD5", {0x00, 0xD5, 0xAA, 0x96}},
                      GarbageCase{"writeFrameWithBadCheck",
                                  {0x00, 0x00, 0xD5, 0xAA, 0x96, 0x00, 0x00, 0xA0, 0x01, 0x00, 0x00, 0x0A, 0x8B}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Frames, BadHeaderCheck_commandIgnored_nextFrameCarriedOut) {
  SimWriter writer(sim::emptyGbFlashCard());
  Host host(writer);
  // SetBank(5) with a wrong check byte, then a good read of the bank window.
  host.headerWithCheck(6, 0, 5, 0, 0, 0x83);
  writer.memory(Memory::GbBios)[5 * 0x4000] = 0x55;
  writer.memory(Memory::GbBios)[0x0000] = 0x11;
  EXPECT_EQ(host.readByte(0x4000), 0x11) << "bank 0 of the BIOS ROM still shown";
  EXPECT_EQ(writer.framesIgnored(), 1u);
  EXPECT_EQ(writer.commands().size(), 1u);
  host.setBank(5);
  EXPECT_EQ(host.readByte(0x4000), 0x55);
}

TEST(Frames, BadDataCheck_writeNotCarriedOut) {
  SimWriter writer(sim::emptyGbFlashCard());
  Host host(writer);
  host.setControl(2, 15, 0, 0);
  host.writeByte(0x0000, 0x0A);
  host.writeByte(0x1000, 0x0C);
  const Bytes data = {1, 2, 3, 4};
  host.writeBlockWithCheck(0, 0xA000, data, 0x81 ^ 1 ^ 2 ^ 3 ^ 5);
  EXPECT_EQ(writer.memory(Memory::GbSram)[0], 0) << "data with a bad check must not be written";
  EXPECT_EQ(writer.framesIgnored(), 1u);
  host.writeBlock(0, 0xA000, data);
  EXPECT_EQ(writer.memory(Memory::GbSram)[3], 4);
}

TEST(Frames, WriteBlockCountZero_onlyCheckByteFollows) {
  SimWriter writer(sim::emptyGbFlashCard());
  Host host(writer);
  host.writeBlock(0, 0xA000, Bytes{});
  host.setBank(3);
  EXPECT_EQ(writer.commands(), (std::vector<CommandRecord>{{0, 0x00, 0xA0, 0x00, 0x00}, {6, 0, 3, 0, 0}}));
}

TEST(Frames, UnknownOpcode_ignored) {
  SimWriter writer(sim::emptyGbFlashCard());
  Host host(writer);
  host.header(0x42, 1, 2, 3, 4);
  EXPECT_TRUE(host.checkDevice());
  EXPECT_EQ(writer.framesIgnored(), 1u);
  EXPECT_EQ(writer.commands().size(), 1u);
}

TEST(Frames, CommandLog_recordsOpcodeAndParametersInOrder) {
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  host.setMode(0x27);
  host.setControl(0, 0xC3, 7, 0);
  host.writeBlock(16, 0x8000, Bytes(3, 0));
  (void)host.queryState6();
  EXPECT_EQ(writer.commands(), (std::vector<CommandRecord>{
                                   {5, 0x27, 0, 0, 0}, {6, 0, 0xC3, 7, 0}, {16, 0x00, 0x80, 3, 0}, {6, 6, 0, 0, 0}}));
  EXPECT_EQ(writer.commands()[2].address(), 0x8000);
  EXPECT_EQ(writer.commands()[2].count(), 3);
}

}  // namespace
}  // namespace quillon::simtest
