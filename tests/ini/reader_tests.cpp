// SPDX-License-Identifier: GPL-3.0-or-later
// The INI line reader: the rules the settings file and writer.ini both read their lines by.
// What differs between the two files (case, section headers, blanks) is tested with each file.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "ini/reader.h"

namespace quillon::ini {
namespace {

// Both ways of reading section headers, with and without case; the blanks both files share.
const std::vector<Rules> kEveryRules = {
    {" \t\r", Rules::Sections::WholeLine, false},
    {" \t\r", Rules::Sections::UpToFirstClose, true},
};

struct LineRow {
  std::string_view text;
  LineKind kind;
  std::string_view name;
  std::string_view value;
};

const LineRow kLineRows[] = {
    {"", LineKind::Blank, "", ""},
    {" \t\r", LineKind::Blank, "", ""},
    {"; kind=gb-flash", LineKind::Comment, "", ""},
    {"  # [card]", LineKind::Comment, "", ""},
    {"a;b=c", LineKind::Entry, "a;b", "c"},
    {"key=value", LineKind::Entry, "key", "value"},
    {"\t key \t= \ta = b\t ", LineKind::Entry, "key", "a = b"},
    {"key=", LineKind::Entry, "key", ""},
    {"=value", LineKind::Entry, "", "value"},
    {"key==", LineKind::Entry, "key", "="},
    {"absent", LineKind::Other, "", ""},
    {"  two words  ", LineKind::Other, "", ""},
    {"[card]", LineKind::Section, "card", ""},
    {" \t[Main]\t ", LineKind::Section, "Main", ""},
    {"x=[y]", LineKind::Entry, "x", "[y]"},
};

TEST(IniReader, ReadLine_sharedRule_sameKindNameAndValueForEveryFile) {
  for (const Rules& rules : kEveryRules) {
    for (const LineRow& row : kLineRows) {
      SCOPED_TRACE("line '" + std::string(row.text) + "', sections " +
                   std::to_string(static_cast<int>(rules.sections)));
      const Line line = ReadLine(row.text, rules);
      EXPECT_EQ(line.kind, row.kind);
      EXPECT_EQ(line.name, row.name);
      EXPECT_EQ(line.value, row.value);
      EXPECT_EQ(line.trimmed, Trim(row.text, rules));
    }
  }
}

struct SplitRow {
  std::string_view text;
  std::vector<RawLine> lines;
};

TEST(IniReader, SplitLines_lineEnds_numberedLinesWithoutTheirEnds) {
  const SplitRow rows[] = {
      {"", {}},
      {"\n", {{1, "", false}}},
      {"a", {{1, "a", false}}},
      {"a\nb\n", {{1, "a", false}, {2, "b", false}}},
      {"a\n\nb", {{1, "a", false}, {2, "", false}, {3, "b", false}}},
      {"a\r\nb\r\n", {{1, "a", true}, {2, "b", true}}},
      {"a\r", {{1, "a", true}}},
      {"a\r\r\nb\rc\n", {{1, "a\r", true}, {2, "b\rc", false}}},
  };
  for (const SplitRow& row : rows) {
    SCOPED_TRACE("text '" + std::string(row.text) + "'");
    EXPECT_EQ(SplitLines(row.text), row.lines);
  }
}

}  // namespace

// How a failing row shows a line.
void PrintTo(const RawLine& line, std::ostream* out) {
  *out << line.number << ":'" << line.text << "'" << (line.crlf ? " CR" : "");
}

}  // namespace quillon::ini
