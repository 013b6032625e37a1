// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/gb_checksums.h"

#include <cstdio>
#include <vector>

#include "library/regular_file.h"

namespace quillon::cli {

namespace {

constexpr std::size_t kHeaderFirst = 0x134, kHeaderLast = 0x14C, kHeaderSum = 0x14D;
constexpr std::size_t kGlobalHigh = 0x14E, kGlobalLow = 0x14F, kHeaderEnd = 0x150;

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string verdict(const char* name, bool right, unsigned stored, unsigned computed, int digits) {
  std::string text = std::string(name) + " " + hex(stored, digits);
  if (right) return text + " right";
  return text + " wrong (computed " + hex(computed, digits) + ")";
}

}  // namespace

GbChecksums ComputeGbChecksums(std::span<const std::uint8_t> image) {
  GbChecksums sums;
  if (image.size() < kHeaderEnd) return sums;
  sums.hasHeader = true;
  std::uint8_t x = 0;
  for (std::size_t i = kHeaderFirst; i <= kHeaderLast; ++i) x = static_cast<std::uint8_t>(x - image[i] - 1);
  sums.headerComputed = x;
  sums.headerStored = image[kHeaderSum];
  std::uint16_t global = 0;
  for (std::size_t i = 0; i < image.size(); ++i)
    if (i != kGlobalHigh && i != kGlobalLow) global = static_cast<std::uint16_t>(global + image[i]);
  sums.globalComputed = global;
  sums.globalStored = static_cast<std::uint16_t>(image[kGlobalHigh] << 8 | image[kGlobalLow]);
  return sums;
}

std::optional<GbChecksums> GbChecksumsOfFile(const std::string& path, std::string* reason) {
  const auto bytes = library::ReadWholeFile(path, reason);
  if (!bytes) return std::nullopt;
  return ComputeGbChecksums(*bytes);
}

std::string ChecksumLine(const GbChecksums& sums) {
  if (!sums.hasHeader) return "Checksums: the file is too short to hold a GB header";
  return "Checksums: " + verdict("header", sums.headerRight(), sums.headerStored, sums.headerComputed, 2) + ", " +
         verdict("global", sums.globalRight(), sums.globalStored, sums.globalComputed, 4);
}

}  // namespace quillon::cli
