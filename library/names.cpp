// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/names.h"

#include <array>

namespace quillon::library {

namespace {
constexpr std::array<std::string_view, 5> kMapperNames = {"MBC5", "MBC1", "MBC3", "HUC1", "Unknown"};
constexpr std::array<std::string_view, 8> kRomSizes = {"256K", "512K", "1M", "2M", "4M", "8M", "16M", "32M"};
constexpr std::array<std::string_view, 4> kRamSizes = {"None", "16K", "64K", "256K"};
}  // namespace

int MapperClass(int type) {
  switch (type) {
    case 0x19:
    case 0x1A:
    case 0x1B:
    case 0x1C:
    case 0x1D:
    case 0x1E:
    case 0xFD:
    case 0xFE:
      return 0;
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x05:
    case 0x06:
      return 1;
    case 0x10:
    case 0x13:
      return 2;
    case 0xFF:
      return 3;
    default:
      return 4;
  }
}

std::string_view CartTypeName(int type) { return kMapperNames[static_cast<std::size_t>(MapperClass(type))]; }

std::string_view RomSizeName(int code) {
  return code >= 0 && code < 8 ? kRomSizes[static_cast<std::size_t>(code)] : "Unknown";
}

std::string_view RamSizeName(int code) {
  return code >= 0 && code < 4 ? kRamSizes[static_cast<std::size_t>(code)] : "Unknown";
}

}  // namespace quillon::library
