// SPDX-License-Identifier: GPL-3.0-or-later
// What each card command of the main window does, decided once for both front ends: the
// window asks its questions with the item chooser and the patch question, quillon-cli takes
// the answers from its options. Given the program state and the result of the command's
// card probe, a plan says one of three things: do nothing (and why), ask the user to pick
// one of these items, or run this operation with these arguments. Each card family makes its
// own plans (CardFamily::Plan, ops/card_family.h); cards::PlanCommand chooses the family.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detect/card_info.h"
#include "detect/probe.h"

namespace quillon::ops {

class CardFamily;

// The main window's card commands ("Start Writing", "Download Card", "Download RAM",
// "Upload RAM", "Earse Card") and the quillon-cli commands write, read, backup-ram,
// restore-ram and erase.
enum class Command { StartWriting, DownloadCard, DownloadRam, UploadRam, EraseCard };

// The card operations a command runs; each family has each of them (CardFamily), and each
// operation of each family has its window in the desktop program.
enum class CardOperation { Write, Erase, Read, BackupRam, RestoreRam };

// What a card operation is handed besides the program state: the answers to the questions
// of its command, from the window's questions or quillon-cli's options alike.
struct OperationArgs {
  // Read, BackupRam, RestoreRam of a GB card: the picked row, an index into CardInfo.images;
  // for the two save memory operations CardInfo.count is the "Password" item. An ordinary
  // cartridge has no images: 0, and the operation does not look at it.
  int image = 0;
  // Erase of a GB card: the picked row of the card sizes (0: "16MB Card", 1: "32MB Card").
  int cardSize = 0;
  // Write of a WS card: the IPS patch applied to the image on its way to the card; empty: none.
  std::string patchFile;
  // Write: the card is read back and compared with what was written once the write succeeded
  // (CardFamily::Verify; "Verify after writing", quillon-cli write --verify).
  bool verify = false;
  // Read: every bank or block is read twice, and a third time where the two differ, so that
  // a dirty contact's bytes stay out of the file ("Read twice", quillon-cli read --twice).
  bool readTwice = false;
};

struct OperationCall {
  const CardFamily* family = nullptr;  // whose operation; never null in a plan that runs
  CardOperation operation = CardOperation::Write;
  OperationArgs args;
};

// Why picking an image of a flash card that holds none did nothing.
inline constexpr std::string_view kNoImages = "the flash card holds no images";

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
  // Pick: the row of the "Password" item, when there is one.
  std::optional<int> passwordItem;
  // Pick, Erase: the card size in MBit of each row (quillon-cli's erase --size).
  std::vector<int> sizeItems;

  // Run: the operation and its arguments. Pick: the operation that the picked row
  // completes.
  OperationCall call;
  // Run, a WS write: the image saves in EEPROM, and the window asks "Using Patch File?"
  // before it writes (quillon-cli has the user's answer in write --patch already).
  bool asksPatch = false;
  // Run, Erase (and Pick, for the card size): the window asks whether everything on the card
  // may go before it erases (quillon-cli's erase has the user's word on its command line
  // already).
  bool asksErase = false;
  // The window probes the card again after the operation's window has closed, so that the
  // card information shows what writing or erasing left.
  bool probeAfter = false;
};

// The three kinds of plan, for the families' Plan.
CommandPlan PlanNothing(std::string reason, detect::CardKind card);
CommandPlan PlanRun(const CardFamily& family, CardOperation operation, detect::CardKind card);
// A flash card's question: which of `items`.
CommandPlan PlanPick(const CardFamily& family, CardOperation operation, std::vector<std::string> items);

// A plan that asked to pick, with the answer: Run with the picked row as the operation's
// image or card size. Nothing when the plan did not ask or `row` is not one of its items
// (with kNoImages as the reason when a flash card offered no images to pick from).
CommandPlan Picked(CommandPlan plan, int row);

}  // namespace quillon::ops
