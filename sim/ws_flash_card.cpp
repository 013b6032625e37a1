// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <bitset>
#include <cstdio>
#include <string>

#include "sim/card_model.h"

namespace quillon::sim {

namespace {

constexpr std::size_t kBank = 0x10000;
constexpr std::size_t kHalf = 0x8000;
constexpr std::size_t kBanks = kWsFlashSize / kBank;
constexpr std::size_t kSizeByte = kWsFlashSize - 4;  // offset 0x7FFC of the last 32 KiB block

constexpr std::uint8_t kModeSave = 0x22;
constexpr std::uint8_t kModeWriteLow = 0x24;
constexpr std::uint8_t kModeWriteHigh = 0x25;
constexpr std::uint8_t kModeReadLow = 0x26;
constexpr std::uint8_t kModeReadHigh = 0x27;

constexpr std::uint8_t kRegSave = 0xC1;
constexpr std::uint8_t kRegWrite = 0xC2;
constexpr std::uint8_t kRegRead = 0xC3;

constexpr std::array<std::uint8_t, 2> kCardId = {0x82, 0x23};

constexpr std::uint16_t kWindow = 0x8000;

// Programmed flash is tracked in pieces of the smallest erase sector (8 KiB), so that a
// block programmed twice without an erase between is seen.
constexpr std::size_t kPiece = 0x2000;
constexpr std::size_t kPieces = kWsFlashSize / kPiece;

// What the PC sends just before it asks for the size code (control sub-function 7).
constexpr std::array<CommandRecord, 4> kSizeSetUp = {{
    {6, 2, 14, 0, 0},       // SetControl(2, 14, 0, 0)
    {5, 0x27, 0, 0, 0},     // SetMode(0x27)
    {1, 0xFC, 0xFF, 1, 0},  // ReadByte(0xFFFC)
    {6, 2, 15, 0, 0},       // SetControl(2, 15, 0, 0)
}};

// Control sub-functions 2/x of the WS card: the size query's set-up (14, 15), the
// identification (17), sector erase (0x12) and the end of writing (0x15).
bool isWsControl2(std::uint8_t x) { return x == 14 || x == 15 || x == 17 || x == 0x12 || x == 0x15; }

// Why a command that is not a write is not one the WS card expects, or nothing.
std::optional<std::string_view> notWsCommand(const CommandRecord& c) {
  switch (c.op) {
    case 1:
      if (c.address() == 0x0080 && c.count() == 1) return std::nullopt;  // CheckDevice
      if (c.address() < kWindow) return "the WS card answers only in the window 0x8000-0xFFFF";
      return std::nullopt;
    case 5:
      if (c.p1 == kModeSave || (c.p1 >= kModeWriteLow && c.p1 <= kModeReadHigh)) return std::nullopt;
      return "no WS window mode (0x22, 0x24 to 0x27)";
    case 6:
      switch (c.p1) {
        case 0:
          if (c.p2 == kRegSave || c.p2 == kRegWrite || c.p2 == kRegRead) return std::nullopt;
          return "a GB bank selection; the WS card's bank registers are 0xC1, 0xC2 and 0xC3";
        case 2:
          if (isWsControl2(c.p2)) return std::nullopt;
          return "a GB card control, not a WS command";
        case 3:
          return "the GB status query; the WS card answers QueryState6";
        case 5:
        case 6:
        case 7:
        case 9:
          return std::nullopt;
        default:
          return "no WS card control";
      }
    case 8:
    case 10:
    case 11:
      return "a GB programming opcode, not a WS command";
    default:
      return std::nullopt;
  }
}

// Size code field of the size byte -> 64 KiB banks of the image at the top of the card.
constexpr std::array<std::size_t, 4> kImageBanks = {64, 32, 16, 8};
constexpr std::array<std::uint8_t, 4> kSizeAnswer = {7, 6, 5, 4};

// The writer's WS flash card: 4 MiB of flash in two 2 MiB chips and 32 KiB of save memory.
// Each chip has 64 KiB sectors except at its top, where the last 64 KiB holds a 32 KiB
// sector and boot sectors of 8, 8 and 16 KiB. It notes every command the WS operations do
// not send: GB commands, programming over flash that was not erased, a size query without
// its set-up, save memory writes outside mode 0x22 or before SetControl(9, 0, 0, 0).
class WsFlashCard final : public CardModel {
 public:
  explicit WsFlashCard(Device& device)
      : CardModel(device), flash_(device.mem(Memory::WsFlash)), save_(device.mem(Memory::WsSram)) {
    buffer_.assign(kHalf, 0xFF);
  }

