// SPDX-License-Identifier: GPL-3.0-or-later
// Writes stand-in menu images cgbbios.bin (16 KiB) and chtbios.bin (32 KiB) into a folder.
// They carry a valid header and an empty directory, and no menu program: enough to write
// and read back GB cards with; the writer's owner puts the real ones in their place.
#include <iostream>

#include "gb_images.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_menu_images DIR\n";
    return 2;
  }
  using namespace quillon::support;
  const std::filesystem::path dir = argv[1];
  writeFile(dir / "cgbbios.bin", makeMenuImage(0x4000));
  writeFile(dir / "chtbios.bin", makeMenuImage(0x8000));
  return 0;
}
