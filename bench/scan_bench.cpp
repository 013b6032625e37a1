// SPDX-License-Identifier: GPL-3.0-or-later
// Listing a ROM directory of 10,000 GB images and one of 10,000 WS images.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library/rom_scan.h"

namespace {

constexpr int kImageCount = 10000;

std::string ImageName(int i, const char* extension) {
  std::array<char, 32> name{};
  std::snprintf(name.data(), name.size(), "game%05d%s", i, extension);
  return name.data();
}

// GB images of 0x400 bytes with a full header, half of them "*.gbc".
void MakeGbImages(const std::filesystem::path& dir) {
  std::vector<char> bytes(0x400, 0);
  for (int i = 0; i < kImageCount; ++i) {
    const std::string title = "GAME" + std::to_string(i);
    for (std::size_t k = 0; k < 15; ++k) bytes[0x134 + k] = k < title.size() ? title[k] : '\0';
    bytes[0x143] = static_cast<char>(i % 2 == 0 ? 0x80 : 0x00);
    bytes[0x147] = static_cast<char>(0x19 + i % 6);
    bytes[0x148] = static_cast<char>(i % 8);
    bytes[0x149] = static_cast<char>(i % 4);
    std::ofstream out(dir / ImageName(i, i % 2 == 0 ? ".gbc" : ".gb"), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
}

// WS images of 4 Mbit (sparse) with a save type byte five bytes before the end.
void MakeWsImages(const std::filesystem::path& dir) {
  constexpr std::uintmax_t kSize = 0x80000;
  for (int i = 0; i < kImageCount; ++i) {
    const auto file = dir / ImageName(i, i % 2 == 0 ? ".wsc" : ".ws");
    { std::ofstream create(file, std::ios::binary); }
    std::filesystem::resize_file(file, kSize);
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(kSize - 5));
    out.put(static_cast<char>(i % 3 == 0 ? 0x20 : 0x01));
  }
}

void ScanFolder(benchmark::State& state, const std::filesystem::path& dir, quillon::library::WriterType writerType) {
  std::size_t rows = 0;
  for (auto _ : state) {
    const auto list = quillon::library::ScanRomDir(dir, writerType);
    rows = list.size();
    benchmark::DoNotOptimize(list.data());
  }
  if (rows != static_cast<std::size_t>(kImageCount)) state.SkipWithError("wrong number of rows");
  state.SetItemsProcessed(state.iterations() * kImageCount);
}

}  // namespace

int main(int argc, char** argv) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-scan-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a temporary folder\n");
    return 1;
  }
  const std::filesystem::path root = pattern;
  const auto gbDir = root / "gb";
  const auto wsDir = root / "ws";
  std::filesystem::create_directory(gbDir);
  std::filesystem::create_directory(wsDir);
  MakeGbImages(gbDir);
  MakeWsImages(wsDir);

  benchmark::RegisterBenchmark("ScanRomDir/gb_10000", [&](benchmark::State& state) {
    ScanFolder(state, gbDir, quillon::library::WriterType::Gb);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ScanRomDir/ws_10000", [&](benchmark::State& state) {
    ScanFolder(state, wsDir, quillon::library::WriterType::Ws);
  })->Unit(benchmark::kMillisecond);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return 0;
}
