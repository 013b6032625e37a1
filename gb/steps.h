// Pieces shared by the GB operations: how an operation ends, progress, and the flash
// command sequences that writing and erasing both use.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "detect/chips.h"
#include "ops/operation_steps.h"

namespace quillon::gb {

using detect::ChipMethod;

// Card selection values written to 0x0000 of a writer flash card.
inline constexpr std::uint8_t kPresentBios = 0x00;
inline constexpr std::uint8_t kPresentFlash = 0x0A;

inline constexpr std::size_t kBankSize = 0x4000;     // 16 KiB ROM bank, one link transfer
inline constexpr std::size_t kBlockSize = 0x10000;   // 64 KiB FLASH ROM erase block
inline constexpr std::size_t kRamBankSize = 0x2000;  // 8 KiB save memory bank
inline constexpr std::size_t kPieceSize = 0x80;      // 128-byte BIOS ROM piece

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

// Enables programming and presents the FLASH ROM; a method-2 FLASH ROM gets its
// programming voltage.
void PrepareCard(link::Link& link, ChipMethod flashMethod);

// After the FLASH ROM's work, and when it failed: a method-2 FLASH ROM's programming
// voltage goes off again.
void FlashVoltageOff(link::Link& link, ChipMethod flashMethod);

// Erases one 64 KiB block b of the FLASH ROM and waits (at most 18000 polls) for it.
Step EraseFlashBlock(ops::Operation& op, ChipMethod method, unsigned block, ProgressMeter& meter);

// The BIOS ROM chip erase of methods 0 and 2 (method 1 has none), "Earsing BIOS" first.
Step EraseBiosChip(ops::Operation& op, ChipMethod method, ProgressMeter& meter);

// Polls QueryState3 until it answers 0; the step fails when the count of polls reaches 500,
// whatever the 500th poll answered.
Step PollPiece(ops::Operation& op, ProgressMeter& meter);

// Programs `image` (whole banks) into the BIOS ROM in 128-byte pieces with `opcode`, each
// piece read back and compared when `verify`, up to 10 attempts; method 0 sends
// SetControl(2, 10, 0, 0) before failing.
Step ProgramBiosPieces(ops::Operation& op, std::span<const std::uint8_t> image, std::uint8_t opcode, bool verify,
                       bool voltageOffOnFailure, ProgressMeter& meter);

}  // namespace quillon::gb
