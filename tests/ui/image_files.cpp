// SPDX-License-Identifier: GPL-3.0-or-later
#include "image_files.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace quillon::uitest {

void WriteGbImage(const std::filesystem::path& file, const GbHeader& header) {
  std::vector<char> bytes(0x200, 0);
  std::copy_n(header.title.begin(), std::min<std::size_t>(header.title.size(), 15), bytes.begin() + 0x134);
  bytes[0x143] = header.color ? static_cast<char>(0x80) : 0;
  bytes[0x147] = static_cast<char>(header.type);
  bytes[0x148] = static_cast<char>(header.romCode);
  bytes[0x149] = static_cast<char>(header.ramCode);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

void WriteWsImage(const std::filesystem::path& file, std::uint64_t size, std::uint8_t saveType) {
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + file.string());
  }
  std::filesystem::resize_file(file, size);
  std::fstream io(file, std::ios::binary | std::ios::in | std::ios::out);
  io.seekp(static_cast<std::streamoff>(size - 5));
  io.put(static_cast<char>(saveType));
  if (!io) throw std::runtime_error("cannot write " + file.string());
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace quillon::uitest
