// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

namespace quillon::ops {

namespace {

std::string ErrnoText() { return std::strerror(errno); }

// Creates a file of a name no file has yet in `dir`: ".quillon-" and six letters, short
// enough beside any name the file system takes. It is made with the mode 0666, which the
// umask narrows as for any file the user makes. Returns the descriptor, or -1.
int CreateTemporary(const std::filesystem::path& dir, std::string& temp) {
  static std::atomic<std::uint64_t> counter{0};
  const auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<std::uint64_t>(::getpid()) << 40);
  constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::uint64_t mix = (seed + counter.fetch_add(1)) * 0x9E3779B97F4A7C15ull;
    std::string name = ".quillon-";
    for (int i = 0; i < 6; ++i, mix >>= 6) name += kLetters[mix & 63];
    temp = (dir / name).string();
    const int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool OutputFile::Fail(const std::string& why) {
  reason_ = why;
  temp_.clear();
  return false;
}

std::optional<std::string> OwnFileRefusal(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? std::nullopt : std::optional(ErrnoText());
  if (S_ISREG(info.st_mode)) return std::nullopt;
  if (S_ISLNK(info.st_mode)) return "is a symbolic link";
  if (S_ISFIFO(info.st_mode)) return "is a FIFO";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "is a device";
  if (S_ISDIR(info.st_mode)) return "is a folder";
  return "is not a regular file";
}

bool OutputFile::Open(const std::string& target) { return OpenTarget(target, false); }

bool OutputFile::OpenOwn(const std::string& target) { return OpenTarget(target, true); }

bool OutputFile::OpenNew(const std::string& folder) {
  Discard();
  target_.clear();
  reason_.clear();
  writeFailed_ = false;
  return OpenTemporary(folder, -1);
}

bool OutputFile::OpenTarget(const std::string& target, bool own) {
  Discard();
  target_ = target;
  reason_.clear();
  writeFailed_ = false;
  if (own) {
    if (const auto refusal = OwnFileRefusal(target)) return Fail(*refusal);
  }
  struct stat info {};
  bool exists = ::lstat(target.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) return Fail(ErrnoText());
  if (exists && S_ISLNK(info.st_mode)) {
    // A link: what it names is written, and the link stays.
    char* real = ::realpath(target.c_str(), nullptr);
    if (!real) return Fail(errno == ENOENT ? "is a link to nothing" : ErrnoText());
    target_ = real;
    std::free(real);
    if (::stat(target_.c_str(), &info) != 0) return Fail(ErrnoText());
  }
  if (exists && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
    // Written directly; a signal ends the wait of a FIFO's open.
    const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Fail(ErrnoText());
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
      ::close(fd);
      return Fail(ErrnoText());
    }
    return true;
  }
  if (exists) {
    // Only a regular file that the user may write is replaced.
    if (S_ISDIR(info.st_mode)) return Fail("is a folder");
    if (!S_ISREG(info.st_mode)) return Fail("is a block device or another kind of file that is not written to");
    if (::access(target_.c_str(), W_OK) != 0) return Fail(ErrnoText());
  }
  // Beside the target, so that the rename stays on one file system.
  const std::filesystem::path dir = std::filesystem::path(target_).parent_path();
  return OpenTemporary(dir.empty() ? "." : dir.string(), exists ? static_cast<int>(info.st_mode & 0777) : -1);
}

bool OutputFile::OpenTemporary(const std::string& folder, int keptMode) {
  const int fd = CreateTemporary(folder, temp_);
  if (fd < 0) return Fail(ErrnoText());
  // A replaced file keeps its permissions. A file system without them (FAT) refuses, and
  // the file then has what that file system gives every file.
  if (keptMode >= 0) static_cast<void>(::fchmod(fd, static_cast<mode_t>(keptMode)));
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    const std::string why = ErrnoText();
    ::close(fd);
    ::unlink(temp_.c_str());
    return Fail(why);
  }
  return true;
}

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (!file_) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    if (!writeFailed_) reason_ = ErrnoText();
    writeFailed_ = true;
  }
  return !writeFailed_;
}

bool OutputFile::Finish() {
  const bool direct = temp_.empty();
  bool ok = !writeFailed_ && std::fflush(file_) == 0 && (direct || ::fsync(::fileno(file_)) == 0);
  if (!ok && reason_.empty()) reason_ = ErrnoText();
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

bool OutputFile::Commit() {
  if (!file_ || target_.empty()) return false;
  const bool direct = temp_.empty();
  const bool ok = Finish();
  if (direct) return ok;
  if (ok && std::rename(temp_.c_str(), target_.c_str()) == 0) {
    temp_.clear();
    return true;
  }
  if (reason_.empty()) reason_ = ErrnoText();
  Discard();
  return false;
}

std::optional<std::string> OutputFile::Claim(const std::function<std::string(int)>& names) {
  if (!file_ || !target_.empty() || !Finish()) {
    Discard();
    return std::nullopt;
  }
  constexpr int kNames = 10000;
  for (int n = 1; n <= kNames; ++n) {
    std::string name = names(n);
    if (::link(temp_.c_str(), name.c_str()) == 0) {
      Discard();  // the temporary name goes, the file stays under `name`
      return name;
    }
    if (errno == EEXIST) continue;
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) break;
    // No hard links here: the name is claimed by creating it, then the file renamed over it.
    const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    ::close(fd);
    if (std::rename(temp_.c_str(), name.c_str()) == 0) {
      temp_.clear();
      return name;
    }
    reason_ = ErrnoText();
    ::unlink(name.c_str());
    break;
  }
  if (reason_.empty()) reason_ = errno == EEXIST ? "every name is taken" : ErrnoText();
  Discard();
  return std::nullopt;
}

void OutputFile::Discard() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace quillon::ops
