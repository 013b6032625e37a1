// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "sim/card_model.h"
#include "sim/chips.h"
#include "sim/gb_flash_timing.h"

namespace quillon::sim {

namespace {

constexpr std::size_t kBank = 0x4000;
constexpr std::size_t kBlock = 0x10000;
constexpr std::size_t kSaveBank = 0x2000;
constexpr std::size_t kPage = 0x80;

// Status byte of a chip in status mode (read at 0x4000 after a block erase).
constexpr std::uint8_t kStatusBusy = 0x00;
constexpr std::uint8_t kStatusReady = 0x80;
constexpr std::uint8_t kStatusEraseError = 0xA0;

// What a chip under the unknown-bios-chip / unknown-flash-chip faults answers: in no chip
// table row, by three bytes or by two.
constexpr std::array<std::uint8_t, 3> kUnknownId = {0x5A, 0x5A, 0x00};

// The writer's own GB flash card: a BIOS ROM chip holding the menu image, a FLASH ROM chip
// holding the games, and 128 KiB of save memory.
class GbFlashCard final : public CardModel {
 public:
  explicit GbFlashCard(Device& device)
      : CardModel(device),
        chips_{{makeChip(Memory::GbBios, device.card.biosChip), makeChip(Memory::GbFlash, device.card.flashChip)}},
        biosTiming_(device) {}

  void received(const CommandRecord& command) override {
    if (const auto reason = notGbCommand(command)) dev_.noteUnexpected(*reason);
    if (command.op == 6 && command.p1 == 3) biosTiming_.notePollBeforeChipErase();
  }

  void read(std::uint16_t address, std::span<std::uint8_t> out) override {
    Chip& chip = chips_[presented_];
    const auto& bios = dev_.mem(Memory::GbBios);
    const auto& array = dev_.mem(chip.memory);
    const std::size_t bankBase = chip.bank(bank_) * kBank;
    bool statusPoll = false;
    std::uint8_t status = 0;
    bool failBank = false;
    // A method-1 BIOS ROM that reads back wrong once a page was written to it.
    bool differ = presented_ == kBios && chip.row->method == Method::M1 && biosPaged_ && dev_.faults.biosVerifyDiffer;
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto a = static_cast<std::uint16_t>(address + i);
      if (a < 0x4000) {
        out[i] = bios[a];
      } else if (a < 0x8000) {
        const std::size_t within = a - 0x4000u;
        if (chip.statusMode) {
          if (!statusPoll) {  // one poll per read command
            statusPoll = true;
            status = dev_.pollBusy() ? kStatusBusy : dev_.failed ? kStatusEraseError : kStatusReady;
          }
          out[i] = status;
        } else if (chip.idMode) {
          const auto& id = unknownId(chip) ? kUnknownId : chip.row->id;
          out[i] = within < id.size() ? id[within] : std::uint8_t{0};
        } else {
          out[i] = array[bankBase + within];
          if (differ) {
            out[i] ^= 0x01;
            differ = false;
          }
          failBank |= presented_ == kFlash && dev_.faults.readFailBank &&
                      static_cast<std::size_t>(*dev_.faults.readFailBank) == chip.bank(bank_);
        }
      } else if (a >= 0xA000 && a < 0xC000) {
        // Once told to show the save memory, the window shows nothing while it is disabled.
        const bool reached = saveReached();
        out[i] = reached                          ? dev_.mem(Memory::GbSram)[saveBank_ * kSaveBank + (a - 0xA000u)]
                 : registerMode_ && !saveVisible_ ? std::uint8_t{0xFE}
                                                  : std::uint8_t{0xFF};
        failBank |= reached && dev_.faults.sramReadFail;
      } else {
        out[i] = 0xFF;
      }
    }
    if (presented_ == kFlash && !chip.statusMode && !chip.idMode && address == kBank && out.size() == kBank)
      dev_.dirtyContact(chip.bank(bank_), out);
    if (!statusPoll) dev_.readDone(failBank);
    if (touchesSaveWindow(address, out.size())) noteSaveNotEnabled();
  }

  void write(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) override {
    switch (op) {
      case 0:
        busWrites(address, data);
        return;
      case 10:  // FLASH ROM bank, methods 0 and 2
        if (fits(kFlash, {Method::M0, Method::M2})) return program(address, data, Style::Bank);
        break;
      case 7:  // FLASH ROM bank, method 1; BIOS ROM bank, method 2
        if (fits(kFlash, {Method::M1}) || fits(kBios, {Method::M2})) return program(address, data, Style::Bank);
        break;
      case 11:  // BIOS ROM piece, method 0
        if (fits(kBios, {Method::M0})) return program(address, data, Style::Piece);
        break;
      case 8:  // BIOS ROM page write, method 1
        if (fits(kBios, {Method::M1})) return program(address, data, Style::Page);
        break;
      default:
        dev_.finish(false);  // 16 and 19: noted as WS opcodes already
        return;
    }
    dev_.noteUnexpected("opcode " + std::to_string(op) + " does not fit " + presentedText());
    dev_.finish(false);  // a command this chip does not take
  }

