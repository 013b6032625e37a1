// SPDX-License-Identifier: GPL-3.0-or-later
#include "dat/dat_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "library/regular_file.h"

namespace quillon::dat {

DatRead ReadDat(std::string_view text) {
  const auto first = std::find_if_not(text.begin(), text.end(),
                                      [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
  if (first != text.end() && *first == '<') return detail::ReadLogiqx(text);
  return detail::ReadClrmamepro(text);
}

DatRead ReadDatFile(const std::string& path) {
  std::string reason;
  const auto bytes = library::ReadWholeFile(path, &reason);
  if (!bytes) return {std::nullopt, path + ": " + reason};
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  DatRead read = ReadDat(text);
  if (!read.dat) read.error = path + " " + read.error;
  return read;
}

DumpStatus StatusOf(std::string_view word) {
  if (word == "baddump") return DumpStatus::BadDump;
  if (word == "nodump") return DumpStatus::NoDump;
  return DumpStatus::Good;  // good, verified or none
}

std::optional<std::string> HexField(std::string_view text, std::size_t digits) {
  if (text.empty() || text.size() > digits) return std::nullopt;
  std::string hex(digits - text.size(), '0');  // a CRC written without its leading zeros
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return hex;
}

std::optional<std::uint64_t> SizeField(std::string_view text) {
  std::uint64_t size = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return size;
}

std::optional<std::string> SetRomField(RomEntry& rom, std::string_view key, std::string_view value) {
  const auto hex = [&](std::string& field, std::size_t digits) -> std::optional<std::string> {
    auto text = HexField(value, digits);
    if (!text)
      return "the " + std::string(key) + " \"" + std::string(value) + "\" is not " + std::to_string(digits) +
             " hex digits";
    field = std::move(*text);
    return std::nullopt;
  };
  if (key == "size") {
    const auto size = SizeField(value);
    if (!size) return "the size \"" + std::string(value) + "\" is not a number";
    rom.size = *size;
  } else if (key == "crc") {
    std::string text;
    if (auto error = hex(text, 8)) return error;
    rom.crc32 = static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
  } else if (key == "md5") {
    return hex(rom.md5, 32);
  } else if (key == "sha1") {
    return hex(rom.sha1, 40);
  } else if (key == "sha256") {
    return hex(rom.sha256, 64);
  } else if (key == "status") {
    rom.status = StatusOf(value);
  } else if (key == "serial") {
    rom.serial = value;
  }
  return std::nullopt;
}

std::string LineError(std::string_view text, std::size_t offset, const std::string& what) {
  const auto upTo = text.substr(0, std::min(offset, text.size()));
  return "line " + std::to_string(1 + std::count(upTo.begin(), upTo.end(), '\n')) + ": " + what;
}

}  // namespace quillon::dat
