// SPDX-License-Identifier: GPL-3.0-or-later
// Reading INI-style text: lines, comments, "[section]" headers and "key = value" entries.
//
// Two files of the program are written this way, each with its own rules: the settings file
// (ui/ini_file.h: names in any case, quoted values, kept as the user wrote it) and a simulated
// writer's writer.ini (sim/writer_ini.h: strict, names spelled exactly). What they share is
// here; what differs between them is a `Rules` value each keeps beside its own reader.
//
// Shared by every file:
//  - A line ends at '\n'; a last line without one is a line too; an empty text has none.
//    Lines are numbered from 1. One '\r' before the '\n' (or at the very end) belongs to the
//    line end.
//  - Blanks (Rules::blanks) around a line, a name or a value do not count.
//  - A line that is empty once its blanks are removed is blank; one whose first character is
//    ';' or '#' is a comment.
//  - A section header starts with '['; what makes one is Rules::sections.
//  - Any other line with an '=' is an entry: the key is the text before the first '=', the
//    value the text after it, each without its blanks. A value is handed over as written:
//    what quotes or escapes mean is the file's own business.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace quillon::ini {

struct Rules {
  // What counts as a blank around a line, a name or a value.
  std::string_view blanks;
  enum class Sections {
    // "[name]" is a header only when ']' ends the line; the name is everything between the
    // brackets, blanks and all.
    WholeLine,
    // Any line starting with '[' is a header; the name runs to the first ']' (or the end of
    // the line), without blanks around it.
    UpToFirstClose,
  };
  Sections sections = Sections::WholeLine;
  // Section and key names match without regard to ASCII case.
  bool ignoreCase = false;
};

enum class LineKind { Blank, Comment, Section, Entry, Other };

// One line, read by a file's rules. The views point into the text the line was read from.
struct Line {
  LineKind kind = LineKind::Other;
  std::string_view trimmed;  // the whole line without the blanks around it
  std::string_view name;     // Section: the section's name; Entry: the key
  std::string_view value;    // Entry: the value
};

Line ReadLine(std::string_view text, const Rules& rules);

// A line of a text as it stands, without its line end.
struct RawLine {
  std::size_t number = 0;  // from 1
  std::string_view text;
  bool crlf = false;  // it ended in "\r\n" (or in '\r' at the end of the text)
  bool operator==(const RawLine&) const = default;
};

std::vector<RawLine> SplitLines(std::string_view text);

// `text` without the blanks of `rules` at either end.
std::string_view Trim(std::string_view text, const Rules& rules);

// Whether two section or key names are the same name by the rules.
bool SameName(std::string_view a, std::string_view b, const Rules& rules);

}  // namespace quillon::ini