  void received(const CommandRecord& command) override {
    if (const auto reason = notWsCommand(command)) dev_.noteUnexpected(*reason);
    followSizeSetUp(command);
    // The status answers for every erase command since the last status query.
    if (command.op == 6 && command.p1 == 6) eraseFailedSinceQuery_ = false;
  }

  void read(std::uint16_t address, std::span<std::uint8_t> out) override {
    const auto base = windowBase();
    for (std::size_t i = 0; i < out.size(); ++i) {
      const std::size_t a = (address + i) & 0xFFFFu;
      if (a < kWindow || !base) {
        out[i] = 0xFF;
      } else if (mode_ == kModeSave) {
        const auto offset = saveOffset(a - kWindow);
        out[i] = offset ? save_[*offset] : std::uint8_t{0xFF};
      } else {
        out[i] = flash_[*base + (a - kWindow)];
      }
    }
    if (mode_ == kModeSave && base && address + out.size() > kWindow) noteSaveNotReached();
    // A block read (from the start of the window) of a failing block or of the save memory
    // goes wrong on the way to the PC.
    if (address == kWindow && !out.empty()) {
      const auto failing = dev_.faults.readFailBank;
      dev_.corruptAnswer = (isReadMode() && failing && static_cast<std::size_t>(*failing) == readBlock()) ||
                           (mode_ == kModeSave && dev_.faults.sramReadFail);
      if (isReadMode() && base && out.size() == kHalf) dev_.dirtyContact(readBlock(), out);
    }
    dev_.readDone(false);
  }

  void write(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) override {
    const bool inWindow = address >= kWindow && address + data.size() <= 0x10000;
    const std::size_t within = address - std::size_t{kWindow};
    const bool known = op == 0 || op == 19 || op == 16 || op == 7;
    if (known && !inWindow) {
      dev_.noteUnexpected("the data do not lie in the window 0x8000-0xFFFF");
      return dev_.finish(false);
    }
    switch (op) {
      case 0:
      case 19:  // save memory write (19: the writer reads it back to check)
        if (mode_ == kModeSave) return writeSave(within, data);
        dev_.noteUnexpected(modeText("a save memory write outside mode 0x22"));
        break;
      case 16:  // load the writer's block buffer
        std::copy(data.begin(), data.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(within));
        return dev_.finish(true);
      case 7:  // program the block buffer into the 32 KiB the mode selects
        if (isWriteMode()) return program(within, data);
        dev_.noteUnexpected(modeText("programming outside modes 0x24 and 0x25"));
        break;
      default:  // 8, 10, 11: noted as GB opcodes already
        break;
    }
    dev_.finish(false);
  }

  void control(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) override {
    if (a == 0) {
      if (b == kRegSave) regSave_ = c;
      if (b == kRegWrite) regWrite_ = c;
      if (b == kRegRead) regRead_ = c;
    } else if (a == 9) {
      saveUnlocked_ = true;
    } else if (a == 2 && b == 17 && c == 36) {
      idLatched_ = true;
    } else if (a == 2 && b == 0x12) {
      eraseSector(c, d);
    }
    // (2, 14), (2, 15) and (2, 0x15) need nothing from the card model.
  }

  // Leaving the save memory's mode closes it again.
  void setMode(std::uint8_t mode) override {
    mode_ = mode;
    if (mode != kModeSave) saveUnlocked_ = false;
  }

  std::array<std::uint8_t, 2> wsIdentification() override {
    if (!idLatched_) return {0, 0};
    if (const auto id = dev_.faults.wsId) {
      return {static_cast<std::uint8_t>(*id & 0xFF), static_cast<std::uint8_t>(*id >> 8)};
    }
    return kCardId;
  }

  std::uint8_t wsSizeCode() override { return kSizeAnswer[sizeField()]; }

 private:
  // "<what> (mode 0x26 is set)"
  std::string modeText(std::string_view what) const {
    char text[24];
    std::snprintf(text, sizeof text, " (mode 0x%02X is set)", mode_);
    return std::string(what) + text;
  }

