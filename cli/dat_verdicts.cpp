// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/dat_verdicts.h"

#include <cstdlib>
#include <iostream>

#include "library/regular_file.h"

namespace quillon::cli {

std::vector<std::string> DatFiles(const std::vector<std::string>& given) {
  std::vector<std::string> files = given;
  const char* variable = std::getenv("QUILLON_DAT");
  std::string_view rest = variable != nullptr ? variable : "";
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const auto file = rest.substr(0, colon);
    if (!file.empty()) files.emplace_back(file);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  }
  return files;
}

dat::DatSet LoadDats(const std::vector<std::string>& given) {
  dat::DatSet dats(DatFiles(given));
  for (const auto& error : dats.errors()) std::cerr << error << '\n';
  return dats;
}

library::ImageFamily ImageFamilyOf(const GlobalOptions& options) {
  return library::IsGbWriter(writerTypeOf(options.writer)) ? library::ImageFamily::Gb : library::ImageFamily::Ws;
}

dat::Verdict VerdictOfWrittenFile(const dat::DatSet& dats, const std::filesystem::path& file,
                                  library::ImageFamily family) {
  const auto bytes = library::ReadWholeFile(file);
  if (!bytes) return dat::NoVerdict("OUT cannot be read back");
  return dats.Judge(*bytes, family);
}

}  // namespace quillon::cli
