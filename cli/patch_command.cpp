// SPDX-License-Identifier: GPL-3.0-or-later
// patch IMAGE PATCH OUT: an IPS patch applied to a copy of a file, with no device involved.
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/operation_run.h"
#include "library/regular_file.h"
#include "library/rom_header.h"
#include "ops/output_file.h"
#include "ws/ws_operations.h"

namespace quillon::cli {

namespace {

// The whole file, or nothing with `heading` and the reason on standard error.
std::optional<std::vector<std::uint8_t>> readWhole(const std::string& path, const char* what,
                                                   const std::string& heading = {}) {
  std::string reason;
  auto bytes = library::ReadWholeFile(path, &reason);
  if (!bytes)
    std::cerr << library::EscapeField(heading) << (heading.empty() ? "" : "\n") << library::EscapeField(path)
              << ": the " << what << " cannot be read: " << reason << '\n';
  return bytes;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readPatchFile(const std::string& path) {
  return readWhole(path, "patch file", "Opening " + path + " Error");
}

int runPatch(const GlobalOptions& options, const PatchArgs& args) {
  // No port is opened, but OUT may still name a writer's memory or a copy of save memory.
  if (const int status = checkOutput(options, args.out); status != kGoOn) return status;
  auto image = readWhole(args.image, "image");
  if (!image) return kExitFailed;
  const auto patch = readPatchFile(args.patch);
  if (!patch) return kExitFailed;
  if (ws::ApplyIpsPatch(*image, *patch) != 0) {
    std::cerr << "Patch File Error\n"
              << args.patch << " is not an IPS patch that fits " << args.image << "; " << args.out
              << " was not written\n";
    return kExitFailed;
  }
  ops::OutputFile out;
  if (!out.Open(args.out) || !out.Write(*image) || !out.Commit()) {
    std::cerr << library::EscapeField(args.out) << ": cannot be written: " << out.reason() << '\n';
    return kExitFailed;
  }
  std::cout << "Patched " << library::EscapeField(args.image) << " into " << library::EscapeField(args.out) << '\n';
  return kExitOk;
}

}  // namespace quillon::cli
