// SPDX-License-Identifier: GPL-3.0-or-later
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
//  - GbFileRow holds the file name and the raw title; a file that is no image gives
//    "Unknown" texts.
//  - ScanRomDir of the folder holding just this file lists exactly GbFileRow for it.
//  - TitleForDisplay gives valid UTF-8, the same text twice, ASCII unchanged.
//  - FormatListRow gives one line of six columns: exactly 5 tabs, no '\n', no '\r'.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "library/rom_header.h"
#include "library/rom_scan.h"

namespace fs = std::filesystem;
using namespace quillon::library;
using quillon::fuzz::IsValidUtf8;

namespace {

bool SameFacts(const GbFacts& a, const GbFacts& b) {
  return a.status == b.status && a.title == b.title && a.type == b.type && a.romCode == b.romCode &&
         a.ramCode == b.ramCode && a.color == b.color;
}

std::size_t Count(const std::string& text, char c) {
  std::size_t n = 0;
  for (char x : text) n += x == c;
  return n;
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

  const ListRow fileRow = GbFileRow(name, facts);
  const ListRow cardRow = GbCardRow(name, facts);
  FUZZ_CHECK(fileRow.file == name && fileRow.name == facts.title);
  if (facts.status != GbFacts::Ok) {
    FUZZ_CHECK(fileRow.type == "Unknown" && fileRow.rom == "Unknown" && fileRow.ram == "Unknown" &&
               fileRow.color.empty() && fileRow.name.empty());
  }

  const std::vector<ListRow> listed = ScanRomDir(file.parent_path(), WriterType::Gb);
  FUZZ_CHECK(listed.size() == 1);
  FUZZ_CHECK(listed[0] == fileRow);
  FUZZ_CHECK(ScanRomDir(file.parent_path(), WriterType::Ws).empty());

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
