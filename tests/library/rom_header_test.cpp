// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/rom_header.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/library/test_files.h"

namespace quillon::library {
namespace {

using testing::GbHeader;
using testing::TempDir;
using testing::WriteBytes;
using testing::WriteGbImage;
using testing::WriteWsImage;

TEST(RomClass, Codes_GiveSlotClass) {
  const std::vector<std::pair<int, int>> cases = {{-1, -1}, {0, 3}, {1, 3},  {2, 3},  {3, 3},     {4, 3},   {5, 2},
                                                  {6, 1},   {7, 0}, {8, -1}, {9, -1}, {0x52, -1}, {255, -1}};
  for (const auto& [code, expected] : cases) EXPECT_EQ(RomClass(code), expected) << "code " << code;
}

TEST(RamClass, Codes_GiveSaveClass) {
  const std::vector<std::pair<int, int>> cases = {{-1, -1}, {0, 0},  {1, 1},  {2, 1},
                                                  {3, 2},   {4, -1}, {5, -1}, {255, -1}};
  for (const auto& [code, expected] : cases) EXPECT_EQ(RamClass(code), expected) << "code " << code;
}

TEST(WsRamClass, EepromSaves_GiveClassOne) {
  const std::vector<std::pair<int, int>> cases = {{-1, 0},   {0x00, 0}, {0x01, 0}, {0x02, 0},
                                                  {0x10, 1}, {0x20, 1}, {0x11, 0}, {0xFF, 0}};
  for (const auto& [save, expected] : cases) EXPECT_EQ(WsRamClass(save), expected) << "save " << save;
}

// Header bytes of a file on disk, through the texts of both list views.
struct GbRowCase {
  int type, romCode, ramCode, colorByte;
  const char* typeText;
  const char* fileRom;
  const char* fileRam;
  const char* color;
  const char* cardRom;
  const char* cardRam;
};

TEST(GbRows, HeaderCodes_GiveFileAndCardTexts) {
  const std::vector<GbRowCase> cases = {
      {0x13, 6, 3, 0x80, "MBC3", "16M", "256K", "C", "16M", "256K"},
      {0x00, 2, 1, 0x00, "MBC1", "1M", "16K", "M", "4M", "64K"},
      {0x10, 2, 2, 0x7F, "MBC3", "1M", "64K", "M", "4M", "64K"},
      {0xFE, 0, 0, 0x00, "MBC5", "256K", "None", "M", "4M", "None"},
      {0x11, 7, 2, 0xC0, "Unknown", "32M", "64K", "C", "32M", "64K"},
      {0xFF, 5, 4, 0x7F, "HUC1", "8M", "Unknown", "M", "8M", "Unknown"},
      {0x19, 0x52, 0, 0x80, "MBC5", "Unknown", "None", "C", "Unknown", "None"},
      {0x1E, 4, 3, 0x00, "MBC5", "4M", "256K", "M", "4M", "256K"},
      {0x1B, 3, 0, 0x00, "MBC5", "2M", "None", "M", "4M", "None"},
      {0x03, 1, 0, 0x00, "MBC1", "512K", "None", "M", "4M", "None"},
      {0x04, 8, 0, 0x00, "Unknown", "Unknown", "None", "M", "Unknown", "None"},
  };
  TempDir dir;
  for (const GbRowCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " rom " << c.romCode << " ram " << c.ramCode);
    const auto file = dir.path() / "game.gbc";
    WriteGbImage(file, GbHeader{"ROW", c.type, c.romCode, c.ramCode, c.colorByte});
    const GbFacts facts = ReadGbFacts(file);
    ASSERT_EQ(facts.status, GbFacts::Ok);
    EXPECT_EQ(GbFileRow("game.gbc", facts), (ListRow{"game.gbc", "ROW", c.typeText, c.fileRom, c.fileRam, c.color}));
    EXPECT_EQ(GbCardRow("game.gbc", facts), (ListRow{"game.gbc", "ROW", c.typeText, c.cardRom, c.cardRam, c.color}));
  }
}

TEST(ReadGbFacts, HeaderFields_AreTakenFromTheirOffsets) {
  TempDir dir;
  const auto file = dir.path() / "a.gb";
  WriteGbImage(file, GbHeader{"POKEMON", 0x1B, 5, 2, 0xC0}, 0x8000);
  const GbFacts facts = ReadGbFacts(file);
  ASSERT_EQ(facts.status, GbFacts::Ok);
  EXPECT_EQ(facts.title, "POKEMON");
  EXPECT_EQ(facts.type, 0x1B);
  EXPECT_EQ(facts.romCode, 5);
  EXPECT_EQ(facts.ramCode, 2);
  EXPECT_EQ(facts.color, 1);
}

TEST(ReadGbFacts, Titles_StopAtZeroAndAtFifteenBytes) {
  struct TitleCase {
    std::string written;  // the 15 title bytes (shorter: padded with zeros)
    int byte143;
    std::string expected;
  };
  const std::vector<TitleCase> cases = {
      {"ABCDEFGHIJKLMNO", 'X', "ABCDEFGHIJKLMNO"},  // full: 0x143 is not part of it
      {"ABCDEFGHIJKLMNO", 0x80, "ABCDEFGHIJKLMNO"},   {std::string("ABC\0DEF", 7), 'X', "ABC"}, {"", 'X', ""},
      {"\xA4\xA4\xA4\xE5", 0x00, "\xA4\xA4\xA4\xE5"},  // raw bytes, no conversion
  };
  TempDir dir;
  for (const TitleCase& c : cases) {
    const auto file = dir.path() / "t.gb";
    WriteGbImage(file, GbHeader{c.written, 0x19, 0, 0, c.byte143});
    const GbFacts facts = ReadGbFacts(file);
    ASSERT_EQ(facts.status, GbFacts::Ok);
    EXPECT_EQ(facts.title, c.expected);
  }
}

TEST(ReadGbFacts, ShortOrMissingFile_GivesStatusAndUnknownTexts) {
  struct ShortCase {
    std::size_t size;  // bytes written; 0x150 and more read fully
    GbFacts::Status expected;
  };
  const std::vector<ShortCase> cases = {{0, GbFacts::ShortRead},     {1, GbFacts::ShortRead},
                                        {0x14A, GbFacts::ShortRead}, {0x14F, GbFacts::ShortRead},
                                        {0x150, GbFacts::Ok},        {0x151, GbFacts::Ok}};
  TempDir dir;
  for (const ShortCase& c : cases) {
    SCOPED_TRACE(c.size);
    const auto file = dir.path() / "short.gb";
    // Bytes that would read as a valid header wherever the file reaches.
    std::vector<unsigned char> bytes(c.size, 0x13);
    WriteBytes(file, bytes);
    const GbFacts facts = ReadGbFacts(file);
    EXPECT_EQ(facts.status, c.expected);
    if (c.expected != GbFacts::Ok) {
      EXPECT_EQ(GbFileRow("short.gb", facts), (ListRow{"short.gb", "", "Unknown", "Unknown", "Unknown", ""}));
      EXPECT_EQ(GbCardRow("short.gb", facts), (ListRow{"short.gb", "", "Unknown", "Unknown", "Unknown", ""}));
    } else {
      EXPECT_EQ(facts.type, 0x13);
    }
  }
  const GbFacts missing = ReadGbFacts(dir.path() / "missing.gb");
  EXPECT_EQ(missing.status, GbFacts::OpenError);
  EXPECT_EQ(GbFileRow("missing.gb", missing), (ListRow{"missing.gb", "", "Unknown", "Unknown", "Unknown", ""}));
}

TEST(WsSizeText, ExactSizes_GiveText) {
  const std::vector<std::pair<std::uint64_t, const char*>> cases = {
      {0x1000000, "128M"}, {0x1000200, "128M"},  {0x800000, "64M"},         {0x800200, "64M"},
      {0x400000, "32M"},   {0x400200, "32M"},    {0x200000, "16M"},         {0x200200, "16M"},
      {0x100000, "8M"},    {0x100200, "8M"},     {0x80000, "4M"},           {0x80200, "4M"},
      {0x300000, "Error"}, {0x80001, "Error"},   {0x801FF, "Error"},        {0x40000, "Error"},
      {0, "Error"},        {0x2000000, "Error"}, {0x100080000ULL, "Error"}, {0x100080200ULL, "Error"}};
  for (const auto& [size, text] : cases) EXPECT_EQ(WsSizeText(size), text) << "size " << size;
}

TEST(WsSaveText, SaveTypes_GiveText) {
  const std::vector<std::pair<int, const char*>> cases = {
      {0x00, "None"},    {0x01, "64K SRAM"}, {0x02, "256K SRAM"}, {0x10, "1K EEPROM"}, {0x20, "16K EEPROM"},
      {0x03, "Unknown"}, {0x11, "Unknown"},  {0xFF, "Unknown"},   {-1, "Unknown"}};
  for (const auto& [save, text] : cases) EXPECT_EQ(WsSaveText(save), text) << "save " << save;
}

TEST(ReadWsFacts, SizeAndSaveByte_GiveRowTexts) {
  struct WsCase {
    std::uint64_t size;
    int saveType;
    const char* rom;
    const char* ram;
  };
  const std::vector<WsCase> cases = {{0x80000, 0x20, "4M", "16K EEPROM"}, {0x100200, 0x10, "8M", "1K EEPROM"},
                                     {0x400000, 0x01, "32M", "64K SRAM"}, {0x200000, 0x02, "16M", "256K SRAM"},
                                     {0x300000, 0x00, "Error", "None"},   {0x1000000, 0x07, "128M", "Unknown"},
                                     {5, 0x10, "Error", "1K EEPROM"}};
  TempDir dir;
  for (const WsCase& c : cases) {
    SCOPED_TRACE(c.size);
    const auto file = dir.path() / "g.wsc";
    WriteWsImage(file, c.size, c.saveType);
    const WsFacts facts = ReadWsFacts(file);
    EXPECT_TRUE(facts.opened);
    EXPECT_EQ(facts.size, c.size);
    EXPECT_EQ(facts.saveType, c.saveType);
    EXPECT_EQ(WsRow("g.wsc", facts), (ListRow{"g.wsc", "", "", c.rom, c.ram, ""}));
  }
}

TEST(ReadWsFacts, ShorterThanFiveBytes_HasNoSaveType) {
  TempDir dir;
  for (std::uint64_t size : {0u, 1u, 4u}) {
    const auto file = dir.path() / "tiny.ws";
    WriteBytes(file, std::vector<unsigned char>(size, 0x20));
    const WsFacts facts = ReadWsFacts(file);
    EXPECT_TRUE(facts.opened);
    EXPECT_EQ(facts.size, size);
    EXPECT_EQ(facts.saveType, -1);
    EXPECT_EQ(WsRow("tiny.ws", facts), (ListRow{"tiny.ws", "", "", "Error", "Unknown", ""}));
  }
  const WsFacts missing = ReadWsFacts(dir.path() / "missing.ws");
  EXPECT_FALSE(missing.opened);
  EXPECT_EQ(missing.saveType, -1);
}

TEST(ReadWsFacts, SparseFileOverFourGiB_KeepsSixtyFourBitSize) {
  TempDir dir;
  const std::uint64_t size = (std::uint64_t{4} << 30) + 0x80000;  // 4 GiB + 512 KiB
  const auto file = dir.path() / "huge.ws";
  WriteWsImage(file, size, 0x10);
  const WsFacts facts = ReadWsFacts(file);
  EXPECT_TRUE(facts.opened);
  EXPECT_EQ(facts.size, size);
  EXPECT_EQ(facts.saveType, 0x10);
  EXPECT_EQ(WsRow("huge.ws", facts), (ListRow{"huge.ws", "", "", "Error", "1K EEPROM", ""}));
}

bool Big5Available() {
  iconv_t cd = iconv_open("UTF-8", "BIG5");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

TEST(TitleForDisplay, Big5Pairs_BecomeUtf8) {
  if (!Big5Available()) GTEST_SKIP() << "no BIG5 converter on this system";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87"},  // two characters
      {"AB\xA4\xA4"
       "CD",
       "AB\xE4\xB8\xAD"
       "CD"},                                    // mixed with ASCII
      {"\xA4\x40", "\xE4\xB8\x80"},              // trail byte below 0x80
      {"\xA4\xA4\xA4", "\xE4\xB8\xAD\xC2\xA4"},  // lone lead at the end
      {"\x80\xA4\xA4", "\xC2\x80\xE4\xB8\xAD"},  // 0x80 starts no pair
      {"\xFF"
       "A",
       "\xC3\xBF"
       "A"},  // invalid pair: Latin-1
  };
  for (const auto& [raw, expected] : cases) EXPECT_EQ(TitleForDisplay(raw), expected);
  // A lead byte at the end of the view pairs with nothing beyond it.
  const std::string buffer = "\xA4\xA4\xA4\xA4";
  EXPECT_EQ(TitleForDisplay(std::string_view(buffer).substr(0, 3)), "\xE4\xB8\xAD\xC2\xA4");
}

TEST(TitleForDisplay, AsciiTitles_AreUnchanged) {
  for (const char* raw : {"", "TETRIS", "ZELDA DX 1.0", "~!@#$%^&*()"}) {
    EXPECT_EQ(TitleForDisplay(raw), raw);
  }
}

TEST(FormatListRow, Columns_AreTabJoinedInOrder) {
  EXPECT_EQ(FormatListRow(ListRow{"a.gb", "TETRIS", "MBC1", "256K", "None", "M"}), "a.gb\tTETRIS\tMBC1\t256K\tNone\tM");
  EXPECT_EQ(FormatListRow(ListRow{"b.ws", "", "", "4M", "None", ""}), "b.ws\t\t\t4M\tNone\t");
}

TEST(EscapeField, Utf8IsKept_ControlsAndMalformedBytesAreEscaped) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\xF0\x9F\x98\x80 \xC2\xA0\xE4\xB8\xAD", "\xF0\x9F\x98\x80 \xC2\xA0\xE4\xB8\xAD"},  // 4, 2, 3 bytes
      {"\xC2\x9B"
       "1m",
       "\\xC2\\x9B"
       "1m"},  // C1 control (CSI)
      {"a\x80"
       "b",
       "a\\x80"
       "b"},                                         // stray continuation byte
      {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // above U+10FFFF
      {"\xE4\xB8", "\\xE4\\xB8"},                    // cut short
      {std::string("\0\x1F\x7F", 3), "\\x00\\x1F\\x7F"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(EscapeField(text), expected);
}

TEST(FormatListRow, Big5Name_IsShownAsUtf8) {
  if (!Big5Available()) GTEST_SKIP() << "no BIG5 converter on this system";
  EXPECT_EQ(FormatListRow(ListRow{"a.gb", "\xA4\xA4", "MBC5", "1M", "16K", "C"}),
            "a.gb\t\xE4\xB8\xAD\tMBC5\t1M\t16K\tC");
}

}  // namespace
}  // namespace quillon::library
