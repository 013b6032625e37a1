#include <algorithm>

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

// Size code field of the size byte -> 64 KiB banks of the image at the top of the card.
constexpr std::array<std::size_t, 4> kImageBanks = {64, 32, 16, 8};
constexpr std::array<std::uint8_t, 4> kSizeAnswer = {7, 6, 5, 4};

// The writer's WS flash card: 4 MiB of flash in two 2 MiB chips and 32 KiB of save memory.
// Each chip has 64 KiB sectors except at its top, where the last 64 KiB holds a 32 KiB
// sector and boot sectors of 8, 8 and 16 KiB.
class WsFlashCard final : public CardModel {
 public:
  explicit WsFlashCard(Device& device)
      : CardModel(device), flash_(device.mem(Memory::WsFlash)), save_(device.mem(Memory::WsSram)) {
    buffer_.assign(kHalf, 0xFF);
  }

  void read(std::uint16_t address, std::span<std::uint8_t> out) override {
    const auto base = windowBase();
    for (std::size_t i = 0; i < out.size(); ++i) {
      const std::size_t a = (address + i) & 0xFFFFu;
      if (a < 0x8000 || !base) {
        out[i] = 0xFF;
      } else if (mode_ == kModeSave) {
        out[i] = save_[saveOffset(a - 0x8000)];
      } else {
        out[i] = flash_[*base + (a - 0x8000)];
      }
    }
    bool failBlock = false;
    if (dev_.faults.readFailBank && (isWriteMode() || isReadMode())) {
      const std::size_t bank = isWriteMode() ? writeBank() : regRead_;
      failBlock = static_cast<std::size_t>(*dev_.faults.readFailBank) == bank * 2 + (mode_ & 1u);
    }
    dev_.readDone(failBlock);
  }

  void write(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) override {
    const bool inWindow = address >= 0x8000 && address + data.size() <= 0x10000;
    const std::size_t within = address - 0x8000u;
    switch (op) {
      case 0:
      case 19:  // save memory write (19: the writer reads it back to check)
        if (mode_ == kModeSave && inWindow) return writeSave(within, data);
        break;
      case 16:  // load the writer's block buffer
        if (inWindow) {
          std::copy(data.begin(), data.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(within));
          return dev_.finish(true);
        }
        break;
      case 7:  // program the block buffer into the 32 KiB the mode selects
        if (isWriteMode() && inWindow) return program(within, data);
        break;
      default:
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

  void setMode(std::uint8_t mode) override { mode_ = mode; }

  std::array<std::uint8_t, 2> wsIdentification() override {
    if (!idLatched_) return {0, 0};
    if (const auto id = dev_.faults.wsId) {
      return {static_cast<std::uint8_t>(*id & 0xFF), static_cast<std::uint8_t>(*id >> 8)};
    }
    return kCardId;
  }

  std::uint8_t wsSizeCode() override { return kSizeAnswer[sizeField()]; }

 private:
  std::size_t sizeField() const { return (flash_[kSizeByte] >> 4) & 3u; }
  std::size_t writeBank() const { return regWrite_ % kBanks; }
  bool isWriteMode() const { return mode_ == kModeWriteLow || mode_ == kModeWriteHigh; }
  bool isReadMode() const { return mode_ == kModeReadLow || mode_ == kModeReadHigh; }

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

  // The save memory bank register picks a 64 KiB bank; the 32 KiB chip repeats in it.
  std::size_t saveOffset(std::size_t within) const { return (regSave_ * kBank + within) % save_.size(); }

  void writeSave(std::size_t within, std::span<const std::uint8_t> data) {
    const bool ok = saveUnlocked_ && !dev_.faults.sramWriteFail;
    if (ok) {
      for (std::size_t i = 0; i < data.size(); ++i) save_[saveOffset(within + i)] = data[i];
      dev_.changed(Memory::WsSram, 0, save_.size());
    }
    dev_.finish(ok);
  }

  void program(std::size_t within, std::span<const std::uint8_t> data) {
    const std::size_t bank = writeBank();
    bool ok = std::equal(data.begin(), data.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(within));
    ok = ok && !(dev_.faults.programFailBank && static_cast<std::size_t>(*dev_.faults.programFailBank) == bank);
    if (ok) {
      const std::size_t offset = bank * kBank + (mode_ & 1u) * kHalf + within;
      for (std::size_t i = 0; i < data.size(); ++i) flash_[offset + i] &= data[i];
      dev_.changed(Memory::WsFlash, offset, data.size());
    }
    dev_.finish(ok);
    dev_.holdReads = kProgramHoldReads;
  }

  // Erase command (2, 0x12, mode, high byte of the window address): erases the sector that
  // holds that address of the erase-and-write bank. The mode named must be the one set.
  void eraseSector(std::uint8_t mode, std::uint8_t addressHigh) {
    dev_.holdReads = kEraseHoldReads;
    const bool fits = (mode == kModeWriteLow || mode == kModeWriteHigh) && mode == mode_ && addressHigh >= 0x80;
    if (!fits) return dev_.finish(false);
    const std::size_t bank = writeBank();
    if (dev_.faults.eraseFailBlock && static_cast<std::size_t>(*dev_.faults.eraseFailBlock) == bank) {
      return dev_.finish(false);
    }
    const std::size_t within = (mode & 1u) * kHalf + (static_cast<std::size_t>(addressHigh) << 8) - 0x8000;
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
    dev_.finish(true);
  }

  std::vector<std::uint8_t>& flash_;
  std::vector<std::uint8_t>& save_;
  std::vector<std::uint8_t> buffer_;
  std::uint8_t mode_ = kModeReadLow;
  std::size_t regSave_ = 0;
  std::size_t regWrite_ = 0;
  std::size_t regRead_ = 0;
  bool saveUnlocked_ = false;
  bool idLatched_ = false;
};

}  // namespace

std::unique_ptr<CardModel> makeWsFlashCard(Device& device) {
  return std::make_unique<WsFlashCard>(device);
}

}  // namespace quillon::sim
