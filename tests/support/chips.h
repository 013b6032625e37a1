// SPDX-License-Identifier: GPL-3.0-or-later
// Chips of the program's chip table by their names, as tests name them. A name that is not in
// the table stops the compilation where it is used in a constant, else throws.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "detect/chips.h"

namespace quillon::support {

// The chip's row in the program's chip table: the number CardInfo holds.
constexpr int chipRow(std::string_view name) {
  for (std::size_t row = 0; row < detect::kChipTable.size(); ++row) {
    if (detect::kChipTable[row].name == name) return static_cast<int>(row);
  }
  throw std::invalid_argument("no chip named " + std::string(name));
}

// The chip's ID bytes: how the simulated writer knows it.
constexpr std::array<std::uint8_t, 3> chipId(std::string_view name) {
  return detect::kChipTable[static_cast<std::size_t>(chipRow(name))].id;
}

// The name of the chip with these ID bytes as a part of a test's name: "INTEL_28F010".
inline std::string chipLabel(const std::array<std::uint8_t, 3>& id) {
  for (const auto& row : detect::kChipTable) {
    if (row.id != id) continue;
    std::string label(row.name);
    std::replace(label.begin(), label.end(), ' ', '_');
    return label;
  }
  throw std::invalid_argument("no chip with these ID bytes");
}

}  // namespace quillon::support
