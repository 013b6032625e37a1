// SPDX-License-Identifier: GPL-3.0-or-later
// The hashes a DAT names a dump by, each as lower-case hex.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillon::dat {

struct Hashes {
  std::string crc32, md5, sha1, sha256;
  friend bool operator==(const Hashes&, const Hashes&) = default;
};

// All four in one pass over the bytes.
Hashes HashBytes(std::span<const std::uint8_t> bytes);

// The CRC32 alone, as the number DATs write in hex.
std::uint32_t Crc32Of(std::span<const std::uint8_t> bytes);

// The hex digits of `bytes`, lower case.
std::string HexOf(std::span<const std::uint8_t> bytes);

}  // namespace quillon::dat
