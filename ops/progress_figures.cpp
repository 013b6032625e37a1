// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/progress_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillon::ops {

namespace {

constexpr double kRateAfter = 0.5;  // seconds of a run before its rate is shown

}  // namespace

std::string ClockText(double seconds) {
  const long long total = std::llround(seconds);
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  return text;
}

std::vector<std::string> ProgressFigures(std::uint64_t done, std::uint64_t total, std::uint64_t runFrom,
                                         double seconds) {
  if (total == 0) return {};
  const std::uint64_t shown = std::min(done, total);
  std::vector<std::string> figures{std::to_string(shown * 100 / total) + "%"};
  if (seconds >= kRateAfter && done > runFrom) {
    const double rate = static_cast<double>(done - runFrom) / seconds;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KiB/s", rate / 1024.0);
    figures.emplace_back(text);
    if (shown < total) figures.push_back(ClockText(static_cast<double>(total - shown) / rate) + " left");
  }
  return figures;
}

}  // namespace quillon::ops
