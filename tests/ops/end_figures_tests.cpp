// SPDX-License-Identifier: GPL-3.0-or-later
// How far a failed or stopped operation got: a part of the work never reads as all of it.
#include <gtest/gtest.h>

#include "ops/progress_figures.h"

namespace quillon::ops {
namespace {

TEST(EndFigures, SizesRoundDown_onlyTheWholeReadsAsTheWhole) {
  const struct {
    std::uint64_t done, total;
    const char* said;
  } cases[] = {
      {4161536, 4194304, "Failed at 99 %: 3.9 MiB of 4 MiB read"},  // a 4 MiB WS card, its last block not read
      {4194304, 4194304, "Failed at 99 %: 4 MiB of 4 MiB read"},
      {1048575, 2097152, "Failed at 99 %: 1023.9 KiB of 2 MiB read"},
      {1023, 1536, "Failed at 99 %: 1023 bytes of 1.5 KiB read"},
  };
  for (const auto& c : cases) {
    ProgressReport report;
    report.fraction = 0.995;
    report.done = c.done;
    report.total = c.total;
    report.verb = "read";
    EXPECT_EQ(EndFigures(report, Outcome::Failed), c.said) << c.done;
  }
}

}  // namespace
}  // namespace quillon::ops
