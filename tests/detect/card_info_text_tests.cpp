// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "chips.h"
#include "detect/chips.h"
#include "detect/probe.h"

namespace quillon::detect {
namespace {

using Lines = std::vector<std::string>;

CardEntry entry(const char* name, int type, int romSize, int ramSize, int color, int romStart = 0, int ramStart = 0) {
  CardEntry e;
  std::memcpy(e.name.data(), name, std::min<std::size_t>(std::strlen(name), 16));
  e.type = type;
  e.romSize = romSize;
  e.ramSize = ramSize;
  e.color = color;
  e.romStart = romStart;
  e.ramStart = ramStart;
  return e;
}

CardInfo flashCard(std::string_view bios, std::string_view flash, std::vector<CardEntry> images) {
  CardInfo info;
  info.kind = kFlashCard;
  info.biosChip = support::chipRow(bios);
  info.flashChip = support::chipRow(flash);
  info.count = static_cast<int>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) info.images[i] = images[i];
  return info;
}

TEST(CardInfoText, FlashCardWithOneImage_TwelveLinesInOrder) {
  const auto info = flashCard("INTEL 28F010", "INTEL 28F016SA", {entry("POCKET RACER", 0x1B, 5, 3, 1)});
  EXPECT_EQ(ShowGbCardInfo(info),
            (Lines{"Emulator Card", "BIOS ROM Type:INTEL 28F010", "FLASH ROM Type:INTEL 28F016SA", "Total 1 ROM",
                   "ROM -> 1", "Name:POCKET RACER", "Type:MBC5", "ROM Starting Address:0x000000 bytes",
                   "ROM Size:8M bits", "RAM Starting Address:0x000000", "RAM Size:256K bits", "Color"}));
}

TEST(CardInfoText, NoRamImage_HasNoRamAddressLine) {
  const auto info = flashCard("SST 29EE010", "AMD 29F010", {entry("A", 0x0F, 0, 0, 0, 0x180000, 0xA000)});
  const auto lines = ShowGbCardInfo(info);
  EXPECT_EQ(Lines(lines.begin() + 4, lines.end()),
            (Lines{"ROM -> 1", "Name:A", "Type:Unknown", "ROM Starting Address:0x180000 bytes", "ROM Size:256K bits",
                   "RAM Size:None bits", "Mono"}));
}

TEST(CardInfoText, EmptyFlashCard_FourLines) {
  EXPECT_EQ(ShowGbCardInfo(flashCard("INTEL 28F020", "ST 28F010", {})),
            (Lines{"Emulator Card", "BIOS ROM Type:INTEL 28F020", "FLASH ROM Type:ST 28F010", "Total 0 ROM"}));
}

// Byte 0x143 is the 16th title byte: a character of an old header, the colour flag of a new one.
TEST(CardInfoText, NameOfSixteenBytes_ColourFlagIsNoCharacter) {
  struct Case {
    const char* stored;  // the 16 bytes
    const char* shown;
  };
  const Case cases[] = {
      {"ABCDEFGHIJKLMNOP", "Name:ABCDEFGHIJKLMNOP"},    // a plain 16th character stays
      {"ABCDEFGHIJKLMNO\x80", "Name:ABCDEFGHIJKLMNO"},  // colour, also for the mono console
      {"ABCDEFGHIJKLMNO\xC0", "Name:ABCDEFGHIJKLMNO"},  // colour only
      {"ABCDEFGHIJKLMN\xA4\xA4", "Name:ABCDEFGHIJKLMN\xA4\xA4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    const auto info = flashCard("INTEL 28F010", "INTEL 28F010", {entry(c.stored, 0xFE, 7, 2, 1, 0, 0x2000)});
    const auto lines = ShowGbCardInfo(info);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[5], c.shown);
    EXPECT_EQ(lines[6], "Type:MBC5");
    EXPECT_EQ(lines[9], "RAM Starting Address:0x002000");

    CardInfo cartridge;
    cartridge.kind = kOrdinaryCartridge;
    cartridge.biosChip = cartridge.flashChip = -1;
    cartridge.cartridge = entry(c.stored, 0x19, 0, 0, 1);
    EXPECT_EQ(ShowGbCardInfo(cartridge).at(1), c.shown);
  }
}

TEST(CardInfoText, OrdinaryCartridge_SixLines_OrEmptyForLargeRomCode) {
  CardInfo info;
  info.kind = kOrdinaryCartridge;
  info.biosChip = info.flashChip = -1;
  info.cartridge = entry("TETRIS", 0x00, 1, 0, 0);
  EXPECT_EQ(ShowGbCardInfo(info),
            (Lines{"Standard Card", "Name:TETRIS", "Type:MBC1", "ROM Size:512K bits", "RAM Size:None bits", "Mono"}));
  info.cartridge.romSize = 0x52;
  EXPECT_TRUE(ShowGbCardInfo(info).empty());
}

TEST(CardInfoText, KindMinusOne_EmptyInBothForms) {
  auto info = flashCard("INTEL 28F010", "INTEL 28F016SA", {});
  info.kind = kNoAnswer;
  EXPECT_TRUE(ShowGbCardInfo(info).empty());
  EXPECT_TRUE(ShowWsCardInfo(info).empty());
  EXPECT_TRUE(CardInfoLines(info, static_cast<WriterType>(3)).empty());
}

TEST(CardInfoText, WsForm) {
  CardInfo info;
  info.kind = kFlashCard;
  EXPECT_EQ(CardInfoLines(info, WriterType::Ws), Lines{"Emulator Card"});
  info.kind = kOrdinaryCartridge;
  EXPECT_EQ(CardInfoLines(info, WriterType::Ws), Lines{"Standard Card"});
}

struct ChipLookup {
  std::vector<std::uint8_t> id;
  std::string_view chip;  // empty: none
};

TEST(FindChip, ThreeBytesFirstThenTwo) {
  const ChipLookup cases[] = {
      {{0x89, 0xA0, 0x04}, "INTEL 28F016SV"},
      {{0x89, 0xA0, 0x10}, "INTEL 28F016SA"},
      {{0x89, 0xA0, 0x77}, "INTEL 28F016SV"},
      {{0x89, 0xB4, 0x00}, "INTEL 28F010"},
      {{0x89, 0xB4, 0x55}, "INTEL 28F010"},
      {{0xC2, 0x00, 0x00}, "MX 28F010"},
      {{0xFF, 0xFF, 0xFF}, ""},
      {{0x89, 0x00, 0x00}, ""},
      {{0xDA, 0xC1, 0x00}, "WIN 29EE011"},
  };
  for (const auto& c : cases) EXPECT_EQ(FindChip(c.id), c.chip.empty() ? -1 : support::chipRow(c.chip)) << c.chip;
}

TEST(ChipTable, RowsAreUniqueNamedAndOfAKnownMethod) {
  for (std::size_t i = 0; i < kChipTable.size(); ++i) {
    const auto& row = kChipTable[i];
    EXPECT_FALSE(row.name.empty());
    EXPECT_LE(row.name.size(), 32u);
    EXPECT_LE(static_cast<int>(row.method), 2);
    if (row.size && row.eraseBlock) {
      EXPECT_EQ(*row.size % *row.eraseBlock, 0u) << row.name;  // whole blocks
    }
    // Every row must be reachable by its own bytes.
    EXPECT_EQ(FindChip(row.id), static_cast<int>(i)) << row.name;
  }
}

}  // namespace
}  // namespace quillon::detect
