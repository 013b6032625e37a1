// SPDX-License-Identifier: GPL-3.0-or-later
// The DAT reader (Logiqx XML and clrmamepro text), fed with any text.
//
// What must hold:
//  - reading the same text twice gives the same outcome;
//  - a DAT read has no error, and each rom's hashes are lower-case hex of their length (or
//    empty);
//  - a DAT not read has an error "line N: ..." with N at most the text's line count.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "dat/dat_file.h"
#include "fuzz_support.h"

namespace {

bool IsHexOf(const std::string& text, std::size_t length) {
  return text.empty() || (text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
                            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                          }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const quillon::dat::DatRead read = quillon::dat::ReadDat(text);
  const quillon::dat::DatRead again = quillon::dat::ReadDat(text);
  FUZZ_CHECK(read.dat.has_value() == again.dat.has_value() && read.error == again.error);
  if (read.dat) {
    FUZZ_CHECK(read.error.empty());
    FUZZ_CHECK(read.dat->roms.size() == again.dat->roms.size());
    for (const auto& rom : read.dat->roms) {
      FUZZ_CHECK(IsHexOf(rom.md5, 32) && IsHexOf(rom.sha1, 40) && IsHexOf(rom.sha256, 64));
    }
    return 0;
  }
  FUZZ_CHECK_MSG(read.error.starts_with("line "), read.error);
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  FUZZ_CHECK_MSG(std::stoul(read.error.substr(5)) <= lines, read.error);
  return 0;
}
