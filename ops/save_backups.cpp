// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/save_backups.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <unordered_set>

#include "library/regular_file.h"
#include "ops/operation_steps.h"
#include "ops/output_file.h"

namespace quillon::ops {

namespace fs = std::filesystem;

namespace {

// A copy's name: the time, the writer type, the title (which may hold "_" itself, never "/").
const std::regex& CopyName() {
  static const std::regex name(R"(^(\d{4})(\d{2})(\d{2})-(\d{2})(\d{2})(\d{2})_(gb|gb-password|ws)_([^/]+)\.sav$)");
  return name;
}

std::string TimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

constexpr std::string_view kRecordFirstLine = "# quillon: copies of save memory made here, oldest first";
// A record is a line a copy and a little more; a bigger file is not one the program wrote.
constexpr std::size_t kLargestRecord = 1 << 20;

bool IsCopyName(const std::string& name) { return std::regex_match(name, CopyName()); }

// Only a regular file is a copy: a link or a folder of a copy's name is not the program's.
bool IsFileIn(const fs::path& folder, const std::string& name) {
  std::error_code error;
  return fs::symlink_status(folder / name, error).type() == fs::file_type::regular;
}

// The order of names as the program makes them, with the numbers of copies made in one
// second in their order: "X.sav", "X-2.sav", ..., "X-10.sav".
bool NameBefore(std::string_view a, std::string_view b) {
  const auto split = [](std::string_view name) {
    name.remove_suffix(4);  // ".sav"
    const auto dash = name.rfind('-');
    const auto digits = dash == std::string_view::npos ? std::string_view() : name.substr(dash + 1);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return std::pair(name, 1ul);
    return std::pair(name.substr(0, dash), std::stoul(std::string(digits)));
  };
  return split(a) < split(b);
}

// The record's names, or nullopt when it is missing or not as the program writes it.
std::optional<std::vector<std::string>> ReadRecord(const fs::path& file) {
  const auto bytes = library::ReadFilePrefix(file, kLargestRecord + 1);
  if (!bytes || bytes->size() > kLargestRecord || bytes->empty() || bytes->back() != '\n') return std::nullopt;
  std::istringstream in(std::string(bytes->begin(), bytes->end()));
  std::string line;
  if (!std::getline(in, line) || line != kRecordFirstLine) return std::nullopt;
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  while (std::getline(in, line)) {
    if (!IsCopyName(line) || !seen.insert(line).second) return std::nullopt;
    names.push_back(line);
  }
  return names;
}

}  // namespace

std::string XdgPath(const char* xdgValue, const char* home, const char* homeFolder, const char* leaf) {
  if (xdgValue != nullptr && *xdgValue == '/') return (fs::path(xdgValue) / leaf).string();
  if (home != nullptr && *home != '\0') return (fs::path(home) / homeFolder / leaf).string();
  return {};
}

std::string DefaultBackupFolder(const char* xdgDataHome, const char* home) {
  return XdgPath(xdgDataHome, home, ".local/share", "quillon/backups");
}

std::string DefaultBackupFolder() { return DefaultBackupFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")); }

std::string_view WriterWord(library::WriterType type) {
  switch (type) {
    case library::WriterType::Gb:
      return "gb";
    case library::WriterType::GbPassword:
      return "gb-password";
    case library::WriterType::Ws:
      return "ws";
  }
  return "gb";
}

std::optional<std::string> SaveBackups::Keep(library::WriterType writer, std::string_view title,
                                             std::span<const std::uint8_t> bytes, std::string& reason,
                                             std::time_t when) const {
  if (folder_.empty()) {
    reason = kNoCopyFolder;
    return std::nullopt;
  }
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error) {
    reason = "cannot make " + folder_ + ": " + error.message();
    return std::nullopt;
  }
  // Read before the copy is made: on first use, the copies already there are the record.
  std::vector<std::string> record = Record();
  // The title cleaned as the save dialogs clean the names they offer.
  const std::string stem = TimeStamp(when) + "_" + std::string(WriterWord(writer)) + "_" + SuggestedFileName(title, "");
  // Two copies in one second (a restore right after an erase) get a number each.
  fs::path path = fs::path(folder_) / (stem + ".sav");
  for (int n = 2; fs::exists(fs::symlink_status(path, error)); ++n)
    path = fs::path(folder_) / (stem + "-" + std::to_string(n) + ".sav");
  OutputFile out;
  if (!out.Open(path.string()) || !out.Write(bytes) || !out.Commit()) {
    reason = out.reason().empty() ? "cannot write " + path.string() : out.reason();
    return std::nullopt;
  }
  // A recorded copy that is gone (the user removed or renamed it) leaves the record; the new
  // copy ends it, so it is never among the oldest.
  const std::string name = path.filename().string();
  std::erase_if(record, [&](const std::string& n) { return n == name || !IsFileIn(folder_, n); });
  record.push_back(name);
  const auto excess = static_cast<std::ptrdiff_t>(record.size() - std::min(record.size(), kKeptBackups));
  const std::vector<std::string> oldest(record.begin(), record.begin() + excess);
  record.erase(record.begin(), record.begin() + excess);
  if (WriteRecord(record)) {
    for (const auto& n : oldest) fs::remove(fs::path(folder_) / n, error);
  }
  return path.string();
}

std::vector<std::string> SaveBackups::Record() const {
  if (auto names = ReadRecord(fs::path(folder_) / kCopyRecord)) return std::move(*names);
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (IsCopyName(name) && IsFileIn(folder_, name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), NameBefore);
  return names;
}

bool SaveBackups::WriteRecord(const std::vector<std::string>& names) const {
  std::string text = std::string(kRecordFirstLine) + "\n";
  for (const auto& name : names) text += name + "\n";
  OutputFile out;
  return out.Open((fs::path(folder_) / kCopyRecord).string()) &&
         out.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) && out.Commit();
}

std::vector<SavedCopy> SaveBackups::List() const {
  std::vector<SavedCopy> copies;
  if (folder_.empty()) return copies;
  for (const auto& name : Record()) {
    std::smatch m;
    if (!IsFileIn(folder_, name) || !std::regex_match(name, m, CopyName())) continue;
    SavedCopy copy;
    copy.path = (fs::path(folder_) / name).string();
    copy.when =
        m[1].str() + "-" + m[2].str() + "-" + m[3].str() + " " + m[4].str() + ":" + m[5].str() + ":" + m[6].str();
    std::error_code error;
    copy.bytes = fs::file_size(copy.path, error);
    copy.writer = m[7].str();
    copy.title = m[8].str();
    copies.push_back(std::move(copy));
  }
  std::reverse(copies.begin(), copies.end());  // newest first
  return copies;
}

std::optional<Result> KeepCopy(Operation& op, std::string_view title,
                               const std::optional<std::vector<std::uint8_t>>& bytes) {
  std::string reason = "the writer did not read the save memory";
  const auto path =
      bytes ? SaveBackups(op.state.backupFolder).Keep(op.state.writerType(), title, *bytes, reason) : std::nullopt;
  if (!path) {
    op.window.SaveCopyFailed(reason);
    return Finish(op, Outcome::Failed, std::string(kBackupFail));
  }
  op.window.SaveCopyKept(*path);
  return std::nullopt;
}

}  // namespace quillon::ops
