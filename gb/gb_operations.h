// SPDX-License-Identifier: GPL-3.0-or-later
// The GB card operations. Each runs its whole sequence against the writer, reports only
// through the operation's window and ends with the window's beep; a stop request ends it
// before the next link command.
#pragma once

#include "ops/operation.h"

namespace quillon::gb {

// Writes every image of the card list, largest first, and the menu image with the card's
// directory; "Writing Success" or the first failure's message. Sets the placement of each
// card list entry.
ops::Result WriteGbCard(ops::Operation& op);

// Reads the ordinary cartridge (CardInfo.kind 1) or image `selectedImage` of the flash card
// into a file the window asks for; "Downloading Success". `readTwice`: each bank is read twice
// (ops::RepeatedReads); the result's detail counts the banks that needed a third read, and a
// bank that read differently each time fails the read with its number (the cartridge's bank,
// or the FLASH ROM's for an image of a flash card).
ops::Result ReadGbCard(ops::Operation& op, int selectedImage, bool readTwice);

// Save memory of the ordinary cartridge, of image `selectedImage` of the flash card, or of
// the "Password" item (selectedImage == CardInfo.count) into a file / from a file.
ops::Result BackupGbRam(ops::Operation& op, int selectedImage);
ops::Result RestoreGbRam(ops::Operation& op, int selectedImage);

// Erases the FLASH ROM (cardSize 0: 2 MiB, "16MB Card"; otherwise 4 MiB, "32MB Card"),
// the BIOS ROM and the whole save memory; "Earsing Success".
ops::Result EraseGbCard(ops::Operation& op, int cardSize);

// After a write: reads every image of the card list back from where the write placed it
// and compares it with its file. "Verify OK", or where the first difference is.
ops::Result VerifyGbCard(ops::Operation& op);

}  // namespace quillon::gb
