#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "library/rom_scan.h"

namespace quillon::cli {

int runList(const GlobalOptions& options, const std::string& dir) {
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    std::cerr << dir << ": not a directory\n";
    return kExitFailed;
  }
  for (const auto& row : library::ScanRomDir(dir, writerTypeOf(options.writer)))
    std::cout << library::FormatListRow(row) << '\n';
  return kExitOk;
}

}  // namespace quillon::cli
