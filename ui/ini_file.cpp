#include "ui/ini_file.h"

#include <fstream>
#include <sstream>

namespace quillon::ui {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// "[name]", built by appending: GCC 12 at -O3 sees a false overlap (-Wrestrict) in the
// same text made with operator+ on a temporary.
std::string SectionLine(std::string_view name) {
  std::string line;
  line.reserve(name.size() + 2);
  line.push_back('[');
  line.append(name);
  line.push_back(']');
  return line;
}

}  // namespace

IniFile::Line IniFile::Classify(std::string text) {
  Line line;
  const std::string_view t = Trim(text);
  if (t.empty()) {
    line.kind = Line::Blank;
  } else if (t.front() == ';' || t.front() == '#') {
    line.kind = Line::Comment;
  } else if (t.front() == '[') {
    line.kind = Line::Section;
    const std::size_t close = t.find(']');
    line.name = std::string(Trim(t.substr(1, close == npos ? npos : close - 1)));
  } else if (const std::size_t eq = t.find('='); eq != npos) {
    line.kind = Line::Key;
    line.name = std::string(Trim(t.substr(0, eq)));
  }
  line.text = std::move(text);
  return line;
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  if (text.substr(0, kBom.size()) == kBom) {
    ini.bom_ = true;
    text.remove_prefix(kBom.size());
  }
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == npos ? text.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') {
      ini.crlf_ = true;
      raw.remove_suffix(1);
    }
    ini.lines_.push_back(Classify(std::string(raw)));
  }
  return ini;
}

IniFile IniFile::Load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return Parse(buffer.str());
}

std::size_t IniFile::Find(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Line::Section) {
      inSection = SameName(line.name, section);
    } else if (inSection && line.kind == Line::Key && SameName(line.name, key)) {
      return i;
    }
  }
  return npos;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const std::size_t i = Find(section, key);
  if (i == npos) return std::nullopt;
  const std::string& text = lines_[i].text;
  const std::string_view value = std::string_view(text).substr(text.find('=') + 1);
  return std::string(Unquote(Trim(value)));
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (const std::size_t i = Find(section, key); i != npos) {
    // Keep the key as the user spelled it and the spacing after '='.
    std::string& text = lines_[i].text;
    std::size_t start = text.find('=') + 1;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    text = text.substr(0, start) + std::string(value);
    return;
  }
  std::string text = std::string(key) + "=" + std::string(value);

  // The last section with this name that exists: add after its last non-blank line.
  std::size_t insertAt = npos;
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Line::Section) {
      inSection = SameName(lines_[i].name, section);
      if (inSection) insertAt = i + 1;
    } else if (inSection && lines_[i].kind != Line::Blank) {
      insertAt = i + 1;
    }
  }
  if (insertAt != npos) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  Classify(std::move(text)));
    return;
  }
  if (!lines_.empty() && lines_.back().kind != Line::Blank) lines_.push_back(Classify(""));
  lines_.push_back(Classify(SectionLine(section)));
  lines_.push_back(Classify(std::move(text)));
}

std::string IniFile::Text() const {
  std::string out;
  if (bom_) out += kBom;
  const char* eol = crlf_ ? "\r\n" : "\n";
  for (const Line& line : lines_) {
    out += line.text;
    out += eol;
  }
  return out;
}

bool IniFile::Save(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  const std::string text = Text();
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace quillon::ui
