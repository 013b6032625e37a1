// The flash chips a GB flash card may carry, with how each is erased and programmed.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quillon::detect {

// Erase and programming command set of a chip; chooses the sequences of GB writing/erasing.
enum class ChipMethod : std::uint8_t { Method0 = 0, Method1 = 1, Method2 = 2 };

struct ChipRow {
  std::array<std::uint8_t, 3> id;
  std::string_view name;
  ChipMethod method;
};

inline constexpr std::array<ChipRow, 23> kChipTable = {{
    {{0x89, 0xB4, 0x00}, "INTEL 28F010", ChipMethod::Method0},
    {{0x89, 0xBD, 0x00}, "INTEL 28F020", ChipMethod::Method0},
    {{0x20, 0x07, 0x00}, "ST 28F010", ChipMethod::Method0},
    {{0x01, 0xA7, 0x00}, "AMD 28F010", ChipMethod::Method0},
    {{0xD5, 0xB4, 0x00}, "ISSI 28F010", ChipMethod::Method0},
    {{0x1C, 0xD0, 0x00}, "MITSUBSHI 28F010", ChipMethod::Method0},
    {{0xC2, 0x00, 0x00}, "MX 28F010", ChipMethod::Method0},
    {{0x31, 0xB4, 0x00}, "CSI 28F010", ChipMethod::Method0},
    {{0x31, 0xB8, 0x00}, "CSI 28F512", ChipMethod::Method0},
    {{0xBF, 0x07, 0x00}, "SST 29EE010", ChipMethod::Method1},
    {{0x1F, 0xD5, 0x00}, "ATMEL 29C010A", ChipMethod::Method1},
    {{0xDA, 0xC1, 0x00}, "WIN 29EE011", ChipMethod::Method1},
    {{0x01, 0x20, 0x00}, "AMD 29F010", ChipMethod::Method2},
    {{0xB0, 0x88, 0x00}, "SHARP 28F016SUT", ChipMethod::Method0},
    {{0xB0, 0xA8, 0x00}, "SHARP 28F800SUT", ChipMethod::Method0},
    {{0x89, 0xA6, 0x00}, "SHARP 28F008SCT", ChipMethod::Method0},
    {{0x89, 0xA0, 0x04}, "INTEL 28F016SV", ChipMethod::Method0},
    {{0x04, 0xAD, 0x00}, "FUJI 28F016", ChipMethod::Method1},
    {{0x04, 0xD5, 0x00}, "FUJI 28F008", ChipMethod::Method1},
    {{0x01, 0xAD, 0x00}, "AMD 28F016", ChipMethod::Method1},
    {{0x01, 0xD5, 0x00}, "AMD 28F008", ChipMethod::Method1},
    {{0x89, 0xA0, 0x10}, "INTEL 28F016SA", ChipMethod::Method2},
    {{0x89, 0xA2, 0x00}, "INTEL 28F008SA", ChipMethod::Method2},
}};

// Row of the first chip whose three ID bytes match; failing that, of the first whose first two
// match; -1 when neither pass finds one.
int FindChip(std::span<const std::uint8_t> idBytes);

}  // namespace quillon::detect
