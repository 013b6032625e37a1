// SPDX-License-Identifier: GPL-3.0-or-later
// How long the GB flash card's chips take, and the waits its BIOS ROM needs, within the waits
// the PC gives them.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/card_model.h"

namespace quillon::sim {

// A FLASH ROM block erase and the method-2 BIOS ROM chip erase are polled back to back: they
// last a few polls. The method-0 BIOS ROM chip erase is polled after DelayTicks(65535), then
// once per DelayTicks(1000): it lasts a little over a second of ticks. Programming a piece or
// a page is done by the first poll.
inline constexpr int kBlockErasePolls = 2;
inline constexpr int kChipErasePolls = 3;
inline constexpr std::uint64_t kChipEraseTicks = 65535 + 1500;
// The first status query of a method-0 BIOS ROM erase must wait this long after the command.
inline constexpr std::uint64_t kChipEraseFirstPoll = 65535;
// The BIOS ROM takes an erase or programming command only this long after it was presented
// (WriteByte(0x0000, 0x00)) or after its chip erase ended.
inline constexpr std::uint64_t kBiosSettleTicks = 10000;

// The BIOS ROM's waits, kept by the card: a command that comes too early is noted as
// unexpected on the device.
class BiosTiming {
 public:
  explicit BiosTiming(Device& device) : dev_(device) {}

  // The BIOS ROM needs kBiosSettleTicks of quiet from `ticks` on before its next erase or
  // programming command.
  void settleFrom(std::uint64_t ticks) {
    quietFrom_ = ticks;
    settleNoted_ = false;
  }
  // Before an erase or programming command of the BIOS ROM: notes (once per quiet period) one
  // that comes before the chip has settled.
  void noteUnsettled();

  // A method-0 chip erase was commanded now.
  void chipEraseStarted() { chipEraseAt_ = dev_.ticks; }
  // At a status query: the first one after a method-0 chip erase comes after DelayTicks(65535).
  void notePollBeforeChipErase();

 private:
  Device& dev_;
  std::uint64_t quietFrom_ = 0;  // presented, or its chip erase ended, at this tick
  bool settleNoted_ = false;
  std::optional<std::uint64_t> chipEraseAt_;  // a method-0 chip erase not yet polled, from this tick
};

}  // namespace quillon::sim
