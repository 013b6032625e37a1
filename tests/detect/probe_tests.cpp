// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "chips.h"
#include "detect/chips.h"
#include "detect/probe.h"
#include "gb_images.h"
#include "scripted_port.h"
#include "sim/chips.h"
#include "sim/sim_writer.h"

namespace quillon::detect {
namespace {

using sim::CommandRecord;
using sim::Memory;
using sim::SimWriter;
using namespace support::chips;
using support::chipRow;
using support::GbImageSpec;
using support::makeGbImage;

struct Rig {
  SimWriter writer;
  std::ostringstream diag;
  link::Link link;
  explicit Rig(sim::CardContents card, sim::Faults faults = {})
      : writer(std::move(card), faults), link(writer, options(diag)) {}
  static link::LinkOptions options(std::ostream& out) {
    link::LinkOptions o;
    o.diagnostics = &out;
    o.clockTimeout = std::chrono::milliseconds(200);
    return o;
  }
};

// A GB flash card with the stand-in menu and images placed by region / save unit.
sim::CardContents gbFlashCard(const std::vector<support::PlacedImage>& images, int writerType = 0,
                              sim::ChipId bios = kIntel28F010, sim::ChipId flash = kIntel28F016SA) {
  auto card = sim::emptyGbFlashCard(bios, flash);
  const auto menu = support::makeMenuImage(writerType == 0 ? 0x4000 : 0x8000);
  std::copy(menu.begin(), menu.end(), card[Memory::GbBios].begin());
  support::placeOnFlashCard(card[Memory::GbBios], card[Memory::GbFlash], images, writerType);
  return card;
}

CommandRecord cmd(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4) {
  return {op, p1, p2, p3, p4};
}
// The firmware's log holds the frame, not the data byte: the value is for the reader.
CommandRecord writeByte(std::uint16_t a, std::uint8_t /*value*/) {
  return cmd(0, std::uint8_t(a & 0xFF), std::uint8_t(a >> 8), 1, 0);
}
CommandRecord readBlock(std::uint16_t a, std::uint16_t n) {
  return cmd(1, std::uint8_t(a & 0xFF), std::uint8_t(a >> 8), std::uint8_t(n & 0xFF), std::uint8_t(n >> 8));
}
CommandRecord setControl(std::uint8_t a, std::uint8_t b) { return cmd(6, a, b, 0, 0); }
CommandRecord setBank(std::uint8_t v) { return cmd(6, 0, v, 0, 0); }
const CommandRecord kCheckDevice = cmd(1, 0x80, 0, 1, 0);

std::vector<CommandRecord> identifyByCommand90(std::uint8_t select) {
  return {setControl(2, 15),       writeByte(0xA000, 0x80), writeByte(0x0000, select), setBank(0),
          writeByte(0x4000, 0x90), readBlock(0x4000, 8),    writeByte(0x4000, 0xFF)};
}

template <typename... Parts>
std::vector<CommandRecord> join(const Parts&... parts) {
  std::vector<CommandRecord> all;
  (all.insert(all.end(), parts.begin(), parts.end()), ...);
  return all;
}

// --- GB flash card -------------------------------------------------------------------

TEST(GbProbe, FlashCardWithTwoImages_ReadsDirectoryAndImageHeaders) {
  Rig rig(gbFlashCard(
      {{makeGbImage({"RACER", 0x1B, 5, 3, true}), 0, 4}, {makeGbImage({"PUZZLE", 0x13, 3, 1, true}), 3, 5}}));
  CardInfo info;
  ASSERT_EQ(ProbeCard(rig.link, WriterType::Gb, info), ProbeOutcome::Probed);
  EXPECT_EQ(info.kind, kFlashCard);
  EXPECT_EQ(info.biosChip, chipRow(kIntel28F010));
  EXPECT_EQ(info.flashChip, chipRow(kIntel28F016SA));
  ASSERT_EQ(info.count, 2);
  EXPECT_EQ(info.images[0].nameText(), "RACER");
  EXPECT_EQ(info.images[0].type, 0x1B);
  EXPECT_EQ(info.images[0].romSize, 5);
  EXPECT_EQ(info.images[0].ramSize, 3);
  EXPECT_EQ(info.images[0].color, 1);
  EXPECT_EQ(info.images[0].ramStart, 4 * 0x2000);
  EXPECT_EQ(info.images[1].nameText(), "PUZZLE");
  EXPECT_EQ(info.images[1].romStart, 3 * 0x80000);
  EXPECT_EQ(info.images[1].ramStart, 5 * 0x2000);
  EXPECT_EQ(rig.diag.str(), "Device ...........OK ! \n");
}

TEST(GbProbe, FlashCard_ExactCommandSequence) {
  Rig rig(gbFlashCard({{makeGbImage({"ONE", 0x19, 0, 0, false}), 3, 5}}, 0, kIntel28F016SA));
  CardInfo info;
  ProbeCard(rig.link, WriterType::Gb, info);
  const std::vector<CommandRecord> start = {kCheckDevice, writeByte(0xC080, 1), setControl(2, 15),
                                            readBlock(0xA000, 4096)};
  const std::vector<CommandRecord> directory = {
      setControl(2, 15), readBlock(0x0000, 0x4000), writeByte(0xA000, 0x80), writeByte(0x0000, 0x0A),
      setBank(96),       readBlock(0x4000, 512),    setControl(2, 15)};
  EXPECT_EQ(rig.writer.commands(), join(start, identifyByCommand90(0x00), identifyByCommand90(0x0A), directory));
}

TEST(GbProbe, DirectoryEntry0x35_ImageFromBank96WithRamAt0xA000) {
  Rig rig(gbFlashCard({{makeGbImage({"THIRD", 0x19, 2, 1, false}), 3, 5}}));
  CardInfo info;
  ProbeCard(rig.link, WriterType::Gb, info);
  ASSERT_EQ(info.count, 1);
  EXPECT_EQ(info.images[0].romStart, 0x180000);
  EXPECT_EQ(info.images[0].ramStart, 0x0A000);
  EXPECT_EQ(info.images[0].nameText(), "THIRD");
}

TEST(GbProbe, PasswordWriterType_DirectoryAt0x200) {
  const auto card = gbFlashCard({{makeGbImage({"PW", 0x19, 0, 0, false}), 1, 0}}, 1);
  {
    Rig rig(card);
    CardInfo info;
    ProbeCard(rig.link, WriterType::GbPassword, info);
    ASSERT_EQ(info.count, 1);
    EXPECT_EQ(info.images[0].romStart, 0x80000);
  }
  Rig rig(card);  // the same card read with the "GB" directory place finds nothing there
  CardInfo info;
  ProbeCard(rig.link, WriterType::Gb, info);
  EXPECT_EQ(info.count, 0);
}

TEST(GbProbe, EmptyDirectory_CountZero) {
  Rig rig(gbFlashCard({}));
  CardInfo info;
  info.count = 5;
  ProbeCard(rig.link, WriterType::Gb, info);
  EXPECT_EQ(info.kind, kFlashCard);
  EXPECT_EQ(info.count, 0);
  EXPECT_EQ(CardInfoLines(info, WriterType::Gb).back(), "Total 0 ROM");
}

TEST(GbProbe, DirectoryWithMoreThanEightEntries_StopsAtEight) {
  auto card = gbFlashCard({});
  for (int i = 0; i < 12; ++i) {
    card[Memory::GbBios][0x3C00 + 32 * i] = static_cast<std::uint8_t>(1 + i % 8);
    card[Memory::GbBios][0x3C00 + 32 * i + 1] = static_cast<std::uint8_t>((i % 8) << 4);
  }
  Rig rig(std::move(card));
  CardInfo info;
  ProbeCard(rig.link, WriterType::Gb, info);
  EXPECT_EQ(info.count, 8);
}

TEST(GbProbe, DirectoryWalkStopsAtEntryNumberOutOfRange) {
  for (std::uint8_t stopper : {std::uint8_t{0x00}, std::uint8_t{0x09}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
    auto card =
        gbFlashCard({{makeGbImage({"A", 0x19, 0, 0, false}), 0, 0}, {makeGbImage({"B", 0x19, 0, 0, false}), 1, 0}});
    card[Memory::GbBios][0x3C00 + 32] = stopper;
    Rig rig(std::move(card));
    CardInfo info;
    ProbeCard(rig.link, WriterType::Gb, info);
    EXPECT_EQ(info.count, 1) << int(stopper);
  }
}

class ChipRows : public ::testing::TestWithParam<int> {};

// Every chip of the table is found, whichever of the four ways it answers and in whichever
// of the two places it sits.
TEST_P(ChipRows, IdentifiedAsBiosAndAsFlash) {
  const int row = GetParam();
  const sim::ChipId chip = kChipTable[static_cast<std::size_t>(row)].id;
  for (auto [bios, flash] : {std::pair{chip, kIntel28F016SA}, std::pair{kIntel28F010, chip}}) {
    Rig rig(gbFlashCard({}, 0, bios, flash));
    CardInfo info;
    ProbeCard(rig.link, WriterType::Gb, info);
    EXPECT_EQ(info.biosChip, chipRow(bios));
    EXPECT_EQ(info.flashChip, chipRow(flash));
    EXPECT_EQ(info.kind, kFlashCard);
  }
}
INSTANTIATE_TEST_SUITE_P(Table, ChipRows, ::testing::Range(0, static_cast<int>(kChipTable.size())));

// Each chip of the program's table is one the simulated writer can carry, known by the same ID
// bytes, taking the same method and named by the same row; and each chip the simulated writer
// can carry is in the program's table with that method.
TEST(ChipTables, EachChipInBoth_sameIdBytesAndMethod) {
  for (std::size_t row = 0; row < kChipTable.size(); ++row) {
    const sim::Chip* chip = sim::chipWithId(kChipTable[row].id);
    ASSERT_NE(chip, nullptr) << kChipTable[row].name << " is not in sim/chips.h";
    EXPECT_EQ(sim::methodNumber(chip->method), static_cast<int>(kChipTable[row].method)) << chip->name;
    EXPECT_EQ(chip->tableRow, static_cast<int>(row)) << chip->name;
  }
  for (const sim::Chip& chip : sim::kChips) {
    const auto host =
        std::find_if(kChipTable.begin(), kChipTable.end(), [&](const auto& row) { return row.id == chip.id; });
    ASSERT_NE(host, kChipTable.end()) << chip.name << " is not in detect/chips.h";
    EXPECT_EQ(static_cast<int>(host->method), sim::methodNumber(chip.method)) << chip.name;
  }
}

// --- ordinary cartridge, empty writer, no writer --------------------------------------

TEST(GbProbe, OrdinaryCartridge_HeaderFactsAndExactSequence) {
  Rig rig(sim::gbCartridge(makeGbImage({"CART GAME", 0x13, 2, 3, true})));
  CardInfo info;
  info.count = 3;
  ASSERT_EQ(ProbeCard(rig.link, WriterType::Gb, info), ProbeOutcome::Probed);
  EXPECT_EQ(info.kind, kOrdinaryCartridge);
  EXPECT_EQ(info.flashChip, -1);
  EXPECT_EQ(info.biosChip, -1);
  EXPECT_EQ(info.count, 0);
  EXPECT_EQ(CardInfoLines(info, WriterType::Gb),
            (std::vector<std::string>{"Standard Card", "Name:CART GAME", "Type:MBC3", "ROM Size:1M bits",
                                      "RAM Size:256K bits", "Color"}));
  EXPECT_EQ(rig.writer.commands(), (std::vector<CommandRecord>{kCheckDevice, writeByte(0xC080, 1), setControl(2, 15),
                                                               readBlock(0xA000, 4096), readBlock(0x0000, 512)}));
}

TEST(GbProbe, EmptyWriter_OrdinaryWithUnreadableHeader_NoText) {
  Rig rig(sim::noCard());
  CardInfo info;
  ASSERT_EQ(ProbeCard(rig.link, WriterType::Gb, info), ProbeOutcome::Probed);
  EXPECT_EQ(info.kind, kOrdinaryCartridge);
  EXPECT_TRUE(CardInfoLines(info, WriterType::Gb).empty());
}

TEST(GbProbe, NoWriter_DeviceErrorAndOtherFieldsKept) {
  sim::Faults faults;
  faults.absent = true;
  Rig rig(sim::noCard(), faults);
  CardInfo info;
  info.count = 2;
  info.cartridge.type = 0x13;
  EXPECT_EQ(ProbeCard(rig.link, WriterType::Gb, info), ProbeOutcome::DeviceError);
  EXPECT_EQ(info.kind, -1);
  EXPECT_EQ(info.flashChip, -1);
  EXPECT_EQ(info.biosChip, -1);
  EXPECT_EQ(info.count, 2);
  EXPECT_EQ(info.cartridge.type, 0x13);
  EXPECT_EQ(rig.diag.str(), "Device ...........ERROR ! \n");
}

TEST(ProbeCard, OtherWriterType_DoesNothing) {
  Rig rig(sim::noCard());
  CardInfo info;
  EXPECT_EQ(ProbeCard(rig.link, static_cast<WriterType>(3), info), ProbeOutcome::NotProbed);
  EXPECT_TRUE(rig.writer.commands().empty());
}

// --- WS --------------------------------------------------------------------------------

TEST(WsProbe, WritableCard_Identification0x2382KindZero) {
  Rig rig(sim::emptyWsFlashCard());
  CardInfo info;
  info.count = 4;
  ASSERT_EQ(ProbeCard(rig.link, WriterType::Ws, info), ProbeOutcome::Probed);
  EXPECT_EQ(info.flashChip, 0x2382);
  EXPECT_EQ(info.biosChip, -1);
  EXPECT_EQ(info.kind, kFlashCard);
  EXPECT_EQ(info.count, 4);  // left as it was
  EXPECT_EQ(CardInfoLines(info, WriterType::Ws), std::vector<std::string>{"Emulator Card"});
}

// Silent after the identification latch: gone once the clock limit (0.2 s, 1 us an access) passed.
TEST(WsProbe, SilentAfterTheLatch_writerGoneAfterTheClockLimit) {
  Rig rig(sim::emptyWsFlashCard());
  rig.writer.faults().accessUs = 1;
  rig.writer.setCommandHooks({{}, [&] {
                                if (rig.writer.commands().back() == cmd(6, 2, 17, 36, 0))
                                  rig.writer.faults().dropAfter = rig.writer.bytesCrossed();
                              }});
  rig.link.beginOperation();
  CardInfo info;
  ProbeCard(rig.link, WriterType::Ws, info);
  EXPECT_TRUE(rig.link.writerGone());
  EXPECT_LE(rig.writer.accesses(), 300'000u);
}

TEST(WsProbe, IdentificationWithAZeroByte_KindOne) {
  for (std::uint16_t id : {std::uint16_t{0x2300}, std::uint16_t{0x0082}}) {
    sim::Faults faults;
    faults.wsId = id;
    Rig rig(sim::emptyWsFlashCard(), faults);
    CardInfo info;
    ProbeCard(rig.link, WriterType::Ws, info);
    EXPECT_EQ(info.flashChip, id);
    EXPECT_EQ(info.kind, kOrdinaryCartridge);
  }
}

TEST(WsProbe, BadCheckOnIdentification_AllMinusOneAndNoText) {
  sim::Faults faults;
  faults.badCheck = 2;  // the first answer is CheckDevice's
  Rig rig(sim::emptyWsFlashCard(), faults);
  CardInfo info;
  EXPECT_EQ(ProbeCard(rig.link, WriterType::Ws, info), ProbeOutcome::Probed);
  EXPECT_EQ(info.kind, -1);
  EXPECT_EQ(info.flashChip, -1);
  EXPECT_TRUE(CardInfoLines(info, WriterType::Ws).empty());
}

struct WsSize {
  std::size_t imageBytes;
  int units;
};

TEST(QueryWsRomSize, SizeOfTheWrittenImageInEightKilobyteUnits) {
  for (auto [bytes, units] :
       {WsSize{0x80000, 64}, WsSize{0x100000, 128}, WsSize{0x200000, 256}, WsSize{0x400000, 512}}) {
    auto card = sim::emptyWsFlashCard();
    // Writing leaves the size code in the top nibble of the byte 4 before the card's end.
    const std::uint8_t code = bytes == 0x400000 ? 0x00 : bytes == 0x200000 ? 0x10 : bytes == 0x100000 ? 0x20 : 0x30;
    card[Memory::WsFlash][0x3FFFFC] = static_cast<std::uint8_t>(0x04 | code);
    Rig rig(std::move(card));
    EXPECT_EQ(QueryWsRomSize(rig.link), units) << bytes;
  }
}

TEST(QueryWsRomSize, BadCheck_MinusOne) {
  sim::Faults faults;
  faults.wsSizeBadCheck = true;
  Rig rig(sim::emptyWsFlashCard(), faults);
  EXPECT_EQ(QueryWsRomSize(rig.link), -1);
}

struct SizeCode {
  std::uint8_t code;
  int units;
};

TEST(QueryWsRomSize, CodesToUnits) {
  for (auto [code, units] :
       {SizeCode{0, 0}, SizeCode{1, 8}, SizeCode{4, 64}, SizeCode{28, 1 << 30}, SizeCode{29, -1}, SizeCode{0xFF, -1}}) {
    test::ScriptedPort port;
    port.answer({0x00});  // the byte read at 0xFFFC
    port.answer({code});
    link::Link link(port);
    EXPECT_EQ(QueryWsRomSize(link), units) << int(code);
  }
}

}  // namespace
}  // namespace quillon::detect
