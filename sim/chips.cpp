// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/chips.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>

#include "sim/sim_writer.h"

namespace quillon::sim {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::optional<std::uint8_t> hexByte(std::string_view two) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(two.data(), two.data() + two.size(), value, 16);
  if (two.size() != 2 || ec != std::errc{} || end != two.data() + two.size()) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

const Chip* chipById(std::string_view text) {
  // Exactly "HH:HH:HH".
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return nullptr;
  ChipId id{};
  for (std::size_t i = 0; i < id.size(); ++i) {
    const auto byte = hexByte(text.substr(i * 3, 2));
    if (!byte) return nullptr;
    id[i] = *byte;
  }
  return chipWithId(id);
}

const Chip* chipByRow(std::string_view text) {
  int row = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), row, 10);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return nullptr;
  return chipInRow(row);
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

const Chip* chipByName(std::string_view text) {
  for (const Chip& chip : kChips) {
    if (std::equal(text.begin(), text.end(), chip.name.begin(), chip.name.end(),
                   [](char a, char b) { return upper(a) == upper(b); })) {
      return &chip;
    }
  }
  return nullptr;
}

}  // namespace

std::string chipIdText(const ChipId& id) {
  std::string text;
  for (std::uint8_t byte : id) {
    if (!text.empty()) text += ':';
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0xF];
  }
  return text;
}

const Chip* chipByIdOrRow(std::string_view text) {
  const Chip* chip = chipById(text);
  return chip ? chip : chipByRow(text);
}

const Chip* chipByNameIdOrRow(std::string_view text) {
  const Chip* chip = chipByName(text);
  return chip ? chip : chipByIdOrRow(text);
}

std::string chipFormsText(bool withName) {
  const Chip& example = *chipWithId(kDefaultFlashChip);
  return (withName ? "a chip's name such as '" + std::string(example.name) + "', its ID bytes such as "
                   : std::string("the ID bytes of a chip such as ")) +
         chipIdText(example.id) + (withName ? "," : "") + " or a chip table row 0 to " + std::to_string(kLastChipRow);
}

}  // namespace quillon::sim
