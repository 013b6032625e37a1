// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of the program's own files locked against other processes of either program while
// they read, change and replace those files (the journal, the record of the copies).
#pragma once

#include <filesystem>
#include <string>

namespace quillon::ops {

// The folder, made when it is not there (folders on the way may be links), and locked with
// flock for as long as this lives.
class LockedFolder {
 public:
  explicit LockedFolder(const std::filesystem::path& folder);
  ~LockedFolder();
  LockedFolder(const LockedFolder&) = delete;
  LockedFolder& operator=(const LockedFolder&) = delete;

  // Why the folder could not be made or locked; empty when it is locked.
  const std::string& why() const { return why_; }
  // The renames that replaced files in it reach the disk.
  void Sync() const;

 private:
  int fd_ = -1;
  std::string why_;
};

}  // namespace quillon::ops
