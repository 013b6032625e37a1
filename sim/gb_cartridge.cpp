// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "sim/card_model.h"

namespace quillon::sim {

namespace {

constexpr std::size_t kBank = 0x4000;
constexpr std::size_t kRamBank = 0x2000;

// An ordinary GB cartridge: the ROM image with its mapper, and the save RAM behind it.
class GbCartridge final : public CardModel {
 public:
  explicit GbCartridge(Device& device)
      : CardModel(device),
        rom_(device.mem(Memory::CartRom)),
        ram_(device.mem(Memory::CartSav)),
        mapper_(mapperOf(rom_[kGbTypeOffset]).value_or(Mapper::RomOnly)),
        romBanks_(std::max<std::size_t>(1, (rom_.size() + kBank - 1) / kBank)) {}

  void received(const CommandRecord& command) override {
    if (const auto reason = notGbCommand(command)) {
      dev_.noteUnexpected(*reason);
    } else if (command.op == 7 || command.op == 8 || command.op == 10 || command.op == 11) {
      dev_.noteUnexpected("an ordinary cartridge has no flash to program");
    }
  }

  void read(std::uint16_t address, std::span<std::uint8_t> out) override {
    bool failBank = false;
    const auto failing = dev_.faults.readFailBank;
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto a = static_cast<std::uint16_t>(address + i);
      if (a < 0x8000) {
        const std::size_t bank = a < 0x4000 ? 0 : currentRomBank();
        if (failing && static_cast<std::size_t>(*failing) == bank) failBank = true;
        const std::size_t offset = bank * kBank + (a & 0x3FFF);
        out[i] = offset < rom_.size() ? rom_[offset] : std::uint8_t{0xFF};
      } else if (const auto offset = ramOffset(a)) {
        out[i] = ram_[*offset];
        failBank |= dev_.faults.sramReadFail;
      } else {
        out[i] = 0xFF;
      }
    }
    if (out.size() == kBank && (address == 0 || address == kBank))
      dev_.dirtyContact(address == 0 ? 0 : currentRomBank(), out);
    dev_.readDone(failBank);
    if (ramEnabled_ && touchesRam(address, out.size())) noteRamBankIgnored();
  }

  void write(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) override {
    if (op != 0) {  // no flash on an ordinary cartridge
      dev_.finish(false);
      return;
    }
    bool touchedRam = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
      touchedRam |= busWrite(static_cast<std::uint16_t>(address + i), data[i]);
    }
    if (touchedRam) dev_.finish(!dev_.faults.sramWriteFail);
    if (touchesRam(address, data.size()) && !ram_.empty()) {
      if (!ramEnabled_) dev_.noteUnexpected("the save RAM is disabled (no WriteByte(0x0000, 0x0A) before it)");
      noteRamBankIgnored();
    }
  }

  void control(std::uint8_t a, std::uint8_t b, std::uint8_t, std::uint8_t) override {
    if (a == 0) romBank_ = b % romBanks_;  // SetBank: the writer drives the mapper itself
  }

 private:
  std::size_t currentRomBank() const { return romBank_ % romBanks_; }

  static bool touchesRam(std::uint16_t address, std::size_t size) {
    return size > 0 && address < 0xC000 && address + size > 0xA000;
  }

  std::size_t ramBanks() const { return ram_.size() / kRamBank; }

  // The save RAM bank the window shows. An MBC1 shows bank 0 until it is switched into its
  // RAM banking mode (0x01 at 0x6000); only then does the value at 0x4000 choose the bank.
  std::size_t shownRamBank() const {
    if (mapper_ == Mapper::Mbc1 && !mbc1RamBanking_) return 0;
    return ramBank_ % std::max<std::size_t>(1, ramBanks());
  }

