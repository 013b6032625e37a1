// SPDX-License-Identifier: GPL-3.0-or-later
// Where the facts sit in a GB image's cartridge header.
#pragma once

#include <cstddef>

namespace quillon::library::gb_header {

inline constexpr std::size_t kTitle = 0x134;       // title bytes, up to the colour flag
inline constexpr std::size_t kTitleLength = 15;    // as listed: bytes before the colour flag
inline constexpr std::size_t kTitleBytes = 16;     // as a card stores them: with byte 0x143
inline constexpr std::size_t kColourFlag = 0x143;  // bit 7 set: a colour image
// The values of byte 0x143 that mark a colour image rather than a 16th title character.
inline constexpr unsigned char kColourCompatible = 0x80;  // runs on both consoles
inline constexpr unsigned char kColourOnly = 0xC0;        // runs on the colour console only
inline constexpr std::size_t kCartType = 0x147;
inline constexpr std::size_t kRomSizeCode = 0x148;  // image is 32 KiB << code
inline constexpr std::size_t kRamSizeCode = 0x149;
inline constexpr std::size_t kSize = 0x150;  // bytes read to know an image

}  // namespace quillon::library::gb_header
