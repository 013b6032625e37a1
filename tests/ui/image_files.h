// SPDX-License-Identifier: GPL-3.0-or-later
// Tiny synthetic ROM images for the window tests: only the bytes the program looks at.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quillon::uitest {

struct GbHeader {
  std::string title;         // raw bytes at 0x134, at most 15
  std::uint8_t type = 0x19;  // 0x147, MBC5
  std::uint8_t romCode = 0;  // 0x148
  std::uint8_t ramCode = 0;  // 0x149
  bool color = false;        // bit 7 of 0x143
};

// A GB image of 0x200 bytes with the header fields set and zeros elsewhere.
void WriteGbImage(const std::filesystem::path& file, const GbHeader& header);

// A WS image of `size` bytes (sparse zeros) whose fifth byte from the end is `saveType`.
void WriteWsImage(const std::filesystem::path& file, std::uint64_t size, std::uint8_t saveType);

// Writes `text` as the whole content of `file`.
void WriteText(const std::filesystem::path& file, const std::string& text);

// The whole content of `file`, empty when it cannot be read.
std::string ReadText(const std::filesystem::path& file);

}  // namespace quillon::uitest
