// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the main window into a PNG with a folder of synthetic images listed and a card
// composed, for looking at the layout:
//   ui_window_shot OUT.png [--port SPEC] [--size WxH]
// Without --port the writer is a simulated one holding an ordinary cartridge; --size gives
// the client size (default: the design size).
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "connect/open_port.h"
#include "image_files.h"
#include "link/link.h"
#include "sim/sim_writer.h"
#include "ui/main_window.h"
#include "window_fixture.h"

using namespace quillon;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::cerr << "usage: ui_window_shot OUT.png [--port SPEC] [--size WxH]\n";
    return 2;
  }
  const std::string out = argv[1];
  std::string spec;
  int width = ui::Tform_ZEP::kDesignWidth;
  int height = ui::Tform_ZEP::kDesignHeight;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--port") == 0) {
      spec = argv[i + 1];
    } else if (std::strcmp(argv[i], "--size") == 0 && std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2) {
    } else {
      std::cerr << "ui_window_shot: bad argument " << argv[i] << '\n';
      return 2;
    }
  }

  QTemporaryDir dir(QStringLiteral("/tmp/qw-XXXXXX"));
  const std::filesystem::path program = dir.path().toStdString();
  const std::filesystem::path root = program / "roms";
  std::filesystem::create_directory(root);
  using uitest::GbHeader;
  uitest::WriteGbImage(root / "adjustris.gb", {"ADJUSTRIS", 0x00, 0, 0, false});
  uitest::WriteGbImage(root / "back-to-color.gbc", {"BACKTOCOLOR", 0x19, 1, 0, true});
  uitest::WriteGbImage(root / "dawn.gb", {"DAWN WILL COME", 0x1B, 5, 3, false});
  uitest::WriteGbImage(root / "flooder.gb", {"FLOODER", 0x01, 1, 0, false});
  uitest::WriteGbImage(root / "gb-key.gb", {"GB KEY", 0x13, 2, 1, false});
  uitest::WriteGbImage(root / "mmm01.gb", {"MMM01 TEST", 0x0B, 4, 0, false});
  uitest::WriteGbImage(root / "plantboy.gb", {"PLANTBOY", 0x1B, 3, 2, false});
  uitest::WriteGbImage(root / "sgb_jam.gb", {"SGBJAM", 0x03, 1, 2, false});
  uitest::WriteGbImage(root / "snake.gb", {"SNAKE", 0x00, 0, 0, false});
  uitest::WriteGbImage(root / "tobu.gb", {"TOBU TOBU GIRL", 0x1B, 4, 3, false});
  uitest::WriteGbImage(root / "wuxia.gb", {"\xAA\x5A\xAB\x4C\xB6\xC7\xBB\xA1", 0x1B, 4, 3, false});
  uitest::WriteWsImage(root / "swan.ws", 0x100000, 0x10);

  std::ostringstream diagnostics;
  std::unique_ptr<link::Port> port;
  if (spec.empty()) {
    std::vector<std::uint8_t> rom(0x8000, 0);
    std::memcpy(&rom[0x134], "SNAKE", 5);
    rom[0x147] = 0x01;
    port = std::make_unique<sim::SimWriter>(sim::gbCartridge(rom));
  } else {
    port = connect::openPort(spec);
  }
  link::LinkOptions options;
  options.diagnostics = &diagnostics;
  link::Link link(*port, options);

  uitest::WriteText(program / "quillon.INI", "[Main]\nRomDir=" + root.string() + "/\nSystemStyle=0\n");
  ui::Tform_ZEP window({program.string() + "/", program / "quillon.INI", {}}, link);
  window.show();
  window.resize(width, height);
  auto* lvFiles = uitest::Control<QTreeWidget>(window, "lvFiles");
  for (const char* file : {"dawn.gb", "tobu.gb", "wuxia.gb", "gb-key.gb"}) {
    uitest::ClickRow(lvFiles, QString::fromLatin1(file));
    uitest::Click(uitest::Control<QPushButton>(window, "Button3"));
  }
  uitest::ClickRow(lvFiles, QStringLiteral("plantboy.gb"));
  QApplication::processEvents();
  if (!window.grab().save(QString::fromStdString(out))) {
    std::cerr << "cannot write " << out << '\n';
    return 1;
  }
  std::cout << out << '\n';
  return 0;
}
