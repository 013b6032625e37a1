// SPDX-License-Identifier: GPL-3.0-or-later
// What each card command of the main window does, decided once for both front ends: the
// window asks its questions with the item chooser and the patch question, quillon-cli takes
// the answers from its options. Given the program state and the result of the command's
// card probe, a plan says one of three things: do nothing (and why), ask the user to pick
// one of these items, or run this operation with these arguments.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "library/writer_type.h"
#include "ops/program_state.h"

namespace quillon::ops {

// The main window's card commands ("Start Writing", "Download Card", "Download RAM",
// "Upload RAM", "Earse Card") and the quillon-cli commands write, read, backup-ram,
// restore-ram and erase.
enum class Command { StartWriting, DownloadCard, DownloadRam, UploadRam, EraseCard };

// The card operations a command runs; each has its window in the desktop program.
enum class CardOperation {
  WriteGbCard,
  EraseGbCard,
  ReadGbCard,
  BackupGbRam,
  RestoreGbRam,
  WriteWsCard,
  EraseWsCard,
  ReadWsCard,
  BackupWsRam,
  RestoreWsRam,
};

// What a card operation is handed besides the program state.
struct OperationArgs {
  // ReadGbCard, BackupGbRam, RestoreGbRam: the picked row, an index into CardInfo.images;
  // for the two save memory operations CardInfo.count is the "Password" item. An ordinary
  // cartridge has no images: 0, and the operation does not look at it.
  int image = 0;
  // EraseGbCard: the picked row of kCardSizes (0: "16MB Card", 1: "32MB Card").
  int cardSize = 0;
  // WriteWsCard: the IPS patch applied to the image on its way to the card; empty: none.
  std::string patchFile;
};

struct OperationCall {
  CardOperation operation = CardOperation::WriteGbCard;
  OperationArgs args;
};

// The two sizes of GB flash card that erasing offers, in the item chooser's order.
struct CardSize {
  int megabits;           // quillon-cli's erase --size
  std::string_view item;  // the item chooser's row
};
inline constexpr std::array<CardSize, 2> kCardSizes{{{16, "16MB Card"}, {32, "32MB Card"}}};

// The row of the save memory item chooser that follows the images with the writer type
// "GB+Password": the save area of the password menu.
inline constexpr std::string_view kPasswordItem = "Password";

// Why picking an image of a flash card that holds none did nothing.
inline constexpr std::string_view kNoImages = "the flash card holds no images";

// A cartridge is read when its header's ROM size code is below this (7: 4 MiB).
inline constexpr int kRomSizeCodeLimit = 8;
// A cartridge has save memory when its header's RAM size code is 1 (2 KiB), 2 (8 KiB) or
// 3 (32 KiB).
inline constexpr int kFirstSaveRamSizeCode = 1;
inline constexpr int kLastSaveRamSizeCode = 3;
// A WS image's save class (RomEntry::ramClass) that saves in EEPROM (save type 0x10, 0x20).
inline constexpr int kWsEepromSave = 1;

struct CommandPlan {
  enum class Next {
    Nothing,  // the command does not apply: `reason` says why
    Pick,     // ask which item: `items`; Picked() turns the answer into Run
    Run,      // run `call`
  };
  Next next = Next::Nothing;

  // Nothing: why, as quillon-cli says it and the main window's status line shows it.
  std::string reason;

  // What the command's probe found; kNoAnswer when nothing usable, or when the command
  // does not probe.
  detect::CardKind card = detect::kNoAnswer;

  // Pick: the rows of the item chooser, in order. Image titles are the bytes the card
  // stores (Big5), the other rows plain text.
  std::vector<std::string> items;
  // Pick: the first `imageItems` rows are the flash card's images, in CardInfo order.
  int imageItems = 0;
  // Pick: the row of kPasswordItem, when there is one.
  std::optional<int> passwordItem;

  // Run: the operation and its arguments. Pick: the operation that the picked row
  // completes.
  OperationCall call;
  // Run, WriteWsCard: the image saves in EEPROM, and the window asks "Using Patch File?"
  // before it writes (quillon-cli has the user's answer in write --patch already).
  bool asksPatch = false;
  // Run, EraseGbCard and EraseWsCard (and Pick, for the card size): the window asks whether
  // everything on the card may go before it erases (quillon-cli's erase has the user's word
  // on its command line already).
  bool asksErase = false;
  // The window probes the card again after the operation's window has closed, so that the
  // card information shows what writing or erasing left.
  bool probeAfter = false;
};

// True when `command` probes the card before it decides: the GB writer types' reading,
// save memory and erasing. Writing and every WS command decide without a probe (the
// operations probe the card themselves).
bool ProbesFirst(Command command, library::WriterType writerType);

// The plan of `command` for the program state, after its probe (`probe`: that probe's
// outcome; NotProbed when the command does not probe first). For "Start Writing" the card
// list must be complete.
CommandPlan PlanCommand(Command command, const ProgramState& state, detect::ProbeOutcome probe);

// A plan that asked to pick, with the answer: Run with the picked row as the operation's
// image or card size. Nothing when the plan did not ask or `row` is not one of its items
// (with kNoImages as the reason when a flash card offered no images to pick from).
CommandPlan Picked(CommandPlan plan, int row);

}  // namespace quillon::ops
