// SPDX-License-Identifier: GPL-3.0-or-later
// DAT files: the lists of known dumps that No-Intro and the DAT tools publish, as Logiqx XML
// or as clrmamepro text. Only what a verdict needs is kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::dat {

enum class DumpStatus { Good, BadDump, NoDump };

struct RomEntry {
  std::string game;    // the game's (or machine's) name
  std::string serial;  // the rom's serial, else the game's; may be empty
  std::uint64_t size = 0;
  std::optional<std::uint32_t> crc32;
  std::string md5, sha1, sha256;  // lower-case hex; empty when the DAT does not give it
  DumpStatus status = DumpStatus::Good;
};

struct Dat {
  std::string name, version;  // of its header
  std::vector<RomEntry> roms;
};

// A DAT read whole, or why not: `error` names the line, e.g. "line 12: ...".
struct DatRead {
  std::optional<Dat> dat;
  std::string error;
};

// Reads a DAT of either format: Logiqx XML when its first character that is not white space
// is '<', clrmamepro text otherwise.
DatRead ReadDat(std::string_view text);
// The file's contents through ReadDat; the error then starts with the file's name, e.g.
// "roms.dat line 12: ..." or "roms.dat: No such file or directory".
DatRead ReadDatFile(const std::string& path);

// What both formats share: a rom's fields from their texts.
DumpStatus StatusOf(std::string_view word);
// Hex digits in lower case, or nullopt when `text` holds anything else (or is too long).
std::optional<std::string> HexField(std::string_view text, std::size_t digits);
std::optional<std::uint64_t> SizeField(std::string_view text);
// Sets the rom's field `key` (size, crc, md5, sha1, sha256, status, serial; any other key is
// left alone) from its text; the reason when the text is not a value of that field.
std::optional<std::string> SetRomField(RomEntry& rom, std::string_view key, std::string_view value);
// "line N: " + what, where N counts from 1 and the line is that of `offset` in `text`.
std::string LineError(std::string_view text, std::size_t offset, const std::string& what);

namespace detail {
DatRead ReadLogiqx(std::string_view text);
DatRead ReadClrmamepro(std::string_view text);
}  // namespace detail

}  // namespace quillon::dat
