#include "ops/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace quillon::ops {

bool OutputFile::Open(const std::string& target) {
  Discard();
  target_ = target;
  writeFailed_ = false;
  // Beside the target, so that the rename stays on one file system.
  std::string pattern = target + ".quillon-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return false;
  ::fchmod(fd, 0644);  // mkstemp makes it private; a dump is an ordinary file
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return false;
  }
  temp_ = pattern;
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

}  // namespace quillon::ops
