// SPDX-License-Identifier: GPL-3.0-or-later
// The flash chips the simulated GB flash card can carry: how each answers an identification
// request and which erase and programming commands it takes. The writer's own description of
// its chips, kept apart from the program's chip table: the program must find each of these by
// the bytes it answers, and a wrong row in the program's table shows up as a card it cannot
// identify or a command the chip refuses.
//
// Rows are numbered as `sim insert --bios-chip/--flash-chip` and writer.ini name them.
#pragma once

#include <array>
#include <cstdint>
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

struct Chip {
  std::array<std::uint8_t, 3> id;
  std::string_view name;
  IdWay way;
  Method method;
};

// The 12 V bulk-erase 28F010/28F020/28F512 parts take commands only with the programming
// voltage applied; the Intel/Sharp FlashFile parts take the read-identifier command at 5 V;
// the AMD/Fujitsu/Atmel 29F-style parts identify after the 3-cycle unlock; the SST/Winbond
// 29EE page-write parts after the 6-cycle software ID entry.
inline constexpr std::array<Chip, 23> kChips = {{
    {{0x89, 0xB4, 0x00}, "INTEL 28F010", IdWay::VoltageCommand90, Method::M0},
    {{0x89, 0xBD, 0x00}, "INTEL 28F020", IdWay::VoltageCommand90, Method::M0},
    {{0x20, 0x07, 0x00}, "ST 28F010", IdWay::VoltageCommand90, Method::M0},
    {{0x01, 0xA7, 0x00}, "AMD 28F010", IdWay::VoltageCommand90, Method::M0},
    {{0xD5, 0xB4, 0x00}, "ISSI 28F010", IdWay::VoltageCommand90, Method::M0},
    {{0x1C, 0xD0, 0x00}, "MITSUBSHI 28F010", IdWay::VoltageCommand90, Method::M0},
    {{0xC2, 0x00, 0x00}, "MX 28F010", IdWay::VoltageCommand90, Method::M0},
    {{0x31, 0xB4, 0x00}, "CSI 28F010", IdWay::VoltageCommand90, Method::M0},
    {{0x31, 0xB8, 0x00}, "CSI 28F512", IdWay::VoltageCommand90, Method::M0},
    {{0xBF, 0x07, 0x00}, "SST 29EE010", IdWay::Sequence4, Method::M1},
    {{0x1F, 0xD5, 0x00}, "ATMEL 29C010A", IdWay::Sequence3, Method::M1},
    {{0xDA, 0xC1, 0x00}, "WIN 29EE011", IdWay::Sequence4, Method::M1},
    {{0x01, 0x20, 0x00}, "AMD 29F010", IdWay::Sequence3, Method::M2},
    {{0xB0, 0x88, 0x00}, "SHARP 28F016SUT", IdWay::Command90, Method::M0},
    {{0xB0, 0xA8, 0x00}, "SHARP 28F800SUT", IdWay::Command90, Method::M0},
    {{0x89, 0xA6, 0x00}, "SHARP 28F008SCT", IdWay::Command90, Method::M0},
    {{0x89, 0xA0, 0x04}, "INTEL 28F016SV", IdWay::Command90, Method::M0},
    {{0x04, 0xAD, 0x00}, "FUJI 28F016", IdWay::Sequence3, Method::M1},
    {{0x04, 0xD5, 0x00}, "FUJI 28F008", IdWay::Sequence3, Method::M1},
    {{0x01, 0xAD, 0x00}, "AMD 28F016", IdWay::Sequence3, Method::M1},
    {{0x01, 0xD5, 0x00}, "AMD 28F008", IdWay::Sequence3, Method::M1},
    {{0x89, 0xA0, 0x10}, "INTEL 28F016SA", IdWay::Command90, Method::M2},
    {{0x89, 0xA2, 0x00}, "INTEL 28F008SA", IdWay::Command90, Method::M2},
}};

inline constexpr int kLastChipRow = static_cast<int>(kChips.size()) - 1;

constexpr int methodNumber(Method method) { return static_cast<int>(method); }

}  // namespace quillon::sim
