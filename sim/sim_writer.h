// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated writer at the port-register level, with the card it holds in memory.
//
// The firmware model reacts to the registers as the real writer does: status bit 7 is set
// while it waits for a byte, each change of control bit 0 latches the data register as one
// byte, and an answer is presented one nibble at a time on status bits 3..6 (low nibble
// first), the next nibble after each strobe change. Frames are found by their sync bytes
// 00 00 D5 AA 96; a frame with a wrong header or data check is ignored.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/port.h"
#include "sim/chips.h"
#include "sim/faults.h"

namespace quillon::sim {

inline constexpr ChipId kDefaultBiosChip = {0x89, 0xB4, 0x00};   // INTEL 28F010
inline constexpr ChipId kDefaultFlashChip = {0x89, 0xA0, 0x10};  // INTEL 28F016SA
static_assert(chipWithId(kDefaultBiosChip)->method == Method::M0 &&
              chipWithId(kDefaultFlashChip)->method == Method::M2);

enum class CardKind : std::uint8_t { None, GbFlash, GbCart, WsFlash };

// The memories a card may carry; each is one raw file in a writer folder.
enum class Memory : std::uint8_t { GbBios, GbFlash, GbSram, CartRom, CartSav, WsFlash, WsSram };
inline constexpr std::size_t kMemoryCount = 7;

inline constexpr std::size_t kGbBiosSize = 0x20000;
inline constexpr std::size_t kGbFlashSize = 0x400000;
inline constexpr std::size_t kGbSramSize = 0x20000;
inline constexpr std::size_t kWsFlashSize = 0x400000;
inline constexpr std::size_t kWsSramSize = 0x8000;

// What the writer holds: the card, its chips (GB flash card) and its memories by Memory.
struct CardContents {
  CardKind kind = CardKind::None;
  ChipId biosChip = kDefaultBiosChip;
  ChipId flashChip = kDefaultFlashChip;
  std::array<std::vector<std::uint8_t>, kMemoryCount> memory;

  std::vector<std::uint8_t>& operator[](Memory m) { return memory[static_cast<std::size_t>(m)]; }
  const std::vector<std::uint8_t>& operator[](Memory m) const { return memory[static_cast<std::size_t>(m)]; }
};

// Fresh cards: flash erased (0xFF), save memory cleared (0x00). ID bytes of no chip in the
// table throw std::runtime_error.
CardContents noCard();
CardContents emptyGbFlashCard(ChipId biosChip = kDefaultBiosChip, ChipId flashChip = kDefaultFlashChip);
CardContents emptyWsFlashCard();
// An ordinary cartridge from its ROM image; the save RAM is sized by header byte 0x149 and
// filled from `sav` (shorter: rest zero; longer: the rest is not used). Throws
// std::runtime_error for an image the cartridge model cannot hold (too short, unknown mapper,
// a save file for a cartridge without RAM).
CardContents gbCartridge(std::vector<std::uint8_t> rom, std::optional<std::vector<std::uint8_t>> sav = std::nullopt);
// Save RAM bytes of a cartridge header's RAM size code (0 when it has none).
std::size_t cartRamSize(std::uint8_t code);

// One command the firmware carried out: its opcode and four parameters.
struct CommandRecord {
  std::uint8_t op = 0, p1 = 0, p2 = 0, p3 = 0, p4 = 0;
  std::uint8_t value = 0;  // a write's first data byte: the value of a WriteByte
  std::uint16_t address() const { return static_cast<std::uint16_t>(p1 | p2 << 8); }
  std::uint16_t count() const { return static_cast<std::uint16_t>(p3 | p4 << 8); }
  // The same command: the same opcode and parameters (the data are not compared).
  bool operator==(const CommandRecord& other) const {
    return op == other.op && p1 == other.p1 && p2 == other.p2 && p3 == other.p3 && p4 == other.p4;
  }
};

// A stretch of a memory changed by a command since the last takeChanges().
struct MemoryChange {
  Memory memory;
  std::size_t offset;
  std::size_t size;
};

// The short name of a command as the program's link calls it ("QueryState6", "SetBank", ...).
std::string commandName(const CommandRecord& command);

// Commands a card model did not expect are noted as one line each; at most this many, then
// one "... more" line, so that a runaway loop cannot fill the memory.
inline constexpr std::size_t kMaxUnexpectedNotes = 100;
inline constexpr const char* kMoreNotes = "... more";

// Status-register reads for which a writer that did not take a command keeps its ready bit
// clear: as many as the PC polls before it gives a handshake up.
inline constexpr int kUnansweredHoldReads = 40000;

// Called around every command the firmware carries out (a frame with good checks): `before`
// just before it, and when it answers false the writer does not take the command (it is not
// carried out and the ready bit stays clear for kUnansweredHoldReads status reads); `after`
// once the command has been carried out (for a read: once its answer is ready). Either may
// throw; the exception leaves the register call.
struct CommandHooks {
  std::function<bool()> before;
  std::function<void()> after;
};

struct Device;
class CardModel;

class SimWriter final : public link::Port {
 public:
  explicit SimWriter(CardContents card = noCard(), Faults faults = {});
  ~SimWriter() override;
  SimWriter(const SimWriter&) = delete;
  SimWriter& operator=(const SimWriter&) = delete;

