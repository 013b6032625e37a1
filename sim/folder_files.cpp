// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/folder_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "sim/sim.h"

namespace quillon::sim {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, kMemoryCount> kFileNames = {
    "gb-bios.bin", "gb-flash.bin", "gb-sram.bin", "gb-cart.gb", "gb-cart.sav", "ws-flash.bin", "ws-sram.bin"};

std::vector<std::uint8_t> loadMemory(const fs::path& dir, Memory m, std::size_t size) {
  const fs::path path = dir / memoryFileName(m);
  if (!fs::exists(path)) {
    throw std::runtime_error(path.string() + " is missing; insert the card again (quillon-cli sim insert " +
                             dir.string() + " ...)");
  }
  auto bytes = readWholeFile(path, "card memory", size);
  if (bytes.size() != size) {
    throw std::runtime_error(path.string() + " holds " + std::to_string(bytes.size()) + " bytes; it must hold " +
                             std::to_string(size));
  }
  return bytes;
}

}  // namespace

const char* memoryFileName(Memory m) { return kFileNames[static_cast<std::size_t>(m)]; }

std::string errorText(int error) { return std::error_code(error, std::generic_category()).message(); }

std::vector<std::uint8_t> readWholeFile(const fs::path& path, const char* what, std::uintmax_t limit) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    throw std::runtime_error("cannot open " + std::string(what) + " " + path.string() +
                             (fs::exists(path, error) ? ": not a plain file" : ": no such file"));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + std::string(what) + " " + path.string());
  const auto size = fs::file_size(path, error);
  if (!error && size > limit) {
    throw std::runtime_error(std::string(what) + " " + path.string() + " holds " + std::to_string(size) +
                             " bytes; at most " + std::to_string(limit) + " are allowed");
  }
  std::vector<std::uint8_t> bytes(error ? 0 : static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (error || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
    throw std::runtime_error("cannot read " + std::string(what) + " " + path.string());
  }
  return bytes;
}

void writeWholeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<Memory> memoriesOf(const CardContents& card) {
  switch (card.kind) {
    case CardKind::None:
      return {};
    case CardKind::GbFlash:
      return {Memory::GbBios, Memory::GbFlash, Memory::GbSram};
    case CardKind::GbCart:
      if (card[Memory::CartSav].empty()) return {Memory::CartRom};
      return {Memory::CartRom, Memory::CartSav};
    case CardKind::WsFlash:
      return {Memory::WsFlash, Memory::WsSram};
  }
  return {};
}

CardContents loadCard(const fs::path& dir, const WriterConfig& config) {
  switch (config.kind) {
    case CardKind::None:
      return noCard();
    case CardKind::GbFlash: {
      CardContents card = emptyGbFlashCard(config.biosChip, config.flashChip);
      for (Memory m : memoriesOf(card)) card[m] = loadMemory(dir, m, card[m].size());
      return card;
    }
    case CardKind::GbCart: {
      const fs::path romPath = dir / memoryFileName(Memory::CartRom);
      auto rom = readWholeFile(romPath, "cartridge image", kMaxCartRom);
      CardContents card;
      try {
        card = gbCartridge(std::move(rom));
      } catch (const std::runtime_error& e) {
        throw std::runtime_error(romPath.string() + ": " + e.what());
      }
      auto& ram = card[Memory::CartSav];
      if (!ram.empty()) ram = loadMemory(dir, Memory::CartSav, ram.size());
      return card;
    }
    case CardKind::WsFlash: {
      CardContents card = emptyWsFlashCard();
      for (Memory m : memoriesOf(card)) card[m] = loadMemory(dir, m, card[m].size());
      return card;
    }
  }
  return noCard();
}

std::size_t countNoteLines(const fs::path& path) {
  std::ifstream in(path);
  std::size_t lines = 0;
  std::string line;
  while (lines <= kMaxUnexpectedNotes && std::getline(in, line)) ++lines;
  return lines;
}

[[noreturn]] void cannotWrite(const fs::path& path, int error) {
  throw std::runtime_error("the simulated writer cannot write " + path.string() + ": " + errorText(error));
}

void requireMemoryFile(const fs::path& path, int fd, std::size_t size) {
  struct stat file {};
  if ((fd >= 0 ? ::fstat(fd, &file) : ::stat(path.c_str(), &file)) != 0) {
    if (errno != ENOENT) cannotWrite(path, errno);
    throw std::runtime_error("the simulated writer's memory file " + path.string() +
                             " was removed while the writer was in use; insert the card again");
  }
  if (!S_ISREG(file.st_mode)) {
    throw std::runtime_error("the simulated writer's memory file " + path.string() +
                             " is no longer a plain file; insert the card again");
  }
  if (static_cast<std::uintmax_t>(file.st_size) != size) {
    throw std::runtime_error("the simulated writer's memory file " + path.string() + " was changed to " +
                             std::to_string(file.st_size) + " bytes while the writer was in use; it must hold " +
                             std::to_string(size) + "; insert the card again");
  }
}

void writeAll(int fd, const fs::path& path, std::span<const std::uint8_t> bytes, std::size_t offset, bool append) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = append
                          ? ::write(fd, bytes.data() + done, bytes.size() - done)
                          : ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      ::close(fd);
      cannotWrite(path, error);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) cannotWrite(path, errno);
}

}  // namespace quillon::sim
