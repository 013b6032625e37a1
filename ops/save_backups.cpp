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
#include "ops/locked_folder.h"
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

// The record's names, or nullopt when it cannot be read whole or is not as the program writes it.
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

// What the name of a copy in `folder` says of it, and its size.
SavedCopy CopyOf(const fs::path& folder, const std::string& name) {
  std::smatch m;
  std::regex_match(name, m, CopyName());
  SavedCopy copy;
  copy.path = (folder / name).string();
  copy.when = m[1].str() + "-" + m[2].str() + "-" + m[3].str() + " " + m[4].str() + ":" + m[5].str() + ":" + m[6].str();
  std::error_code error;
  copy.bytes = fs::file_size(copy.path, error);
  copy.writer = m[7].str();
  copy.title = m[8].str();
  return copy;
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

std::optional<KeptCopy> SaveBackups::Keep(library::WriterType writer, std::string_view title,
                                          std::span<const std::uint8_t> bytes, std::string& reason,
                                          std::time_t when) const {
  if (folder_.empty()) {
    reason = kNoCopyFolder;
    return std::nullopt;
  }
  // Held until the record is written, so that copies made at once by several programs all
  // enter it.
  const LockedFolder lock(folder_);
  if (!lock.why().empty()) {
    reason = lock.why();
    return std::nullopt;
  }
  // Checked before the copy is made, so that a record that cannot be kept leaves nothing behind.
  const std::string recordFile = (fs::path(folder_) / kCopyRecord).string();
  if (const auto refusal = OwnFileRefusal(recordFile)) {
    reason = "the record " + recordFile + " " + *refusal;
    return std::nullopt;
  }
  const std::optional<std::vector<std::string>> record = Record();
  // The title cleaned as the save dialogs clean the names they offer; two copies in one second
  // (a restore right after an erase, two writers at once) get a number each.
  const std::string stem = TimeStamp(when) + "_" + std::string(WriterWord(writer)) + "_" + SuggestedFileName(title, "");
  const auto nameOf = [&](int n) {
    return (fs::path(folder_) / (stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".sav")).string();
  };
  OutputFile out;
  const auto path = out.OpenNew(folder_) && out.Write(bytes) ? out.Claim(nameOf) : std::nullopt;
  if (!path) {
    reason = out.reason().empty() ? "cannot write a copy into " + folder_ : out.reason();
    return std::nullopt;
  }
  KeptCopy kept{*path, {}};
  // A damaged record is not trusted with what to remove: a fresh one starts with this copy.
  if (!record) kept.notice = kDamagedRecord;
  const std::string name = fs::path(*path).filename().string();
  std::vector<std::string> names = record.value_or(std::vector<std::string>{});
  // A recorded copy that is gone (the user removed or renamed it) leaves the record; the new
  // copy ends it, so it is never among the oldest.
  std::erase_if(names, [&](const std::string& n) { return n == name || !IsFileIn(folder_, n); });
  names.push_back(name);
  const auto excess = static_cast<std::ptrdiff_t>(names.size() - std::min(names.size(), kKeptBackups));
  const std::vector<std::string> oldest(names.begin(), names.begin() + excess);
  names.erase(names.begin(), names.begin() + excess);
  if (WriteRecord(names)) {
    std::error_code error;
    for (const auto& n : oldest) fs::remove(fs::path(folder_) / n, error);
    lock.Sync();
  }
  return kept;
}

std::optional<std::vector<std::string>> SaveBackups::Record() const {
  const fs::path file = fs::path(folder_) / kCopyRecord;
  std::error_code error;
  if (fs::symlink_status(file, error).type() == fs::file_type::not_found) return std::vector<std::string>{};
  if (OwnFileRefusal(file.string())) return std::nullopt;
  return ReadRecord(file);
}

bool SaveBackups::WriteRecord(const std::vector<std::string>& names) const {
  std::string text = std::string(kRecordFirstLine) + "\n";
  for (const auto& name : names) text += name + "\n";
  OutputFile out;
  return out.OpenOwn((fs::path(folder_) / kCopyRecord).string()) &&
         out.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) && out.Commit();
}

std::vector<SavedCopy> SaveBackups::List() const {
  std::vector<SavedCopy> copies;
  if (folder_.empty()) return copies;
  std::vector<std::string> names = Record().value_or(std::vector<std::string>{});
  std::erase_if(names, [&](const std::string& n) { return !IsFileIn(folder_, n); });
  std::reverse(names.begin(), names.end());  // newest first
  // Then the files of a copy's name that the record does not hold, the latest names first.
  const std::unordered_set<std::string> recorded(names.begin(), names.end());
  std::vector<std::string> others;
  std::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (IsCopyName(name) && !recorded.contains(name) && IsFileIn(folder_, name)) others.push_back(std::move(name));
  }
  std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return NameBefore(b, a); });
  names.insert(names.end(), others.begin(), others.end());
  for (const auto& name : names) copies.push_back(CopyOf(folder_, name));
  return copies;
}

std::optional<Result> KeepCopy(Operation& op, std::string_view title,
                               const std::optional<std::vector<std::uint8_t>>& bytes) {
  std::string reason = "the writer did not read the save memory";
  const auto kept =
      bytes ? SaveBackups(op.state.backupFolder).Keep(op.state.writerType(), title, *bytes, reason) : std::nullopt;
  if (!kept) {
    op.window.SaveCopyFailed(reason);
    return Finish(op, Outcome::Failed, std::string(kBackupFail));
  }
  op.window.SaveCopyKept(kept->path);
  if (!kept->notice.empty()) op.window.SaveCopyNotice(kept->notice);
  return std::nullopt;
}

}  // namespace quillon::ops
