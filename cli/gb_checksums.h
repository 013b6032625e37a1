// SPDX-License-Identifier: GPL-3.0-or-later
// The two checksums of a GB image's cartridge header, looked at after a card was read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quillon::cli {

struct GbChecksums {
  bool hasHeader = false;            // the image holds bytes 0x000..0x14F
  std::uint8_t headerStored = 0;     // byte 0x14D
  std::uint8_t headerComputed = 0;   // x = 0; x = x - byte - 1 over 0x134..0x14C
  std::uint16_t globalStored = 0;    // bytes 0x14E (high) and 0x14F (low)
  std::uint16_t globalComputed = 0;  // 16-bit sum of every byte but 0x14E and 0x14F

  bool headerRight() const { return hasHeader && headerStored == headerComputed; }
  bool globalRight() const { return hasHeader && globalStored == globalComputed; }
};

GbChecksums ComputeGbChecksums(std::span<const std::uint8_t> image);

// The checksums of a file; nullopt when it cannot be read.
std::optional<GbChecksums> GbChecksumsOfFile(const std::string& path, std::string* reason = nullptr);

// One line saying whether each checksum is right, e.g.
// "Checksums: header 0x4F right, global 0x1A2B right".
std::string ChecksumLine(const GbChecksums& sums);

}  // namespace quillon::cli
