// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/image_checksums.h"

#include <algorithm>
#include <cstdio>

#include "library/gb_header.h"

namespace quillon::library {

namespace {

constexpr std::size_t kHeaderFirst = gb_header::kTitle, kHeaderLast = 0x14C, kHeaderSum = 0x14D;
constexpr std::size_t kGlobalHigh = 0x14E, kGlobalLow = 0x14F;

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string lineOf(const char* name, bool right, unsigned stored, unsigned computed, int digits) {
  std::string text = std::string(name) + " " + hex(stored, digits);
  if (right) return text + " right";
  return text + " wrong (computed " + hex(computed, digits) + ")";
}

std::string verdictOf(const char* name, unsigned stored, unsigned computed, int digits) {
  return std::string(name) + " checksum wrong (stored " + hex(stored, digits) + ", computed " + hex(computed, digits) +
         "): the image may be damaged";
}

}  // namespace

void ChecksumSum::Add(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t byte : bytes) sum_ = static_cast<std::uint16_t>(sum_ + byte);
  if (size_ < head_.size()) {
    const std::size_t n = std::min(head_.size() - size_, bytes.size());
    std::copy_n(bytes.begin(), n, head_.begin() + static_cast<std::ptrdiff_t>(size_));
  }
  if (bytes.size() >= 2) {
    last_ = {bytes[bytes.size() - 2], bytes.back()};
  } else if (!bytes.empty()) {
    last_ = {last_[1], bytes.back()};
  }
  size_ += bytes.size();
}

ImageChecksums ChecksumSum::Result() const {
  ImageChecksums sums;
  sums.family = family_;
  if (family_ == ImageFamily::Ws) {
    sums.complete = size_ >= 2;
    if (!sums.complete) return sums;
    sums.globalStored = static_cast<std::uint16_t>(last_[1] << 8 | last_[0]);
    sums.globalComputed = static_cast<std::uint16_t>(sum_ - last_[0] - last_[1]);
    return sums;
  }
  sums.complete = size_ >= head_.size();
  if (!sums.complete) return sums;
  std::uint8_t x = 0;
  for (std::size_t i = kHeaderFirst; i <= kHeaderLast; ++i) x = static_cast<std::uint8_t>(x - head_[i] - 1);
  sums.headerComputed = x;
  sums.headerStored = head_[kHeaderSum];
  sums.globalStored = static_cast<std::uint16_t>(head_[kGlobalHigh] << 8 | head_[kGlobalLow]);
  sums.globalComputed = static_cast<std::uint16_t>(sum_ - head_[kGlobalHigh] - head_[kGlobalLow]);
  return sums;
}

std::string ChecksumLine(const ImageChecksums& sums) {
  const bool gb = sums.family == ImageFamily::Gb;
  if (!sums.complete)
    return gb ? "Checksums: the file is too short to hold a GB header"
              : "Checksums: the file is too short to hold a checksum";
  const std::string global = lineOf("global", sums.globalRight(), sums.globalStored, sums.globalComputed, 4);
  if (!gb) return "Checksums: " + global;
  return "Checksums: " + lineOf("header", sums.headerRight(), sums.headerStored, sums.headerComputed, 2) + ", " +
         global;
}

std::string ChecksumVerdict(const ImageChecksums& sums) {
  if (!sums.complete) return "No checksums: the image is too short to hold them";
  std::string text;
  if (!sums.headerRight()) text = verdictOf("Header", sums.headerStored, sums.headerComputed, 2);
  if (!sums.globalRight()) {
    if (!text.empty()) text += '\n';
    text += verdictOf("Global", sums.globalStored, sums.globalComputed, 4);
  }
  return text.empty() ? "Checksums right" : text;
}

}  // namespace quillon::library
