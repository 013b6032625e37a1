// SPDX-License-Identifier: GPL-3.0-or-later
#include "ini/reader.h"

namespace quillon::ini {
namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string_view Trim(std::string_view text, const Rules& rules) {
  const std::size_t first = text.find_first_not_of(rules.blanks);
  if (first == npos) return {};
  const std::size_t last = text.find_last_not_of(rules.blanks);
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b, const Rules& rules) {
  if (!rules.ignoreCase) return a == b;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

Line ReadLine(std::string_view text, const Rules& rules) {
  Line line;
  line.trimmed = Trim(text, rules);
  const std::string_view t = line.trimmed;
  if (t.empty()) {
    line.kind = LineKind::Blank;
  } else if (t.front() == ';' || t.front() == '#') {
    line.kind = LineKind::Comment;
  } else if (t.front() == '[' && rules.sections == Rules::Sections::UpToFirstClose) {
    line.kind = LineKind::Section;
    const std::size_t close = t.find(']');
    line.name = Trim(t.substr(1, close == npos ? npos : close - 1), rules);
  } else if (t.front() == '[' && t.back() == ']') {
    line.kind = LineKind::Section;
    line.name = t.substr(1, t.size() - 2);
  } else if (const std::size_t eq = t.find('='); eq != npos) {
    line.kind = LineKind::Entry;
    line.name = Trim(t.substr(0, eq), rules);
    line.value = Trim(t.substr(eq + 1), rules);
  }
  return line;
}

std::vector<RawLine> SplitLines(std::string_view text) {
  std::vector<RawLine> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    RawLine line;
    line.number = lines.size() + 1;
    line.text = text.substr(0, end);
    text.remove_prefix(end == npos ? text.size() : end + 1);
    if (!line.text.empty() && line.text.back() == '\r') {
      line.crlf = true;
      line.text.remove_suffix(1);
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace quillon::ini
