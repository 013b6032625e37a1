// SPDX-License-Identifier: GPL-3.0-or-later
// The journal of unfinished work: one file that says, for each writer, which write or erase
// and which save restore began changing the card and has not ended well since. Both programs
// keep it and read it, so the card information box and `quillon-cli info` can say after a
// failure, a stop, a crash or a power cut that the card may hold half of what it was given.
//
// The file, $XDG_STATE_HOME/quillon/journal (else ~/.local/state/quillon/journal), holds a
// first line of its own, then one entry a line, its fields apart by tabs (a tab, a line end
// and a backslash in a field written \t, \n and \\):
//   WRITER  WORK  STARTED  PROGRAM  WRITER-TYPE  [FILE ...]
//   /tmp/w  write  2026-12-07 23:10:42  quillon-cli  gb  /home/u/a.gb  /home/u/b.gb
// A writer has at most two entries: one for the card's contents (a write or an erase, the
// later replacing the earlier) and one for its save memory (a save restore). The file is
// replaced whole, through a temporary file that is flushed to the disk before it is renamed
// over the old one, while the folder is locked against the other program's changes. It is never
// read or written through a symbolic link: a link, a FIFO, a device or a folder at its place is
// left alone, and said as a journal that cannot be read or written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::ops {

struct Operation;
struct Result;

inline constexpr std::string_view kWriteUnfinished = "Last write did not finish: images may be damaged";
inline constexpr std::string_view kEraseUnfinished = "Last erase did not finish";
inline constexpr std::string_view kRestoreUnfinished = "Last save restore did not finish: save memory may be damaged";

// The work an entry is about. A write and an erase share the entry of the card's contents.
enum class Work { Write, Erase, SaveRestore };

struct JournalEntry {
  std::string writer;  // the writer's identity (connect::WriterIdentity)
  Work work = Work::Write;
  std::string started;             // local time, "2026-12-07 23:10:42"
  std::string program;             // "quillon", "quillon-cli"
  std::string writerType;          // "gb", "gb-password", "ws"
  std::vector<std::string> files;  // the images written, the save file restored; none for an erase
};

// The journal's path: $XDG_STATE_HOME/quillon/journal when that variable is an absolute path,
// else ~/.local/state/quillon/journal; empty when HOME is not set either.
std::string DefaultJournalFile(const char* xdgStateHome, const char* home);
std::string DefaultJournalFile();

struct JournalReading {
  std::vector<JournalEntry> entries;
  // Why the file was taken as empty: the whole notice ("The journal FILE is damaged (line 2):
  // it is taken as empty"); empty when it was read, or is not there.
  std::string problem;
};
JournalReading ReadJournal(const std::string& file);

// The notices of a journal change: why the old file was taken as empty, and why the new one
// could not be written (then the old one is as it was).
struct JournalChange {
  std::string problem;
  std::string notWritten;
};

// Puts `entry` into the journal in place of its writer's entry of the same kind.
JournalChange RecordInJournal(const std::string& file, const JournalEntry& entry);
// Takes the writer's entry of `work`'s kind out of the journal; the file is not written when
// there is none.
JournalChange RemoveFromJournal(const std::string& file, const std::string& writer, Work work);

// What the card information box and `quillon-cli info` say of `writer`'s entries: for each,
// its first line (kWriteUnfinished ...) and "Started 2026-12-07 23:10 by quillon-cli"; the
// card's entry first.
std::vector<std::string> UnfinishedLines(const std::vector<JournalEntry>& entries, const std::string& writer);

// --- in the operations (op.state.journal says where and for which writer; no writer: no
// journal is kept). A journal that cannot be written never stops an operation: the window is
// told (ProgressWindow::JournalNotice).

// The operation has done its checks, read its files and kept its copy of the save memory: the
// entry of `work` with `files` that its first command that changes the card records.
void WorkAhead(Operation& op, Work work, std::vector<std::string> files);

// Right before every command that changes the card (an erase, programming, a write into save
// memory): the first records the entry WorkAhead made, unless a stop came first (the link then
// sends no command).
void CardChanges(Operation& op);

// The operation of `work` ended with `result`, which is returned: an entry not recorded is
// dropped, and a success takes the writer's entry of that kind out, unless it is a write and op.state.verifyFollows
// says a check of the written card follows, which then calls WrittenCardChecked.
Result WorkEnds(Operation& op, Work work, Result result);

// The check that followed a write (op.state.verifyFollows) found the card as written: the
// write's entry goes.
void WrittenCardChecked(Operation& op);

}  // namespace quillon::ops
