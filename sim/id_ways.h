// How each chip of the chip table answers an identification request on the simulated GB
// flash card. A chip answers exactly one way; the other ways leave it reading its array.
#pragma once

#include <array>
#include <cstdint>

#include "detect/chips.h"

namespace quillon::sim {

enum class IdWay : std::uint8_t {
  Command90 = 1,     // WriteByte(0x4000, 0x90) enters, WriteByte(0x4000, 0xFF) leaves
  Sequence3 = 2,     // SetControl(2, 3, 0, 0) enters (writer runs a 3-cycle unlock), (2, 5) leaves
  Sequence4 = 3,     // SetControl(2, 4, 0, 0) enters (6-cycle software ID entry), (2, 5) leaves
  VoltageCommand90 = 4,  // SetControl(2, 9) programming voltage, then 0x90 enters, 0x00 leaves
};

// Keyed by chip table row. The 12 V bulk-erase 28F010/28F020/28F512 parts take commands only
// with the programming voltage applied; the Intel/Sharp FlashFile parts take the read-identifier
// command at 5 V; the AMD/Fujitsu/Atmel 29F-style parts identify after the 3-cycle unlock; the
// SST/Winbond 29EE page-write parts after the 6-cycle software ID entry.
inline constexpr std::array<IdWay, 23> kIdWays = {{
    IdWay::VoltageCommand90,  // 0  INTEL 28F010
    IdWay::VoltageCommand90,  // 1  INTEL 28F020
    IdWay::VoltageCommand90,  // 2  ST 28F010
    IdWay::VoltageCommand90,  // 3  AMD 28F010
    IdWay::VoltageCommand90,  // 4  ISSI 28F010
    IdWay::VoltageCommand90,  // 5  MITSUBSHI 28F010
    IdWay::VoltageCommand90,  // 6  MX 28F010
    IdWay::VoltageCommand90,  // 7  CSI 28F010
    IdWay::VoltageCommand90,  // 8  CSI 28F512
    IdWay::Sequence4,         // 9  SST 29EE010
    IdWay::Sequence3,         // 10 ATMEL 29C010A
    IdWay::Sequence4,         // 11 WIN 29EE011
    IdWay::Sequence3,         // 12 AMD 29F010
    IdWay::Command90,         // 13 SHARP 28F016SUT
    IdWay::Command90,         // 14 SHARP 28F800SUT
    IdWay::Command90,         // 15 SHARP 28F008SCT
    IdWay::Command90,         // 16 INTEL 28F016SV
    IdWay::Sequence3,         // 17 FUJI 28F016
    IdWay::Sequence3,         // 18 FUJI 28F008
    IdWay::Sequence3,         // 19 AMD 28F016
    IdWay::Sequence3,         // 20 AMD 28F008
    IdWay::Command90,         // 21 INTEL 28F016SA
    IdWay::Command90,         // 22 INTEL 28F008SA
}};
static_assert(kIdWays.size() == detect::kChipTable.size(), "one identification way per chip row");

}  // namespace quillon::sim
