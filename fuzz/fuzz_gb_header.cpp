// The GB header facts and the list rows made from them, fed with any bytes as an image file.
//
// Input: the bytes of the image file. The bytes from 0x150 on (at most 64 of them, without
// '/' and NUL, which no file name holds) also name the file, with ".gb" appended, so that
// names with blanks, tabs, line ends and bytes above 0x7F reach the rows too.
//
// What must hold:
//  - ReadGbFacts gives the same facts twice, and exactly the facts the header bytes hold
//    (title up to the first zero, at most 15 bytes; type, ROM and RAM code bytes; the colour
//    flag's bit 7), or ShortRead with every field unknown for fewer than 0x150 bytes; a
//    missing file gives OpenError with every field unknown.
//  - The classes and texts of the codes are the documented ones (RomClass, RamClass,
//    CardRomText, CardRamText, RomSizeName, RamSizeName, ColorText, CartTypeName through
//    MapperClass 0..4), "Unknown" outside the known codes.
//  - GbFileRow and GbCardRow hold the file name, the raw title and those texts.
//  - ScanRomDir of the folder holding just this file lists exactly GbFileRow for it.
//  - TitleForDisplay gives valid UTF-8, the same text twice, ASCII unchanged.
//  - FormatListRow gives one line of six columns: exactly 5 tabs, no '\n', no '\r'.
#include <array>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "library/names.h"
#include "library/rom_header.h"
#include "library/rom_scan.h"

namespace fs = std::filesystem;
using namespace quillon::library;
using quillon::fuzz::IsValidUtf8;

