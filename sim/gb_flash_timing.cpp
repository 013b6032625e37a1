// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/gb_flash_timing.h"

#include <string>

namespace quillon::sim {

void BiosTiming::noteUnsettled() {
  if (dev_.ticks >= quietFrom_ + kBiosSettleTicks || settleNoted_) return;
  settleNoted_ = true;
  if (dev_.ticks < quietFrom_) {
    dev_.noteUnexpected("the BIOS ROM is still erasing");
    return;
  }
  dev_.noteUnexpected("the BIOS ROM was presented or erased " + std::to_string(dev_.ticks - quietFrom_) +
                      " ticks before; it takes commands after DelayTicks(10000)");
}

void BiosTiming::notePollBeforeChipErase() {
  if (!chipEraseAt_) return;
  const std::uint64_t waited = dev_.ticks - *chipEraseAt_;
  chipEraseAt_.reset();
  if (waited < kChipEraseFirstPoll) {
    dev_.noteUnexpected("the BIOS ROM erase is polled " + std::to_string(waited) +
                        " ticks after its command; the chip is polled after DelayTicks(65535)");
  }
}

}  // namespace quillon::sim
