// SPDX-License-Identifier: GPL-3.0-or-later
// The checksums a GB or WS image carries, looked at after a card was read: a GB image's two
// in its cartridge header, a WS image's one in its last two bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quillon::library {

enum class ImageFamily { Gb, Ws };

struct ImageChecksums {
  ImageFamily family = ImageFamily::Gb;
  // The image is long enough to hold its checksums: GB bytes 0x000..0x14F, WS two bytes.
  bool complete = false;
  std::uint8_t headerStored = 0;     // GB byte 0x14D
  std::uint8_t headerComputed = 0;   // GB: x = 0; x = x - byte - 1 over 0x134..0x14C
  std::uint16_t globalStored = 0;    // GB bytes 0x14E (high) and 0x14F (low); WS the last two (low first)
  std::uint16_t globalComputed = 0;  // the 16-bit sum of every byte but those two

  bool headerRight() const { return family == ImageFamily::Ws || (complete && headerStored == headerComputed); }
  bool globalRight() const { return complete && globalStored == globalComputed; }
};

// Sums an image handed over piece by piece, in order, without keeping it.
class ChecksumSum {
 public:
  explicit ChecksumSum(ImageFamily family) : family_(family) {}
  void Add(std::span<const std::uint8_t> bytes);
  ImageChecksums Result() const;

 private:
  ImageFamily family_;
  std::size_t size_ = 0;
  std::uint16_t sum_ = 0;                   // of every byte so far
  std::array<std::uint8_t, 0x150> head_{};  // GB: the bytes up to the header's end
  std::array<std::uint8_t, 2> last_{};      // WS: the last two bytes so far
};

// quillon-cli's line, e.g. "Checksums: header 0x4F right, global 0x1A2B right" (GB) or
// "Checksums: global 0x1A2B wrong (computed 0x3C4D)" (WS).
std::string ChecksumLine(const ImageChecksums& sums);

// The reading window's line under its result: "Checksums right", or a line for each
// checksum that is wrong, e.g. "Global checksum wrong (stored 0x2E35, computed 0xB356): the
// image may be damaged".
std::string ChecksumVerdict(const ImageChecksums& sums);

}  // namespace quillon::library