namespace {

constexpr std::array<std::string_view, 8> kRomSizeTexts = {"256K", "512K", "1M",  "2M",
                                                           "4M",   "8M",   "16M", "32M"};
constexpr std::array<std::string_view, 4> kRamSizeTexts = {"None", "16K", "64K", "256K"};
constexpr std::array<std::string_view, 5> kMapperTexts = {"MBC5", "MBC1", "MBC3", "HUC1",
                                                          "Unknown"};

std::string_view ExpectedCardRom(int code) {
  if (code >= 0 && code <= 4) return "4M";
  if (code == 5) return "8M";
  if (code == 6) return "16M";
  if (code == 7) return "32M";
  return "Unknown";
}

std::string_view ExpectedCardRam(int code) {
  if (code == 0) return "None";
  if (code == 1 || code == 2) return "64K";
  if (code == 3) return "256K";
  return "Unknown";
}

int ExpectedRomClass(int code) {
  if (code >= 0 && code <= 4) return 3;
  if (code >= 5 && code <= 7) return 7 - code;
  return -1;
}

int ExpectedRamClass(int code) {
  if (code == 0) return 0;
  if (code == 1 || code == 2) return 1;
  if (code == 3) return 2;
  return -1;
}

bool SameFacts(const GbFacts& a, const GbFacts& b) {
  return a.status == b.status && a.title == b.title && a.type == b.type && a.romCode == b.romCode &&
         a.ramCode == b.ramCode && a.color == b.color;
}

std::size_t Count(const std::string& text, char c) {
  std::size_t n = 0;
  for (char x : text) n += x == c;
  return n;
}

void CheckCodeTexts(int type, int romCode, int ramCode, int color) {
  const int mapper = MapperClass(type);
  FUZZ_CHECK(mapper >= 0 && mapper <= 4);
  FUZZ_CHECK(CartTypeName(type) == kMapperTexts[static_cast<std::size_t>(mapper)]);
  if (type < 0 || type > 0xFF) FUZZ_CHECK(mapper == 4);

  FUZZ_CHECK(RomClass(romCode) == ExpectedRomClass(romCode));
  FUZZ_CHECK(RamClass(ramCode) == ExpectedRamClass(ramCode));
  FUZZ_CHECK(CardRomText(romCode) == ExpectedCardRom(romCode));
  FUZZ_CHECK(CardRamText(ramCode) == ExpectedCardRam(ramCode));
  FUZZ_CHECK(RomSizeName(romCode) ==
             (romCode >= 0 && romCode < 8 ? kRomSizeTexts[static_cast<std::size_t>(romCode)]
                                          : std::string_view("Unknown")));
  FUZZ_CHECK(RamSizeName(ramCode) ==
             (ramCode >= 0 && ramCode < 4 ? kRamSizeTexts[static_cast<std::size_t>(ramCode)]
                                          : std::string_view("Unknown")));
  FUZZ_CHECK(ColorText(color) == (color == 1 ? "C" : color == 0 ? "M" : ""));
}

void CheckLine(const ListRow& row) {
  const std::string line = FormatListRow(row);
  FUZZ_CHECK(line == FormatListRow(row));
  FUZZ_CHECK_MSG(Count(line, '\t') == 5, "row line: " + line);
  FUZZ_CHECK_MSG(line.find('\n') == std::string::npos, "row line: " + line);
  FUZZ_CHECK_MSG(line.find('\r') == std::string::npos, "row line: " + line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  std::string name;
  for (std::size_t i = kGbHeaderSize; i < size && name.size() < 64; ++i) {
    if (data[i] != '/' && data[i] != 0) name.push_back(static_cast<char>(data[i]));
  }
  name += ".gb";

  // One folder holding just this image, under the name it chose.
  const fs::path file = quillon::fuzz::NextRomPath(name);
  quillon::fuzz::WriteFile(file, bytes);

  const GbFacts facts = ReadGbFacts(file);
  FUZZ_CHECK(SameFacts(facts, ReadGbFacts(file)));

  // The facts are the header's bytes, read independently here.
  GbFacts expected;
  if (size < kGbHeaderSize) {
    expected.status = GbFacts::ShortRead;
  } else {
    expected.status = GbFacts::Ok;
    for (std::size_t i = 0; i < 15 && data[0x134 + i] != 0; ++i) {
      expected.title.push_back(static_cast<char>(data[0x134 + i]));
    }
    expected.type = data[0x147];
    expected.romCode = data[0x148];
    expected.ramCode = data[0x149];
    expected.color = (data[0x143] & 0x80) ? 1 : 0;
  }
  FUZZ_CHECK(SameFacts(facts, expected));
  FUZZ_CHECK(facts.title.size() <= 15);
  if (facts.status == GbFacts::Ok) {
    FUZZ_CHECK(facts.type >= 0 && facts.type <= 0xFF);
    FUZZ_CHECK(facts.romCode >= 0 && facts.romCode <= 0xFF);
    FUZZ_CHECK(facts.ramCode >= 0 && facts.ramCode <= 0xFF);
    FUZZ_CHECK(facts.color == 0 || facts.color == 1);
  }

  const GbFacts missing = ReadGbFacts(quillon::fuzz::ScratchDir() / "no-such-folder" / name);
  FUZZ_CHECK(missing.status == GbFacts::OpenError && missing.title.empty() && missing.type == -1 &&
             missing.romCode == -1 && missing.ramCode == -1 && missing.color == -1);

  CheckCodeTexts(facts.type, facts.romCode, facts.ramCode, facts.color);

  const ListRow fileRow = GbFileRow(name, facts);
  FUZZ_CHECK(fileRow == (ListRow{name, facts.title, std::string(CartTypeName(facts.type)),
                                 std::string(RomSizeName(facts.romCode)),
                                 std::string(RamSizeName(facts.ramCode)),
                                 std::string(ColorText(facts.color))}));
  const ListRow cardRow = GbCardRow(name, facts);
  FUZZ_CHECK(cardRow == (ListRow{name, facts.title, std::string(CartTypeName(facts.type)),
                                 std::string(CardRomText(facts.romCode)),
                                 std::string(CardRamText(facts.ramCode)),
                                 std::string(ColorText(facts.color))}));
  if (facts.status != GbFacts::Ok) {
    FUZZ_CHECK(fileRow.type == "Unknown" && fileRow.rom == "Unknown" && fileRow.ram == "Unknown" &&
               fileRow.color.empty() && fileRow.name.empty());
  }

  const std::vector<ListRow> listed = ScanRomDir(file.parent_path(), 0);
  FUZZ_CHECK(listed.size() == 1);
  FUZZ_CHECK(listed[0] == fileRow);
  FUZZ_CHECK(ScanRomDir(file.parent_path(), 2).empty());

  const std::string shown = TitleForDisplay(facts.title);
  FUZZ_CHECK(shown == TitleForDisplay(facts.title));
  FUZZ_CHECK(IsValidUtf8(shown));
  bool ascii = true;
  for (char c : facts.title) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) FUZZ_CHECK(shown == facts.title);

  // Any bytes as a title, not only the 15 a header holds.
  const std::string_view raw = quillon::fuzz::AsText(bytes.first(std::min<std::size_t>(size, 64)));
  FUZZ_CHECK(IsValidUtf8(TitleForDisplay(raw)));

  CheckLine(fileRow);
  CheckLine(cardRow);
  return 0;
}
