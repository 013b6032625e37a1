// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated writer driven by the program's own link.
#include <gtest/gtest.h>

#include <sstream>

#include "link/link.h"
#include "sim/chips.h"
#include "sim/sim.h"

namespace quillon::simtest {
namespace {

using sim::Memory;
using sim::SimWriter;
using Bytes = std::vector<std::uint8_t>;

class ThroughLink : public ::testing::Test {
 protected:
  link::LinkOptions options() {
    link::LinkOptions o;
    o.diagnostics = &diagnostics_;
    return o;
  }
  std::ostringstream diagnostics_;
};

TEST_F(ThroughLink, ProgramAndReadBank_roundTrip) {
  SimWriter writer(sim::emptyGbFlashCard());
  link::Link link(writer, options());
  EXPECT_EQ(link.CheckDevice(), 0);
  link.WriteByte(0xC080, 1);
  link.WriteByte(0x0000, 0x00);
  link.WriteByte(0xA000, 0x80);
  link.WriteByte(0x0000, 0x0A);
  link.SetControl(2, 9, 0, 0);
  link.SetControl(2, 11, 4, 0);
  int polls = 0;
  while (link.ReadByte(0x4000) != 0x80 && polls < 100) ++polls;
  link.WriteByte(0x4000, 0xFF);
  Bytes bank(0x4000);
  for (std::size_t i = 0; i < bank.size(); ++i) bank[i] = static_cast<std::uint8_t>(i ^ (i >> 6));
  link.SetBank(5);
  link.WriteBlock(10, 0x4000, bank);
  EXPECT_EQ(link.QueryState3(), 0);
  Bytes back(0x4000);
  EXPECT_EQ(link.ReadBlock(0x4000, back), 0);
  EXPECT_EQ(back, bank);
  EXPECT_EQ(link.QueryState3(), 0);
}

TEST_F(ThroughLink, DefaultChips_answerTheirIdentification) {
  SimWriter writer(sim::emptyGbFlashCard());
  link::Link link(writer, options());
  // BIOS ROM row 0 needs the programming voltage; FLASH ROM row 21 takes the command.
  link.SetControl(2, 15, 0, 0);
  link.WriteByte(0xA000, 0x80);
  link.WriteByte(0x0000, 0x00);
  link.SetBank(0);
  link.SetControl(2, 9, 0, 0);
  link.WriteByte(0x4000, 0x90);
  Bytes id(8);
  link.ReadBlock(0x4000, id);
  EXPECT_EQ(id, (Bytes{0x89, 0xB4, 0x00, 0, 0, 0, 0, 0}));
  link.WriteByte(0x4000, 0x00);
  link.SetControl(2, 10, 0, 0);
  link.SetControl(2, 15, 0, 0);
  link.WriteByte(0x0000, 0x0A);
  link.WriteByte(0x4000, 0x90);
  link.ReadBlock(0x4000, id);
  EXPECT_EQ(id, (Bytes{0x89, 0xA0, 0x10, 0, 0, 0, 0, 0}));
}

TEST_F(ThroughLink, WsProbeAndSize_asTheProbeCollectsThem) {
  SimWriter writer(sim::emptyWsFlashCard());
  writer.memory(Memory::WsFlash)[0x3FFFFC] = 0x20;
  link::Link link(writer, options());
  link.SetControl(2, 17, 36, 0);
  link.SendClock();
  link.SendClock();
  ASSERT_TRUE(link.SendHeader(6, 5, 0, 0, 0, "SetControl"));
  link.SendClock();
  EXPECT_EQ(link.ReceiveByte(), 0x82);
  EXPECT_EQ(link.ReceiveByte(), 0x23);
  EXPECT_EQ(link.ReceiveByte(), 0x81 ^ 0x82 ^ 0x23);
  link.SetControl(2, 14, 0, 0);
  link.SetMode(0x27);
  (void)link.ReadByte(0xFFFC);
  link.SetControl(2, 15, 0, 0);
  link.SendClock();
  link.SendClock();
  ASSERT_TRUE(link.SendHeader(6, 7, 0, 0, 0, "SetControl"));
  link.SendByte(0x00);
  EXPECT_EQ(link.ReceiveByte(), 5);
  EXPECT_EQ(link.ReceiveByte(), 5 ^ 0x81);
}

TEST_F(ThroughLink, WsEraseHoldsReady_sendClockWaits_statusZero) {
  SimWriter writer(sim::emptyWsFlashCard());
  link::Link link(writer, options());
  link.SetControl(0, 0xC2, 31, 0);
  link.SetMode(0x24);
  link.SetControl(2, 0x12, 0x24, 0x80);
  link.SendClock();
  link.SendClock();
  EXPECT_EQ(link.QueryState6(), 0);
  EXPECT_EQ(writer.commands().back(), (sim::CommandRecord{6, 6, 0, 0, 0}));
}

TEST_F(ThroughLink, MissingFolder_checkDeviceFails) {
  auto port = sim::openSimPort(std::filesystem::temp_directory_path() / "quillon-sim-no-such-writer");
  link::Link link(*port, options());
  EXPECT_EQ(link.CheckDevice(), 1);
}

}  // namespace
}  // namespace quillon::simtest
