// SPDX-License-Identifier: GPL-3.0-or-later
// What the last card probe found.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "library/rom_header.h"
#include "library/writer_type.h"

namespace quillon::detect {

using library::WriterType;

// Header facts of one GB image (an ordinary cartridge or an image stored on a flash card).
struct CardEntry {
  std::array<char, 17> name{};  // title bytes 0x134..0x143 as stored, zero-terminated
  std::int32_t type = 0;        // cartridge type byte
  std::int32_t romStart = 0;    // byte offset on the FLASH ROM (multiple of 0x80000)
  std::int32_t romSize = 0;     // ROM size code
  std::int32_t ramStart = 0;    // byte offset in the card's save memory (multiple of 0x2000)
  std::int32_t ramSize = 0;     // RAM size code
  std::int32_t color = 0;       // 1 when bit 7 of header byte 0x143 is set

  // The title as every view shows it: up to the first zero, without a colour flag in byte 0x143.
  std::string nameText() const { return library::GbTitle(std::string_view(name.data(), name.size() - 1)); }
};

inline constexpr int kMaxCardImages = 8;

// The card's directory of images inside the menu image that a flash card shows from 0x0000:
// where it starts for each writer type, and the size of one slot.
inline constexpr std::size_t kDirectoryGb = 0x3C00;        // writer type "GB"
inline constexpr std::size_t kDirectoryPassword = 0x0200;  // writer type "GB+Password"
inline constexpr std::size_t kDirectorySlot = 32;

enum CardKind : std::int32_t { kNoAnswer = -1, kFlashCard = 0, kOrdinaryCartridge = 1 };

struct CardInfo {
  std::int32_t flashChip = 0;  // GB: chip table row of the FLASH ROM; WS: identification
  std::int32_t biosChip = 0;   // GB: chip table row of the BIOS ROM
  std::int32_t kind = 0;       // CardKind
  CardEntry cartridge;
  std::array<CardEntry, kMaxCardImages> images{};
  std::int32_t count = 0;
  std::int32_t chipSelect = 0;            // value written to 0x0000 before identification
  std::array<std::uint8_t, 8> idBytes{};  // identification bytes last read
};

// Fills name, type, sizes and colour of `entry` from the first 0x150 or more bytes of a GB
// image header.
void ReadHeaderFacts(const std::uint8_t* header, CardEntry& entry);

}  // namespace quillon::detect
