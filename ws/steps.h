// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces shared by the WS operations: how an operation ends, progress, the card check and
// the flash and save memory command sequences that writing and erasing both use.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "library/writer_type.h"
#include "link/writer_protocol.h"
#include "ops/operation_steps.h"
#include "ops/repeated_reads.h"

namespace quillon::ws {

namespace protocol = link::protocol;

inline constexpr library::WriterType kWsWriter = library::WriterType::Ws;  // the writer type whose probe is the WS one
inline constexpr unsigned kBlocks = 128;                                   // 32 KiB blocks of the 4 MiB card
inline constexpr std::size_t kBlockSize = 0x8000;                          // one link transfer, in the window
inline constexpr std::size_t kSaveSize = 0x8000;                           // the save memory, always whole

using ops::EndOnStep;
using ops::Finish;
using ops::Format;
using ops::ProgressMeter;
using ops::Step;
using ops::Stopped;

// Checks the link and probes the card (handing the result to the window). `requireFlashCard`:
// anything but the writer's WS flash card is refused. Failure texts: "Linking Fail" and
// "Card is not inserted right or FLASH ROM is not supported".
Step CheckWsCard(ops::Operation& op, bool requireFlashCard, std::string& failure);

// Reads the card as large as it says it is, as reading it into a file does: the link checked
// and the card probed, its size asked, then its 32 KiB blocks from bank 0 upward, where the
// card presents its image. Each block goes to `take` with its number and the number of
// blocks; `take` answers with the failure text that ends the operation, or an empty one to go
// on. `reads` reads each block (once for a verify). Nothing once every block was taken;
// otherwise the result that ended the operation ("Linking Error", "Reading Error", a lost
// writer, a stop, a block that read differently each time, or the failure `take` gave).
using BlockTaker = std::function<std::string(unsigned block, unsigned blocks, std::span<std::uint8_t> bytes)>;
std::optional<ops::Result> ReadCardBlocks(ops::Operation& op, ops::RepeatedReads& reads, const BlockTaker& take);

// Sets the erase-and-write bank register to the 64 KiB bank that holds block `block`.
void SelectWriteBank(link::Link& link, unsigned block);

// The erase commands before block b is written (or erased): the bank's first sector when b
// starts a bank, the status check, and for blocks 63 and 127 the sectors of the upper half
// of the last bank of each 2 MiB half with their status check. `upperLabel` is shown before
// those extra commands when not empty. Failed: "Earsing Flash ROM Fail".
Step EraseBeforeBlock(ops::Operation& op, unsigned block, const std::string& upperLabel);
// The erase work of EraseBeforeBlock for the progress, in bytes of a 64 KiB sector: one
// sector's worth for each sector it erases (a small one takes about as long as a large one).
double EraseWork(unsigned block);
// The erase work of blocks first..kBlocks-1 per byte of them.
double EraseWorkPerByte(unsigned first);

// Selects the save memory at the transfer window.
void SelectSaveMemory(link::Link& link);

// The save memory read whole, as a backup reads it (the save memory selected, then one
// block); nullopt when the writer did not read it.
std::optional<std::vector<std::uint8_t>> ReadSaveMemory(link::Link& link);

// When the program keeps copies (op.state.keepSaveCopies), the save memory that writing,
// erasing or restoring is about to overwrite is read and kept first; then the link is
// checked and the card probed again as the operation did first (CheckWsCard with
// `requireFlashCard`), so that what follows is the operation's own traffic from its start.
// Nothing to go on; otherwise the result that ends the operation before the card changes
// ("Backup Fail", the check's failure, stopped).
std::optional<ops::Result> KeepSaveCopy(ops::Operation& op, bool requireFlashCard);

// Clears the save memory ("Earsing RAM") and sends the closing commands of writing and
// erasing. Failed: "Earsing RAM Fail".
Step ClearSaveAndFinish(ops::Operation& op, ProgressMeter& meter);

}  // namespace quillon::ws
