// SPDX-License-Identifier: GPL-3.0-or-later
// Files that the operations write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace quillon::ops {

// An output file that is never left looking complete, and that replaces nothing but a
// regular file:
// - a regular file (or a new name): the bytes go into a temporary file beside it, with a
//   short name of its own, which is renamed over the target only by Commit(); until then an
//   existing file of the target's name is untouched, and a file not committed is removed;
// - a symbolic link is followed: what it names is the target, and the link stays;
// - a FIFO or a character device (/dev/null, a terminal) is written directly: there is
//   nothing to rename over it. Opening a FIFO waits for its reader, as any program's does; a
//   signal ends that wait.
// Those are the rules for the files a user names. The files the program keeps for itself (the
// journal, the record of the copies of save memory, the copies) are opened with OpenOwn or
// OpenNew: always a temporary file beside, never written through a link, and a link, a FIFO, a
// device or a folder at their place is left alone.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the file; false, with reason() saying why, when the target is a folder, a block
  // device or another kind of file that is not written, a file the user may not write, or
  // the file cannot be created. An operation opens its file before it reads the card, so
  // these fail at once. A new file gets the user's umask, a replaced one keeps its mode.
  bool Open(const std::string& target);
  // Opens one of the program's own files: as Open for a regular file or a new name, but false,
  // with the reason (OwnFileRefusal), when anything else stands at `target`.
  bool OpenOwn(const std::string& target);
  // Opens a file that Claim() gives a name no file has yet in `folder`.
  bool OpenNew(const std::string& folder);
  // False when the bytes could not all be written.
  bool Write(std::span<const std::uint8_t> bytes);
  // Finishes the file: the temporary file is renamed over the target (false, and it is
  // removed, when that fails); a directly written file is closed.
  bool Commit();
  // Finishes a file opened with OpenNew under the first of `names(1)`, `names(2)`, ... that
  // nothing has: each is claimed with a hard link, which never replaces anything, or where the
  // file system has none, by creating it exclusively. The path claimed; nullopt when none was.
  std::optional<std::string> Claim(const std::function<std::string(int)>& names);
  // Closes the file; a temporary file is removed.
  void Discard();

  const std::string& reason() const { return reason_; }

 private:
  bool Fail(const std::string& why);
  bool OpenTarget(const std::string& target, bool own);
  bool OpenTemporary(const std::string& folder, int keptMode);
  bool Finish();

  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temp_;  // empty: written directly
  std::string reason_;
  bool writeFailed_ = false;
};

// Why `path` is no place for one of the program's own files ("is a symbolic link", "is a
// FIFO", "is a device", "is a folder", ...); nothing when it holds a regular file or nothing.
std::optional<std::string> OwnFileRefusal(const std::string& path);

}  // namespace quillon::ops
