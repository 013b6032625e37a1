// SPDX-License-Identifier: GPL-3.0-or-later
// The flash chips a GB flash card may carry, with how each is erased and programmed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quillon::detect {

// What the writer does with a chip to erase and program it; chooses the sequences of GB
// writing and erasing. The numbers are the chip table's method numbers (0, 1, 2).
enum class ChipMethod : std::uint8_t {
  // The chip reports through its own status byte: a FLASH ROM block erase is polled in the
  // bank window, its banks are programmed by the status byte. As the BIOS ROM it is erased
  // whole and programmed in 128-byte pieces with the programming voltage on.
  ChipStatus = 0,
  // The writer reports through its status: a FLASH ROM block erase and its banks are
  // answered by QueryState3. As the BIOS ROM it has no erase command and is written in
  // 128-byte pages, each read back.
  WriterStatus = 1,
  // As ChipStatus for the FLASH ROM, but erasing and programming need the programming
  // voltage. As the BIOS ROM it is erased whole by the writer through bank 0 and programmed
  // a bank at a time.
  ChipStatusWithVoltage = 2,
};

inline constexpr std::uint32_t kKiB = 1024;
inline constexpr std::uint32_t kMiB = 1024 * kKiB;
// A size the table does not know for a chip.
inline constexpr std::optional<std::uint32_t> kUnknown = std::nullopt;

struct ChipRow {
  std::array<std::uint8_t, 3> id;  // manufacturer, device and third byte, as the chip answers them
  std::string_view name;
  ChipMethod method;
  // The chip's bytes, by its part number, and the bytes one erase clears: the whole chip for a
  // bulk-erase part, the 128-byte page for a page-write part (writing a page erases it). Where
  // the part's data sheet is not at hand, kUnknown. The program does not size its sequences by
  // them: the card decides those.
  std::optional<std::uint32_t> size;
  std::optional<std::uint32_t> eraseBlock;
};

// The rows in the order the program has always known them: a chip's row is its number in the
// card information and the probe takes the first row that matches, so a new chip goes at the end.
inline constexpr auto kChipTable = std::to_array<ChipRow>({
    // ID bytes, name, method, size, erase block
    {{0x89, 0xB4, 0x00}, "INTEL 28F010", ChipMethod::ChipStatus, 128 * kKiB, 128 * kKiB},
    {{0x89, 0xBD, 0x00}, "INTEL 28F020", ChipMethod::ChipStatus, 256 * kKiB, 256 * kKiB},
    {{0x20, 0x07, 0x00}, "ST 28F010", ChipMethod::ChipStatus, 128 * kKiB, 128 * kKiB},
    {{0x01, 0xA7, 0x00}, "AMD 28F010", ChipMethod::ChipStatus, 128 * kKiB, 128 * kKiB},
    {{0xD5, 0xB4, 0x00}, "ISSI 28F010", ChipMethod::ChipStatus, 128 * kKiB, kUnknown},
    {{0x1C, 0xD0, 0x00}, "MITSUBSHI 28F010", ChipMethod::ChipStatus, 128 * kKiB, kUnknown},
    {{0xC2, 0x00, 0x00}, "MX 28F010", ChipMethod::ChipStatus, 128 * kKiB, kUnknown},
    {{0x31, 0xB4, 0x00}, "CSI 28F010", ChipMethod::ChipStatus, 128 * kKiB, kUnknown},
    {{0x31, 0xB8, 0x00}, "CSI 28F512", ChipMethod::ChipStatus, 64 * kKiB, kUnknown},
    {{0xBF, 0x07, 0x00}, "SST 29EE010", ChipMethod::WriterStatus, 128 * kKiB, 128},
    {{0x1F, 0xD5, 0x00}, "ATMEL 29C010A", ChipMethod::WriterStatus, 128 * kKiB, 128},
    {{0xDA, 0xC1, 0x00}, "WIN 29EE011", ChipMethod::WriterStatus, 128 * kKiB, 128},
    {{0x01, 0x20, 0x00}, "AMD 29F010", ChipMethod::ChipStatusWithVoltage, 128 * kKiB, 16 * kKiB},
    {{0xB0, 0x88, 0x00}, "SHARP 28F016SUT", ChipMethod::ChipStatus, 2 * kMiB, 64 * kKiB},
    {{0xB0, 0xA8, 0x00}, "SHARP 28F800SUT", ChipMethod::ChipStatus, 1 * kMiB, kUnknown},
    {{0x89, 0xA6, 0x00}, "SHARP 28F008SCT", ChipMethod::ChipStatus, 1 * kMiB, 64 * kKiB},
    {{0x89, 0xA0, 0x04}, "INTEL 28F016SV", ChipMethod::ChipStatus, 2 * kMiB, 64 * kKiB},
    {{0x04, 0xAD, 0x00}, "FUJI 28F016", ChipMethod::WriterStatus, 2 * kMiB, 64 * kKiB},
    {{0x04, 0xD5, 0x00}, "FUJI 28F008", ChipMethod::WriterStatus, 1 * kMiB, 64 * kKiB},
    {{0x01, 0xAD, 0x00}, "AMD 28F016", ChipMethod::WriterStatus, 2 * kMiB, 64 * kKiB},
    {{0x01, 0xD5, 0x00}, "AMD 28F008", ChipMethod::WriterStatus, 1 * kMiB, 64 * kKiB},
    {{0x89, 0xA0, 0x10}, "INTEL 28F016SA", ChipMethod::ChipStatusWithVoltage, 2 * kMiB, 64 * kKiB},
    {{0x89, 0xA2, 0x00}, "INTEL 28F008SA", ChipMethod::ChipStatusWithVoltage, 1 * kMiB, 64 * kKiB},
});

// Row of the first chip whose three ID bytes match; failing that, of the first whose first two
// match; -1 when neither pass finds one.
int FindChip(std::span<const std::uint8_t> idBytes);

}  // namespace quillon::detect
