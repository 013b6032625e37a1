// SPDX-License-Identifier: GPL-3.0-or-later
// Texts for the codes of a GB cartridge header, shared by the file lists and the card
// information.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillon::library {

// Mapper class of a cartridge type byte: 0 MBC5, 1 MBC1, 2 MBC3, 3 HUC1, 4 Unknown.
int MapperClass(int type);

// "MBC1", "MBC3", "MBC5", "HUC1" or "Unknown".
std::string_view CartTypeName(int type);

// "256K" .. "32M" for codes 0..7, else "Unknown" (sizes in bits).
std::string_view RomSizeName(int code);

// "None", "16K", "64K", "256K" for codes 0..3, else "Unknown" (sizes in bits).
std::string_view RamSizeName(int code);

}  // namespace quillon::library
