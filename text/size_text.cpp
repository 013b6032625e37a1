// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/size_text.h"

#include <cstdio>

namespace quillon::text {

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string shown = text;
  if (shown.size() > 2 && shown.compare(shown.size() - 2, 2, ".0") == 0) shown.resize(shown.size() - 2);
  return shown;
}

namespace {

// `bytes` in `unit`s, rounded down to one decimal: only the whole is ever shown as the whole
// ("3.9 MiB of 4 MiB", never "4 MiB of 4 MiB" a block short).
std::string TenthsDown(std::uint64_t bytes, std::uint64_t unit) {
  const std::uint64_t whole = bytes / unit, tenth = bytes % unit * 10 / unit;
  std::string text = std::to_string(whole);
  if (tenth != 0) {
    text += '.';
    text += static_cast<char>('0' + tenth);
  }
  return text;
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kKiB = 1024, kMiB = kKiB * kKiB;
  if (bytes < kKiB) return std::to_string(bytes) + " bytes";
  if (bytes < kMiB) return TenthsDown(bytes, kKiB) + " KiB";
  return TenthsDown(bytes, kMiB) + " MiB";
}

}  // namespace quillon::text
