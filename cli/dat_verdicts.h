// SPDX-License-Identifier: GPL-3.0-or-later
// The DATs of `read` and `check`: --dat FILE, then the files QUILLON_DAT names.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/session.h"
#include "dat/verdict.h"
#include "library/image_checksums.h"

namespace quillon::cli {

// The files of --dat in their order, then those of QUILLON_DAT (separated by ':').
std::vector<std::string> DatFiles(const std::vector<std::string>& given);

// Reads them, each that cannot be read said on standard error (its name, line and reason).
dat::DatSet LoadDats(const std::vector<std::string>& given);

// GB images for the writer types gb and gb-password, WS for ws.
library::ImageFamily ImageFamilyOf(const GlobalOptions& options);

// The verdict of a file once written: read back whole, or "no DAT verdict (OUT cannot be
// read back)" when it is not a regular file (a FIFO, /dev/stdout).
dat::Verdict VerdictOfWrittenFile(const dat::DatSet& dats, const std::filesystem::path& file,
                                  library::ImageFamily family);

}  // namespace quillon::cli