  void control(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t) override {
    if (a == 0) {
      bank_ = b;
      return;
    }
    if (a != 2) return;
    Chip& chip = chips_[presented_];
    switch (b) {
      case 3:
        if (answers(chip, IdWay::Sequence3)) chip.idMode = true;
        break;
      case 4:
        if (answers(chip, IdWay::Sequence4)) chip.idMode = true;
        break;
      case 5:
        if (answers(chip, IdWay::Sequence3) || answers(chip, IdWay::Sequence4)) chip.idMode = false;
        break;
      case 6:  // BIOS ROM chip erase, method 2; the writer runs it through bank 0
        if (fits(kBios, {Method::M2}) && chip.bank(bank_) == 0) return chipErase(kChipErasePolls, 0);
        dev_.noteUnexpected(fits(kBios, {Method::M2}) ? "the method-2 BIOS ROM erase runs through bank 0, not bank " +
                                                            std::to_string(chip.bank(bank_))
                                                      : "the method-2 BIOS ROM erase does not fit " + presentedText());
        dev_.finish(false);
        break;
      case 7:  // FLASH ROM block erase, method 1
        if (fits(kFlash, {Method::M1})) return blockErase(c, false);
        dev_.noteUnexpected("the method-1 FLASH ROM block erase does not fit " + presentedText());
        dev_.finish(false);
        break;
      case 9:
        vpp_ = true;
        break;
      case 10:
        vpp_ = false;
        break;
      case 11:  // FLASH ROM block erase, method 0, and method 2 with the programming voltage
        if (fits(kFlash, {Method::M0}) || (fits(kFlash, {Method::M2}) && vpp_)) return blockErase(c, true);
        dev_.noteUnexpected(fits(kFlash, {Method::M2})
                                ? std::string(kNoVoltage)
                                : "the method-0/2 FLASH ROM block erase does not fit " + presentedText());
        dev_.finish(false);
        break;
      case 14:  // BIOS ROM chip erase, method 0
        if (fits(kBios, {Method::M0})) {
          biosTiming_.chipEraseStarted();
          return chipErase(0, kChipEraseTicks);
        }
        dev_.noteUnexpected("the method-0 BIOS ROM erase does not fit " + presentedText());
        dev_.finish(false);
        break;
      case 15:  // back to reading the arrays, the programming voltage off
        for (Chip& each : chips_) each.idMode = each.statusMode = false;
        vpp_ = false;
        break;
      default:
        break;
    }
  }

 private:
  static constexpr std::size_t kBios = 0;
  static constexpr std::size_t kFlash = 1;
  enum class Style { Bank, Piece, Page };

  static constexpr std::string_view kNoVoltage =
      "the method-2 FLASH ROM's programming voltage is off (no SetControl(2, 9, 0, 0) before it)";
  static constexpr std::string_view kNoBiosVoltage =
      "the method-0 BIOS ROM's programming voltage is off (no SetControl(2, 9, 0, 0) before it)";
  static constexpr std::string_view kSaveNotEnabled =
      "the save memory is not enabled (no WriteByte(0x0000, 0x0A) before it)";
  static constexpr std::string_view kNotEnabled = "programming is not enabled (no WriteByte(0xA000, 0x80) before it)";

  struct Chip {
    std::size_t role;
    Memory memory;
    std::size_t banks;
    const sim::Chip* row;
    IdWay way;
    bool idMode = false;
    bool statusMode = false;
    std::size_t bank(std::size_t selected) const { return selected % banks; }
  };

  Chip makeChip(Memory memory, const ChipId& id) {
    const sim::Chip* row = chipWithId(id);  // the card was checked when it was made
    return Chip{memory == Memory::GbBios ? kBios : kFlash, memory, dev_.mem(memory).size() / kBank, row, row->way};
  }

  bool unknownId(const Chip& chip) const {
    return chip.role == kBios ? dev_.faults.unknownBiosChip : dev_.faults.unknownFlashChip;
  }
  // Whether the chip answers identification requests of `way`; one of unknown identity answers
  // every way.
  bool answers(const Chip& chip, IdWay way) const { return chip.way == way || unknownId(chip); }

  // "the presented chip, the FLASH ROM INTEL 28F016SA (method 2)"
  std::string presentedText() const {
    const Chip& chip = chips_[presented_];
    return std::string("the presented chip, the ") + (presented_ == kBios ? "BIOS ROM " : "FLASH ROM ") +
           std::string(chip.row->name) + " (method " + std::to_string(static_cast<int>(chip.row->method)) + ")";
  }

