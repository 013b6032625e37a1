// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file reader and writer (ui/ini_file.h, ui/settings.h), fed with any text.
//
// Input: byte 0 chooses the key to set (bits 0..2, modulo 5: RomDir, SaveROMDir, RAMDir,
// PatchDir, SystemStyle) and how section "Main" is spelled (bits 3..4: Main, main, MAIN,
// Main); byte 1 is the length of the value, which follows; the rest is the file's text.
//
// Only section "Main" and its five keys are set: those are the names the program writes.
// Section and key names that a line could not hold ("=" in a key, "]" or a line end in a
// section, blanks around either) are not something the file can store, so setting them is
// not tried. Any value is: the values are directory paths, which may hold any byte.
// Any names found in the text are read back, whatever they are.
//
// What must hold:
//  - the file is kept as written: Parse(Text()) gives Text() again; text with LF line ends
//    (no CR anywhere) ending in a line end comes back unchanged; every key reads the same
//    from the text written back;
//  - ReadSettings on any text gives the key's value or the program's folder, and the
//    SystemStyle number read by a decimal parser written here (0 when it is none);
//    ParseDecimal agrees with that parser on any text;
//  - after Set(Main, key, value), the text written back reads `value` for that key, exactly,
//    and every other key found in the text reads what it read before;
//  - WriteSettings then ReadSettings on the text written back gives the settings again.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "ui/ini_file.h"
#include "ui/settings.h"

using quillon::ui::IniFile;

namespace {

constexpr std::string_view kKeys[] = {"RomDir", "SaveROMDir", "RAMDir", "PatchDir", "SystemStyle"};
constexpr std::string_view kSectionSpellings[] = {"Main", "main", "MAIN", "Main"};
const std::string kProgramDir = "/opt/quillon/";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// (section, key) of the key lines of a text, by the rules the reader documents; at most 64.
std::vector<std::pair<std::string, std::string>> KeysIn(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> keys;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::string section;
  while (!text.empty() && keys.size() < 64) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      section = std::string(Trimmed(line.substr(1, close == std::string_view::npos ? close : close - 1)));
    } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
      keys.emplace_back(section, std::string(Trimmed(line.substr(0, eq))));
    }
  }
  for (std::string_view key : kKeys) keys.emplace_back("Main", std::string(key));
  return keys;
}

// A decimal number that fits in 32 bits: blanks and tabs around it, one '+' or '-', digits.
std::optional<int> ReferenceDecimal(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{1} << 32) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int>(value);
}

void CheckReadSettings(const IniFile& ini) {
  const quillon::ui::Settings s = quillon::ui::ReadSettings(ini, kProgramDir);
  FUZZ_CHECK(s.romDir == ini.Get("Main", "RomDir").value_or(kProgramDir));
  FUZZ_CHECK(s.saveRomDir == ini.Get("Main", "SaveROMDir").value_or(kProgramDir));
  FUZZ_CHECK(s.ramDir == ini.Get("Main", "RAMDir").value_or(kProgramDir));
  FUZZ_CHECK(s.patchDir == ini.Get("Main", "PatchDir").value_or(kProgramDir));
  const auto style = ini.Get("Main", "SystemStyle");
  FUZZ_CHECK(static_cast<int>(s.writerType) == (style ? ReferenceDecimal(*style).value_or(0) : 0));
  if (style) FUZZ_CHECK(quillon::ui::ParseDecimal(*style) == ReferenceDecimal(*style));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t selector = size > 0 ? data[0] : 0;
  const std::size_t valueLength = size > 1 ? std::min<std::size_t>(data[1], size - 2) : 0;
  const std::size_t textStart = std::min<std::size_t>(size, 2 + valueLength);
  const std::string value(reinterpret_cast<const char*>(data) + std::min<std::size_t>(size, 2), valueLength);
  const std::string_view text(reinterpret_cast<const char*>(data) + textStart, size - textStart);
  const std::string_view key = kKeys[(selector & 7u) % 5];
  const std::string_view section = kSectionSpellings[(selector >> 3) & 3u];

  FUZZ_CHECK(quillon::ui::ParseDecimal(value) == ReferenceDecimal(value));

  // Kept as written.
  IniFile ini = IniFile::Parse(text);
  const std::string written = ini.Text();
  const IniFile again = IniFile::Parse(written);
  FUZZ_CHECK(again.Text() == written);
  if (text.find('\r') == std::string_view::npos && (text.empty() || text.back() == '\n')) {
    FUZZ_CHECK(written == text);
  }
  const auto keys = KeysIn(text);
  std::vector<std::optional<std::string>> values;
  values.reserve(keys.size());
  for (const auto& [s, k] : keys) {
    values.push_back(ini.Get(s, k));
    FUZZ_CHECK(again.Get(s, k) == values.back());
  }
  CheckReadSettings(ini);

  // One key set: it reads back exactly, nothing else changes.
  ini.Set(section, key, value);
  FUZZ_CHECK_MSG(ini.Get(section, key) == value, "value: [" + value + "]");
  const std::string changedText = ini.Text();
  const IniFile changed = IniFile::Parse(changedText);
  FUZZ_CHECK_MSG(changed.Get(section, key) == value, "value: [" + value + "] written as: [" + changedText + "]");
  FUZZ_CHECK(changed.Get("Main", key) == value);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto& [s, k] = keys[i];
    if (SameName(s, "Main") && SameName(k, key)) continue;
    FUZZ_CHECK_MSG(changed.Get(s, k) == values[i], "[" + s + "] " + k + " changed; written as: [" + changedText + "]");
  }
  CheckReadSettings(changed);

  // The program's own write and read of all five values.
  quillon::ui::Settings settings;
  settings.romDir = value;
  settings.saveRomDir = "/home/user/saved roms/";
  settings.ramDir = value + "/";
  settings.patchDir = "";
  settings.writerType = static_cast<quillon::library::WriterType>(static_cast<int>(selector) - 128);
  IniFile ini2 = IniFile::Parse(text);
  quillon::ui::WriteSettings(ini2, settings);
  const quillon::ui::Settings read = quillon::ui::ReadSettings(IniFile::Parse(ini2.Text()), kProgramDir);
  FUZZ_CHECK(read.romDir == settings.romDir);
  FUZZ_CHECK(read.saveRomDir == settings.saveRomDir);
  FUZZ_CHECK(read.ramDir == settings.ramDir);
  FUZZ_CHECK(read.patchDir == settings.patchDir);
  FUZZ_CHECK(read.writerType == settings.writerType);
  return 0;
}
