// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "cards/families.h"
#include "cli/commands.h"
#include "cli/operation_run.h"
#include "detect/probe.h"
#include "library/rom_header.h"
#include "ops/journal.h"

namespace quillon::cli {

int runInfo(const GlobalOptions& options, const std::atomic<bool>& stop) {
  Session session(options, stop);
  // What the journal says of this writer's unfinished work comes first, beside the output.
  const ops::JournalReading journal = ops::ReadJournal(ops::DefaultJournalFile());
  if (!journal.problem.empty()) std::cerr << library::EscapeField(journal.problem) << '\n';
  for (const auto& line : ops::UnfinishedLines(journal.entries, session.writer())) std::cerr << line << '\n';
  detect::CardInfo info;
  const auto outcome = cards::ProbeCard(session.link(), session.writerType(), info);
  if (stop) return interrupted();
  if (outcome == detect::ProbeOutcome::DeviceError) {
    std::cerr << "Linking Fail\n";
    return kExitFailed;
  }
  const auto lines = detect::CardInfoLines(info, session.writerType());
  // A title holding a line end or a tab must not add a line: each line through ShownBig5.
  for (const auto& line : lines) std::cout << library::ShownBig5(line) << '\n';
  if (lines.empty()) {
    std::cerr << (info.kind == detect::kNoAnswer
                      ? "no card information: the card's flash chips were not recognised, or the "
                        "card is not inserted right\n"
                      : "no card information: the writer is empty, or the cartridge header is "
                        "not readable\n");
  }
  return kExitOk;
}

}  // namespace quillon::cli
