// SPDX-License-Identifier: GPL-3.0-or-later
// The copies of save memory that the program keeps before a command overwrites it: restoring
// a save, erasing a card and writing a card all destroy the one thing on a card that exists
// nowhere else. The copies live in one folder, named
//   YYYYMMDD-HHMMSS_<writer type>_<title>.sav    ("20261207-204125_gb_POCKET RACER.sav")
// and the newest kKeptBackups of them are kept.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/writer_type.h"
#include "ops/operation.h"

namespace quillon::ops {

inline constexpr std::size_t kKeptBackups = 50;
// The step label while the copy is read, and the failure that stops the command.
inline constexpr std::string_view kBackupWork = "Saving a copy of the save memory...";
inline constexpr std::string_view kBackupFail = "Backup Fail";
// The title of a copy of a whole card's save memory.
inline constexpr std::string_view kWholeCardTitle = "card";

// $XDG_DATA_HOME/quillon/backups, else ~/.local/share/quillon/backups; empty when neither
// variable names a folder.
std::string DefaultBackupFolder(const char* xdgDataHome, const char* home);
std::string DefaultBackupFolder();

// The word of a writer type in the copies' names: "gb", "gb-password", "ws".
std::string_view WriterWord(library::WriterType type);

struct SavedCopy {
  std::string path;
  std::string when;  // "2026-12-07 20:41:25", local time
  std::uintmax_t bytes = 0;
  std::string writer;  // "gb"
  std::string title;
};

class SaveBackups {
 public:
  explicit SaveBackups(std::string folder) : folder_(std::move(folder)) {}

  // Keeps `bytes` as a copy of the save memory of `title` (cleaned as SuggestedFileName cleans
  // it: characters outside letters, digits, space, dot, dash and underscore made "_"), written
  // through a temporary file.
  // The path of the copy, or nullopt with `reason` saying why it could not be kept. Older
  // copies beyond the newest kKeptBackups are removed afterwards.
  std::optional<std::string> Keep(library::WriterType writer, std::string_view title,
                                  std::span<const std::uint8_t> bytes, std::string& reason,
                                  std::time_t when = std::time(nullptr)) const;

  // The copies in the folder, newest first; files of other names are not the program's.
  std::vector<SavedCopy> List() const;

  const std::string& folder() const { return folder_; }

 private:
  void RemoveOldest() const;

  std::string folder_;
};

// The end of an operation's copy of the save memory it is about to overwrite: `bytes` read
// from the card (nullopt: the writer did not read them) kept in op.state.backupFolder under
// `title`, the window told where it went. Nothing to go on; otherwise the "Backup Fail" that
// ends the operation before the card changes.
std::optional<Result> KeepCopy(Operation& op, std::string_view title,
                               const std::optional<std::vector<std::uint8_t>>& bytes);

}  // namespace quillon::ops
