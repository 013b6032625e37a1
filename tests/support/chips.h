// SPDX-License-Identifier: GPL-3.0-or-later
// Chips of the program's chip table by their names, as tests name them. A name that is not in
// the table stops the compilation where it is used in a constant, else throws.
#pragma once

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

// The name as a part of a test's name: "INTEL_28F010".
inline std::string chipLabel(std::string_view name) {
  std::string label(name);
  for (char& c : label) c = c == ' ' ? '_' : c;
  return label;
}

}  // namespace quillon::support
