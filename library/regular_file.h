// SPDX-License-Identifier: GPL-3.0-or-later
// Input files: only regular files are read. Opening never waits: a FIFO would wait for a
// writer and a device could be read for ever, so both are refused, as is a folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon::library {

class RegularFile {
 public:
  // Opens `path` for reading; ok() tells whether it is a readable regular file.
  explicit RegularFile(const std::filesystem::path& path);
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  // Why the file cannot be read ("is a folder", "No such file or directory", ...); empty
  // while nothing went wrong.
  const std::string& reason() const { return reason_; }
  std::uint64_t size() const { return size_; }

  // Reads up to buffer.size() bytes from `offset` on; returns how many arrived (fewer at the
  // end of the file), or nullopt when reading failed (reason() says why).
  std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::string reason_;
};

// Why `path` is not a regular file that can be read, or nothing when it is one.
std::optional<std::string> UnreadableReason(const std::filesystem::path& path);

// The first `count` bytes of a regular file (fewer when it is shorter); nullopt, with the
// reason in `reason` when it is given, when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFilePrefix(const std::filesystem::path& path, std::size_t count,
                                                        std::string* reason = nullptr);

// A whole regular file of at most kLargestWholeFile bytes (patch offsets and the patching
// routine's sizes are 32-bit numbers); nullopt, with the reason, when it cannot be read whole.
inline constexpr std::uint64_t kLargestWholeFile = 0x7FFFFFFF;
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                       std::string* reason = nullptr);

}  // namespace quillon::library
