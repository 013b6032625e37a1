// SPDX-License-Identifier: GPL-3.0-or-later
// Chips of the program's chip table as tests name them: by name (a name not in the table stops
// the compilation where it makes a constant) or by the constants below.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <string>

#include "detect/chips.h"

namespace quillon::support {

using ChipId = std::array<std::uint8_t, 3>;  // how the simulated writer knows a chip

// The row in the program's chip table (the number CardInfo holds) of the chip with these ID
// bytes or this name.
constexpr int chipRow(const ChipId& id) {
  for (std::size_t row = 0; row < detect::kChipTable.size(); ++row) {
    if (detect::kChipTable[row].id == id) return static_cast<int>(row);
  }
  throw std::invalid_argument("no chip with these ID bytes");
}
constexpr ChipId chipId(std::string_view name) {
  for (const auto& row : detect::kChipTable) {
    if (row.name == name) return row.id;
  }
  throw std::invalid_argument("no chip named " + std::string(name));
}
constexpr int chipRow(std::string_view name) { return chipRow(chipId(name)); }

// The chip's name as a part of a test's name: "INTEL_28F010".
inline std::string chipLabel(const ChipId& id) {
  std::string label(detect::kChipTable[static_cast<std::size_t>(chipRow(id))].name);
  std::replace(label.begin(), label.end(), ' ', '_');
  return label;
}

// Chips of each method the tests put in as the BIOS ROM and as the FLASH ROM.
namespace chips {
inline constexpr ChipId kIntel28F010 = chipId("INTEL 28F010");        // method 0, voltage + 0x90
inline constexpr ChipId kSst29EE010 = chipId("SST 29EE010");          // method 1, 6-cycle ID entry
inline constexpr ChipId kAmd29F010 = chipId("AMD 29F010");            // method 2, 3-cycle ID entry
inline constexpr ChipId kSharp28F016SUT = chipId("SHARP 28F016SUT");  // method 0, 0x90 command
inline constexpr ChipId kIntel28F016SV = chipId("INTEL 28F016SV");    // method 0, 0x90 command
inline constexpr ChipId kFuji28F016 = chipId("FUJI 28F016");          // method 1, 3-cycle ID entry
inline constexpr ChipId kIntel28F016SA = chipId("INTEL 28F016SA");    // method 2, 0x90 command
}  // namespace chips

}  // namespace quillon::support
