// SPDX-License-Identifier: GPL-3.0-or-later
// A plain program, not a test: how long a DAT of 10,000 entries takes to load, and checking
// 1,000 images of 1 MiB against it next to reading and hashing them, and next to sha1sum on
// the same files. The files go into a temporary folder that is removed at the end.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dat/hashes.h"
#include "dat/verdict.h"
#include "library/regular_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kEntries = 10'000;
constexpr int kImages = 1'000;
constexpr std::size_t kImageSize = std::size_t{1} << 20;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<std::uint8_t> ImageNumber(int n) {
  std::vector<std::uint8_t> image(kImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>((i * 131 + i / 4099 + n * 7) ^ n);
  for (std::size_t i = 0; i < 4; ++i) image[i] = static_cast<std::uint8_t>(n >> (8 * i));  // no two alike
  return image;
}

// Every tenth image is in the DAT; the rest of the entries are made up.
void WriteFiles(const fs::path& folder) {
  std::ofstream dat(folder / "bench.xml");
  dat << "<?xml version=\"1.0\"?>\n<datafile><header><name>Bench</name></header>\n";
  for (int n = 0; n < kImages; ++n) {
    const auto image = ImageNumber(n);
    std::ofstream(folder / ("image" + std::to_string(n) + ".gb"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (n % 10 != 0) continue;
    const auto hashes = quillon::dat::HashBytes(image);
    dat << "<game name=\"Image " << n << "\"><rom name=\"i.gb\" size=\"" << image.size() << "\" crc=\"" << hashes.crc32
        << "\" md5=\"" << hashes.md5 << "\" sha1=\"" << hashes.sha1 << "\"/></game>\n";
  }
  for (int n = kImages / 10; n < kEntries; ++n)
    dat << "<game name=\"Filler " << n << "\"><rom name=\"f.gb\" size=\"1048576\" crc=\"" << std::hex << 0x10000000 + n
        << std::dec << "\" sha1=\"0000000000000000000000000000000000000000\"/></game>\n";
  dat << "</datafile>\n";
}

}  // namespace

int main() {
  const fs::path folder = fs::temp_directory_path() / ("quillon-dat-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  WriteFiles(folder);

  auto start = Clock::now();
  const quillon::dat::DatSet dats({(folder / "bench.xml").string()});
  const double load = SecondsSince(start);
  if (!dats.errors().empty()) std::printf("%s\n", dats.errors().front().c_str());

  int good = 0;
  start = Clock::now();
  for (int n = 0; n < kImages; ++n) {
    const auto bytes = quillon::library::ReadWholeFile(folder / ("image" + std::to_string(n) + ".gb"));
    if (bytes && dats.Judge(*bytes, quillon::library::ImageFamily::Gb).kind == quillon::dat::VerdictKind::GoodDump)
      ++good;
  }
  const double check = SecondsSince(start);

  start = Clock::now();
  for (int n = 0; n < kImages; ++n) {
    const auto bytes = quillon::library::ReadWholeFile(folder / ("image" + std::to_string(n) + ".gb"));
    if (bytes) (void)quillon::dat::HashBytes(*bytes);
  }
  const double hashAll = SecondsSince(start);

  start = Clock::now();
  const std::string sha1sum = "cd '" + folder.string() + "' && sha1sum image*.gb >/dev/null";
  const int sumStatus = std::system(sha1sum.c_str());
  const double sha1 = SecondsSince(start);
  fs::remove_all(folder);

  std::printf("load a DAT of %d entries: %.3f s\n", kEntries, load);
  std::printf("check %d images of 1 MiB: %.2f s (%d good dumps)\n", kImages, check, good);
  std::printf("read and hash all four of each: %.2f s\n", hashAll);
  std::printf("sha1sum on the same files: %.2f s%s\n", sha1, sumStatus == 0 ? "" : " (failed)");
  std::printf("check / sha1sum: %.2f; read and hash / sha1sum: %.2f\n", check / sha1, hashAll / sha1);
  return good == kImages / 10 ? 0 : 1;
}