  // --- the port registers --------------------------------------------------------------
  std::uint8_t readStatus() override;
  void writeData(std::uint8_t value) override;
  std::uint8_t readControl() override {
    ++accesses_;
    return control_;
  }
  void writeControl(std::uint8_t value) override;
  void delayTicks(std::uint32_t count) override;
  std::string describe() const override { return description_; }
  // The wall clock, or with access-us the writer's own: its register accesses and DelayTicks
  // ticks as long as a real port takes them.
  std::chrono::steady_clock::time_point now() override;
  void setDescription(std::string text) { description_ = std::move(text); }

  // --- what tests look at ----------------------------------------------------------------
  CardKind cardKind() const;
  ChipId biosChip() const;
  ChipId flashChip() const;
  // The card's memory, empty when the card has none of that kind. Writes by a test go
  // straight into the card (they are not reported by takeChanges).
  std::span<std::uint8_t> memory(Memory m);
  std::span<const std::uint8_t> memory(Memory m) const;
  Faults& faults();
  const Faults& faults() const;
  // Takes the card out and puts `card` in, as a fresh card (chips in their power-on state,
  // status cleared), with `faults` armed. The frame being received is not disturbed.
  void insert(CardContents card, Faults faults);

  // Commands the card did not expect, one readable line each, oldest first.
  const std::vector<std::string>& unexpected() const;
  void clearUnexpected();

  void setCommandHooks(CommandHooks hooks) { hooks_ = std::move(hooks); }
  // Forgets the frame being received or answered and hunts for the next one, as a writer that
  // comes back after being silent does.
  void resetFrame();

  std::uint64_t ticks() const;                                // sum of delayTicks counts
  std::uint64_t statusReads() const { return statusReads_; }  // reads of the status register
  std::uint64_t accesses() const { return accesses_; }        // register accesses of every kind
  std::uint64_t statusPolls() const;                          // status queries and status-byte reads answered
  std::uint64_t bytesCrossed() const { return crossed_; }     // bytes received + bytes sent
  std::uint64_t answersGiven() const { return answers_; }     // answers started
  std::uint64_t framesIgnored() const { return ignored_; }    // bad header/data check, unknown op
  bool answering() const;                                     // false once absent or dropped

  const std::vector<CommandRecord>& commands() const { return log_; }
  void clearCommands() { log_.clear(); }
  void setCommandLog(bool on) { logOn_ = on; }

  // Stretches of memory changed by commands since the last call, merged per memory.
  bool hasChanges() const;
  std::vector<MemoryChange> takeChanges();

 private:
  enum class Phase : std::uint8_t { Hunt, Header, Data, Prefix, Answer };
  enum class Action : std::uint8_t { Control, SetMode, Write, Answer };

  void onByte(std::uint8_t byte);
  void onHeader();
  void onAcknowledge();
  void carryOut(Action action);
  void carryOutWrite();
  void prepareAnswer();
  CommandRecord current() const;
  void countCrossed();

  std::unique_ptr<Device> device_;
  std::unique_ptr<CardModel> card_;

  std::uint8_t data_ = 0;
  std::uint8_t control_ = 0x04;
  Phase phase_ = Phase::Hunt;
  int syncMatched_ = 0;
  std::array<std::uint8_t, 6> header_{};
  std::size_t headerFill_ = 0;
  std::vector<std::uint8_t> payload_;
  std::size_t payloadWanted_ = 0;
  std::uint8_t payloadCheck_ = 0;
  std::vector<std::uint8_t> answer_;
  std::size_t answerPos_ = 0;
  std::uint8_t prefix_ = 0;  // the byte the PC sent between a request and its answer
  bool highNibble_ = false;

  std::uint64_t statusReads_ = 0;
  std::uint64_t accesses_ = 0;  // register accesses of every kind
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  // Deaf after an erase started (deaf-erase-ms) until this time of now().
  std::optional<std::chrono::steady_clock::time_point> deafUntil_;
  std::uint64_t crossed_ = 0;
  std::uint64_t answers_ = 0;
  std::uint64_t ignored_ = 0;
  std::uint64_t carriedOut_ = 0;  // commands carried out since this writer was opened
  std::vector<CommandRecord> log_;
  bool logOn_ = true;
  std::string description_ = "sim (in memory)";
  CommandHooks hooks_;
};

}  // namespace quillon::sim
