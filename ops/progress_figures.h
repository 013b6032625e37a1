// SPDX-License-Identifier: GPL-3.0-or-later
// The figures a progress display shows, the same in the windows and on the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::ops {

// "0:15", "12:05", "1:08:16".
std::string ClockText(double seconds);

// What a progress display says for `done` of `total` bytes, when the present run of progress
// began at `runFrom` bytes `seconds` ago: the percentage, then the rate and the time left
// ("42%", "12.3 KiB/s", "0:15 left") once half a second of the run has brought bytes; no time
// left at the end. Empty while the total is not known.
std::vector<std::string> ProgressFigures(std::uint64_t done, std::uint64_t total, std::uint64_t runFrom,
                                         double seconds);

}  // namespace quillon::ops
