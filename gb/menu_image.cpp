// SPDX-License-Identifier: GPL-3.0-or-later
#include "gb/menu_image.h"

#include <algorithm>

#include "library/gb_header.h"

namespace quillon::gb {

namespace {

constexpr std::size_t kNameOffset = 16;   // within a slot
constexpr std::size_t kNameCleared = 15;  // bytes 16-30; byte 31 only takes a 15-character title's zero
constexpr std::size_t kPasswordArea = 0x100;
constexpr std::size_t kHeaderChecksum = 0x14D;
constexpr std::array<std::uint8_t, 12> kPasswordHeader = {0x30, 0x31, 0x03, 0x00, 0x00, 0x00,
                                                          0x01, 0x33, 0x2C, 0x00, 0x00, 0x00};

void WriteSlot(std::span<std::uint8_t> slot, int number, const library::RomEntry& entry) {
  slot[0] = static_cast<std::uint8_t>(number);
  slot[1] = static_cast<std::uint8_t>(((entry.romStartBank / 32) & 7) << 4 | (entry.ramStartUnit & 0x0F));
  slot[2] =
      static_cast<std::uint8_t>(0x80 | (entry.mapperClass & 3) << 4 | (entry.ramClass & 3) << 2 | (entry.romClass & 3));
  std::fill_n(slot.begin() + kNameOffset, kNameCleared, std::uint8_t{0});
  const std::size_t length = std::min<std::size_t>(entry.title.size(), kNameCleared);
  std::copy_n(entry.title.begin(), length, slot.begin() + kNameOffset);
  slot[kNameOffset + length] = 0;
}

void FixHeaderChecksum(std::span<std::uint8_t> menu) {
  std::uint8_t sum = 0;
  for (std::size_t i = library::gb_header::kTitle; i < kHeaderChecksum; ++i)
    sum = static_cast<std::uint8_t>(sum + menu[i]);
  menu[kHeaderChecksum] = static_cast<std::uint8_t>(0xE7 - sum);
}

}  // namespace

void BuildMenuImage(std::span<std::uint8_t> menu, const std::vector<library::RomEntry>& entries,
                    library::WriterType writerType, const TitleArea& singleImageTitle) {
  namespace header = library::gb_header;
  const bool password = writerType != library::WriterType::Gb;
  if (entries.size() == 1) std::copy(singleImageTitle.begin(), singleImageTitle.end(), menu.begin() + header::kTitle);
  if (password) {
    std::copy(kPasswordHeader.begin(), kPasswordHeader.end(), menu.begin() + 0x144);
    std::fill_n(menu.begin() + kDirectoryPassword, kPasswordArea, std::uint8_t{0});
  }
  const std::size_t directory = password ? kDirectoryPassword : kDirectoryGb;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    WriteSlot(menu.subspan(directory + kDirectorySlot * i, kDirectorySlot), static_cast<int>(i + 1), entries[i]);
  }
  const bool color = !entries.empty() && entries.front().color == 1;
  menu[header::kColourFlag] = color ? 0x80 : 0x00;
  FixHeaderChecksum(menu);
}

}  // namespace quillon::gb
