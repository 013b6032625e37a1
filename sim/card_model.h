// SPDX-License-Identifier: GPL-3.0-or-later
// Inside the simulated writer: the state the firmware shares with the card models, and the
// interface every card model offers to the firmware.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_writer.h"

namespace quillon::sim {

// Status answers of QueryState3 / QueryState6.
inline constexpr std::uint8_t kStateDone = 0;
inline constexpr std::uint8_t kStateBusy = 1;
inline constexpr std::uint8_t kStateFailed = 2;

// Status-register reads for which the ready bit stays clear while the writer finishes a
// long job: programming a whole bank or block, and erasing a WS sector. The PC waits for an
// erase without its usual limit of 40000 reads (SendClock); one that waits with the limit
// loses its bytes, and with them the next command.
inline constexpr int kProgramHoldReads = 2;
inline constexpr int kEraseHoldReads = 150000;

struct Device {
  CardContents card;
  Faults faults;

  // Status of the last operation: failed or not, and how long it still answers busy: until
  // the clock reaches busyUntilTicks, then for busyLeft more status polls.
  bool failed = false;
  int busyLeft = 0;
  std::uint64_t busyUntilTicks = 0;
  int holdReads = 0;
  // Set by a card when an erase starts: the writer may turn deaf for a while (deaf-erase-ms).
  bool eraseStarted = false;
  std::uint64_t statusPolls = 0;
  // The writer's clock: the DelayTicks counts the PC has waited so far.
  std::uint64_t ticks = 0;
  // Set by a card's read: this answer goes out with a wrong check byte (a transfer the PC
  // sees fail). Cleared before every read.
  bool corruptAnswer = false;
  // Whole reads of the flaky bank or block so far (flaky-bank): each one's count seeds what
  // the dirty contact alters in it.
  std::uint64_t flakyReadsSeen = 0;

  struct Range {
    std::size_t begin = 0, end = 0;
  };
  std::array<Range, kMemoryCount> dirty{};
  bool anyDirty = false;

  // The command being carried out, and the notes of commands the card did not expect.
  CommandRecord current;
  std::vector<std::string> notes;

  std::vector<std::uint8_t>& mem(Memory m) { return card[m]; }

  // Notes the current command as unexpected: "QueryState6 (06 06 00 00 00): <reason>".
  void noteUnexpected(std::string_view reason);

  // A whole read of GB ROM bank or WS block `unit` went into `out`: with flaky-bank naming
  // it, a few of its bits flip on the way to the writer (the first flaky-reads reads, or all).
  void dirtyContact(std::size_t unit, std::span<std::uint8_t> out);

  // Records that bytes [offset, offset + size) of a memory changed.
  void changed(Memory m, std::size_t offset, std::size_t size);

  // An operation finished at once (ok or not); status polls answer at once.
  void finish(bool ok) {
    failed = !ok;
    busyLeft = 0;
    busyUntilTicks = 0;
  }
  // An operation that runs on in the chip for `polls` status polls and `duration` ticks of
  // the clock; the busy-polls fault makes it answer busy for that many polls more.
  void start(bool ok, int polls = 0, std::uint64_t duration = 0) {
    failed = !ok;
    busyLeft = polls + faults.busyPolls;
    busyUntilTicks = ticks + duration;
  }
  // Programming put bytes [offset, offset + size) of `memory`: with the flip-bit fault, the
  // byte it names comes out with bit 0 the other way round.
  void flipFaultyBit(std::vector<std::uint8_t>& memory, std::size_t offset, std::size_t size) const {
    if (faults.flipBit && *faults.flipBit >= offset && *faults.flipBit < offset + size &&
        *faults.flipBit < memory.size())
      memory[*faults.flipBit] ^= 0x01;
  }
  bool busy() const { return busyLeft > 0 || ticks < busyUntilTicks; }
  // A plain memory read: a later status query tells whether it went well.
  void readDone(bool readFault) {
    if (!busy()) failed = readFault;
  }
  // One status poll; true while busy.
  bool pollBusy() {
    ++statusPolls;
    if (ticks < busyUntilTicks) return true;
    if (busyLeft > 0) {
      --busyLeft;
      return true;
    }
    return false;
  }
  std::uint8_t queryState() {
    if (pollBusy()) return kStateBusy;
    return failed ? kStateFailed : kStateDone;
  }
};

class CardModel {
 public:
  explicit CardModel(Device& device) : dev_(device) {}
  virtual ~CardModel() = default;
  CardModel(const CardModel&) = delete;
  CardModel& operator=(const CardModel&) = delete;

  // Every command, just before it is carried out (reads and status queries included), so that
  // the model can note what it does not expect of the program.
  virtual void received(const CommandRecord& command) { (void)command; }
  // Opcode 1: `out.size()` bytes of the card's address space from `address` on.
  virtual void read(std::uint16_t address, std::span<std::uint8_t> out) = 0;
  // Write-type opcodes (0, 7, 8, 10, 11, 16, 19) with their data bytes.
  virtual void write(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) = 0;
  // Opcode 6 sub-functions without an answer (including SetBank and the WS bank registers).
  virtual void control(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) = 0;
  // Opcode 5.
  virtual void setMode(std::uint8_t mode) { (void)mode; }
  // Answers of sub-functions 5 (WS identification) and 7 (WS size code).
  virtual std::array<std::uint8_t, 2> wsIdentification() { return {0, 0}; }
  virtual std::uint8_t wsSizeCode() { return 0; }

 protected:
  Device& dev_;
};

// Bank switching hardware of an ordinary GB cartridge, from header byte 0x147.
enum class Mapper : std::uint8_t { RomOnly, Mbc1, Mbc3, Mbc5 };
std::optional<Mapper> mapperOf(std::uint8_t cartridgeType);

inline constexpr std::size_t kGbHeaderEnd = 0x150;
inline constexpr std::size_t kGbTypeOffset = 0x147;
inline constexpr std::size_t kGbRamCodeOffset = 0x149;

// Why a command is not one a GB card expects (SetMode, QueryState6, the WS identification, size
// query and controls, the WS-only write opcodes), or nothing. SetBank is never such a command.
std::optional<std::string_view> notGbCommand(const CommandRecord& command);

std::unique_ptr<CardModel> makeEmptySlot(Device& device);
std::unique_ptr<CardModel> makeGbFlashCard(Device& device);
std::unique_ptr<CardModel> makeGbCartridge(Device& device);
std::unique_ptr<CardModel> makeWsFlashCard(Device& device);

}  // namespace quillon::sim
