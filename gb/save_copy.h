// SPDX-License-Identifier: GPL-3.0-or-later
// The copy of GB save memory that restoring, erasing and writing keep before they overwrite
// it (ops::SaveBackups), read with the same sequence as a save memory backup.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "gb/save_memory.h"
#include "gb/steps.h"
#include "ops/operation.h"

namespace quillon::gb {

// The flash card's whole save memory: its 16 banks of 8 KiB, which erasing clears and which
// writing gives to the new images.
SaveMemory WholeFlashCardSave();

// Reads the banks of `memory` (enabled by the caller), handing each to `take`; `take`
// returning false ends the reading. Failed when the writer did not report a bank read.
// A stop request ends it, but not once the last bank was received whole: the work is done.
enum class BankRead { Ok, Failed, TakeFailed, Stopped };
BankRead ReadSaveBanks(ops::Operation& op, const SaveMemory& memory,
                       const std::function<bool(std::span<const std::uint8_t>)>& take);

// When the program keeps copies (op.state.keepSaveCopies), reads `memory` whole (enable, banks,
// disable, as a backup reads it) and keeps it under `title`, telling the window where it
// went; then `checkAgain` checks the link and probes the card again, as the operation did
// before, so that what follows is the operation's own traffic from its start. Nothing when
// there is nothing to keep or the copy was kept and the check passed; otherwise the result
// that ends the operation before the card changes: "Backup Fail", the check's failure, or
// stopped.
using CheckAgain = std::function<std::optional<ops::Result>()>;
std::optional<ops::Result> KeepSaveCopy(ops::Operation& op, const SaveMemory& memory, const std::string& title,
                                        const CheckAgain& checkAgain);

}  // namespace quillon::gb
