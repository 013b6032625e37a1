// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/locked_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillon::ops {

LockedFolder::LockedFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    why_ = "cannot make " + folder.string() + ": " + error.message();
    return;
  }
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) why_ = folder.string() + ": " + std::strerror(errno);
}

LockedFolder::~LockedFolder() {
  if (fd_ >= 0) ::close(fd_);  // which ends the lock
}

void LockedFolder::Sync() const { static_cast<void>(::fsync(fd_)); }

}  // namespace quillon::ops
