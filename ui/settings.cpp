// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <fstream>
#include <system_error>

namespace quillon::ui {
namespace {

constexpr std::string_view kRomDir = "RomDir";
constexpr std::string_view kSaveRomDir = "SaveROMDir";
constexpr std::string_view kRamDir = "RAMDir";
constexpr std::string_view kPatchDir = "PatchDir";
constexpr std::string_view kSystemStyle = "SystemStyle";
// Read only: a user who does not want the copies writes AutoBackup=0 into the file.
constexpr std::string_view kAutoBackup = "AutoBackup";
// Written only once it was turned on, so that a file that never had it stays as it was.
constexpr std::string_view kVerifyAfterWrite = "VerifyAfterWrite";
constexpr std::string_view kReadTwice = "ReadTwice";  // as VerifyAfterWrite

// The main window's place, written at exit once it was moved or resized, or when the file
// already holds it.
constexpr std::array<std::string_view, 4> kPlaceKeys = {"Left", "Top", "Width", "Height"};

}  // namespace

std::optional<int> ParseDecimal(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

namespace {

// A check box's key: on when it holds a number other than 0.
bool ReadSwitch(const IniFile& ini, std::string_view key) {
  const auto text = ini.Get(kSettingsSection, key);
  return text && ParseDecimal(*text).value_or(0) != 0;
}

// Written only once the box was ticked, so that a file that never had the key stays as it was.
void WriteSwitch(IniFile& ini, std::string_view key, bool on) {
  if (on || ini.Get(kSettingsSection, key)) ini.Set(kSettingsSection, key, on ? "1" : "0");
}

}  // namespace

Settings ReadSettings(const IniFile& ini, const std::string& programDir) {
  auto get = [&](std::string_view key) { return ini.Get(kSettingsSection, key).value_or(programDir); };
  Settings s;
  s.romDir = get(kRomDir);
  s.saveRomDir = get(kSaveRomDir);
  s.ramDir = get(kRamDir);
  s.patchDir = get(kPatchDir);
  const auto style = ini.Get(kSettingsSection, kSystemStyle);
  s.writerType = static_cast<library::WriterType>(style ? ParseDecimal(*style).value_or(0) : 0);
  const auto autoBackup = ini.Get(kSettingsSection, kAutoBackup);
  s.autoBackup = !(autoBackup && ParseDecimal(*autoBackup) == 0);
  s.verifyAfterWrite = ReadSwitch(ini, kVerifyAfterWrite);
  s.readTwice = ReadSwitch(ini, kReadTwice);
  return s;
}

void WriteSettings(IniFile& ini, const Settings& settings) {
  ini.Set(kSettingsSection, kRomDir, settings.romDir);
  ini.Set(kSettingsSection, kSaveRomDir, settings.saveRomDir);
  ini.Set(kSettingsSection, kRamDir, settings.ramDir);
  ini.Set(kSettingsSection, kPatchDir, settings.patchDir);
  ini.Set(kSettingsSection, kSystemStyle, std::to_string(static_cast<int>(settings.writerType)));
  WriteSwitch(ini, kVerifyAfterWrite, settings.verifyAfterWrite);
  WriteSwitch(ini, kReadTwice, settings.readTwice);
}

std::optional<WindowPlace> ReadWindowPlace(const IniFile& ini) {
  std::array<int, kPlaceKeys.size()> values{};
  for (std::size_t i = 0; i < kPlaceKeys.size(); ++i) {
    const auto text = ini.Get(kSettingsSection, kPlaceKeys[i]);
    const std::optional<int> value = text ? ParseDecimal(*text) : std::nullopt;
    if (!value) return std::nullopt;
    values[i] = *value;
  }
  return WindowPlace{values[0], values[1], values[2], values[3]};
}

void WriteWindowPlace(IniFile& ini, const WindowPlace& place) {
  const std::array<int, kPlaceKeys.size()> values{place.left, place.top, place.width, place.height};
  for (std::size_t i = 0; i < kPlaceKeys.size(); ++i)
    ini.Set(kSettingsSection, kPlaceKeys[i], std::to_string(values[i]));
}

std::string ProgramDirOf(const std::filesystem::path& executable) {
  std::string dir = executable.parent_path().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::filesystem::path SettingsFileFor(const std::filesystem::path& executable) {
  const std::string name = executable.filename().string();
  const std::size_t dot = name.rfind('.');
  const std::string base = dot == std::string::npos ? name + "." : name.substr(0, dot + 1);
  return executable.parent_path() / (base + "INI");
}

std::filesystem::path UserConfigDir(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome != nullptr && *xdgConfigHome != '\0') {
    const std::filesystem::path xdg(xdgConfigHome);
    if (xdg.is_absolute()) return xdg / "quillon";
  }
  if (home != nullptr && *home != '\0') return std::filesystem::path(home) / ".config" / "quillon";
  return {};
}

SettingsLocation ChooseSettingsLocation(const std::filesystem::path& executable, bool programDirWritable,
                                        const std::filesystem::path& userConfigDir) {
  const std::filesystem::path beside = SettingsFileFor(executable);
  if (programDirWritable || userConfigDir.empty()) return {beside, false};
  return {userConfigDir / beside.filename(), true};
}

bool SeedUserSettings(const SettingsLocation& location, const std::filesystem::path& besideFile) {
  std::error_code ec;
  if (!location.inUserConfig || std::filesystem::exists(location.path, ec) ||
      !std::filesystem::is_regular_file(besideFile, ec))
    return false;
  std::filesystem::create_directories(location.path.parent_path(), ec);
  return std::filesystem::copy_file(besideFile, location.path, ec) && !ec;
}

bool IsWritableDirectory(const std::filesystem::path& dir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return false;
  return ::access(dir.c_str(), W_OK) == 0;
}

bool SaveSettingsFile(const std::filesystem::path& path, const Settings& settings,
                      const std::optional<WindowPlace>& place) {
  if (path.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
  }
  // A file that is there but cannot be read would be replaced by the five keys alone.
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !std::ifstream(path, std::ios::binary)) return false;
  IniFile ini = IniFile::Load(path);
  WriteSettings(ini, settings);
  if (place) WriteWindowPlace(ini, *place);
  return ini.Save(path);
}

}  // namespace quillon::ui