  // A program that selects a save RAM bank of an MBC1 without its banking mode reaches bank 0
  // instead, and nothing tells it so.
  void noteRamBankIgnored() {
    if (mapper_ != Mapper::Mbc1 || mbc1RamBanking_ || ramBanks() < 2 || ramBank_ == 0) return;
    dev_.noteUnexpected("save RAM bank " + std::to_string(ramBank_) +
                        " is selected, but the MBC1 is not in its RAM banking mode (no WriteByte(0x6000, "
                        "0x01)): the window shows bank 0");
  }

  // Offset into the save RAM of a bus address, when the RAM answers there.
  std::optional<std::size_t> ramOffset(std::uint16_t a) const {
    if (a < 0xA000 || a >= 0xC000 || !ramEnabled_ || ram_.empty() || !ramMapped_) return std::nullopt;
    const std::size_t within = a - 0xA000u;
    if (ram_.size() < kRamBank) return within % ram_.size();  // 2 KiB repeats in the window
    return shownRamBank() * kRamBank + within;
  }

  // One write on the cartridge bus; true when it went to the save RAM.
  bool busWrite(std::uint16_t a, std::uint8_t v) {
    if (a < 0x2000) {
      ramEnabled_ = (v & 0x0F) == 0x0A;
    } else if (a < 0x4000) {
      selectRomBank(a, v);
    } else if (a < 0x6000) {
      selectRamBank(v);
    } else if (a < 0x8000) {
      if (mapper_ == Mapper::Mbc1) mbc1RamBanking_ = (v & 1u) != 0;
    } else if (a >= 0xA000 && a < 0xC000) {
      const auto offset = ramOffset(a);
      if (!offset) return false;
      if (!dev_.faults.sramWriteFail) {
        ram_[*offset] = v;
        dev_.changed(Memory::CartSav, *offset, 1);
      }
      return true;
    }
    return false;
  }

  void selectRomBank(std::uint16_t a, std::uint8_t v) {
    std::size_t bank = romBank_;
    switch (mapper_) {
      case Mapper::RomOnly:
        return;
      case Mapper::Mbc1:
        bank = v & 0x1Fu;
        if (bank == 0) bank = 1;
        break;
      case Mapper::Mbc3:
        bank = v & 0x7Fu;
        if (bank == 0) bank = 1;
        break;
      case Mapper::Mbc5:
        if (a < 0x3000) {
          bank = (romBank_ & 0x100u) | v;
        } else {
          bank = (romBank_ & 0xFFu) | (v & 1u) << 8;
        }
        break;
    }
    romBank_ = bank;
  }

  void selectRamBank(std::uint8_t v) {
    switch (mapper_) {
      case Mapper::RomOnly:
        return;
      case Mapper::Mbc1:
        ramBank_ = v & 0x03u;
        break;
      case Mapper::Mbc3:
        ramMapped_ = v <= 3;  // 0x08-0x0C would select the clock registers: no RAM then
        if (ramMapped_) ramBank_ = v;
        break;
      case Mapper::Mbc5:
        ramBank_ = v & 0x0Fu;
        break;
    }
  }

  std::vector<std::uint8_t>& rom_;
  std::vector<std::uint8_t>& ram_;
  Mapper mapper_;
  std::size_t romBanks_;
  std::size_t romBank_ = 1;
  std::size_t ramBank_ = 0;
  bool ramEnabled_ = false;
  bool ramMapped_ = true;
  bool mbc1RamBanking_ = false;  // the MBC1's mode register (0x6000-0x7FFF), bit 0
};

}  // namespace

std::optional<std::string_view> notGbCommand(const CommandRecord& command) {
  switch (command.op) {
    case 5:
    case 16:
    case 19:
      return "not a GB command";
    case 6:
      if (command.p1 == 5 || command.p1 == 6 || command.p1 == 7) return "not a GB command";
      if (command.p1 == 2 && (command.p2 == 17 || command.p2 == 18 || command.p2 == 21))
        return "a WS card control, not a GB command";
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::unique_ptr<CardModel> makeGbCartridge(Device& device) { return std::make_unique<GbCartridge>(device); }

}  // namespace quillon::sim
