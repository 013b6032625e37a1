// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "sim/folder_files.h"

namespace quillon::sim {

namespace fs = std::filesystem;

namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(5);

std::string waitText(std::chrono::milliseconds wait) {
  if (wait.count() >= 1000 && wait.count() % 1000 == 0) return std::to_string(wait.count() / 1000) + " s";
  return std::to_string(wait.count()) + " ms";
}

}  // namespace

std::string busyMessage(const fs::path& dir, std::chrono::milliseconds wait) {
  return "the simulated writer in " + dir.string() + " is in use by another program: it was not free within " +
         waitText(wait) + " (" + (dir / kWriterLock).string() +
         " is held); try again when that program's operation has ended";
}

std::string stoppedMessage(const fs::path& dir) {
  return "stopped while waiting for the simulated writer in " + dir.string() + ", which another program is using";
}

std::function<void()> waitNotice(const fs::path& dir, const SimPortOptions& options) {
  if (options.notices == nullptr) return {};
  return [notices = options.notices,
          text = "the simulated writer in " + dir.string() + " is in use by another program; waiting for it (at most " +
                 waitText(options.claimWait) + ")"] { *notices << text << '\n'
                                                               << std::flush; };
}

FolderLock::Outcome FolderLock::take(const fs::path& dir, std::chrono::milliseconds wait,
                                     const std::function<void()>& waiting, Hold hold, const std::atomic<bool>* stop) {
  release();
  shared_ = hold == Hold::Shared;
  path_ = dir / kWriterLock;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  for (;;) {
    writable_ = true;
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
      writable_ = false;
      fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
      const int error = errno;
      std::error_code ignored;
      if (!fs::is_directory(dir, ignored)) return Outcome::NoFolder;
      if (error == ENOENT && !writable_) {  // read-only folder without a lock file
        stamp_ = {};
        return Outcome::Taken;
      }
      throw std::runtime_error("the simulated writer cannot open " + path_.string() + ": " + errorText(error));
    }
    while (::flock(fd, (shared_ ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error("the simulated writer cannot lock " + path_.string() + ": " + errorText(error));
      }
      if (stop && stop->load()) {
        ::close(fd);
        return Outcome::Stopped;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        ::close(fd);
        return Outcome::Busy;
      }
      if (waiting && !told) {
        told = true;
        waiting();
      }
      std::this_thread::sleep_for(kLockRetry);
    }
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && ::stat(path_.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino) {
      fd_ = fd;
      readStamp(opened);
      return Outcome::Taken;
    }
    ::close(fd);  // the lock file was removed or replaced while we waited: take the one named now
    std::error_code ignored;
    if (!fs::is_directory(dir, ignored)) return Outcome::NoFolder;
    if (std::chrono::steady_clock::now() >= deadline) return Outcome::Busy;
  }
}

void FolderLock::takeForChange(const fs::path& dir, const SimPortOptions& options) {
  switch (take(dir, options.claimWait, waitNotice(dir, options), Hold::Exclusive, options.stop)) {
    case Outcome::Taken:
      return;
    case Outcome::Stopped:
      throw std::runtime_error(stoppedMessage(dir));
    case Outcome::Busy:
    case Outcome::NoFolder:
      throw std::runtime_error(busyMessage(dir, options.claimWait));
  }
}

void FolderLock::bump(bool newCard) {
  if (fd_ < 0 || !writable_ || shared_) {
    throw std::runtime_error("the simulated writer cannot write " + path_.string() + ": the folder is read-only");
  }
  Stamp next = stamp_;
  ++next.changes;
  if (newCard) ++next.card;
  const std::string text = "changes=" + std::to_string(next.changes) + "\ncard=" + std::to_string(next.card) + "\n";
  if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("the simulated writer cannot write " + path_.string() + ": " + errorText(errno));
  }
  stamp_ = next;
}

void FolderLock::release() {
  if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the flock
  fd_ = -1;
}

void FolderLock::readStamp(const struct stat& file) {
  stamp_ = {};
  stamp_.device = static_cast<std::uint64_t>(file.st_dev);
  stamp_.inode = static_cast<std::uint64_t>(file.st_ino);
  std::array<char, 128> buffer{};
  const ssize_t got = ::pread(fd_, buffer.data(), buffer.size(), 0);
  if (got <= 0) return;
  std::istringstream in(std::string(buffer.data(), static_cast<std::size_t>(got)));
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::uint64_t value = 0;
    const std::string text = line.substr(eq + 1);
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (line.compare(0, eq, "changes") == 0) stamp_.changes = value;
    if (line.compare(0, eq, "card") == 0) stamp_.card = value;
  }
}

}  // namespace quillon::sim
