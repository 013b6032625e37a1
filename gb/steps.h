// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces shared by the GB operations: how an operation ends, progress, and the flash
// command sequences that writing and erasing both use.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "detect/chips.h"
#include "link/writer_protocol.h"
#include "ops/operation_steps.h"

namespace quillon::gb {

using detect::ChipMethod;
namespace protocol = link::protocol;

inline constexpr std::size_t kBankSize = 0x4000;          // 16 KiB ROM bank, one link transfer
inline constexpr std::size_t kBlockSize = 0x10000;        // 64 KiB FLASH ROM erase block
inline constexpr std::size_t kRamBankSize = 0x2000;       // 8 KiB save memory bank
inline constexpr std::size_t kBiosBytes = 8 * kBankSize;  // the BIOS ROM, erased whole
inline constexpr std::size_t kPieceSize = 0x80;           // 128-byte BIOS ROM piece
inline constexpr unsigned kBanksPerBlock = kBlockSize / kBankSize;

// Waits between flash commands, in DelayTicks counts (about 15 us each).
inline constexpr std::uint32_t kSettleTicks = 10000;  // ~0.15 s: the BIOS ROM presented or erased
inline constexpr std::uint32_t kSecondTicks = 65535;  // ~1 s
inline constexpr std::uint32_t kPollTicks = 1000;     // ~15 ms between BIOS ROM erase polls

using ops::EndOnStep;
using ops::Finish;
using ops::Format;
using ops::ProgressMeter;
using ops::Step;
using ops::Stopped;

// The methods of the two chips a probe identified.
struct ChipMethods {
  ChipMethod flash;
  ChipMethod bios;
};
ChipMethods MethodsOf(const detect::CardInfo& info);

// Checks the link, probes the card (handing the result to the window) and takes the
// methods of both chips; "Linking Fail" or "Card is not inserted right or FLASH ROM is not
// supported" when that cannot be done.
Step CheckCard(ops::Operation& op, ChipMethods& methods, std::string& failure);

// The flash chips' programming voltage as an operation switched it on: it goes off again on
// every way out of the operation, after a stop request too (a closing command), unless the
// writer is gone.
class ProgrammingVoltage {
 public:
  explicit ProgrammingVoltage(link::Link& link) : link_(link) {}
  ~ProgrammingVoltage() { Off(); }
  ProgrammingVoltage(const ProgrammingVoltage&) = delete;
  ProgrammingVoltage& operator=(const ProgrammingVoltage&) = delete;
  void On();
  void Off();

 private:
  link::Link& link_;
  bool on_ = false;
};

// Enables programming and presents the FLASH ROM; a FLASH ROM that needs the programming
// voltage gets it.
void PrepareCard(link::Link& link, ChipMethod flashMethod, ProgrammingVoltage& voltage);

// Checks the card again after the copy of its save memory, as the operation's first check
// did: the card may have been changed while the copy was read. The result that ends the
// operation, or nothing to go on.
std::optional<ops::Result> CheckCardAgain(ops::Operation& op, ChipMethods& methods);

// Erases one 64 KiB block b of the FLASH ROM and waits (at most 18000 polls) for it.
Step EraseFlashBlock(ops::Operation& op, ChipMethod method, unsigned block, ProgressMeter& meter);

// The BIOS ROM chip erase of the ChipStatus and ChipStatusWithVoltage chips (a WriterStatus
// chip has none), "Earsing BIOS" first.
Step EraseBiosChip(ops::Operation& op, ChipMethod method, ProgressMeter& meter);

// Polls QueryState3 until it answers 0; the step fails when the count of polls reaches 500,
// whatever the 500th poll answered.
Step PollPiece(ops::Operation& op, ProgressMeter& meter);

// One bank read from `address` into `bytes`, as a read and a verify read it: Ok when its check
// byte matched and the writer's status says done; the last bank of the work (`last`) received
// whole completes it, whatever stop kept its status query back.
Step ReadBank(ops::Operation& op, std::uint16_t address, std::span<std::uint8_t> bytes, bool last);

// Programs `image` (whole banks) into the BIOS ROM in 128-byte pieces with `opcode`, each
// piece read back and compared when `verify`, up to 10 attempts.
Step ProgramBiosPieces(ops::Operation& op, std::span<const std::uint8_t> image, std::uint8_t opcode, bool verify,
                       ProgressMeter& meter);

}  // namespace quillon::gb
