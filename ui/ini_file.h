// A small INI file reader and writer that keeps the file as the user left it.
//
// Reading follows the usual profile-file rules: section and key names are compared without
// regard to ASCII case, spaces around names and values are ignored, a value wrapped in a
// matching pair of double or single quotes loses them, lines starting with ';' or '#' are
// comments. Writing changes only the line of the key it sets (or adds one line, or one
// section at the end); every other line, comment and section stays as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

  // Sets the value of an existing key in place, or adds the key at the end of the
  // section, or adds the section at the end of the file.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole file as text.
  std::string Text() const;

  // Writes the text to `path`; false when the file could not be written.
  bool Save(const std::filesystem::path& path) const;

 private:
  struct Line {
    enum Kind { Other, Blank, Comment, Section, Key };
    Kind kind = Other;
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
