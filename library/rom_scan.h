// SPDX-License-Identifier: GPL-3.0-or-later
// The file list of the ROM directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "library/rom_header.h"
#include "library/writer_type.h"

namespace quillon::library {

// Order of the file list: letters compared without regard to case (ASCII only, so the
// order does not depend on the locale), ties broken by the plain byte order.
bool FileNameLess(std::string_view a, std::string_view b);

// True when `fileName` matches the mask "*<extension>" without regard to case, e.g.
// MatchesExtension("GAME.GB", ".gb").
bool MatchesExtension(std::string_view fileName, std::string_view extension);

// True when the file list of `writerType` shows files named so (see ScanRomDir).
bool IsImageFileName(std::string_view fileName, WriterType writerType);

// Rows of the file list for a writer type: the regular files matching "*.gb" and "*.gbc"
// for writer types 0 and 1, "*.ws" and "*.wsc" for 2, nothing for other values; sorted
// with FileNameLess. A GB file costs one read of at most 0x150 bytes, a WS file one read
// of a single byte. Files are opened as romDir / name; the current directory is never
// changed. An empty romDir means the current directory. A directory that cannot be listed
// gives an empty list and, in `error` when it is given, the reason.
std::vector<ListRow> ScanRomDir(const std::filesystem::path& romDir, WriterType writerType,
                                std::string* error = nullptr);

}  // namespace quillon::library
