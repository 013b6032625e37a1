// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <string>

#include "detect/chips.h"
#include "detect/probe.h"
#include "library/names.h"

namespace quillon::detect {

namespace {

std::string hex6(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(value));
  return text;
}

std::string chipName(std::int32_t row) {
  if (row < 0 || row >= static_cast<std::int32_t>(kChipTable.size())) return {};
  return std::string(kChipTable[static_cast<std::size_t>(row)].name);
}

void addImageLines(std::vector<std::string>& lines, int number, const CardEntry& image) {
  using namespace library;
  lines.emplace_back("ROM -> " + std::to_string(number));
  lines.emplace_back("Name:" + image.nameText());
  lines.emplace_back("Type:" + std::string(CartTypeName(image.type)));
  lines.emplace_back("ROM Starting Address:" + hex6(image.romStart) + " bytes");
  lines.emplace_back("ROM Size:" + std::string(RomSizeName(image.romSize)) + " bits");
  if (image.ramSize != 0) lines.emplace_back("RAM Starting Address:" + hex6(image.ramStart));
  lines.emplace_back("RAM Size:" + std::string(RamSizeName(image.ramSize)) + " bits");
  lines.emplace_back(image.color ? "Color" : "Mono");
}

}  // namespace

std::vector<std::string> ShowGbCardInfo(const CardInfo& info) {
  using namespace library;
  std::vector<std::string> lines;
  const CardEntry& cart = info.cartridge;
  if (info.kind == kOrdinaryCartridge && cart.romSize < 8) {
    lines.emplace_back("Standard Card");
    lines.emplace_back("Name:" + cart.nameText());
    lines.emplace_back("Type:" + std::string(CartTypeName(cart.type)));
    lines.emplace_back("ROM Size:" + std::string(RomSizeName(cart.romSize)) + " bits");
    lines.emplace_back("RAM Size:" + std::string(RamSizeName(cart.ramSize)) + " bits");
    lines.emplace_back(cart.color ? "Color" : "Mono");
    return lines;
  }
  if (info.biosChip != -1 && info.kind != kNoAnswer) {
    lines.emplace_back("Emulator Card");
    lines.emplace_back("BIOS ROM Type:" + chipName(info.biosChip));
    lines.emplace_back("FLASH ROM Type:" + chipName(info.flashChip));
    lines.emplace_back("Total " + std::to_string(info.count) + " ROM");
    const int count = std::clamp(info.count, 0, kMaxCardImages);
    for (int i = 0; i < count; ++i) addImageLines(lines, i + 1, info.images[static_cast<std::size_t>(i)]);
  }
  return lines;
}

std::vector<std::string> ShowWsCardInfo(const CardInfo& info) {
  if (info.kind == kFlashCard) return {"Emulator Card"};
  if (info.kind == kOrdinaryCartridge) return {"Standard Card"};
  return {};
}

std::vector<std::string> CardInfoLines(const CardInfo& info, WriterType writerType) {
  switch (writerType) {
    case WriterType::Gb:
    case WriterType::GbPassword:
      return ShowGbCardInfo(info);
    case WriterType::Ws:
      return ShowWsCardInfo(info);
    default:
      return {};
  }
}

}  // namespace quillon::detect
