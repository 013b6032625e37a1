// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/own_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quillon::ops {

namespace fs = std::filesystem;

namespace {

// As many links as the kernel follows in one path before it gives up (ELOOP).
constexpr int kMaxLinks = 40;

// The absolute path without "." and "..", its symbolic links followed as far as they exist.
fs::path Normal(const fs::path& path) {
  std::error_code error;
  fs::path whole = fs::weakly_canonical(fs::absolute(path, error), error);
  if (error) whole = fs::absolute(path, error).lexically_normal();
  // A folder named with a trailing separator ("W/") is the folder itself.
  if (whole.has_parent_path() && whole.filename().empty()) whole = whole.parent_path();
  return whole;
}

// Where writing `given` lands: its folders resolved, then each symbolic link it names followed,
// also the last one of a chain that names nothing yet (writing creates that file).
fs::path WrittenPath(const fs::path& given) {
  std::error_code error;
  fs::path path = fs::absolute(given, error);
  if (error) return given.lexically_normal();
  for (int links = 0; links < kMaxLinks; ++links) {
    const fs::path name = path.filename();
    if (name.empty() || name == "." || name == "..") return Normal(path);
    const fs::path folder = Normal(path.parent_path());
    path = folder / name;
    if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
    const fs::path target = fs::read_symlink(path, error);
    if (error) return path;
    path = target.is_absolute() ? target : folder / target;
  }
  return path;
}

// `file` lies in `folder` or below it; both absolute and normal.
bool Inside(const fs::path& file, const fs::path& folder) {
  const auto [inFolder, inFile] = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
  return inFolder == folder.end() && inFile != file.end();
}

// A file of `folder` that is `file` under another name (a hard link); empty when none is.
fs::path SameFileIn(const fs::path& file, const fs::path& folder) {
  std::error_code error;
  if (!fs::is_regular_file(file, error) || fs::hard_link_count(file, error) < 2 || error) return {};
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code same;
    if (it->is_regular_file(same) && fs::equivalent(it->path(), file, same) && !same) return it->path();
  }
  return {};
}

}  // namespace

std::optional<std::string> ProtectedFileReason(const std::string& path, const std::string& writerFolder,
                                               const std::string& copiesFolder) {
  if (path.empty()) return std::nullopt;
  const fs::path written = WrittenPath(path);
  std::error_code error;
  const fs::path asGiven = fs::absolute(path, error).lexically_normal();
  const struct {
    const std::string& folder;
    const char* what;
  } folders[] = {{writerFolder, "a file of the simulated writer's folder "},
                 {copiesFolder, "a file of the folder of the save memory copies "}};
  for (const auto& [folder, what] : folders) {
    if (folder.empty()) continue;
    const fs::path normal = Normal(folder);
    if (Inside(written, normal)) {
      // Only a link makes the path land elsewhere than it reads.
      const bool linked = written != asGiven && !Inside(asGiven, normal);
      return what + folder + (linked ? " (through a link to " + written.string() + ")" : "");
    }
    if (const fs::path same = SameFileIn(written, normal); !same.empty())
      return what + folder + " (a hard link to " + same.string() + ")";
  }
  return std::nullopt;
}

}  // namespace quillon::ops
