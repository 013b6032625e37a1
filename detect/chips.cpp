// SPDX-License-Identifier: GPL-3.0-or-later
#include "detect/chips.h"

#include <algorithm>

namespace quillon::detect {

int FindChip(std::span<const std::uint8_t> idBytes) {
  if (idBytes.size() < 3) return -1;
  const auto match = [&](std::size_t bytes) -> int {
    for (std::size_t row = 0; row < kChipTable.size(); ++row) {
      if (std::equal(idBytes.begin(), idBytes.begin() + static_cast<std::ptrdiff_t>(bytes), kChipTable[row].id.begin()))
        return static_cast<int>(row);
    }
    return -1;
  };
  // All three bytes first; only if no row matches, the manufacturer and device bytes alone.
  const int full = match(3);
  return full >= 0 ? full : match(2);
}

}  // namespace quillon::detect
