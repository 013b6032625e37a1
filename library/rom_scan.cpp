// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/rom_scan.h"

#include <algorithm>
#include <array>
#include <string>
#include <system_error>

namespace quillon::library {

namespace {

unsigned char FoldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

constexpr std::array<std::string_view, 2> kGbMasks = {".gb", ".gbc"};
constexpr std::array<std::string_view, 2> kWsMasks = {".ws", ".wsc"};

// Names of the regular files in `dir` that the file list of `writerType` shows.
std::vector<std::string> MatchingFiles(const std::filesystem::path& dir, WriterType writerType, std::string* error) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec);
  if (ec) {
    if (error) *error = ec.message();
    return names;
  }
  for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) {
      if (error) *error = ec.message();
      break;
    }
    std::string name = it->path().filename().string();
    if (!IsImageFileName(name, writerType)) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError) || typeError) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return FileNameLess(a, b); });
  return names;
}

}  // namespace

bool FileNameLess(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = FoldCase(a[i]);
    const unsigned char y = FoldCase(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  // Equal without regard to case: the byte order decides.
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

bool MatchesExtension(std::string_view fileName, std::string_view extension) {
  if (fileName.size() < extension.size()) return false;
  const std::string_view tail = fileName.substr(fileName.size() - extension.size());
  return std::equal(tail.begin(), tail.end(), extension.begin(), extension.end(),
                    [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

bool IsImageFileName(std::string_view fileName, WriterType writerType) {
  const auto matches = [fileName](const auto& masks) {
    return std::any_of(masks.begin(), masks.end(),
                       [&](std::string_view ext) { return MatchesExtension(fileName, ext); });
  };
  if (IsGbWriter(writerType)) return matches(kGbMasks);
  return writerType == WriterType::Ws && matches(kWsMasks);
}

std::vector<ListRow> ScanRomDir(const std::filesystem::path& romDir, WriterType writerType, std::string* error) {
  const std::filesystem::path dir = romDir.empty() ? std::filesystem::path(".") : romDir;

  std::vector<ListRow> rows;
  if (IsGbWriter(writerType)) {
    const std::vector<std::string> names = MatchingFiles(dir, writerType, error);
    rows.reserve(names.size());
    for (const std::string& name : names) rows.push_back(GbFileRow(name, ReadGbFacts(dir / name)));
  } else if (writerType == WriterType::Ws) {
    const std::vector<std::string> names = MatchingFiles(dir, writerType, error);
    rows.reserve(names.size());
    for (const std::string& name : names) rows.push_back(WsRow(name, ReadWsFacts(dir / name)));
  }
  return rows;
}

}  // namespace quillon::library
