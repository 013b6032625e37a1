// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file's INI reader and writer, which keeps the file as the user left it.
//
// Reading follows the usual profile-file rules (the lines are read by ini/reader.h): section
// and key names are compared without regard to ASCII case, spaces around names and values are
// ignored, a line starting with '[' is a section header named up to its ']', a value wrapped
// in a matching pair of double or single quotes loses them (nothing inside them is changed:
// RomDir="C:\roms" reads C:\roms), lines starting with ';' or '#' are comments. Writing
// changes only the line of the key it sets (or adds one line, or one section at the end);
// every other line, comment and section stays as it was.
//
// Values. Any byte string is a value, and Get gives back exactly what Set stored. Set writes
// a value in the first of these forms that reads back the same:
//   1. as it is, when it has no control byte (0x00..0x1F, 0x7F), no space at either end,
//      is not wrapped in a matching pair of quotes and is not in form 3;
//        RomDir=/home/me/roms
//   2. between double quotes, when it has no control byte (blanks at the ends, quotes, a
//      backslash: all kept as they are inside the quotes);
//        RomDir=" /a b "      RomDir=""quoted""      RomDir="$'x'"
//   3. otherwise (a line end, a tab or another control byte in it) in the shell's ANSI-C
//      quoting: $'...' with \\ for a backslash, \' for a quote, \n, \r, \t for line feed,
//      carriage return and tab, \xHH for any other control byte; bytes 0x80..0xFF as they
//      are. No value can then break its line.
//        RomDir=$'/roms\nnew'
// Reading undoes form 3 only for a value that, blanks around it removed, starts with $' and
// ends with ' (at least three bytes); inside it, \\, \', \n, \r, \t and \xHH (two hex
// digits) are decoded and any other backslash is kept as it is. Every other value reads as it
// always did, so plain and quoted values written by hand keep their meaning; a hand-written
// value in form 3 is the only one read differently from a plain profile reader.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini/reader.h"

namespace quillon::ui {

class IniFile {
 public:
  IniFile() = default;

  // From the text of a file. CR LF line ends and a UTF-8 byte order mark are kept for
  // writing back.
  static IniFile Parse(std::string_view text);

  // From a file; a file that does not exist or cannot be read gives an empty file.
  static IniFile Load(const std::filesystem::path& path);

  // The value of the first line for `key` in section `section`, or nothing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Sets the value of an existing key in place (a line that already reads `value` is left
  // as it is), or adds the key at the end of the section, or adds the section at the end of
  // the file. The value is written as the comment at the top of this file describes.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole file as text.
  std::string Text() const;

  // Writes the text to `path` through a temporary file in the same folder that is renamed
  // over it once completely written and flushed to disk, so that a failed save leaves the
  // old file as it was. The new file keeps the old one's permissions; a symbolic link is
  // followed, and the file it names is replaced. False (the temporary file removed, the old
  // file untouched) when anything fails: the folder cannot be written, the disk is full,
  // `path` is a folder.
  bool Save(const std::filesystem::path& path) const;

 private:
  struct Line {
    ini::LineKind kind = ini::LineKind::Other;
    std::string text;  // the line as written, without its line end
    std::string name;  // section name or key name, trimmed
  };
  static Line Classify(std::string text);
  // Index of the line holding `key` in `section`, or npos.
  std::size_t Find(std::string_view section, std::string_view key) const;

  std::vector<Line> lines_;
  bool crlf_ = false;
  bool bom_ = false;
};

}  // namespace quillon::ui
