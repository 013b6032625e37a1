// Makes the demo: a folder of synthetic GB and WS images, and a simulated writer holding a
// GB flash card with three of them already on it.
//   make_demo_data DEMO_DIR   ->  DEMO_DIR/roms/*.gb|*.gbc|*.ws, DEMO_DIR/writer/
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
  writeFile(path, image);
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
      {"pocket-racer.gbc", {"POCKET RACER", 0x1B, 5, 3, true}},
      {"tile-quest.gbc", {"TILE QUEST", 0x13, 4, 2, true}},
      {"star-miner.gbc", {"STAR MINER", 0x19, 2, 0, true}},
      {"blocks.gb", {"BLOCKS", 0x01, 0, 0, false}},
      {"cave-story.gb", {"CAVE STORY", 0x03, 3, 2, false}},
      {"mystery.gb", {"MYSTERY", 0x11, 1, 0, false}},
  };
  for (const auto& [name, spec] : gb) writeFile(roms / name, makeGbImage(spec));
  writeWsImage(roms / "sky-garden.wsc", 0x80000, 0x01);
  writeWsImage(roms / "rail-runner.ws", 0x100000, 0x20);

  quillon::sim::insertGbFlash(writer, 0, 21);
  auto bios = readFile(writer / "gb-bios.bin");
  auto flash = readFile(writer / "gb-flash.bin");
  const auto menu = makeMenuImage(0x4000);
  std::copy(menu.begin(), menu.end(), bios.begin());
  placeOnFlashCard(bios, flash,
                   {{makeGbImage(gb[0].second), 0, 4}, {makeGbImage(gb[1].second), 2, 0},
                    {makeGbImage(gb[2].second), 3, 0}},
                   0);
  writeFile(writer / "gb-bios.bin", bios);
  writeFile(writer / "gb-flash.bin", flash);
  std::cout << demo.string() << '\n';
  return 0;
}
