// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/rom_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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

TEST(FileNameLess, Pairs_AreOrderedWithoutCaseThenByBytes) {
  struct OrderCase {
    const char* a;
    const char* b;
    bool less;
  };
  const std::vector<OrderCase> cases = {{"a.gb", "b.gb", true},   {"b.gb", "a.gb", false},
                                        {"B.gb", "a.gb", false},  {"a.gb", "B.gb", true},
                                        {"A.gb", "a.gb", true},   {"a.gb", "A.gb", false},
                                        {"a.gb", "a.gb", false},  {"a.gb", "a.gbc", true},
                                        {"a.gbc", "a.gb", false}, {"ZELDA.gb", "zelda.gbc", true},
                                        {"a.gb", "a_.gb", true},  {"x1.gb", "X2.gb", true},
                                        {"", "a", true},          {"a", "", false}};
  for (const OrderCase& c : cases) {
    EXPECT_EQ(FileNameLess(c.a, c.b), c.less) << c.a << " < " << c.b;
  }
}

TEST(MatchesExtension, Masks_MatchWithoutCase) {
  struct MaskCase {
    const char* name;
    const char* ext;
    bool matches;
  };
  const std::vector<MaskCase> cases = {{"a.gb", ".gb", true},   {"GAME.GB", ".gb", true}, {"x.Gbc", ".gbc", true},
                                       {".gb", ".gb", true},    {"a.gbc", ".gb", false},  {"a.gb.bak", ".gb", false},
                                       {"agb", ".gb", false},   {"gb", ".gb", false},     {"a.gbx", ".gbc", false},
                                       {"b.WSC", ".wsc", true}, {"b.ws", ".wsc", false}};
  for (const MaskCase& c : cases) {
    EXPECT_EQ(MatchesExtension(c.name, c.ext), c.matches) << c.name << " " << c.ext;
  }
}

class ScanRomDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto& d = dir_.path();
    WriteGbImage(d / "b.gb", GbHeader{"BEE", 0x13, 6, 3, 0x80});
    WriteGbImage(d / "GAME.GB", GbHeader{"LOUD", 0x01, 2, 1, 0x00});
    WriteGbImage(d / "a.gbc", GbHeader{"AYE", 0xFE, 0, 0, 0xC0});
    WriteGbImage(d / "A.gb", GbHeader{"UPPER", 0x11, 7, 2, 0x00});
    WriteGbImage(d / "c.gb.bak", GbHeader{});
    WriteGbImage(d / "d.gbx", GbHeader{});
    WriteBytes(d / "short.gb", std::vector<unsigned char>(100, 0x13));
    std::filesystem::create_directory(d / "folder.gb");
    std::filesystem::create_directory(d / "folder.ws");
    WriteWsImage(d / "w.ws", 0x80000, 0x20);
    WriteWsImage(d / "V.WSC", 0x300000, 0x01);
    WriteWsImage(d / "x.wsc.old", 0x80000, 0x00);
  }

  TempDir dir_;
};

TEST_F(ScanRomDirTest, GbWriterTypes_ListGbImagesSortedWithHeaderTexts) {
  const std::vector<ListRow> expected = {
      {"A.gb", "UPPER", "Unknown", "32M", "64K", "M"},       {"a.gbc", "AYE", "MBC5", "256K", "None", "C"},
      {"b.gb", "BEE", "MBC3", "16M", "256K", "C"},           {"GAME.GB", "LOUD", "MBC1", "1M", "16K", "M"},
      {"short.gb", "", "Unknown", "Unknown", "Unknown", ""},
  };
  for (WriterType writerType : {WriterType::Gb, WriterType::GbPassword}) {
    EXPECT_EQ(ScanRomDir(dir_.path(), writerType), expected) << "writer type " << static_cast<int>(writerType);
  }
}

TEST_F(ScanRomDirTest, WsWriterType_ListsWsImages) {
  const std::vector<ListRow> expected = {
      {"V.WSC", "", "", "Error", "64K SRAM", ""},
      {"w.ws", "", "", "4M", "16K EEPROM", ""},
  };
  EXPECT_EQ(ScanRomDir(dir_.path(), WriterType::Ws), expected);
}

TEST_F(ScanRomDirTest, OtherWriterTypes_ListNothing) {
  for (int writerType : {-1, 3, 7}) {
    EXPECT_TRUE(ScanRomDir(dir_.path(), static_cast<WriterType>(writerType)).empty()) << "writer type " << writerType;
  }
}

TEST_F(ScanRomDirTest, Scan_LeavesCurrentDirectoryAlone) {
  const auto before = std::filesystem::current_path();
  ASSERT_NE(before, dir_.path());
  EXPECT_EQ(ScanRomDir(dir_.path(), WriterType::Gb).size(), 5u);
  EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST(ScanRomDir, UnreachableDirectory_ListsNothing) {
  TempDir dir;
  WriteGbImage(dir.path() / "plain.gb", GbHeader{});
  for (const auto& path : {dir.path() / "missing", dir.path() / "plain.gb", dir.path() / "missing" / "deeper"}) {
    for (WriterType writerType : {WriterType::Gb, WriterType::Ws}) {
      std::vector<ListRow> rows;
      EXPECT_NO_THROW(rows = ScanRomDir(path, writerType));
      EXPECT_TRUE(rows.empty()) << path;
    }
  }
}

TEST(ScanRomDir, EmptyDirectory_ListsNothing) {
  TempDir dir;
  EXPECT_TRUE(ScanRomDir(dir.path(), WriterType::Gb).empty());
  EXPECT_TRUE(ScanRomDir(dir.path(), WriterType::Ws).empty());
}

TEST(ScanRomDir, LongDirectoryAndFileNames_AreListed) {
  TempDir dir;
  // One folder name of 200 characters, inside a path that itself runs past 200.
  const auto longDir = dir.path() / std::string(60, 'p') / std::string(200, 'd');
  std::filesystem::create_directories(longDir);
  ASSERT_GT(longDir.string().size(), 260u);
  const std::string longName = std::string(230, 'n') + ".gb";
  WriteGbImage(longDir / longName, GbHeader{"LONG", 0x1B, 5, 2, 0x80});
  WriteGbImage(longDir / "s.gbc", GbHeader{"SHORT", 0x00, 0, 0, 0x00});
  const std::vector<ListRow> expected = {
      {longName, "LONG", "MBC5", "8M", "64K", "C"},
      {"s.gbc", "SHORT", "MBC1", "256K", "None", "M"},
  };
  EXPECT_EQ(ScanRomDir(longDir, WriterType::Gb), expected);
}

TEST(ScanRomDir, SparseWsImageOverFourGiB_ShowsError) {
  TempDir dir;
  WriteWsImage(dir.path() / "huge.ws", (std::uint64_t{4} << 30) + 0x80000, 0x00);
  const std::vector<ListRow> expected = {{"huge.ws", "", "", "Error", "None", ""}};
  EXPECT_EQ(ScanRomDir(dir.path(), WriterType::Ws), expected);
}

TEST(ScanRomDir, UnreadableFile_IsListedWithUnknownTexts) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not stop the superuser";
  TempDir dir;
  const auto file = dir.path() / "locked.gb";
  WriteGbImage(file, GbHeader{"LOCKED", 0x19, 0, 0, 0x80});
  std::filesystem::permissions(file, std::filesystem::perms::none);
  const std::vector<ListRow> expected = {{"locked.gb", "", "Unknown", "Unknown", "Unknown", ""}};
  EXPECT_EQ(ScanRomDir(dir.path(), WriterType::Gb), expected);
}

}  // namespace
}  // namespace quillon::library