  // Counts how far the size query's set-up has come; the size query itself must follow it.
  void followSizeSetUp(const CommandRecord& command) {
    if (command.op == 6 && command.p1 == 7) {
      if (sizeSetUp_ != kSizeSetUp.size()) {
        dev_.noteUnexpected(
            "the size query without its set-up (SetControl(2, 14, 0, 0), SetMode(0x27), ReadByte(0xFFFC), "
            "SetControl(2, 15, 0, 0) just before it)");
      }
      sizeSetUp_ = 0;
    } else if (sizeSetUp_ < kSizeSetUp.size() && command == kSizeSetUp[sizeSetUp_]) {
      ++sizeSetUp_;
    } else {
      sizeSetUp_ = command == kSizeSetUp[0] ? 1 : 0;
    }
  }

  std::size_t sizeField() const { return (flash_[kSizeByte] >> 4) & 3u; }
  std::size_t writeBank() const { return regWrite_ % kBanks; }
  bool isWriteMode() const { return mode_ == kModeWriteLow || mode_ == kModeWriteHigh; }
  bool isReadMode() const { return mode_ == kModeReadLow || mode_ == kModeReadHigh; }

  // The 32 KiB block a read selects: bank register 0xC3 and the half the mode names.
  std::size_t readBlock() const { return regRead_ * 2 + (mode_ & 1u); }

  // Reading presents the image, which lies at the top of the card, from bank 0 upward.
  std::size_t readBank() const {
    const std::size_t imageBanks = kImageBanks[sizeField()];
    return (kBanks - imageBanks) + regRead_ % imageBanks;
  }

  // Card offset shown at window address 0x8000, or nothing for an unknown mode.
  std::optional<std::size_t> windowBase() const {
    if (mode_ == kModeSave) return 0;
    if (isWriteMode()) return writeBank() * kBank + (mode_ & 1u) * kHalf;
    if (isReadMode()) return readBank() * kBank + (mode_ & 1u) * kHalf;
    return std::nullopt;
  }

  // Offset into the save memory of a window offset in mode 0x22, when the save memory
  // answers there: it has been opened with SetControl(9, 0, 0, 0), and it lies in bank 0 of
  // bank register 0xC1; another bank holds nothing.
  std::optional<std::size_t> saveOffset(std::size_t within) const {
    if (!saveUnlocked_ || regSave_ != 0 || within >= save_.size()) return std::nullopt;
    return within;
  }
  void noteSaveNotReached() {
    if (!saveUnlocked_) {
      dev_.noteUnexpected(
          "the save memory is not opened (SetControl(9, 0, 0, 0) opens it; leaving mode 0x22 closes it)");
    } else if (regSave_ != 0) {
      dev_.noteUnexpected("bank register 0xC1 selects bank " + std::to_string(regSave_) +
                          ", where there is no save memory (it lies in bank 0)");
    }
  }

  void writeSave(std::size_t within, std::span<const std::uint8_t> data) {
    noteSaveNotReached();
    const bool reached = saveOffset(within).has_value();
    if (reached && !dev_.faults.sramWriteFail) {
      for (std::size_t i = 0; i < data.size(); ++i) {
        if (const auto offset = saveOffset(within + i)) save_[*offset] = data[i];
      }
      dev_.changed(Memory::WsSram, 0, save_.size());
    }
    // The writer checks what it wrote: where no memory answers, nothing stuck.
    dev_.finish(reached && !dev_.faults.sramWriteFail);
  }

  void program(std::size_t within, std::span<const std::uint8_t> data) {
    const std::size_t bank = writeBank();
    const std::size_t offset = bank * kBank + (mode_ & 1u) * kHalf + within;
    bool ok = std::equal(data.begin(), data.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(within));
    if (!ok) dev_.noteUnexpected("the data differ from the block loaded by WriteBlock 16");
    if (ok) noteMissingErase(offset, data);
    ok = ok && !(dev_.faults.programFailBank && static_cast<std::size_t>(*dev_.faults.programFailBank) == bank);
    if (ok) {
      for (std::size_t i = 0; i < data.size(); ++i) flash_[offset + i] &= data[i];  // bits only clear
      dev_.flipFaultyBit(flash_, offset, data.size());
      for (std::size_t p = offset / kPiece; p * kPiece < offset + data.size(); ++p) programmed_.set(p);
      dev_.changed(Memory::WsFlash, offset, data.size());
    }
    dev_.start(ok);
    dev_.holdReads = kProgramHoldReads;
  }

