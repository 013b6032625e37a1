// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/journal.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <span>

#include "library/regular_file.h"
#include "library/rom_header.h"
#include "ops/locked_folder.h"
#include "ops/operation.h"
#include "ops/output_file.h"
#include "ops/save_backups.h"

namespace quillon::ops {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFirstLine = "quillon journal 1";
constexpr std::size_t kLargestJournal = 1 << 20;  // far more than two entries for every writer
constexpr std::size_t kFixedFields = 5;           // writer, work, started, program, writer type

constexpr std::string_view WorkWord(Work work) {
  switch (work) {
    case Work::Write:
      return "write";
    case Work::Erase:
      return "erase";
    case Work::SaveRestore:
      return "save-restore";
  }
  return "write";
}

std::optional<Work> WorkOf(std::string_view word) {
  for (const Work work : {Work::Write, Work::Erase, Work::SaveRestore})
    if (WorkWord(work) == word) return work;
  return std::nullopt;
}

// A write and an erase are about the card's contents, a save restore about its save memory.
bool SameKind(Work a, Work b) { return (a == Work::SaveRestore) == (b == Work::SaveRestore); }

std::string_view FirstLineOf(Work work) {
  switch (work) {
    case Work::Write:
      return kWriteUnfinished;
    case Work::Erase:
      return kEraseUnfinished;
    case Work::SaveRestore:
      return kRestoreUnfinished;
  }
  return kWriteUnfinished;
}

// The work as a sentence names it: "save restore".
std::string Noun(Work work) {
  std::string noun(WorkWord(work));
  std::replace(noun.begin(), noun.end(), '-', ' ');
  return noun;
}

// A field as EscapeField wrote it, back to its bytes; nullopt for an escape it never writes.
std::optional<std::string> Unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out += field[i];
      continue;
    }
    if (++i == field.size()) return std::nullopt;
    switch (field[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 'x': {
        const auto digit = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
        if (i + 2 >= field.size() || !digit(field[i + 1]) || !digit(field[i + 2])) return std::nullopt;
        out += static_cast<char>(std::stoi(std::string(field.substr(i + 1, 2)), nullptr, 16));
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

// One line of the file, or nullopt when it is not one the program writes.
std::optional<JournalEntry> ParseEntry(std::string_view line) {
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    auto field = Unescape(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (!field) return std::nullopt;
    fields.push_back(std::move(*field));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  const auto work = fields.size() >= kFixedFields ? WorkOf(fields[1]) : std::nullopt;
  if (!work || fields[0].empty() || fields[2].empty()) return std::nullopt;
  return JournalEntry{fields[0], *work, fields[2], fields[3], fields[4], {fields.begin() + kFixedFields, fields.end()}};
}

std::string Text(const std::vector<JournalEntry>& entries) {
  std::string text(kFirstLine);
  for (const JournalEntry& entry : entries) {
    text += '\n';
    text += library::EscapeField(entry.writer);
    text += '\t';
    text += WorkWord(entry.work);
    for (const std::string* field : {&entry.started, &entry.program, &entry.writerType}) {
      text += '\t';
      text += library::EscapeField(*field);
    }
    for (const std::string& file : entry.files) {
      text += '\t';
      text += library::EscapeField(file);
    }
  }
  return text + '\n';
}

// Reads the journal under its folder's lock, lets `change` change the entries (false: nothing
// to write) and writes them back.
template <typename Change>
JournalChange ChangeJournal(const std::string& file, Change&& change) {
  JournalChange result;
  if (file.empty()) {
    result.notWritten = "no folder for it: HOME is not set and XDG_STATE_HOME is not an absolute path";
    return result;
  }
  const LockedFolder folder(fs::path(file).parent_path());
  if (!folder.why().empty()) {
    result.notWritten = folder.why();
    return result;
  }
  // A link or anything else but a regular file at the journal's place is left alone: the
  // write below is refused, and that says why.
  JournalReading reading = OwnFileRefusal(file) ? JournalReading{} : ReadJournal(file);
  result.problem = std::move(reading.problem);
  if (!change(reading.entries)) return result;
  const std::string text = Text(reading.entries);
  OutputFile out;
  if (!out.OpenOwn(file) || !out.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) ||
      !out.Commit()) {
    result.notWritten = file + ": " + (out.reason().empty() ? std::string("cannot be written") : out.reason());
    return result;
  }
  folder.Sync();
  return result;
}

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&now, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

void Tell(Operation& op, const JournalChange& change, const std::string& notWritten) {
  if (!change.problem.empty()) op.window.JournalNotice(change.problem);
  if (!change.notWritten.empty())
    op.window.JournalNotice("The journal cannot be written (" + change.notWritten + "): " + notWritten);
}

void Remove(Operation& op, Work work) {
  const JournalPlace& place = op.state.journal;
  if (place.writer.empty()) return;
  Tell(op, RemoveFromJournal(place.file, place.writer, work),
       "the card information will still say that the last " + Noun(work) + " did not finish");
}

}  // namespace

std::string DefaultJournalFile(const char* xdgStateHome, const char* home) {
  return XdgPath(xdgStateHome, home, ".local/state", "quillon/journal");
}

std::string DefaultJournalFile() { return DefaultJournalFile(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")); }

JournalReading ReadJournal(const std::string& file) {
  JournalReading reading;
  std::error_code error;
  if (file.empty() || fs::symlink_status(file, error).type() == fs::file_type::not_found) return reading;
  const auto taken = [&](const std::string& what) {
    reading.entries.clear();
    reading.problem = "The journal " + file + " " + what + ": it is taken as empty";
    return reading;
  };
  // Never read through a link: what it names is not the program's.
  if (const auto refusal = OwnFileRefusal(file)) return taken("cannot be read (" + *refusal + ")");
  std::string reason;
  const auto bytes = library::ReadFilePrefix(file, kLargestJournal + 1, &reason);
  if (!bytes) return taken("cannot be read (" + reason + ")");
  if (bytes->size() > kLargestJournal) return taken("is damaged (larger than any journal)");
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size(); ++lineNumber) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return taken("is damaged (its last line is cut short)");
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::string where = "is damaged (line " + std::to_string(lineNumber + 1) + ")";
    if (lineNumber == 0) {
      if (line != kFirstLine) return taken(where);
      continue;
    }
    auto entry = ParseEntry(line);
    if (!entry) return taken(where);
    const bool twice = std::any_of(reading.entries.begin(), reading.entries.end(), [&](const JournalEntry& e) {
      return e.writer == entry->writer && SameKind(e.work, entry->work);
    });
    if (twice) return taken(where);
    reading.entries.push_back(std::move(*entry));
  }
  if (lineNumber == 0) return taken("is damaged (empty)");
  return reading;
}

JournalChange RecordInJournal(const std::string& file, const JournalEntry& entry) {
  return ChangeJournal(file, [&](std::vector<JournalEntry>& entries) {
    std::erase_if(entries,
                  [&](const JournalEntry& e) { return e.writer == entry.writer && SameKind(e.work, entry.work); });
    entries.push_back(entry);
    return true;
  });
}

JournalChange RemoveFromJournal(const std::string& file, const std::string& writer, Work work) {
  return ChangeJournal(file, [&](std::vector<JournalEntry>& entries) {
    return std::erase_if(entries, [&](const JournalEntry& e) { return e.writer == writer && SameKind(e.work, work); }) >
           0;
  });
}

std::vector<std::string> UnfinishedLines(const std::vector<JournalEntry>& entries, const std::string& writer) {
  std::vector<std::string> lines;
  for (const bool card : {true, false}) {
    for (const JournalEntry& entry : entries) {
      if (entry.writer != writer || (entry.work != Work::SaveRestore) != card) continue;
      lines.emplace_back(FirstLineOf(entry.work));
      lines.push_back("Started " + library::EscapeField(entry.started.substr(0, 16)) + " by " +
                      library::EscapeField(entry.program));
    }
  }
  return lines;
}

void WorkAhead(Operation& op, Work work, std::vector<std::string> files) {
  JournalPlace& place = op.state.journal;
  if (place.writer.empty()) return;
  place.ahead = JournalEntry{place.writer,    work, {}, place.program, std::string(WriterWord(op.state.writerType())),
                             std::move(files)};
}

void CardChanges(Operation& op) {
  JournalPlace& place = op.state.journal;
  if (!place.ahead || op.stopRequested()) return;
  JournalEntry entry = std::move(*place.ahead);
  place.ahead.reset();
  entry.started = LocalTimeNow();
  Tell(op, RecordInJournal(place.file, entry), "an interrupted " + Noun(entry.work) + " will not be remembered");
}

Result WorkEnds(Operation& op, Work work, Result result) {
  op.state.journal.ahead.reset();
  if (result.ok() && !(work == Work::Write && op.state.verifyFollows)) Remove(op, work);
  return result;
}

void WrittenCardChecked(Operation& op) { Remove(op, Work::Write); }

}  // namespace quillon::ops
