// The commands of quillon-cli; each returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/session.h"

namespace quillon::cli {

int runInfo(const GlobalOptions& options, const std::atomic<bool>& stop);
int runList(const GlobalOptions& options, const std::string& dir);

struct SimInsertArgs {
  std::string dir, kind, rom, sav;
  int biosChip = 0, flashChip = 21;
};
int runSimInsert(const SimInsertArgs& args);
int runSimFault(const std::string& dir, const std::vector<std::string>& faults, bool clear);
int runSimShow(const std::string& dir);

}  // namespace quillon::cli
