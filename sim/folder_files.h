// SPDX-License-Identifier: GPL-3.0-or-later
// The files of a simulated writer's folder other than writer.ini and writer.lock: the card's
// memories, one raw file each, and unexpected.txt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_writer.h"
#include "sim/writer_ini.h"

namespace quillon::sim {

// The largest ordinary cartridge image (and save file) a writer takes.
inline constexpr std::uintmax_t kMaxCartRom = 0x800000;

// The text of an errno value.
std::string errorText(int error);

// A whole file of at most `limit` bytes; `what` names it in the messages. Throws
// std::runtime_error when it is not a plain file, cannot be read or is larger.
std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path, const char* what, std::uintmax_t limit);

// Makes or replaces the file with `bytes`; throws std::runtime_error when that fails.
void writeWholeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// The memories of `card` that have a file in the folder.
std::vector<Memory> memoriesOf(const CardContents& card);

// The card writer.ini describes, with its memories from their files. Throws
// std::runtime_error naming the file when one is missing, of the wrong size or not a card.
CardContents loadCard(const std::filesystem::path& dir, const WriterConfig& config);

// Lines of a notes file, counted up to one past the limit.
std::size_t countNoteLines(const std::filesystem::path& path);

[[noreturn]] void cannotWrite(const std::filesystem::path& path, int error);

// A memory file must hold the whole memory while a port uses it. One that was removed or cut
// short behind the writer's back is an error, never made again: that would hand the next
// reader a blank or short card. Looks at the open file `fd`, or at `path` when `fd` is -1.
void requireMemoryFile(const std::filesystem::path& path, int fd, std::size_t size);

// Writes `bytes` to the open file at `offset`, or at its end when `append`, and closes it.
void writeAll(int fd, const std::filesystem::path& path, std::span<const std::uint8_t> bytes, std::size_t offset,
              bool append);

}  // namespace quillon::sim
