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

std::string SizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  if (bytes < std::uint64_t{1024} * 1024) return OneDecimal(static_cast<double>(bytes) / 1024) + " KiB";
  return OneDecimal(static_cast<double>(bytes) / (1024.0 * 1024.0)) + " MiB";
}

}  // namespace quillon::text
