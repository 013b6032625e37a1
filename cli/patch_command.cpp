// patch IMAGE PATCH OUT: an IPS patch applied to a copy of a file, with no device involved.
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "ops/output_file.h"
#include "ws/ws_operations.h"

namespace quillon::cli {

namespace {

namespace fs = std::filesystem;

// The whole file, or nothing with the reason on standard error.
std::optional<std::vector<std::uint8_t>> readWhole(const std::string& path, const char* what) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  if (error) {
    std::cerr << path << ": the " << what << " cannot be read: " << error.message() << '\n';
    return std::nullopt;
  }
  // Patch offsets and the patching routine's sizes are 32-bit numbers.
  if (size > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max())) {
    std::cerr << path << ": the " << what << " is too large (" << size << " bytes)\n";
    return std::nullopt;
  }
  auto bytes = ops::ReadFilePrefix(path, static_cast<std::size_t>(size));
  if (!bytes || bytes->size() != size) {
    std::cerr << path << ": the " << what << " cannot be read\n";
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

int runPatch(const PatchArgs& args) {
  auto image = readWhole(args.image, "image");
  if (!image) return kExitFailed;
  const auto patch = readWhole(args.patch, "patch file");
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
