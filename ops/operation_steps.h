// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces every card operation's sequence uses: how a step ended, the texts of the labels,
// how an operation ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ops/operation.h"

namespace quillon::ops {

// How one step of a sequence ended.
enum class Step { Ok, Failed, Stopped };

// printf-style text of a label.
std::string Format(const char* format, unsigned a, unsigned b);
std::string Format(const char* format, const std::string& name);

// The failure of a verify after a write, GB or WS: where the card first differs from what was
// written, "Verify Error: FILE differs at card address 0x012345, file offset 0x002345".
std::string VerifyDifference(const std::string& fileName, std::uint64_t cardAddress, std::uint64_t fileOffset);

// The failure of an operation that would have succeeded but for a writer that stopped
// answering on the way (link::Link::lostContact).
inline constexpr std::string_view kLinkLost = "Linking Fail";

// The failure of an operation that could not write a file: its output, or the trace of the
// link (link::Trace::failure), which the result's detail then names with why.
inline constexpr std::string_view kWritingFileError = "Writing File Error";

// Ends an operation: the text stays in the step label, the window beeps. A stopped
// operation ends without a beep: its window is closing. A success after the link lost
// contact with the writer ends as kLinkLost instead, one whose trace failed as
// kWritingFileError.
Result Finish(Operation& op, Outcome outcome, const std::string& text, const std::string& detail = {});
Result Stopped();

// `result`, unless the trace failed during the operation (the link then sent nothing more but
// closing commands, and the operation ended as after a stop): kWritingFileError with the
// trace file and why, whatever the operation reached. The trace is flushed first.
Result TraceChecked(Operation& op, Result result);

// What a save memory restore says of its file `file` for a save area of `areaBytes`:
// that it is too short (the restore sends nothing), or that the end of a longer one was not
// used; nothing when it fits, or when what is left over is a real-time clock's block that
// emulators append to a save (kClockBlock or kClockBlockLong bytes).
inline constexpr std::uint64_t kClockBlock = 44, kClockBlockLong = 48;
std::string SaveFileSizeDetail(const std::string& file, std::uint64_t areaBytes);

// What a write says of an image file `file` longer than the `declaredBytes` its header
// declares (only those are written); nothing when it is not longer.
std::string ImageFileSizeDetail(const std::string& file, std::uint64_t declaredBytes);

// The writer's status (`query`: QueryState3, QueryState6) of the data that the `sent`
// commands started since `commandsBefore` (link::Link::commandsStarted) sent it, asked even
// after a stop: only the writer knows whether the card took data that went out. -1 when a
// stop kept any of those commands from going out.
int StatusOfSent(link::Link& link, std::uint64_t commandsBefore, std::uint64_t sent, int (link::Link::*query)());

// How the operation ends after a step that did not go well: Stopped() after a stop, the
// failure `failureText` when it failed; nothing when it went well:
//   if (auto end = EndOnStep(op, step, failure)) return *end;
std::optional<Result> EndOnStep(Operation& op, Step step, const std::string& failureText);

// The file name a save dialog offers for a game called `title` (raw title bytes, Big5 above
// 0x7F, up to the first zero byte): every character but letters, digits, space, dot, dash and
// underscore becomes one "_" (a Big5 pair is one character), spaces and dots at either end go
// (a name never starts hidden), "card" when nothing is left; then `extension` (".gb").
std::string SuggestedFileName(std::string_view title, std::string_view extension);

}  // namespace quillon::ops
