// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli backups: the copies of save memory kept before commands overwrote it, newest
// first as the folder's record has them.
#include <iostream>

#include "cli/commands.h"
#include "library/rom_header.h"
#include "ops/save_backups.h"

namespace quillon::cli {

int runBackups() {
  const ops::SaveBackups backups(ops::DefaultBackupFolder());
  if (backups.folder().empty()) {
    std::cerr << ops::kNoCopyFolder << '\n';
    return kExitFailed;
  }
  for (const auto& copy : backups.List()) {
    std::cout << copy.when << '\t' << copy.bytes << '\t' << library::EscapeField(copy.title) << '\t'
              << library::EscapeField(copy.path) << '\n';
  }
  return kExitOk;
}

}  // namespace quillon::cli
