// SPDX-License-Identifier: GPL-3.0-or-later
#include "dat/verdict.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "dat/hashes.h"
#include "library/gb_header.h"
#include "library/rom_header.h"

namespace quillon::dat {

namespace {

constexpr std::size_t kWsHeader = 512;

// A part of the image that may be the dump a DAT knows.
struct Candidate {
  enum Trim { Whole, FirstBytes, WithoutHeader } trim = Whole;
  std::size_t offset = 0, size = 0;
};

std::optional<std::size_t> GbDeclaredSize(std::span<const std::uint8_t> image) {
  if (image.size() < library::kGbHeaderSize) return std::nullopt;
  const int code = image[library::gb_header::kRomSizeCode];
  if (code > 8) return std::nullopt;
  return std::size_t{0x8000} << code;
}

// The ROM size byte of a WS image's footer, the sixth from the end.
std::optional<std::size_t> WsDeclaredSize(std::span<const std::uint8_t> image) {
  static constexpr std::size_t kKiB[] = {128, 256, 512, 1024, 2048, 3072, 4096, 6144, 8192, 16384};
  if (image.size() < 10) return std::nullopt;
  const std::size_t code = image[image.size() - 6];
  if (code >= std::size(kKiB)) return std::nullopt;
  return kKiB[code] * 1024;
}

bool IsPowerOfTwo(std::size_t n) { return n != 0 && (n & (n - 1)) == 0; }

void AddCandidate(std::vector<Candidate>& candidates, Candidate candidate) {
  const bool known = std::any_of(candidates.begin(), candidates.end(), [&](const Candidate& c) {
    return c.offset == candidate.offset && c.size == candidate.size;
  });
  if (!known && candidate.size > 0) candidates.push_back(candidate);
}

// The whole file first, then the size its header declares, the halves of a mirrored
// over-dump, and a WS image without a 512-byte header.
std::vector<Candidate> CandidatesOf(std::span<const std::uint8_t> image, library::ImageFamily family) {
  std::vector<Candidate> candidates;
  AddCandidate(candidates, {Candidate::Whole, 0, image.size()});
  const auto declared = family == library::ImageFamily::Gb ? GbDeclaredSize(image) : WsDeclaredSize(image);
  if (declared && *declared < image.size()) AddCandidate(candidates, {Candidate::FirstBytes, 0, *declared});
  for (std::size_t size = image.size(); size % 2 == 0 && size >= 2;) {
    const auto half = image.first(size / 2);
    if (!std::equal(half.begin(), half.end(), image.begin() + static_cast<std::ptrdiff_t>(size / 2))) break;
    size /= 2;
    AddCandidate(candidates, {Candidate::FirstBytes, 0, size});
  }
  if (family == library::ImageFamily::Ws && image.size() > kWsHeader && IsPowerOfTwo(image.size() - kWsHeader))
    AddCandidate(candidates, {Candidate::WithoutHeader, kWsHeader, image.size() - kWsHeader});
  return candidates;
}

std::string Suffix(const Candidate& candidate) {
  if (candidate.trim == Candidate::FirstBytes) return " (its first " + std::to_string(candidate.size) + " bytes)";
  if (candidate.trim == Candidate::WithoutHeader) return " (without its 512-byte header)";
  return {};
}

// The bytes of one candidate, hashed only as far as a DAT asks.
class CandidateHashes {
 public:
  explicit CandidateHashes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint32_t crc() {
    if (!crc_) crc_ = Crc32Of(bytes_);
    return *crc_;
  }
  const Hashes& all() {
    if (!all_) all_ = HashBytes(bytes_);
    return *all_;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::optional<std::uint32_t> crc_;
  std::optional<Hashes> all_;
};

// Size and CRC32 have matched; SHA-1 decides where the entry has one, MD5 where it has only that.
bool HashesMatch(const RomEntry& rom, CandidateHashes& hashes) {
  if (!rom.sha1.empty()) return rom.sha1 == hashes.all().sha1;
  if (!rom.md5.empty()) return rom.md5 == hashes.all().md5;
  return true;
}

Verdict VerdictOf(const RomEntry& rom, const Candidate& candidate) {
  const std::string name = library::EscapeField(rom.game) + Suffix(candidate);
  if (rom.status == DumpStatus::BadDump) return {VerdictKind::BadDump, "bad dump in the DAT: " + name};
  return {VerdictKind::GoodDump, "good dump: " + name};
}

std::string Simplified(std::string_view text) {
  std::string simple;
  for (const char c : text) {
    if (c == ' ' && (simple.empty() || simple.back() == ' ')) continue;
    simple += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (!simple.empty() && simple.back() == ' ') simple.pop_back();
  return simple;
}

std::string_view WithoutTrailingParts(std::string_view name) {
  for (;;) {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.empty() || name.back() != ')') return name;
    const auto open = name.rfind('(');
    if (open == std::string_view::npos) return name;
    name = name.substr(0, open);
  }
}

// The image's game code (GB bytes 0x13F..0x142 when all are letters or digits) and title.
struct Identity {
  std::string code, title;
};

Identity IdentityOf(std::span<const std::uint8_t> image, library::ImageFamily family) {
  Identity identity;
  if (family != library::ImageFamily::Gb || image.size() < library::kGbHeaderSize) return identity;
  const auto code = image.subspan(0x13F, 4);
  if (std::all_of(code.begin(), code.end(), [](std::uint8_t b) { return std::isalnum(b) != 0; }))
    identity.code.assign(code.begin(), code.end());
  const auto title = image.subspan(library::gb_header::kTitle, library::gb_header::kTitleBytes);
  identity.title = library::GbTitle(std::string_view(reinterpret_cast<const char*>(title.data()), title.size()));
  return identity;
}

bool NamesSameGame(const RomEntry& rom, const Identity& identity) {
  if (!identity.code.empty() && rom.serial.find(identity.code) != std::string::npos) return true;
  return !identity.title.empty() && SameTitle(identity.title, rom.game);
}

}  // namespace

bool SameTitle(std::string_view title, std::string_view entryName) {
  return Simplified(title) == Simplified(WithoutTrailingParts(entryName));
}

Verdict NoVerdict(const std::string& why) { return {VerdictKind::NoVerdict, "no DAT verdict (" + why + ")"}; }

DatSet::DatSet(const std::vector<std::string>& files) : files_(files.size()) {
  for (const auto& file : files) {
    DatRead read = ReadDatFile(file);
    if (!read.dat) {
      errors_.push_back(library::EscapeField(read.error));
      if (unreadable_.empty()) unreadable_ = file;
      continue;
    }
    Indexed indexed{std::move(*read.dat), {}};
    indexed.byCrc.reserve(indexed.dat.roms.size());
    for (std::size_t i = 0; i < indexed.dat.roms.size(); ++i) {
      const auto& rom = indexed.dat.roms[i];
      if (rom.crc32 && rom.status != DumpStatus::NoDump) indexed.byCrc.emplace(*rom.crc32, i);
    }
    dats_.push_back(std::move(indexed));
  }
}

Verdict DatSet::Judge(std::span<const std::uint8_t> image, library::ImageFamily family) const {
  if (!unreadable_.empty()) return NoVerdict(library::EscapeField(unreadable_) + " could not be read");
  const auto candidates = CandidatesOf(image, family);
  std::vector<CandidateHashes> hashes;
  hashes.reserve(candidates.size());
  for (const auto& candidate : candidates) hashes.emplace_back(image.subspan(candidate.offset, candidate.size));
  for (const auto& indexed : dats_) {
    for (std::size_t c = 0; c < candidates.size(); ++c) {
      const auto [first, last] = indexed.byCrc.equal_range(hashes[c].crc());
      for (auto it = first; it != last; ++it) {
        const RomEntry& rom = indexed.dat.roms[it->second];
        if (rom.size == candidates[c].size && HashesMatch(rom, hashes[c])) return VerdictOf(rom, candidates[c]);
      }
    }
  }
  const Identity identity = IdentityOf(image, family);
  for (const auto& indexed : dats_) {
    for (const auto& rom : indexed.dat.roms) {
      if (NamesSameGame(rom, identity))
        return {VerdictKind::NotInDat,
                "not in the DAT (its title matches " + library::EscapeField(rom.game) + ", whose contents differ)"};
    }
  }
  return {VerdictKind::NotInDat, "not in the DAT"};
}

}  // namespace quillon::dat
