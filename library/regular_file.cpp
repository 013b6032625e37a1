// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace quillon::library {

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

std::string NotRegularText(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder";
  if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  return "is not a regular file";
}

}  // namespace

RegularFile::RegularFile(const std::filesystem::path& path) {
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer before it can be refused.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason_ = ErrnoText(errno);
    return;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    reason_ = ErrnoText(errno);
    ::close(fd);
    return;
  }
  if (!S_ISREG(info.st_mode)) {
    reason_ = NotRegularText(info.st_mode);
    ::close(fd);
    return;
  }
  // Reads of a regular file do not wait; the flag goes back off all the same.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::size_t> RegularFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (fd_ < 0) return std::nullopt;
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::pread(fd_, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      reason_ = ErrnoText(errno);
      return std::nullopt;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::optional<std::string> UnreadableReason(const std::filesystem::path& path) {
  RegularFile file(path);
  if (file.ok()) return std::nullopt;
  return file.reason();
}

std::optional<std::vector<std::uint8_t>> ReadFilePrefix(const std::filesystem::path& path, std::size_t count,
                                                        std::string* reason) {
  RegularFile file(path);
  std::vector<std::uint8_t> bytes;
  std::optional<std::size_t> got;
  if (file.ok()) {
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(count, file.size())));
    got = file.ReadAt(0, bytes);
  }
  if (!got) {
    if (reason) *reason = file.reason();
    return std::nullopt;
  }
  bytes.resize(*got);
  return bytes;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path, std::string* reason) {
  RegularFile file(path);
  const auto fail = [&](const std::string& why) -> std::optional<std::vector<std::uint8_t>> {
    if (reason) *reason = why;
    return std::nullopt;
  };
  if (!file.ok()) return fail(file.reason());
  if (file.size() > kLargestWholeFile) return fail("is larger than " + std::to_string(kLargestWholeFile) + " bytes");
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(file.size()));
  } catch (const std::bad_alloc&) {
    return fail("there is not enough memory to read it");
  }
  const auto got = file.ReadAt(0, bytes);
  if (!got) return fail(file.reason());
  // A file that became shorter while it was read is not the file that was asked for.
  if (*got != bytes.size()) return fail("it became shorter while it was read");
  return bytes;
}

}  // namespace quillon::library
