// SPDX-License-Identifier: GPL-3.0-or-later
// The figures a progress display shows, the same in the windows and on the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ops/operation.h"
#include "ops/progress_plan.h"

namespace quillon::ops {

// "0:15", "12:05", "1:08:16".
std::string ClockText(double seconds);

// What a progress display says while the operation runs: the percentage, then the rate
// ("12.3 KiB/s") once it is known and the time left ("0:15 left") once it is shown. Empty
// before the operation has declared its work.
std::vector<std::string> ProgressFigures(const ProgressReport& report);

// What it says once the operation ended `outcome`: "Done in 0:42" after a success; "Failed at
// 47 %: 1.2 MiB of 2.5 MiB written" or "Stopped at 47 %: ..." otherwise. Empty when the
// operation ended before its work began (a cancelled dialog, a missing writer).
std::string EndFigures(const ProgressReport& report, Outcome outcome);

}  // namespace quillon::ops
