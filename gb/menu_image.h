// SPDX-License-Identifier: GPL-3.0-or-later
// The menu image as it goes onto the BIOS ROM: the card's directory of images and the
// header changes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "detect/card_info.h"
#include "library/card_list.h"

namespace quillon::gb {

inline constexpr std::size_t kMenuBufferSize = 0x8000;
using detect::kDirectoryGb;
using detect::kDirectoryPassword;
using detect::kDirectorySlot;

// Bytes 0x0134-0x0143 of an image: its title area.
using TitleArea = std::array<std::uint8_t, 16>;

// Writes the directory slots of `entries` (in card list order, with the placement already
// set) and the header changes into `menu`: the single image's title area, the
// "GB+Password" header bytes, the colour byte of the first entry, the header checksum.
void BuildMenuImage(std::span<std::uint8_t> menu, const std::vector<library::RomEntry>& entries,
                    library::WriterType writerType, const TitleArea& singleImageTitle);

}  // namespace quillon::gb
