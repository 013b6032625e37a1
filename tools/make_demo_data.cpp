// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the demo: a folder of synthetic GB and WS images (and an IPS patch for the WS image
// with an EEPROM save), a simulated writer holding a GB flash card with three of the images
// already on it, one holding an empty WS flash card, and an empty folder for the files that
// reading and backing up make.
//   make_demo_data DEMO_DIR   ->  DEMO_DIR/roms/*.gb|*.gbc|*.ws|*.wsc|*.ips, DEMO_DIR/writer/,
//                                 DEMO_DIR/writer-ws/, DEMO_DIR/files/
#include <iostream>

#include "gb_images.h"
#include "sim/sim.h"

namespace {

using namespace quillon::support;

void writeWsImage(const std::filesystem::path& path, std::size_t size, std::uint8_t saveType) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 5 + (i >> 15));
  image[size - 5] = saveType;
  image[size - 4] = 0x04;
  fixWsChecksum(image);
  writeFile(path, image);
}

// A GB image whose header and global checksums are both right, as a good dump's are.
Bytes demoGbImage(const GbImageSpec& spec) {
  Bytes image = makeGbImage(spec);
  fixGlobalChecksum(image);
  return image;
}

// An IPS patch that changes 16 bytes at `offset` (counted from the image without header).
void writeIpsPatch(const std::filesystem::path& path, std::uint32_t offset) {
  Bytes patch{'P', 'A', 'T', 'C', 'H'};
  patch.push_back(static_cast<std::uint8_t>(offset >> 16));
  patch.push_back(static_cast<std::uint8_t>(offset >> 8));
  patch.push_back(static_cast<std::uint8_t>(offset));
  patch.push_back(0x00);
  patch.push_back(0x10);
  for (std::uint8_t i = 0; i < 0x10; ++i) patch.push_back(static_cast<std::uint8_t>(0xA0 + i));
  for (char c : {'E', 'O', 'F'}) patch.push_back(static_cast<std::uint8_t>(c));
  writeFile(path, patch);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_demo_data DEMO_DIR\n";
    return 2;
  }
  const std::filesystem::path demo = argv[1];
  const auto roms = demo / "roms";
  const auto writer = demo / "writer";
  std::filesystem::create_directories(roms);

  const std::vector<std::pair<std::string, GbImageSpec>> gb = {
      {"pocket-racer.gbc", {"POCKET RACER", 0x1B, 5, 3, true}}, {"tile-quest.gbc", {"TILE QUEST", 0x13, 4, 2, true}},
      {"star-miner.gbc", {"STAR MINER", 0x19, 2, 0, true}},     {"blocks.gb", {"BLOCKS", 0x01, 0, 0, false}},
      {"cave-story.gb", {"CAVE STORY", 0x03, 3, 2, false}},     {"mystery.gb", {"MYSTERY", 0x11, 1, 0, false}},
  };
  for (const auto& [name, spec] : gb) writeFile(roms / name, demoGbImage(spec));
  writeWsImage(roms / "sky-garden.wsc", 0x80000, 0x01);
  writeWsImage(roms / "rail-runner.ws", 0x100000, 0x20);  // EEPROM save: writing asks for a patch
  writeIpsPatch(roms / "rail-runner.ips", 0x1000);
  std::filesystem::create_directories(demo / "files");
  quillon::sim::insertWsFlash(demo / "writer-ws");

  quillon::sim::insertGbFlash(writer);
  auto bios = readFile(writer / "gb-bios.bin");
  auto flash = readFile(writer / "gb-flash.bin");
  const auto menu = makeMenuImage(0x4000);
  std::copy(menu.begin(), menu.end(), bios.begin());
  placeOnFlashCard(
      bios, flash,
      {{demoGbImage(gb[0].second), 0, 4}, {demoGbImage(gb[1].second), 2, 0}, {demoGbImage(gb[2].second), 3, 0}}, 0);
  writeFile(writer / "gb-bios.bin", bios);
  writeFile(writer / "gb-flash.bin", flash);
  std::cout << demo.string() << '\n';
  return 0;
}
