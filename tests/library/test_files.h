// SPDX-License-Identifier: GPL-3.0-or-later
// Image files for the library tests, made in a temporary folder of their own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillon::library::testing {

// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-lib-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "cannot make a temporary folder from " << pattern;
    }
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The header fields of a GB image that the library looks at.
struct GbHeader {
  std::string title = "TEST";  // written from 0x134, at most 15 bytes
  int type = 0x19;
  int romCode = 0;
  int ramCode = 0;
  int colorByte = 0x00;  // byte 0x143
};

inline void WriteBytes(const std::filesystem::path& file, const std::vector<unsigned char>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

// A GB image of `size` bytes (at least the header) whose other bytes are a filler pattern.
inline void WriteGbImage(const std::filesystem::path& file, const GbHeader& header, std::size_t size = 0x150) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(0xA5 ^ i);
  for (std::size_t i = 0; i < 15; ++i) {
    bytes[0x134 + i] = i < header.title.size() ? static_cast<unsigned char>(header.title[i]) : 0;
  }
  bytes[0x143] = static_cast<unsigned char>(header.colorByte);
  bytes[0x147] = static_cast<unsigned char>(header.type);
  bytes[0x148] = static_cast<unsigned char>(header.romCode);
  bytes[0x149] = static_cast<unsigned char>(header.ramCode);
  WriteBytes(file, bytes);
}

// A WS image of `size` bytes, sparse where the file system allows, with `saveType` at
// size - 5 (when the file has that byte).
inline void WriteWsImage(const std::filesystem::path& file, std::uint64_t size, int saveType) {
  { std::ofstream create(file, std::ios::binary | std::ios::trunc); }
  std::filesystem::resize_file(file, size);
  if (size < 5) return;
  std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(size - 5));
  const char byte = static_cast<char>(saveType);
  out.write(&byte, 1);
  if (!out) ADD_FAILURE() << "cannot write the save type of " << file;
}

}  // namespace quillon::library::testing
