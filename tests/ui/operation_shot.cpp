// SPDX-License-Identifier: GPL-3.0-or-later
// Renders operation windows into PNG files, for looking at them and for the README:
//   ui_operation_shot OUT.png [--at PERCENT]
//     the GB writing window during a write of three images to a simulated GB flash card,
//     caught at the first step whose progress has reached PERCENT (default 40);
//   ui_operation_shot --gallery DIR
//     every operation window at the end of an operation made up for the picture, once with
//     short texts and once with long ones, as DIR/<window>-end.png and DIR/<window>-long.png.
// Not a test. The write pauses a little at every step, so that the strip has a rate and a
// time left to show by the time the picture is taken.
#include <QApplication>
#include <QDir>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "gb_images.h"
#include "operation_bench.h"
#include "sim/sim_writer.h"
#include "ui/operation_windows.h"

using namespace quillon;
using uitest::Bench;

namespace {

constexpr int kStepPause = 20;  // ms at every step of the write

bool Save(QWidget& window, const QString& path) {
  if (!window.grab().save(path)) {
    std::cerr << "cannot write " << path.toStdString() << '\n';
    return false;
  }
  std::cout << path.toStdString() << '\n';
  return true;
}

int WritingShot(const QString& out, int percent) {
  Bench b(sim::emptyGbFlashCard());
  const std::filesystem::path roms = b.fixture.root() / "roms";
  std::filesystem::create_directories(roms);
  support::writeFile(b.fixture.root() / "cgbbios.bin", support::makeMenuImage(0x4000));
  ops::ProgramState& state = b.main->state();
  for (const auto& [file, spec] :
       {std::pair<const char*, support::GbImageSpec>{"pocket-racer.gbc", {"POCKET RACER", 0x1B, 5, 2, true}},
        {"tile-quest.gbc", {"TILE QUEST", 0x19, 4, 0, true}},
        {"star-miner.gbc", {"STAR MINER", 0x1B, 2, 2, true}}}) {
    support::writeFile(roms / file, support::makeGbImage(spec));
    if (!state.cardList.AddGbImage(roms, file, library::WriterType::Gb).added) {
      std::cerr << file << " not added\n";
      return 1;
    }
  }
  ui::TfmDown& w = *b.windows.fmDown;
  auto* strip = uitest::Control<ui::ProgressStrip>(w, "ProgressBar1");
  bool saved = false;
  bool ok = true;
  QObject::connect(&w, &ui::OperationWindow::workChanged, &w, [&] {
    if (saved) return;
    QTest::qWait(kStepPause);  // the worker waits on this step meanwhile
    if (strip->value() * 100 < strip->maximum() * percent) return;
    saved = true;
    ok = Save(w, out);
  });
  w.Prepare(b.writer.link, state);
  w.open();
  uitest::WaitEnded(w);
  if (!saved) std::cerr << "the write ended before " << percent << "%: " << uitest::Work(w).toStdString() << '\n';
  return saved && ok ? 0 : 1;
}

int Gallery(const QString& dir) {
  QDir().mkpath(dir);
  Bench b(sim::noCard());
  const std::string path = "/home/someone/Games/Game Boy/saves from the flash card/POCKET RACER.sav";
  bool ok = true;
  for (ui::OperationWindow* w : b.windows.operationWindows()) {
    for (const bool longTexts : {false, true}) {
      w->setFileDialogHook([&](const ui::FileDialogRequest&) { return QString::fromStdString(path); });
      w->setOperation([&](ops::Operation& op) {
        op.window.SetFile(longTexts ? "a file name much longer than the window is wide.gbc" : "pocket-racer.gbc");
        if (op.window.AskSaveFile({}).empty()) return ops::Result{ops::Outcome::Cancelled, "Cancel Download"};
        op.window.Progress(longTexts ? 0x30000 : 0x80000, 0x80000);
        const std::string text =
            longTexts ? "Card is not inserted right or FLASH ROM is not supported" : "Downloading Success";
        return ops::Result{longTexts ? ops::Outcome::Failed : ops::Outcome::Success, text};
      });
      w->Prepare(b.writer.link, b.main->state());
      w->open();
      uitest::WaitEnded(*w);
      QApplication::processEvents();
      ok = Save(*w, dir + QLatin1Char('/') + w->objectName() + (longTexts ? "-long.png" : "-end.png")) && ok;
      w->done(0);
    }
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc >= 3 && std::strcmp(argv[1], "--gallery") == 0) return Gallery(QString::fromLocal8Bit(argv[2]));
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--at") == 0)) {
    std::cerr << "usage: ui_operation_shot OUT.png [--at PERCENT] | --gallery DIR\n";
    return 2;
  }
  return WritingShot(QString::fromLocal8Bit(argv[1]), argc == 4 ? std::atoi(argv[3]) : 40);
}
