// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/progress_figures.h"

#include <cmath>
#include <cstdio>

#include "text/size_text.h"

namespace quillon::ops {

namespace {

using text::OneDecimal;
using text::SizeText;

int Percent(double fraction) { return static_cast<int>(std::floor(fraction * 100)); }

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

std::vector<std::string> ProgressFigures(const ProgressReport& report) {
  if (!report.started()) return {};
  std::vector<std::string> figures{std::to_string(Percent(report.fraction)) + "%"};
  if (report.bytesPerSecond > 0) figures.push_back(OneDecimal(report.bytesPerSecond / 1024.0) + " KiB/s");
  if (report.secondsLeft) figures.push_back(ClockText(*report.secondsLeft) + " left");
  return figures;
}

std::string EndFigures(const ProgressReport& report, Outcome outcome) {
  if (outcome == Outcome::Success) return "Done in " + ClockText(report.seconds);
  if (!report.started() || outcome == Outcome::Cancelled) return {};
  std::string text =
      (outcome == Outcome::Stopped ? "Stopped at " : "Failed at ") + std::to_string(Percent(report.fraction)) + " %";
  if (report.total > 0) text += ": " + SizeText(report.done) + " of " + SizeText(report.total) + " " + report.verb;
  return text;
}

}  // namespace quillon::ops
