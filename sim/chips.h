// SPDX-License-Identifier: GPL-3.0-or-later
// The flash chips the simulated GB flash card can carry: how each answers an identification
// request and which erase and programming commands it takes. The writer's own description of
// its chips, kept apart from the program's chip table: the program must find each of these by
// the bytes it answers, and a wrong row in the program's table shows up as a card it cannot
// identify or a command the chip refuses.
//
// A chip is known by its ID bytes: writer.ini records it so, and the rows may stand in any
// order. Each row also carries the chip's row in the program's chip table, the number by which
// `sim insert --bios-chip/--flash-chip`, `sim show` and writer.ini files of earlier versions
// name it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::sim {

// How a chip enters its identification mode; the other ways leave it reading its array.
enum class IdWay : std::uint8_t {
  Command90 = 1,         // WriteByte(0x4000, 0x90) enters, WriteByte(0x4000, 0xFF) leaves
  Sequence3 = 2,         // SetControl(2, 3, 0, 0) enters (writer runs a 3-cycle unlock), (2, 5) leaves
  Sequence4 = 3,         // SetControl(2, 4, 0, 0) enters (6-cycle software ID entry), (2, 5) leaves
  VoltageCommand90 = 4,  // SetControl(2, 9) programming voltage, then 0x90 enters, 0x00 leaves
};

// The writer's command set for a chip, as its firmware numbers them:
// 0: block erase (2, 11) answered by the chip's status byte, banks programmed with opcode 10,
//    a BIOS ROM erased whole with (2, 14) and programmed in 128-byte pieces (opcode 11) with
//    the programming voltage on;
// 1: block erase (2, 7) answered by the writer's status, banks programmed with opcode 7; a
//    BIOS ROM has no erase command and is written in 128-byte pages (opcode 8);
// 2: as 0 for the FLASH ROM, but erasing and programming need the programming voltage
//    (2, 9); a BIOS ROM is erased whole with (2, 6) and programmed a bank at a time (opcode 7).
enum class Method : std::uint8_t { M0 = 0, M1 = 1, M2 = 2 };

// Manufacturer, device and third byte, as the chip answers an identification request.
using ChipId = std::array<std::uint8_t, 3>;

struct Chip {
  ChipId id;
  std::string_view name;
  IdWay way;
  Method method;
  int tableRow;  // the chip's row in the program's chip table
};

