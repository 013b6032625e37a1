// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/save_backups.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "ops/operation_steps.h"
#include "ops/output_file.h"

namespace quillon::ops {

namespace fs = std::filesystem;

namespace {

// A copy's name: the time, the writer type, the title (which may hold "_" itself).
const std::regex& CopyName() {
  static const std::regex name(R"(^(\d{4})(\d{2})(\d{2})-(\d{2})(\d{2})(\d{2})_(gb|gb-password|ws)_(.+)\.sav$)");
  return name;
}

std::string TimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

std::string DefaultBackupFolder(const char* xdgDataHome, const char* home) {
  if (xdgDataHome != nullptr && *xdgDataHome == '/') return (fs::path(xdgDataHome) / "quillon" / "backups").string();
  if (home != nullptr && *home != '\0') return (fs::path(home) / ".local/share/quillon/backups").string();
  return {};
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
    reason = "no folder for the copies (neither XDG_DATA_HOME nor HOME is set)";
    return std::nullopt;
  }
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error) {
    reason = "cannot make " + folder_ + ": " + error.message();
    return std::nullopt;
  }
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
  RemoveOldest();
  return path.string();
}

std::vector<SavedCopy> SaveBackups::List() const {
  std::vector<SavedCopy> copies;
  std::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::smatch m;
    if (!it->is_regular_file(error) || !std::regex_match(name, m, CopyName())) continue;
    SavedCopy copy;
    copy.path = it->path().string();
    copy.when =
        m[1].str() + "-" + m[2].str() + "-" + m[3].str() + " " + m[4].str() + ":" + m[5].str() + ":" + m[6].str();
    copy.bytes = it->file_size(error);
    copy.writer = m[7].str();
    copy.title = m[8].str();
    copies.push_back(std::move(copy));
  }
  // The names begin with the time: newest first is the names backwards.
  std::sort(copies.begin(), copies.end(), [](const SavedCopy& a, const SavedCopy& b) {
    return fs::path(a.path).filename() > fs::path(b.path).filename();
  });
  return copies;
}

void SaveBackups::RemoveOldest() const {
  const auto copies = List();
  std::error_code error;
  for (std::size_t i = kKeptBackups; i < copies.size(); ++i) fs::remove(copies[i].path, error);
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