  bool fits(std::size_t role, std::initializer_list<Method> methods) const {
    return presented_ == role && std::find(methods.begin(), methods.end(), chips_[role].row->method) != methods.end();
  }

  // The save memory answers in the window 0xA000-0xBFFF once the card was told to show it
  // (0x0C at 0x1000) and it is enabled (0x0A at 0x0000, which also presents the FLASH ROM).
  bool saveReached() const { return saveVisible_ && saveEnabled_; }

  bool touchesSaveWindow(std::uint16_t address, std::size_t size) const {
    return size > 0 && address < 0xC000 && address + size > 0xA000;
  }
  void noteSaveNotEnabled() {
    if (saveVisible_ && !saveEnabled_) dev_.noteUnexpected(kSaveNotEnabled);
  }

  void busWrites(std::uint16_t address, std::span<const std::uint8_t> data) {
    bool touchedSave = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const auto a = static_cast<std::uint16_t>(address + i);
      const std::uint8_t v = data[i];
      if (a < 0x1000) {  // chip select, and the save memory's enable
        if (v == 0x0A) presented_ = kFlash;
        if (v == 0x00) {
          presented_ = kBios;
          biosTiming_.settleFrom(dev_.ticks);
        }
        saveEnabled_ = v == 0x0A;
      } else if (a < 0x2000) {
        if (v == 0x0C) saveVisible_ = true;
      } else if (a < 0x4000) {
        bank_ = v;
      } else if (a < 0x8000) {
        if (saveVisible_ && a < 0x6000) {
          saveBank_ = v & 0x0Fu;
        } else {
          chipCommand(v);
        }
      } else if (a >= 0xA000 && a < 0xC000) {
        if (saveVisible_ && !saveEnabled_) {
          touchedSave = true;  // the write goes nowhere
        } else if (saveVisible_) {
          touchedSave = true;
          if (!dev_.faults.sramWriteFail) {
            const std::size_t offset = saveBank_ * kSaveBank + (a - 0xA000u);
            dev_.mem(Memory::GbSram)[offset] = v;
            dev_.changed(Memory::GbSram, offset, 1);
          }
        } else {
          writeEnabled_ = v == 0x80;
        }
      } else if (a == 0xC080 && v == 1) {
        registerMode_ = true;
        saveVisible_ = false;
      }
    }
    if (touchedSave) dev_.finish(!dev_.faults.sramWriteFail);
    if (touchesSaveWindow(address, data.size())) noteSaveNotEnabled();
  }

  // A byte written into the bank window goes to the presented chip as a command.
  void chipCommand(std::uint8_t v) {
    Chip& chip = chips_[presented_];
    switch (v) {
      case 0x90:
        if ((answers(chip, IdWay::Command90) && !vpp_) || (answers(chip, IdWay::VoltageCommand90) && vpp_))
          chip.idMode = true;
        break;
      case 0xFF:
        chip.statusMode = false;
        if (answers(chip, IdWay::Command90)) chip.idMode = false;
        break;
      case 0x00:
        if (answers(chip, IdWay::VoltageCommand90)) chip.idMode = false;
        break;
      default:
        break;
    }
  }

