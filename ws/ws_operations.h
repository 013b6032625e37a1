// SPDX-License-Identifier: GPL-3.0-or-later
// The WS card operations. Each runs its whole sequence against the writer, reports only
// through the operation's window and ends with the window's beep; a stop request ends it
// before the next link command.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ops/operation.h"

namespace quillon::ws {

// Validates the whole IPS patch against an image of image.size() bytes, then applies it.
// 0: applied (an empty patch changes nothing); 1: rejected, the image is unchanged.
int ApplyIpsPatch(std::span<std::uint8_t> image, std::span<const std::uint8_t> patch);

// How a file becomes the image that writing puts on the card.
enum class ImageLoad { Ok, OpenFailed, SizeRefused, ReadFailed };
// The image of the file at `path` into `image`: without the 512-byte header that a file
// whose size has bit 9 (0x200) set carries; only 512 KiB, 1, 2 and 4 MiB are taken.
// `headerBytes`, when given, takes how many bytes of header were left out (0 or 512).
ImageLoad LoadWsImage(const std::string& path, std::vector<std::uint8_t>& image, std::size_t* headerBytes = nullptr);
// The result text of an image `fileName` that did not load; empty for ImageLoad::Ok.
std::string ImageLoadFailure(ImageLoad load, const std::string& fileName);

// Puts the card's size code into the image's fourth byte from the end, as writing does
// (bits 4 and 5); an image of a size writing refuses stays as it is.
void SetWsSizeCode(std::span<std::uint8_t> image);

// Writes the card list's one WS image to the top of the card, patched in memory with the
// IPS file `patchFile` when it is not empty, then clears the save memory; "Writing
// Success", with the time it took in the file label, followed by ", not patched" when the
// patch could not be applied ("Patch File Error") and the user chose to write the image
// without it (kWriteUnpatchedQuestion); "Writing Cancelled" when the user did not, before
// anything changed on the card.
ops::Result WriteWsCard(ops::Operation& op, const std::string& patchFile);
inline constexpr std::string_view kWriteUnpatchedQuestion = "The patch was not applied. Write the image without it?";

// "Using %d Seconds" or "Using %d Minutes %d Seconds" for a run of `milliseconds`.
std::string ElapsedText(std::uint32_t milliseconds);
// The file label at the end of writing: ElapsedText, followed by ", not patched" when the
// patch was refused.
std::string WritingEndText(std::uint32_t milliseconds, bool patchRefused);

// Reads the card, as large as it says it is, into a file the window asks for. `readTwice`: each
// 32 KiB block is read twice (ops::RepeatedReads); the result's detail counts the blocks that
// needed a third read, and a block that read differently each time fails the read with its
// number (from 0, in the order read).
ops::Result ReadWsCard(ops::Operation& op, bool readTwice);

// After a write: reads the card back as ReadWsCard does and compares it with the image as
// writing put it there: the card list's image, patched with `patchFile` as writing patched
// it, with its size code. "Verify OK", or where the first difference is.
ops::Result VerifyWsCard(ops::Operation& op, const std::string& patchFile);

// The card's 32 KiB of save memory into a file / from a file.
ops::Result BackupWsRam(ops::Operation& op);
ops::Result RestoreWsRam(ops::Operation& op);

// Erases the whole card and clears its save memory; "Earsing Success".
ops::Result EraseWsCard(ops::Operation& op);

}  // namespace quillon::ws
