// SPDX-License-Identifier: GPL-3.0-or-later
// The files the program keeps for itself and that nothing it writes may replace: the memories
// of the simulated writer (the folder of sim:DIR: gb-flash.bin, writer.ini, ...) and the
// copies of save memory (save_backups.h). A trace or an output file written over one of them
// would destroy the card or the one copy of a save, whatever name reached it: a symbolic link,
// a hard link, a bind mount or a path through "..".
#pragma once

#include <optional>
#include <string>

namespace quillon::ops {

// Why writing `path` would replace one of the program's own files: it lies in the simulated
// writer's folder `writerFolder` or in the copies' folder `copiesFolder` (either empty: none),
// or it reaches one of them under another name: the file is one of theirs (the same device and
// inode: a hard link, a bind mount), or the folder it would be made in, or one above that, is
// one of the two folders (a bind mount of it). The path is judged where writing it lands: its
// symbolic links followed, also a last one that names no file yet. The text goes after "is":
// "a file of the simulated writer's folder W (through a link to /abs/W/gb-flash.bin)";
// nullopt when the path is none of them.
std::optional<std::string> ProtectedFileReason(const std::string& path, const std::string& writerFolder,
                                               const std::string& copiesFolder);

}  // namespace quillon::ops
