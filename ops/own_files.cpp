// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/own_files.h"

#include <sys/stat.h>

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

// What the kernel knows a file or folder by, whatever its name: a hard link or a bind mount
// is the same device and inode under another path.
struct Identity {
  dev_t device;
  ino_t inode;
  bool operator==(const Identity&) const = default;
};

std::optional<Identity> IdentityOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return Identity{info.st_dev, info.st_ino};
}

// A file of `folder` that is `file` under another name; empty when none is.
fs::path SameFileIn(const Identity& file, const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    if (IdentityOf(it->path()) == file) return it->path();
  return {};
}

// `folder`, or the first of its ancestors, that is the folder known as `identity` under
// another name (a bind mount of it, or of a folder above it); empty when none is. A folder not
// made yet is judged by the first ancestor that exists.
fs::path SameFolderAbove(fs::path folder, const Identity& identity) {
  for (;; folder = folder.parent_path()) {
    if (IdentityOf(folder) == identity) return folder;
    if (folder == folder.parent_path()) return {};
  }
}

// Why writing `written` would replace a file of `folder` reached by another name: the file it
// is, or the folder it would be made in; nullopt when neither.
std::optional<std::string> ReachedByIdentity(const fs::path& written, const fs::path& folder) {
  const auto folderIdentity = IdentityOf(folder);
  if (!folderIdentity) return std::nullopt;
  if (const auto file = IdentityOf(written)) {
    if (const fs::path same = SameFileIn(*file, folder); !same.empty())
      return " (the same file as " + same.string() + ")";
  }
  if (const fs::path same = SameFolderAbove(written.parent_path(), *folderIdentity); !same.empty())
    return " (" + same.string() + " is that folder under another name)";
  return std::nullopt;
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
    if (const auto how = ReachedByIdentity(written, normal)) return what + folder + *how;
  }
  return std::nullopt;
}

}  // namespace quillon::ops