  // A block programmed twice without an erase between, or over bytes that are not erased
  // (programming can only clear bits).
  void noteMissingErase(std::size_t offset, std::span<const std::uint8_t> data) {
    const std::size_t block = offset / kHalf;
    for (std::size_t p = offset / kPiece; p * kPiece < offset + data.size(); ++p) {
      const auto piece = flash_.begin() + static_cast<std::ptrdiff_t>(p * kPiece);
      // (a programmed piece that reads erased again was erased since, by this program or
      // another one sharing the card)
      if (programmed_.test(p) && !std::all_of(piece, piece + kPiece, [](std::uint8_t b) { return b == 0xFF; })) {
        dev_.noteUnexpected("block " + std::to_string(block) + " was written and not erased since");
        return;
      }
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
      const std::uint8_t held = flash_[offset + i];
      if ((held & data[i]) == data[i]) continue;
      char text[96];
      std::snprintf(text, sizeof text, "block %zu is not erased: byte 0x%04zX holds 0x%02X, 0x%02X is written", block,
                    kWindow + (offset + i) % kHalf, held, data[i]);
      dev_.noteUnexpected(text);
      return;
    }
  }

  // Erase command (2, 0x12, mode, high byte of the window address): erases the sector that
  // holds that address of the erase-and-write bank. The mode named must be the one set. The
  // writer holds its ready bit while the sector erases; a failure stays in the status until
  // the next status query.
  void eraseSector(std::uint8_t mode, std::uint8_t addressHigh) {
    dev_.holdReads = kEraseHoldReads;
    dev_.eraseStarted = true;
    const bool fits = (mode == kModeWriteLow || mode == kModeWriteHigh) && mode == mode_ && addressHigh >= 0x80;
    if (!fits) {
      char text[80];
      std::snprintf(text, sizeof text, "the erase names mode 0x%02X and address 0x%02X00 (mode 0x%02X is set)", mode,
                    addressHigh, mode_);
      dev_.noteUnexpected(text);
      return eraseDone(false);
    }
    const std::size_t bank = writeBank();
    const std::size_t within = (mode & 1u) * kHalf + (static_cast<std::size_t>(addressHigh) << 8) - 0x8000;
    const bool bootSector = bank % 32 == 31 && within >= 0x8000;
    if ((dev_.faults.eraseFailBlock && static_cast<std::size_t>(*dev_.faults.eraseFailBlock) == bank) ||
        (bootSector && dev_.faults.extraEraseFail)) {
      return eraseDone(false);
    }
    std::size_t start = 0, size = kBank;
    if (bank % 32 == 31) {  // top of a chip: 32 KiB, 8 KiB, 8 KiB, 16 KiB
      if (within < 0x8000) {
        size = 0x8000;
      } else if (within < 0xA000) {
        start = 0x8000, size = 0x2000;
      } else if (within < 0xC000) {
        start = 0xA000, size = 0x2000;
      } else {
        start = 0xC000, size = 0x4000;
      }
    }
    const std::size_t offset = bank * kBank + start;
    std::fill_n(flash_.begin() + static_cast<std::ptrdiff_t>(offset), size, std::uint8_t{0xFF});
    dev_.changed(Memory::WsFlash, offset, size);
    eraseDone(true);
  }

  void eraseDone(bool ok) {
    eraseFailedSinceQuery_ = eraseFailedSinceQuery_ || !ok;
    dev_.start(!eraseFailedSinceQuery_);
  }

  std::vector<std::uint8_t>& flash_;
  std::vector<std::uint8_t>& save_;
  std::vector<std::uint8_t> buffer_;
  std::uint8_t mode_ = kModeReadLow;
  std::size_t regSave_ = 0;
  std::size_t regWrite_ = 0;
  std::size_t regRead_ = 0;
  bool saveUnlocked_ = false;
  bool eraseFailedSinceQuery_ = false;
  bool idLatched_ = false;
  std::size_t sizeSetUp_ = 0;        // commands of kSizeSetUp received in order, just now
  std::bitset<kPieces> programmed_;  // pieces programmed since the card came in
};

}  // namespace

std::unique_ptr<CardModel> makeWsFlashCard(Device& device) { return std::make_unique<WsFlashCard>(device); }

}  // namespace quillon::sim
