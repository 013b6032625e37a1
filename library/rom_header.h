// SPDX-License-Identifier: GPL-3.0-or-later
// Facts read from GB and WS image files, their classes, and the texts of both list views
// (the file list "lvFiles" and the card list "lvDown").
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include <string_view>
#include "library/gb_header.h"

namespace quillon::library {

// Number of bytes of a GB image that hold the cartridge header.
inline constexpr std::size_t kGbHeaderSize = gb_header::kSize;

// Header facts of a GB image, from its first 0x150 bytes.
struct GbFacts {
  enum Status { Ok, OpenError, ShortRead };
  Status status = OpenError;
  std::string title;  // raw bytes 0x134.. up to the first zero, at most 15; empty unless Ok
  int type = -1;      // cartridge type byte (0x147); -1 unless Ok
  int romCode = -1;   // ROM size code (0x148); -1 unless Ok
  int ramCode = -1;   // RAM size code (0x149); -1 unless Ok
  int color = -1;     // 1 when bit 7 of byte 0x143 is set, 0 when clear; -1 unless Ok
};

// A GB title as every view of the program shows it, from the header's title bytes (from 0x134
// on, at most 16 of them are looked at): the bytes before the first zero byte, without byte
// 0x143 when it holds the colour flag (0x80 or 0xC0) rather than a 16th character. The bytes
// are kept raw (Big5 for 0x80..0xFF); ShownBig5 makes text of them.
std::string GbTitle(std::string_view titleBytes);

// Reads only the first 0x150 bytes of the file. A file that cannot be opened gives
// OpenError, one with fewer than 0x150 bytes ShortRead; the other fields then keep their
// "unknown" values above.
GbFacts ReadGbFacts(const std::filesystem::path& file);

// Facts of a WS image: its size and the save type byte, the fifth byte from the end.
struct WsFacts {
  bool opened = false;
  std::uint64_t size = 0;
  int saveType = -1;  // byte at size - 5; -1 when the file is shorter than 5 bytes or unread
};

// Looks at the size and reads one byte (at size - 5); nothing else of the file is read.
WsFacts ReadWsFacts(const std::filesystem::path& file);

// Slot class of a GB ROM size code: 0 (32 Mbit) for 7, 1 (16 Mbit) for 6, 2 (8 Mbit) for 5,
// 3 (4 Mbit) for 0..4; -1 for negative codes and codes of 8 and above.
int RomClass(int romCode);

// Save memory class of a GB RAM size code: 0 for 0, 1 for 1 and 2, 2 for 3; -1 otherwise.
int RamClass(int ramCode);

// Save memory class of a WS image: 1 for an EEPROM save (save type 0x10 or 0x20), else 0.
int WsRamClass(int saveType);

// "128M", "64M", "32M", "16M", "8M", "4M" for the exact image sizes (with or without a
// 512-byte header), "Error" for any other size.
std::string_view WsSizeText(std::uint64_t size);

// "None", "64K SRAM", "256K SRAM", "1K EEPROM", "16K EEPROM"; "Unknown" for any other
// value, including -1 (no byte read).
std::string_view WsSaveText(int saveType);

// The card list's "Rom" column: the slot the image takes, "4M" for codes 0..4, "8M", "16M",
// "32M" for 5, 6, 7, "Unknown" otherwise.
std::string_view CardRomText(int romCode);

// The card list's "Ram" column: "None" for 0, "64K" for 1 and 2, "256K" for 3, else "Unknown".
std::string_view CardRamText(int ramCode);

// "C" for colour (1), "M" for mono (0), empty when unknown.
std::string_view ColorText(int color);

// One row of either list view, columns "Files", "Name", "Type", "Rom", "Ram", "Color".
// `name` holds the raw title bytes (Big5 for the bytes 0x80..0xFF).
struct ListRow {
  std::string file, name, type, rom, ram, color;
  friend bool operator==(const ListRow&, const ListRow&) = default;
};

// A GB row of the file list: ROM and RAM sizes from the header's codes.
ListRow GbFileRow(const std::string& fileName, const GbFacts& facts);

// A GB row of the card list: the slot texts instead of the header sizes.
ListRow GbCardRow(const std::string& fileName, const GbFacts& facts);

// A WS row (the same in both lists): "Name", "Type" and "Color" empty.
ListRow WsRow(const std::string& fileName, const WsFacts& facts);

// Title bytes as UTF-8 text: bytes below 0x80 as they are, Big5 pairs converted through
// iconv ("BIG5"); a byte that does not start a valid pair, or every byte when the converter
// is not available, is taken as Latin-1. The one Big5 decoder of both programs.
std::string TitleForDisplay(std::string_view raw);

// A field of line-oriented output (a column of a list row, a card information line) written
// so that it can neither end the line nor add a column, and reads back to the same bytes:
//   backslash -> \\      tab -> \t      line feed -> \n      carriage return -> \r
//   any other byte 0x00..0x1F or 0x7F -> \xHH (two upper-case hex digits)
//   each byte of a C1 control character (U+0080..U+009F, C2 80..C2 9F) -> \xHH
//   each byte that is not part of a well-formed UTF-8 sequence -> \xHH
// Everything else (printable ASCII, UTF-8 text) is left as it is. Replacing \\, \t, \n,
// \r and \xHH by the bytes they stand for gives the field's bytes back.
std::string EscapeField(std::string_view text);

// Big5 bytes (a title, or a card information line holding one) as every view of the program
// shows them: through TitleForDisplay, then EscapeField.
std::string ShownBig5(std::string_view raw);

// The row as one line of text without the line end: the six columns, each through
// EscapeField (the name through ShownBig5), joined by tabs.
std::string FormatListRow(const ListRow& row);

}  // namespace quillon::library
