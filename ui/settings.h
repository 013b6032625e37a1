// SPDX-License-Identifier: GPL-3.0-or-later
// The program's settings: where the file lives and the values of its section "Main".
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "ops/program_state.h"
#include "ui/ini_file.h"

namespace quillon::ui {

inline constexpr std::string_view kSettingsSection = "Main";

// The values of section "Main" are part of the program state the operations share.
using Settings = ops::Settings;

// The values of section "Main"; every missing directory key takes `programDir`, SystemStyle 0,
// AutoBackup on, VerifyAfterWrite off.
Settings ReadSettings(const IniFile& ini, const std::string& programDir);

// Sets the five keys RomDir, SaveROMDir, RAMDir, PatchDir, SystemStyle in that order, then
// VerifyAfterWrite when it is on or the file already holds it (AutoBackup is only read).
void WriteSettings(IniFile& ini, const Settings& settings);

// The main window's place on the screen, its client area in screen pixels: the keys Left,
// Top, Width and Height of section "Main".
struct WindowPlace {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// The four keys, when every one of them holds a decimal integer.
std::optional<WindowPlace> ReadWindowPlace(const IniFile& ini);

// Sets the four keys Left, Top, Width, Height in that order.
void WriteWindowPlace(IniFile& ini, const WindowPlace& place);

// A decimal integer (optional sign, spaces around it allowed) that fits in 32 bits.
std::optional<int> ParseDecimal(std::string_view text);

// The directory of an executable, ending in '/'.
std::string ProgramDirOf(const std::filesystem::path& executable);

// The settings file beside an executable: its name with the extension replaced by "INI"
// ("writer.exe" -> "writer.INI"); a name without an extension gets ".INI".
std::filesystem::path SettingsFileFor(const std::filesystem::path& executable);

// The per-user configuration folder of the program: $XDG_CONFIG_HOME/quillon when that is
// an absolute path, else $HOME/.config/quillon; empty when neither is known.
std::filesystem::path UserConfigDir(const char* xdgConfigHome, const char* home);

// Where the settings are kept: beside the executable, or, when the program's directory
// cannot be written, under the same file name in the user's configuration folder.
struct SettingsLocation {
  std::filesystem::path path;
  bool inUserConfig = false;
};
SettingsLocation ChooseSettingsLocation(const std::filesystem::path& executable, bool programDirWritable,
                                        const std::filesystem::path& userConfigDir);

// When the settings move to the user's folder for the first time, a settings file already
// beside the executable (one written by hand, say) is copied there so that it is not lost.
// True when it was copied.
bool SeedUserSettings(const SettingsLocation& location, const std::filesystem::path& besideFile);

// True when files can be created in `dir`.
bool IsWritableDirectory(const std::filesystem::path& dir);

// Writes the settings, and the window's place when one is given, into the file at `path`,
// keeping everything else the file holds; creates the file's folder when it is missing.
// False, and the file left as it was, when it could not be written (IniFile::Save) or is
// there but cannot be read.
bool SaveSettingsFile(const std::filesystem::path& path, const Settings& settings,
                      const std::optional<WindowPlace>& place = std::nullopt);

}  // namespace quillon::ui
