// SPDX-License-Identifier: GPL-3.0-or-later
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "library/rom_scan.h"

namespace quillon::cli {

int runList(const GlobalOptions& options, const std::string& dir) {
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    std::cerr << library::EscapeField(dir) << ": not a directory\n";
    return kExitFailed;
  }
  std::string reason;
  const auto rows = library::ScanRomDir(dir, writerTypeOf(options.writer), &reason);
  if (!reason.empty()) {
    std::cerr << library::EscapeField(dir) << ": cannot be listed: " << reason << '\n';
    return kExitFailed;
  }
  for (const auto& row : rows) std::cout << library::FormatListRow(row) << '\n';
  return kExitOk;
}

}  // namespace quillon::cli
