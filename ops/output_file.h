// Files that the operations write and read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
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

  // Creates the temporary file; false when it cannot be created.
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

}  // namespace quillon::ops