// The 12 V bulk-erase 28F010/28F020/28F512 parts take commands only with the programming
// voltage applied; the Intel/Sharp FlashFile parts take the read-identifier command at 5 V;
// the AMD/Fujitsu/Atmel 29F-style parts identify after the 3-cycle unlock; the SST/Winbond
// 29EE page-write parts after the 6-cycle software ID entry.
inline constexpr auto kChips = std::to_array<Chip>({
    // ID bytes, name, identification way, method, row in the program's chip table
    {{0x89, 0xB4, 0x00}, "INTEL 28F010", IdWay::VoltageCommand90, Method::M0, 0},
    {{0x89, 0xBD, 0x00}, "INTEL 28F020", IdWay::VoltageCommand90, Method::M0, 1},
    {{0x20, 0x07, 0x00}, "ST 28F010", IdWay::VoltageCommand90, Method::M0, 2},
    {{0x01, 0xA7, 0x00}, "AMD 28F010", IdWay::VoltageCommand90, Method::M0, 3},
    {{0xD5, 0xB4, 0x00}, "ISSI 28F010", IdWay::VoltageCommand90, Method::M0, 4},
    {{0x1C, 0xD0, 0x00}, "MITSUBSHI 28F010", IdWay::VoltageCommand90, Method::M0, 5},
    {{0xC2, 0x00, 0x00}, "MX 28F010", IdWay::VoltageCommand90, Method::M0, 6},
    {{0x31, 0xB4, 0x00}, "CSI 28F010", IdWay::VoltageCommand90, Method::M0, 7},
    {{0x31, 0xB8, 0x00}, "CSI 28F512", IdWay::VoltageCommand90, Method::M0, 8},
    {{0xB0, 0x88, 0x00}, "SHARP 28F016SUT", IdWay::Command90, Method::M0, 13},
    {{0xB0, 0xA8, 0x00}, "SHARP 28F800SUT", IdWay::Command90, Method::M0, 14},
    {{0x89, 0xA6, 0x00}, "SHARP 28F008SCT", IdWay::Command90, Method::M0, 15},
    {{0x89, 0xA0, 0x04}, "INTEL 28F016SV", IdWay::Command90, Method::M0, 16},
    {{0x89, 0xA0, 0x10}, "INTEL 28F016SA", IdWay::Command90, Method::M2, 21},
    {{0x89, 0xA2, 0x00}, "INTEL 28F008SA", IdWay::Command90, Method::M2, 22},
    {{0x1F, 0xD5, 0x00}, "ATMEL 29C010A", IdWay::Sequence3, Method::M1, 10},
    {{0x01, 0x20, 0x00}, "AMD 29F010", IdWay::Sequence3, Method::M2, 12},
    {{0x04, 0xAD, 0x00}, "FUJI 28F016", IdWay::Sequence3, Method::M1, 17},
    {{0x04, 0xD5, 0x00}, "FUJI 28F008", IdWay::Sequence3, Method::M1, 18},
    {{0x01, 0xAD, 0x00}, "AMD 28F016", IdWay::Sequence3, Method::M1, 19},
    {{0x01, 0xD5, 0x00}, "AMD 28F008", IdWay::Sequence3, Method::M1, 20},
    {{0xBF, 0x07, 0x00}, "SST 29EE010", IdWay::Sequence4, Method::M1, 9},
    {{0xDA, 0xC1, 0x00}, "WIN 29EE011", IdWay::Sequence4, Method::M1, 11},
});

inline constexpr int kLastChipRow = static_cast<int>(kChips.size()) - 1;

constexpr int methodNumber(Method method) { return static_cast<int>(method); }

// The chip with these ID bytes; nullptr when the writer knows none.
constexpr const Chip* chipWithId(const ChipId& id) {
  for (const Chip& chip : kChips) {
    if (chip.id == id) return &chip;
  }
  return nullptr;
}

// The chip in `row` of the program's chip table; nullptr when no chip has that row.
constexpr const Chip* chipInRow(int row) {
  for (const Chip& chip : kChips) {
    if (chip.tableRow == row) return &chip;
  }
  return nullptr;
}

// Every chip has its own ID bytes, and the rows 0 to kLastChipRow each belong to one chip.
constexpr bool chipsKeyedOnce() {
  for (const Chip& chip : kChips) {
    if (chipWithId(chip.id) != &chip || chipInRow(chip.tableRow) != &chip) return false;
    if (chip.tableRow < 0 || chip.tableRow > kLastChipRow) return false;
  }
  return true;
}
static_assert(chipsKeyedOnce());

// "89:A0:10": the ID bytes as writer.ini records a chip.
std::string chipIdText(const ChipId& id);

// The chip named by its ID bytes ("89:A0:10", hex digits of either case) or by its row in the
// program's chip table ("21"): how writer.ini names a chip. nullptr when neither fits.
const Chip* chipByIdOrRow(std::string_view text);

// As chipByIdOrRow, and also by the chip's name ("INTEL 28F016SA", letters of either case):
// how `sim insert --bios-chip/--flash-chip` name a chip.
const Chip* chipByNameIdOrRow(std::string_view text);

// The ways of naming a chip, for a message about a text that names none: "the ID bytes of a
// chip such as 89:A0:10 or a chip table row 0 to 22", with `withName` also its name (the
// example is the default FLASH ROM chip).
std::string chipFormsText(bool withName);

}  // namespace quillon::sim
