// SPDX-License-Identifier: GPL-3.0-or-later
#include "gb/placement.h"

#include <utility>

namespace quillon::gb {

namespace {

// For i, for j > i: swap when the class at i is greater than the class at j.
template <typename ClassOf>
std::vector<int> ExchangeSort(std::size_t n, ClassOf classOf) {
  std::vector<int> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      if (classOf(order[i]) > classOf(order[j])) std::swap(order[i], order[j]);
    }
  }
  return order;
}

}  // namespace

int RegionBanks(int romClass) {
  switch (romClass) {
    case 0:
      return 256;
    case 1:
      return 128;
    case 2:
      return 64;
    default:
      return 32;
  }
}

Placement PlaceImages(const std::vector<library::RomEntry>& entries) {
  const std::size_t n = entries.size();
  const auto at = [&entries](int index) -> const library::RomEntry& {
    return entries[static_cast<std::size_t>(index)];
  };
  Placement placement;
  placement.romStartBank.assign(n, 0);
  placement.ramStartUnit.assign(n, 0);

  placement.romOrder = ExchangeSort(n, [&](int i) { return at(i).romClass; });
  int bank = 0;
  for (int index : placement.romOrder) {
    placement.romStartBank[static_cast<std::size_t>(index)] = bank;
    bank += RegionBanks(at(index).romClass);
  }

  int unit = 0;
  for (int index : ExchangeSort(n, [&](int i) { return at(i).ramClass; })) {
    int& start = placement.ramStartUnit[static_cast<std::size_t>(index)];
    switch (at(index).ramClass) {
      case 1:
        start = unit;
        unit += 1;
        break;
      case 2:
        start = (unit + 3) / 4 * 4;  // a 32 KiB save starts on a multiple of four units
        unit = start + 4;
        break;
      default:
        start = 0;  // nothing reserved
        break;
    }
  }
  return placement;
}

}  // namespace quillon::gb
