// SPDX-License-Identifier: GPL-3.0-or-later
// check: what an image file's header says, its checksums, and what the DATs say of it; the
// port is not opened.
#include <iostream>

#include "cli/commands.h"
#include "cli/dat_verdicts.h"
#include "library/regular_file.h"
#include "library/rom_header.h"

namespace quillon::cli {

namespace {

std::string FactsLine(const std::string& image, library::ImageFamily family) {
  if (family == library::ImageFamily::Gb)
    return library::FormatListRow(library::GbFileRow(image, library::ReadGbFacts(image)));
  return library::FormatListRow(library::WsRow(image, library::ReadWsFacts(image)));
}

// Prints the image's lines; true when it passes: a good dump, or with no DAT, right checksums.
bool CheckImage(const std::string& image, library::ImageFamily family, const dat::DatSet& dats) {
  std::string reason;
  const auto bytes = library::ReadWholeFile(image, &reason);
  if (!bytes) {
    std::cerr << library::EscapeField(image) << ": " << library::EscapeField(reason) << '\n';
    return false;
  }
  library::ChecksumSum sum(family);
  sum.Add(*bytes);
  const auto sums = sum.Result();
  std::cout << FactsLine(image, family) << '\n' << library::ChecksumLine(sums) << '\n';
  if (dats.empty()) return sums.headerRight() && sums.globalRight();
  const auto verdict = dats.Judge(*bytes, family);
  std::cout << verdict.line << '\n';
  return verdict.kind == dat::VerdictKind::GoodDump;
}

}  // namespace

int runCheck(const GlobalOptions& options, const CheckArgs& args) {
  const dat::DatSet dats = LoadDats(args.dats);
  bool allPass = true;
  for (const auto& image : args.images) allPass = CheckImage(image, ImageFamilyOf(options), dats) && allPass;
  return allPass ? kExitOk : kExitFailed;
}

}  // namespace quillon::cli
