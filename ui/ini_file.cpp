// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "text/escape.h"

namespace quillon::ui {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string::npos;

// The settings file's rules: names in any case; blanks are space, tab, CR, form feed and
// vertical tab; any line starting with '[' is a section header.
constexpr ini::Rules kRules{" \t\r\f\v", ini::Rules::Sections::UpToFirstClose, true};

bool SameName(std::string_view a, std::string_view b) { return ini::SameName(a, b, kRules); }

// The value of a key line, as the line holds it (blanks around it removed).
std::string_view ValueOf(std::string_view line) { return ini::ReadLine(line, kRules).value; }

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

bool IsQuoted(std::string_view value) {
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
}

// $'...', the form values with control bytes are written in.
bool IsAnsiQuoted(std::string_view value) {
  return value.size() >= 3 && value.substr(0, 2) == "$'" && value.back() == '\'';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The text between $' and ' with its escapes decoded; other backslashes stay as they are.
std::string DecodeAnsi(std::string_view body) {
  std::string out;
  out.reserve(body.size());
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\\' || i + 1 == body.size()) {
      out.push_back(body[i]);
      continue;
    }
    const char next = body[i + 1];
    if (next == '\\' || next == '\'') {
      out.push_back(next);
      ++i;
    } else if (next == 'n' || next == 'r' || next == 't') {
      out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : '\t');
      ++i;
    } else if (next == 'x' && i + 3 < body.size() && HexDigit(body[i + 2]) >= 0 && HexDigit(body[i + 3]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(body[i + 2]) * 16 + HexDigit(body[i + 3])));
      i += 3;
    } else {
      out.push_back(body[i]);
    }
  }
  return out;
}

// A value as the line holds it (blanks around it already removed) to the value it stands for.
std::string DecodeValue(std::string_view value) {
  if (IsAnsiQuoted(value)) return DecodeAnsi(value.substr(2, value.size() - 3));
  if (IsQuoted(value)) return std::string(value.substr(1, value.size() - 2));
  return std::string(value);
}

// A value as Set writes it: the first of the three forms ini_file.h describes that reads
// back the same.
std::string EncodeValue(std::string_view value) {
  bool control = false;
  for (char c : value) control = control || IsControl(c);
  if (!control) {
    const bool plain =
        (value.empty() || (value.front() != ' ' && value.back() != ' ')) && !IsQuoted(value) && !IsAnsiQuoted(value);
    if (plain) return std::string(value);
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted.push_back('"');
    quoted.append(value);
    quoted.push_back('"');
    return quoted;
  }
  return text::EscapeBytes(value, {text::HighBytes::AsIs, "$'"});
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
  const ini::Line read = ini::ReadLine(text, kRules);
  Line line;
  line.kind = read.kind;
  line.name = std::string(read.name);
  line.text = std::move(text);
  return line;
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  if (text.substr(0, kBom.size()) == kBom) {
    ini.bom_ = true;
    text.remove_prefix(kBom.size());
  }
  for (const ini::RawLine& raw : ini::SplitLines(text)) {
    if (raw.crlf) ini.crlf_ = true;
    ini.lines_.push_back(Classify(std::string(raw.text)));
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
    if (line.kind == ini::LineKind::Section) {
      inSection = SameName(line.name, section);
    } else if (inSection && line.kind == ini::LineKind::Entry && SameName(line.name, key)) {
      return i;
    }
  }
  return npos;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const std::size_t i = Find(section, key);
  if (i == npos) return std::nullopt;
  return DecodeValue(ValueOf(lines_[i].text));
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (const std::size_t i = Find(section, key); i != npos) {
    // A line that already reads `value` stays as the user wrote it (quotes and all);
    // otherwise keep the key as the user spelled it and the spacing after '='.
    std::string& text = lines_[i].text;
    if (DecodeValue(ValueOf(text)) == value) return;
    std::size_t start = text.find('=') + 1;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    text.resize(start);
    text += EncodeValue(value);
    return;
  }
  std::string text(key);
  text.push_back('=');
  text += EncodeValue(value);

  // The last section with this name that exists: add after its last non-blank line.
  std::size_t insertAt = npos;
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == ini::LineKind::Section) {
      inSection = SameName(lines_[i].name, section);
      if (inSection) insertAt = i + 1;
    } else if (inSection && lines_[i].kind != ini::LineKind::Blank) {
      insertAt = i + 1;
    }
  }
  if (insertAt != npos) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), Classify(std::move(text)));
    return;
  }
  if (!lines_.empty() && lines_.back().kind != ini::LineKind::Blank) lines_.push_back(Classify(""));
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
  namespace fs = std::filesystem;
  std::error_code ec;
  // A link to the file (kept with the user's other configuration, say) stays a link.
  fs::path target = path;
  if (fs::is_symlink(path, ec)) {
    target = fs::weakly_canonical(path, ec);
    if (ec) return false;
  }
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  // Not a folder; and a file made read-only stays as it is, as it did when it was written
  // in place.
  if (existed && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0)) return false;

  // A new name beside the target, created with the usual mode so that the umask applies
  // to a new settings file as it would to any file the program makes.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = target.string();
    temp += ".tmp-";
    temp += std::to_string(::getpid());
    temp.push_back('-');
    temp += std::to_string(attempt);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  const std::string text = Text();
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  if (ok && existed) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace quillon::ui
