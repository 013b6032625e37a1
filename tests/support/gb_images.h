// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic GB images, menu images and flash card contents for tests, benchmarks and the demo.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quillon::support {

using Bytes = std::vector<std::uint8_t>;

struct GbImageSpec {
  std::string title;         // up to 16 bytes at 0x134 (the 16th is the colour flag)
  std::uint8_t type = 0x19;  // cartridge type
  std::uint8_t romCode = 0;  // image is 32 KiB << romCode
  std::uint8_t ramCode = 0;
  bool color = false;
};

// A valid header, and every 16 KiB bank stamped with its number and the title so a test can
// tell banks apart: bank k holds k at offset 0x0200 (0x3F00 for bank 0) and a byte pattern.
Bytes makeGbImage(const GbImageSpec& spec);

// A stand-in menu image of `size` bytes (16 or 32 KiB): valid header, a loop for a program,
// an empty directory area.
Bytes makeMenuImage(std::size_t size, const std::string& title = "QUILLON MENU");

// Places a header checksum at 0x14D for the bytes 0x134..0x14C.
void fixHeaderChecksum(std::span<std::uint8_t> image);
// Places the global checksum at 0x14E (high byte first): the 16-bit sum of the other bytes.
void fixGlobalChecksum(std::span<std::uint8_t> image);
// A WS image as real ones are: its fourth byte from the end keeps only bits 0-2, and its last
// two bytes hold the 16-bit sum of the others, low byte first.
void fixWsChecksum(std::span<std::uint8_t> image);

struct PlacedImage {
  Bytes image;
  int region = 0;   // 512 KiB region on the FLASH ROM
  int ramUnit = 0;  // 8 KiB save memory unit
};

// Writes images and their directory slots into the memories of a GB flash card:
// `flash` (4 MiB) and `bios` (the menu image at its start). The directory starts at
// 0x3C00 (writer type 0) or 0x0200 (otherwise).
void placeOnFlashCard(std::span<std::uint8_t> bios, std::span<std::uint8_t> flash,
                      const std::vector<PlacedImage>& images, int writerType);

void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
Bytes readFile(const std::filesystem::path& path);

}  // namespace quillon::support
