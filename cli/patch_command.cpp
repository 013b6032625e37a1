// patch IMAGE PATCH OUT: an IPS patch applied to a copy of a file, with no device involved.
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "ops/output_file.h"
#include "ws/ws_operations.h"

namespace quillon::cli {

namespace {

// The whole file, or nothing with `heading` and the reason on standard error.
std::optional<std::vector<std::uint8_t>> readWhole(const std::string& path, const char* what,
                                                   const std::string& heading = {}) {
  std::error_code error;
  auto bytes = ops::ReadWholeFile(path, error);
  if (!bytes) std::cerr << heading << path << ": the " << what << " cannot be read: " << error.message() << '\n';
  return bytes;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readPatchFile(const std::string& path) {
  return readWhole(path, "patch file", "Opening " + path + " Error\n");
}

int runPatch(const PatchArgs& args) {
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
    std::cerr << args.out << ": cannot be written\n";
    return kExitFailed;
  }
  std::cout << "Patched " << args.image << " into " << args.out << '\n';
  return kExitOk;
}

}  // namespace quillon::cli
