// SPDX-License-Identifier: GPL-3.0-or-later
// The card commands for the writer type ws. No probe comes before them: each WS operation
// checks the link and probes the card itself.
#pragma once

#include <atomic>

#include "cli/commands.h"

namespace quillon::cli {

int runWsWrite(const GlobalOptions& options, const WriteArgs& args, const std::atomic<bool>& stop);
int runWsRead(const GlobalOptions& options, const ReadArgs& args, const std::atomic<bool>& stop);
int runWsRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop, bool restore);
int runWsErase(const GlobalOptions& options, const EraseArgs& args, const std::atomic<bool>& stop);

}  // namespace quillon::cli
