// SPDX-License-Identifier: GPL-3.0-or-later
// Sizes as the windows and the terminal say them.
#pragma once

#include <cstdint>
#include <string>

namespace quillon::text {

// "1.2" or "4": `value` with one decimal, unless that decimal is 0.
std::string OneDecimal(double value);

// "512 bytes", "48 KiB", "1.2 MiB": rounded down, so a part never reads as the whole.
std::string SizeText(std::uint64_t bytes);

}  // namespace quillon::text
