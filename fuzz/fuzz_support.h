// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: the check that stops a run, a scratch folder per process and
// small file helpers.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// A property that must hold for every input: when it does not, say which and where, and
// abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                      \
  do {                                                                                        \
    if (!(cond)) {                                                                            \
      std::fprintf(stderr, "FUZZ_CHECK failed: %s\n  at %s:%d\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

// Like FUZZ_CHECK, with a text that tells more (the message of an exception, say).
#define FUZZ_CHECK_MSG(cond, text)                                                                 \
  do {                                                                                             \
    if (!(cond)) {                                                                                 \
      std::fprintf(stderr, "FUZZ_CHECK failed: %s\n  at %s:%d\n  %s\n", #cond, __FILE__, __LINE__, \
                   std::string(text).c_str());                                                     \
      std::abort();                                                                                \
    }                                                                                              \
  } while (0)

namespace quillon::fuzz {

// One scratch folder for the whole process, made at the first call under $TMPDIR (or /tmp)
// and removed when the process ends normally. A crashing run leaves it behind on purpose:
// its files are the state the crash saw.
inline const std::filesystem::path& ScratchDir() {
  // Never destroyed: the handler that removes the folder runs after the statics are gone.
  static const std::filesystem::path* const dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quillon-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    return new std::filesystem::path(pattern);
  }();
  static const bool removeAtExit = std::atexit([] {
                                     std::error_code ignored;
                                     std::filesystem::remove_all(*dir, ignored);
                                   }) == 0;
  (void)removeAtExit;
  return *dir;
}

// Replaces the file with exactly `bytes`; aborts when the scratch folder cannot be written,
// since every later check would be about the wrong file.
inline void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK_MSG(fd >= 0, "cannot write " + path.string());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    FUZZ_CHECK_MSG(n > 0, "cannot write " + path.string());
    done += static_cast<std::size_t>(n);
  }
  FUZZ_CHECK(::close(fd) == 0);
}

inline void WriteFile(const std::filesystem::path& path, std::string_view text) {
  WriteFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

inline void RemoveFile(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// A folder "roms" in the scratch folder holding one image at a time: the path for `name`,
// with the image of the run before (under whatever name it had) removed.
inline std::filesystem::path NextRomPath(const std::string& name) {
  static const std::filesystem::path romDir = [] {
    const std::filesystem::path dir = ScratchDir() / "roms";
    std::filesystem::create_directory(dir);
    return dir;
  }();
  static std::string lastName;
  if (!lastName.empty()) RemoveFile(romDir / lastName);
  lastName = name;
  return romDir / name;
}

// Splits `data` at every occurrence of `separator` (the parts never hold it).
inline std::vector<std::span<const std::uint8_t>> Split(std::span<const std::uint8_t> data,
                                                        std::string_view separator) {
  std::vector<std::span<const std::uint8_t>> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i + separator.size() <= data.size();) {
    if (std::string_view(reinterpret_cast<const char*>(data.data()) + i, separator.size()) == separator) {
      parts.push_back(data.subspan(start, i - start));
      i += separator.size();
      start = i;
    } else {
      ++i;
    }
  }
  parts.push_back(data.subspan(start));
  return parts;
}

inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1Fu, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0Fu, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07u, min = 0x10000;
    } else {
      return false;
    }
    if (extra >= text.size() - i) return false;  // the sequence is cut off
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace quillon::fuzz
