// SPDX-License-Identifier: GPL-3.0-or-later
// What a list of DATs says of an image's bytes: a good dump, a bad one, or not in them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "dat/dat_file.h"
#include "library/image_checksums.h"

namespace quillon::dat {

enum class VerdictKind { GoodDump, BadDump, NotInDat, NoVerdict };

struct Verdict {
  VerdictKind kind = VerdictKind::NoVerdict;
  std::string line;  // e.g. "good dump: NAME (its first 32768 bytes)"
};

// The DATs a command was given, read once, in the order given; the first with a match gives
// the verdict.
class DatSet {
 public:
  // Reads every file; errors() names each that could not be read, with the line and reason.
  explicit DatSet(const std::vector<std::string>& files);

  bool empty() const { return files_ == 0; }
  const std::vector<std::string>& errors() const { return errors_; }
  Verdict Judge(std::span<const std::uint8_t> image, library::ImageFamily family) const;

 private:
  struct Indexed {
    Dat dat;
    std::unordered_multimap<std::uint32_t, std::size_t> byCrc;  // rom index by its CRC32
  };

  std::size_t files_ = 0;
  std::vector<Indexed> dats_;
  std::vector<std::string> errors_;
  std::string unreadable_;  // the first file that could not be read
};

// The verdict line for a file whose bytes cannot be had again ("OUT cannot be read back").
Verdict NoVerdict(const std::string& why);

// A header's title and a DAT entry's name name the same game: the name without its trailing
// parenthesised parts (" (World)", " (Rev 1)") equals the title, ignoring case and runs of
// spaces.
bool SameTitle(std::string_view title, std::string_view entryName);

}  // namespace quillon::dat
