// SPDX-License-Identifier: GPL-3.0-or-later
// Where the images of a GB card go: each image in a region of the FLASH ROM sized by its
// class, largest first, and each save memory in 8 KiB units of the card's save memory.
#pragma once

#include <vector>

#include "library/card_list.h"

namespace quillon::gb {

struct Placement {
  std::vector<int> romOrder;      // card list indexes in the order the images are written
  std::vector<int> romStartBank;  // per card list entry: first 16 KiB bank on the FLASH ROM
  std::vector<int> ramStartUnit;  // per card list entry: first 8 KiB save memory unit
};

// Region size in banks of a ROM class: 256, 128, 64 or 32.
int RegionBanks(int romClass);

// Both orders use the same exchange sort, which does not keep the card list's order of
// images of equal class; the menu's directory and the placement depend on that order.
Placement PlaceImages(const std::vector<library::RomEntry>& entries);

}  // namespace quillon::gb
