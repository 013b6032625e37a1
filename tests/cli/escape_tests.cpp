// SPDX-License-Identifier: GPL-3.0-or-later
// 'list' and 'info' print one row per line whatever bytes the file names and titles hold:
// tabs, line ends, backslashes and other control bytes come out as backslash escapes.
#include <algorithm>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

using support::makeGbImage;

std::vector<std::string> linesOf(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t columnsOf(const std::string& line) { return std::count(line.begin(), line.end(), '\t') + 1u; }

struct NamedImage {
  const char* file;   // as the file system holds it
  const char* title;  // header bytes
  const char* shownFile;
  const char* shownTitle;
};

TEST_F(Cli, List_ControlBytesInNamesAndTitles_OneEscapedRowPerFile) {
  const NamedImage images[] = {
      {"plain.gb", "PLAIN", "plain.gb", "PLAIN"},
      {"tab\there.gb", "A\tB", "tab\\there.gb", "A\\tB"},
      {"new\nline.gb", "L1\nL2", "new\\nline.gb", "L1\\nL2"},
      {"cr\r.gb", "\r\x01\x7F", "cr\\r.gb", "\\r\\x01\\x7F"},
      {"back\\slash.gb", "C:\\X", "back\\\\slash.gb", "C:\\\\X"},
      {"esc\x1B[31m.gb", "\x1B[2J", "esc\\x1B[31m.gb", "\\x1B[2J"},
      // UTF-8 names and Big5 titles stay readable text.
      {"\xE4\xB8\xAD\xE6\x96\x87.gb", "\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87.gb", "\xE4\xB8\xAD\xE6\x96\x87"},
      // A name that is no UTF-8 keeps its bytes; a byte that is no Big5 reads as Latin-1,
      // 0x85 there being a C1 control.
      {"bad\xFF\xFE.gb", "\x85", "bad\\xFF\\xFE.gb", "\\xC2\\x85"},
  };
  const auto roms = dir_ / "roms";
  fs::create_directories(roms);
  for (const NamedImage& image : images)
    support::writeFile(roms / image.file, makeGbImage({image.title, 0x01, 0, 0, false}));

  const RunResult r = run("list " + quote(roms.string()));
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = linesOf(r.out);
  EXPECT_EQ(lines.size(), std::size(images)) << r.out;
  for (const std::string& line : lines) EXPECT_EQ(columnsOf(line), 6u) << line;
  for (const NamedImage& image : images) {
    std::string expected = image.shownFile;
    expected += '\t';
    expected += image.shownTitle;
    expected += "\tMBC1\t256K\tNone\tM";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected << "\nin:\n" << r.out;
  }
}

TEST_F(Cli, List_WsFileNameWithLineEnd_OneRow) {
  const auto roms = dir_ / "roms";
  fs::create_directories(roms);
  support::writeFile(roms / "two\nrows\t.ws", std::vector<std::uint8_t>(16, 0));
  const RunResult r = run("--writer ws list " + quote(roms.string()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "two\\nrows\\t.ws\t\t\tError\tNone\t\n");
}

struct InfoCase {
  const char* name;
  bool flashCard;
  std::vector<std::string> titles;
  std::string expected;
};

TEST_F(Cli, Info_TitlesWithControlBytes_OneEscapedLinePerLine) {
  const InfoCase cases[] = {
      {"cartridge",
       false,
       {"A\r\nB\\C"},
       "Standard Card\nName:A\\r\\nB\\\\C\nType:MBC1\nROM Size:256K bits\nRAM Size:None bits\nMono\n"},
      {"flash card directory",
       true,
       {"ONE\nTWO",
        "T\tA\x01"
        "B"},
       "Emulator Card\nBIOS ROM Type:AMD 29F010\nFLASH ROM Type:INTEL 28F016SV\nTotal 2 ROM\n"
       "ROM -> 1\nName:ONE\\nTWO\nType:MBC1\nROM Starting Address:0x000000 bytes\nROM Size:256K bits\n"
       "RAM Size:None bits\nMono\n"
       "ROM -> 2\nName:T\\tA\\x01B\nType:MBC1\nROM Starting Address:0x080000 bytes\nROM Size:256K bits\n"
       "RAM Size:None bits\nMono\n"},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(writer());
    if (c.flashCard) {
      ASSERT_EQ(
          run("sim insert " + quote(writer()) + " gb-flash --bios-chip 'AMD 29F010' --flash-chip 'INTEL 28F016SV'")
              .status,
          0);
      auto bios = support::readFile(fs::path(writer()) / "gb-bios.bin");
      auto flash = support::readFile(fs::path(writer()) / "gb-flash.bin");
      const auto menu = support::makeMenuImage(0x4000);
      std::copy(menu.begin(), menu.end(), bios.begin());
      std::vector<support::PlacedImage> placed;
      for (std::size_t i = 0; i < c.titles.size(); ++i)
        placed.push_back({makeGbImage({c.titles[i], 0x01, 0, 0, false}), static_cast<int>(i), 0});
      support::placeOnFlashCard(bios, flash, placed, 0);
      support::writeFile(fs::path(writer()) / "gb-bios.bin", bios);
      support::writeFile(fs::path(writer()) / "gb-flash.bin", flash);
    } else {
      const auto rom = dir_ / "game.gb";
      support::writeFile(rom, makeGbImage({c.titles[0], 0x01, 0, 0, false}));
      ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-cart " + quote(rom)).status, 0);
    }
    const RunResult r = run(port() + " info");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.expected);
  }
}

}  // namespace
}  // namespace quillon::test