  void program(std::uint16_t address, std::span<const std::uint8_t> data, Style style) {
    Chip& chip = chips_[presented_];
    const std::size_t bank = chip.bank(bank_);
    const bool inWindow = address >= 0x4000 && address + data.size() <= 0x8000;
    // The method-2 FLASH ROM and the method-0 BIOS ROM program only with the programming
    // voltage applied; without it nothing changes and the status says the write failed.
    const bool needsVoltage = (presented_ == kFlash && chip.row->method == Method::M2) ||
                              (presented_ == kBios && chip.row->method == Method::M0);
    if (!writeEnabled_) dev_.noteUnexpected(kNotEnabled);
    if (!inWindow) dev_.noteUnexpected("the data does not lie in the bank window 0x4000-0x7FFF");
    if (needsVoltage && !vpp_) dev_.noteUnexpected(presented_ == kFlash ? kNoVoltage : kNoBiosVoltage);
    if (presented_ == kBios) biosTiming_.noteUnsettled();
    if (presented_ == kFlash && inWindow) noteMissingErase(chip, bank * kBank + (address - 0x4000u), data);
    bool ok = writeEnabled_ && inWindow && (vpp_ || !needsVoltage);
    if (presented_ == kFlash) {
      ok = ok && !(dev_.faults.programFailBank && static_cast<std::size_t>(*dev_.faults.programFailBank) == bank);
    } else {
      ok = ok && !dev_.faults.biosProgramFail;
      // A method-1 BIOS ROM has no erase command: writing pages of 0xFF is its erase.
      const bool erasing = std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0xFF; });
      if (style == Style::Page && erasing && dev_.faults.biosEraseFail) ok = false;
    }
    if (ok) {
      auto& array = dev_.mem(chip.memory);
      const std::size_t offset = bank * kBank + (address - 0x4000u);
      if (style == Style::Page) {
        // The chip loads the page, erases it internally and writes it: bytes not loaded
        // come out erased.
        const std::size_t first = offset & ~(kPage - 1);
        const std::size_t last = (offset + data.size() + kPage - 1) & ~(kPage - 1);
        std::fill(array.begin() + static_cast<std::ptrdiff_t>(first), array.begin() + static_cast<std::ptrdiff_t>(last),
                  std::uint8_t{0xFF});
        std::copy(data.begin(), data.end(), array.begin() + static_cast<std::ptrdiff_t>(offset));
        dev_.changed(chip.memory, first, last - first);
        biosPaged_ = true;
      } else {
        for (std::size_t i = 0; i < data.size(); ++i) array[offset + i] &= data[i];  // bits only clear
        if (presented_ == kFlash) dev_.flipFaultyBit(array, offset, data.size());
        dev_.changed(chip.memory, offset, data.size());
      }
    }
    if (style == Style::Bank) {
      // The writer programs a whole bank itself, holding the ready bit clear meanwhile;
      // the status is final by the time it takes the next command.
      dev_.finish(ok);
      dev_.holdReads = kProgramHoldReads;
    } else {
      dev_.start(ok);
    }
  }

  // Programming can only clear bits: a byte that needs a 0 bit to become 1 was not erased.
  void noteMissingErase(const Chip& chip, std::size_t offset, std::span<const std::uint8_t> data) {
    const auto& array = dev_.mem(chip.memory);
    for (std::size_t i = 0; i < data.size(); ++i) {
      const std::uint8_t held = array[offset + i];
      if ((held & data[i]) == data[i]) continue;
      char text[120];
      std::snprintf(text, sizeof text, "FLASH ROM bank %zu is not erased: byte 0x%04zX holds 0x%02X, 0x%02X is written",
                    (offset + i) / kBank, 0x4000 + (offset + i) % kBank, held, data[i]);
      dev_.noteUnexpected(text);
      return;
    }
  }

  void blockErase(std::uint8_t firstBank, bool statusMode) {
    Chip& chip = chips_[kFlash];
    dev_.eraseStarted = true;
    if (!writeEnabled_) dev_.noteUnexpected(kNotEnabled);
    const std::size_t block = chip.bank(firstBank) / 4;
    const bool ok = writeEnabled_ &&
                    !(dev_.faults.eraseFailBlock && static_cast<std::size_t>(*dev_.faults.eraseFailBlock) == block);
    if (ok) erase(chip.memory, block * kBlock, kBlock);
    dev_.start(ok, kBlockErasePolls);
    chip.statusMode = statusMode;
    chip.idMode = false;
  }

  // The whole BIOS ROM, lasting `polls` status polls and `duration` ticks.
  void chipErase(int polls, std::uint64_t duration) {
    Chip& chip = chips_[kBios];
    dev_.eraseStarted = true;
    if (!writeEnabled_) dev_.noteUnexpected(kNotEnabled);
    biosTiming_.noteUnsettled();
    const bool ok = writeEnabled_ && !dev_.faults.biosEraseFail;
    if (ok) erase(chip.memory, 0, dev_.mem(chip.memory).size());
    dev_.start(ok, polls, duration);
    biosTiming_.settleFrom(dev_.ticks + duration);
    chip.idMode = false;
  }

  void erase(Memory memory, std::size_t offset, std::size_t size) {
    auto& array = dev_.mem(memory);
    std::fill_n(array.begin() + static_cast<std::ptrdiff_t>(offset), size, std::uint8_t{0xFF});
    dev_.changed(memory, offset, size);
  }

  std::array<Chip, 2> chips_;
  std::size_t presented_ = kBios;  // the card boots into its menu
  std::size_t bank_ = 0;
  std::size_t saveBank_ = 0;
  bool registerMode_ = false;
  bool saveVisible_ = false;
  bool writeEnabled_ = false;
  bool saveEnabled_ = false;  // 0x0A was the last value written to 0x0000
  bool vpp_ = false;
  bool biosPaged_ = false;  // a page was written to the BIOS ROM
  BiosTiming biosTiming_;
};

}  // namespace

std::unique_ptr<CardModel> makeGbFlashCard(Device& device) { return std::make_unique<GbFlashCard>(device); }

}  // namespace quillon::sim
