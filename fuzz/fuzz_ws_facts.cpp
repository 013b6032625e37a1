// SPDX-License-Identifier: GPL-3.0-or-later
// The WS image facts (size and save type byte) and the WS list row, fed with any file.
//
// Input: byte 0 chooses the file's size, the rest are its bytes.
//  - byte 0 below 0x80: the file is the rest of the input, as it is;
//  - otherwise the file is as large as an exact card image size (4M .. 128M, bits 0..2)
//    moved by a small amount (bits 3..5: 0, +0x200, -1, +1, +0x1FF, +0x201, +0x400, -0x200),
//    made sparse, and ends in the rest of the input; so the size texts other than "Error"
//    are reached without writing megabytes.
// The last bytes of the input (at most 32, without '/' and NUL) with ".ws" name the file.
//
// What must hold:
//  - ReadWsFacts gives the same facts twice: opened, the file's size, and the byte at
//    size - 5 as the save type (-1 for fewer than 5 bytes); a missing file is not opened
//    and has size 0, save type -1.
//  - WsRow holds the name and empty "Name", "Type", "Color".
//  - ScanRomDir (writer type 2) of the folder holding just this file lists exactly WsRow.
//  - FormatListRow gives one line: exactly 5 tabs, no '\n', no '\r'.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "library/rom_header.h"
#include "library/rom_scan.h"

namespace fs = std::filesystem;
using namespace quillon::library;

namespace {

constexpr std::array<std::uint64_t, 6> kImageSizes = {0x80000, 0x100000, 0x200000, 0x400000, 0x800000, 0x1000000};
constexpr std::array<std::int64_t, 8> kMoves = {0, 0x200, -1, 1, 0x1FF, 0x201, 0x400, -0x200};

bool SameFacts(const WsFacts& a, const WsFacts& b) {
  return a.opened == b.opened && a.size == b.size && a.saveType == b.saveType;
}

// A file of `size` bytes, zero but for `tail`, which are its last bytes.
void WriteSparse(const fs::path& path, std::uint64_t size, std::span<const std::uint8_t> tail) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(::ftruncate(fd, static_cast<off_t>(size)) == 0);
  const std::size_t n = tail.size();
  FUZZ_CHECK(::pwrite(fd, tail.data(), n, static_cast<off_t>(size - n)) == static_cast<ssize_t>(n));
  FUZZ_CHECK(::close(fd) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const std::uint8_t selector = size > 0 ? data[0] : 0;
  const std::span<const std::uint8_t> rest = size > 0 ? input.subspan(1) : input;

  std::string name;
  for (std::size_t i = size > 32 ? size - 32 : 0; i < size; ++i) {
    if (data[i] != '/' && data[i] != 0) name.push_back(static_cast<char>(data[i]));
  }
  name += ".ws";

  const fs::path file = quillon::fuzz::NextRomPath(name);

  // The file and, independently, the facts it holds.
  std::uint64_t fileSize = 0;
  int saveType = -1;
  if (selector < 0x80) {
    quillon::fuzz::WriteFile(file, rest);
    fileSize = rest.size();
    if (rest.size() >= 5) saveType = rest[rest.size() - 5];
  } else {
    const auto base = static_cast<std::int64_t>(kImageSizes[(selector & 7u) % kImageSizes.size()]);
    fileSize = static_cast<std::uint64_t>(base + kMoves[(selector >> 3) & 7u]);
    const std::span<const std::uint8_t> tail = rest.first(std::min<std::size_t>(rest.size(), 4096));
    WriteSparse(file, fileSize, tail);
    saveType = tail.size() >= 5 ? tail[tail.size() - 5] : 0;
  }

  const WsFacts facts = ReadWsFacts(file);
  FUZZ_CHECK(SameFacts(facts, ReadWsFacts(file)));
  FUZZ_CHECK(facts.opened);
  FUZZ_CHECK(facts.size == fileSize);
  FUZZ_CHECK(facts.saveType == saveType);
  FUZZ_CHECK(facts.saveType >= -1 && facts.saveType <= 0xFF);

  const WsFacts missing = ReadWsFacts(quillon::fuzz::ScratchDir() / "no-such-folder" / name);
  FUZZ_CHECK(!missing.opened && missing.size == 0 && missing.saveType == -1);
  const ListRow missingRow = WsRow(name, missing);
  FUZZ_CHECK(missingRow.rom == "Error" && missingRow.ram == "Unknown");

  const ListRow row = WsRow(name, facts);
  FUZZ_CHECK(row.file == name && row.name.empty() && row.type.empty() && row.color.empty());

  const std::vector<ListRow> listed = ScanRomDir(file.parent_path(), WriterType::Ws);
  FUZZ_CHECK(listed.size() == 1);
  FUZZ_CHECK(listed[0] == row);
  FUZZ_CHECK(ScanRomDir(file.parent_path(), WriterType::Gb).empty());

  const std::string line = FormatListRow(row);
  std::size_t tabs = 0;
  for (char c : line) tabs += c == '\t';
  FUZZ_CHECK_MSG(tabs == 5, "row line: " + line);
  FUZZ_CHECK_MSG(line.find('\n') == std::string::npos, "row line: " + line);
  FUZZ_CHECK_MSG(line.find('\r') == std::string::npos, "row line: " + line);
  return 0;
}
