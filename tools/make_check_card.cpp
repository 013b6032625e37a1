// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the images of the hardware check's test card, each 16 KiB bank (GB) or 64 KiB bank
// (WS) unlike every other, so that a wrong bank or a wrong address line shows as a difference:
//   make_check_card DIR gb   ->  DIR/check-1.gbc (512 KiB, MBC5, 8 KiB save memory),
//                                DIR/check-2.gbc (256 KiB, 8 KiB save memory), both colour
//                                (a card holds colour or mono images, not both),
//                                DIR/check.sav (8 KiB save memory pattern)
//   make_check_card DIR ws   ->  DIR/check.ws (1 MiB, SRAM save), DIR/check.sav (32 KiB)
#include <cstring>
#include <iostream>

#include "gb_images.h"

namespace {

using namespace quillon::support;

// Every byte depends on its offset and on the image, and the first bytes of every 64 KiB bank
// hold the bank's number.
Bytes makeWsImage(std::size_t size) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8) + (i >> 16) * 29);
  for (std::size_t bank = 0; bank * 0x10000 < size; ++bank) {
    image[bank * 0x10000] = static_cast<std::uint8_t>(bank);
    image[bank * 0x10000 + 1] = static_cast<std::uint8_t>(~bank);
  }
  image[size - 5] = 0x02;  // save type: 32 KiB SRAM
  image[size - 4] = 0x04;  // the size code bits (4-5) are left for writing to fill in
  return image;
}

Bytes makeSavePattern(std::size_t size) {
  Bytes save(size);
  for (std::size_t i = 0; i < size; ++i) save[i] = static_cast<std::uint8_t>(0xA5 ^ (i * 3) ^ (i >> 8));
  return save;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[2], "gb") != 0 && std::strcmp(argv[2], "ws") != 0)) {
    std::cerr << "usage: make_check_card DIR gb|ws\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  if (std::strcmp(argv[2], "gb") == 0) {
    writeFile(dir / "check-1.gbc", makeGbImage({"QCHECK ONE", 0x1B, 4, 2, true}));
    writeFile(dir / "check-2.gbc", makeGbImage({"QCHECK TWO", 0x1B, 3, 2, true}));
    writeFile(dir / "check.sav", makeSavePattern(8 * 1024));
  } else {
    writeFile(dir / "check.ws", makeWsImage(1024 * 1024));
    writeFile(dir / "check.sav", makeSavePattern(32 * 1024));
  }
  return 0;
}
