// SPDX-License-Identifier: GPL-3.0-or-later
// The GB card family (writer types "GB" and "GB+Password"): the GB operations of
// gb_operations.h behind ops::CardFamily, and what the GB commands ask.
#pragma once

#include <array>
#include <string_view>

#include "ops/card_family.h"

namespace quillon::gb {

// The GB family; it holds no state.
const ops::CardFamily& Family();

// The two sizes of GB flash card that erasing offers, in the item chooser's order.
struct CardSize {
  int megabits;           // quillon-cli's erase --size
  std::string_view item;  // the item chooser's row
};
inline constexpr std::array<CardSize, 2> kCardSizes{{{16, "16MB Card"}, {32, "32MB Card"}}};

// The row of the save memory item chooser that follows the images with the writer type
// "GB+Password": the save area of the password menu.
inline constexpr std::string_view kPasswordItem = "Password";

// A cartridge is read when its header's ROM size code is below this (7: 4 MiB).
inline constexpr int kRomSizeCodeLimit = 8;
// A cartridge has save memory when its header's RAM size code is 1 (2 KiB), 2 (8 KiB) or
// 3 (32 KiB).
inline constexpr int kFirstSaveRamSizeCode = 1;
inline constexpr int kLastSaveRamSizeCode = 3;

}  // namespace quillon::gb
