// SPDX-License-Identifier: GPL-3.0-or-later
// The copies of save memory that the program keeps before a command overwrites it: restoring
// a save, erasing a card and writing a card all destroy the one thing on a card that exists
// nowhere else. The copies live in one folder, named
//   YYYYMMDD-HHMMSS_<writer type>_<title>.sav    ("20261207-204125_gb_POCKET RACER.sav")
// ("-2", "-3", ... before ".sav" for more copies of one title in one second: each name is
// claimed with a hard link, so copies made at once by several programs never share one). The
// folder's record (kCopyRecord) names the copies the program made, in the order it made them;
// the newest kKeptBackups of those are kept, and nothing else is ever removed. The names' times
// are local times, which a change of time zone or clock can put out of order, and a file the
// user renamed or put into the folder is not the program's: neither decides what is removed.
// A missing record starts empty; one that cannot be read whole removes nothing and is replaced
// by a fresh one. The record and the copies are never written through a link, and a link, a
// FIFO, a device or a folder at the record's place fails the copy before it is made.
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
// The record in the folder: a first line of its own, then one copy's name a line, oldest first.
inline constexpr std::string_view kCopyRecord = "copies.index";
// What a command says once when the record could not be read whole.
inline constexpr std::string_view kDamagedRecord = "the record of copies is damaged: nothing was pruned";
// Why a copy cannot be kept when DefaultBackupFolder found no folder.
inline constexpr std::string_view kNoCopyFolder =
    "no folder for the copies: HOME is not set and XDG_DATA_HOME is not an absolute path";

// `leaf` under the value of an XDG base-directory variable when that is an absolute path, else
// under HOME/`homeFolder`; empty when neither names a folder.
std::string XdgPath(const char* xdgValue, const char* home, const char* homeFolder, const char* leaf);

// $XDG_DATA_HOME/quillon/backups, else ~/.local/share/quillon/backups; empty when neither
// variable names a folder (XDG_DATA_HOME must be absolute).
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

// A copy kept: where, and a notice for the user when its record was damaged (kDamagedRecord).
struct KeptCopy {
  std::string path;
  std::string notice;
};

class SaveBackups {
 public:
  explicit SaveBackups(std::string folder) : folder_(std::move(folder)) {}

  // Keeps `bytes` as a copy of the save memory of `title` (cleaned as SuggestedFileName cleans
  // it: characters outside letters, digits, space, dot, dash and underscore made "_"), written
  // into a temporary file and claimed under a free name for `when`, while the folder is locked.
  // The copy, or nullopt with `reason` saying why it could not be kept (an empty folder:
  // kNoCopyFolder; the record's place holding a link or anything but a regular file).
  // Afterwards the copy ends the record, and the oldest recorded copies beyond kKeptBackups
  // are removed; the record is written (through a temporary file) before any is, and when it
  // cannot be written none is.
  std::optional<KeptCopy> Keep(library::WriterType writer, std::string_view title, std::span<const std::uint8_t> bytes,
                               std::string& reason, std::time_t when = std::time(nullptr)) const;

  // The recorded copies that are still there, newest first; then the files of a copy's name
  // that the record does not hold, the latest names first.
  std::vector<SavedCopy> List() const;

  const std::string& folder() const { return folder_; }

 private:
  // The names in the record, oldest first: none when there is no record; nullopt when it
  // cannot be read whole or is not as the program writes it.
  std::optional<std::vector<std::string>> Record() const;
  bool WriteRecord(const std::vector<std::string>& names) const;

  std::string folder_;
};

// The end of an operation's copy of the save memory it is about to overwrite: `bytes` read
// from the card (nullopt: the writer did not read them) kept in op.state.backupFolder under
// `title` (an empty folder fails), the window told where it went and of a damaged record. Nothing to go on; otherwise
// the "Backup Fail" that ends the operation before the card changes.
std::optional<Result> KeepCopy(Operation& op, std::string_view title,
                               const std::optional<std::vector<std::uint8_t>>& bytes);

}  // namespace quillon::ops
