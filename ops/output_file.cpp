#include "ops/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <new>

namespace quillon::ops {

namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

// Creates a file of a name no file has yet: the target's name with a suffix, another suffix
// when that one is taken. It is made with the mode 0666, which the umask narrows as for any
// file the user makes. Returns the descriptor, or -1.
int CreateBeside(const std::string& target, std::string& temp) {
  static std::atomic<std::uint64_t> counter{0};
  const auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<std::uint64_t>(::getpid()) << 40);
  constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::uint64_t mix = (seed + counter.fetch_add(1)) * 0x9E3779B97F4A7C15ull;
    std::string suffix;
    for (int i = 0; i < 6; ++i, mix >>= 6) suffix += kLetters[mix & 63];
    temp = target + ".quillon-" + suffix;
    const int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool OutputFile::Open(const std::string& target) {
  Discard();
  target_ = target;
  writeFailed_ = false;
  struct stat old {};
  bool replaces = false;
  if (::lstat(target.c_str(), &old) == 0) {
    if (S_ISLNK(old.st_mode)) {
      // A link to a file: the file it names is replaced and the link stays. A link that
      // names nothing is refused with the rest.
      char* real = ::realpath(target.c_str(), nullptr);
      if (!real) return false;
      target_ = real;
      std::free(real);
      if (::stat(target_.c_str(), &old) != 0) return false;
    }
    // Only a regular file that the user may write is replaced.
    if (!S_ISREG(old.st_mode) || ::access(target_.c_str(), W_OK) != 0) return false;
    replaces = true;
  } else if (errno != ENOENT) {
    return false;
  }
  // Beside the target, so that the rename stays on one file system.
  const int fd = CreateBeside(target_, temp_);
  if (fd < 0) {
    temp_.clear();
    return false;
  }
  // A replaced file keeps its permissions. A file system without them (FAT) refuses, and
  // the file then has what that file system gives every file.
  if (replaces) static_cast<void>(::fchmod(fd, old.st_mode & 0777));
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    ::close(fd);
    ::unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  return true;
}

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (!file_) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) writeFailed_ = true;
  return !writeFailed_;
}

bool OutputFile::Commit() {
  if (!file_) return false;
  bool ok = !writeFailed_ && std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok && std::rename(temp_.c_str(), target_.c_str()) == 0) {
    temp_.clear();
    return true;
  }
  ::unlink(temp_.c_str());
  temp_.clear();
  return false;
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

std::optional<std::vector<std::uint8_t>> ReadFilePrefix(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::error_code& error) {
  error.clear();
  // Not blocking: a FIFO would otherwise wait here for a writer before it can be refused.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = LastError();
    return std::nullopt;
  }
  struct Closer {
    int descriptor;
    ~Closer() { ::close(descriptor); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = LastError();
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    error = std::make_error_code(S_ISDIR(info.st_mode) ? std::errc::is_a_directory : std::errc::not_supported);
    return std::nullopt;
  }
  if (static_cast<std::uintmax_t>(info.st_size) > kLargestWholeFile) {
    error = std::make_error_code(std::errc::file_too_large);
    return std::nullopt;
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(size);
  } catch (const std::bad_alloc&) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return std::nullopt;
  }
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, bytes.data() + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = LastError();
      return std::nullopt;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  // A file that became shorter while it was read is not the file that was asked for.
  if (done != size) {
    error = std::make_error_code(std::errc::io_error);
    return std::nullopt;
  }
  return bytes;
}

}  // namespace quillon::ops
