// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <stdexcept>
#include <string>

#include "sim/card_model.h"

namespace quillon::sim {

namespace {

void checkChip(const ChipId& id, const char* which) {
  if (chipWithId(id) == nullptr) {
    throw std::runtime_error(std::string(which) + " chip " + chipIdText(id) + " is not in the chip table");
  }
}

std::string hexByte(unsigned value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[(value >> 4) & 0xF] + kDigits[value & 0xF];
}

}  // namespace

std::optional<Mapper> mapperOf(std::uint8_t cartridgeType) {
  if (cartridgeType == 0x00) return Mapper::RomOnly;
  if (cartridgeType >= 0x01 && cartridgeType <= 0x03) return Mapper::Mbc1;
  if (cartridgeType >= 0x0F && cartridgeType <= 0x13) return Mapper::Mbc3;
  if (cartridgeType >= 0x19 && cartridgeType <= 0x1E) return Mapper::Mbc5;
  return std::nullopt;
}

std::size_t cartRamSize(std::uint8_t code) {
  switch (code) {
    case 1:
      return 0x800;
    case 2:
      return 0x2000;
    case 3:
      return 0x8000;
    case 4:
      return 0x20000;
    case 5:
      return 0x10000;
    default:
      return 0;
  }
}

CardContents noCard() { return CardContents{}; }

CardContents emptyGbFlashCard(ChipId biosChip, ChipId flashChip) {
  checkChip(biosChip, "BIOS ROM");
  checkChip(flashChip, "FLASH ROM");
  CardContents card;
  card.kind = CardKind::GbFlash;
  card.biosChip = biosChip;
  card.flashChip = flashChip;
  card[Memory::GbBios].assign(kGbBiosSize, 0xFF);
  card[Memory::GbFlash].assign(kGbFlashSize, 0xFF);
  card[Memory::GbSram].assign(kGbSramSize, 0x00);
  return card;
}

CardContents emptyWsFlashCard() {
  CardContents card;
  card.kind = CardKind::WsFlash;
  card[Memory::WsFlash].assign(kWsFlashSize, 0xFF);
  card[Memory::WsSram].assign(kWsSramSize, 0x00);
  return card;
}

CardContents gbCartridge(std::vector<std::uint8_t> rom, std::optional<std::vector<std::uint8_t>> sav) {
  if (rom.size() < kGbHeaderEnd) {
    throw std::runtime_error("the cartridge image is " + std::to_string(rom.size()) +
                             " bytes long; it needs at least a header (336 bytes)");
  }
  if (rom.size() > 0x800000) {
    throw std::runtime_error("the cartridge image is larger than 8 MiB");
  }
  const std::uint8_t type = rom[kGbTypeOffset];
  if (!mapperOf(type)) {
    throw std::runtime_error("cartridge type " + hexByte(type) +
                             " is not simulated (ROM only 0x00, MBC1 0x01-0x03, MBC3 0x0F-0x13, "
                             "MBC5 0x19-0x1E)");
  }
  const std::uint8_t ramCode = rom[kGbRamCodeOffset];
  if (ramCode > 5) {
    throw std::runtime_error("save RAM size code " + hexByte(ramCode) + " is not a known size");
  }
  const std::size_t ramSize = cartRamSize(ramCode);
  if (sav && ramSize == 0) {
    throw std::runtime_error(
        "the cartridge header declares no save RAM, so there is nothing to "
        "load the save file into");
  }
  CardContents card;
  card.kind = CardKind::GbCart;
  card[Memory::CartRom] = std::move(rom);
  auto& ram = card[Memory::CartSav];
  ram.assign(ramSize, 0x00);
  if (sav) std::copy_n(sav->begin(), std::min(sav->size(), ramSize), ram.begin());
  return card;
}

}  // namespace quillon::sim
