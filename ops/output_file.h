// Files that the operations write and read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace quillon::ops {

// An output file that is never left looking complete: the bytes go into a temporary file
// beside the target, which is renamed over the target only by Commit(). Until then an
// existing file of the target's name is untouched; a file not committed is removed.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file; false when it cannot be created, or when the target is
  // anything but a regular file (a folder, a FIFO, a device) or a file the user may not
  // write: an operation opens its file before it reads the card, so these fail at once. The
  // temporary file gets the user's umask, or the mode of the file it is to replace.
  bool Open(const std::string& target);
  // False when the bytes could not all be written.
  bool Write(std::span<const std::uint8_t> bytes);
  // Closes the temporary file and renames it over the target; false (and the temporary
  // file removed) when that fails.
  bool Commit();
  // Closes and removes the temporary file.
  void Discard();

 private:
  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temp_;
  bool writeFailed_ = false;
};

// The first `count` bytes of a file: nullopt when it cannot be opened, fewer bytes when it
// is shorter.
std::optional<std::vector<std::uint8_t>> ReadFilePrefix(const std::string& path, std::size_t count);

// Patch offsets and the patching routine's sizes are 32-bit numbers: no whole file read
// here is larger.
inline constexpr std::size_t kLargestWholeFile = 0x7FFFFFFF;

// A whole regular file of at most kLargestWholeFile bytes; nullopt, with the reason in
// `error`, when it is anything else (a folder, a FIFO), cannot be opened, is larger, or
// cannot be read to its end.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::error_code& error);

}  // namespace quillon::ops
