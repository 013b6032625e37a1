// SPDX-License-Identifier: GPL-3.0-or-later
// A main window on a simulated writer with its secondary windows, and the small helpers
// the operation window tests share.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QTimer>

#include <functional>
#include <sstream>
#include <string>
#include <utility>

#include "link/link.h"
#include "ops/command_plan.h"
#include "ops/operation.h"
#include "sim/sim_writer.h"
#include "ui/operation_windows.h"
#include "ui/secondary_windows.h"
#include "window_fixture.h"

namespace quillon::uitest {

inline constexpr int kWait = 60000;  // generous: only keeps a broken test from hanging

// A writer and the link to it, with the link's own diagnostics kept out of the test output.
struct Writer {
  explicit Writer(sim::CardContents card) : port(std::move(card)), link(port, Options()) {}
  // Every command the windows sent is one the card expects.
  ~Writer() {
    std::string notes = "the writer noted commands it did not expect:";
    for (const std::string& note : port.unexpected()) notes += "\n" + note;
    if (!port.unexpected().empty()) QTest::qFail(notes.c_str(), __FILE__, __LINE__);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  link::LinkOptions Options() {
    link::LinkOptions options;
    options.diagnostics = &diagnostics;
    return options;
  }
  std::ostringstream diagnostics;
  sim::SimWriter port;
  link::Link link;
};

// A main window on a writer, with its operation windows.
struct Bench {
  // `copies`: the program keeps copies of save memory (in fixture.backupFolder()), unless
  // `settings` ("AutoBackup=0\n") says otherwise.
  explicit Bench(sim::CardContents card, bool copies = false, const std::string& settings = "")
      : writer(std::move(card)) {
    // The window starts with the writer type of the card, so that its start-up probe is the
    // one the card answers.
    const bool ws = writer.port.cardKind() == sim::CardKind::WsFlash;
    if (ws || !settings.empty())
      fixture.writeSettings(std::string("[Main]\n") + (ws ? "SystemStyle=2\n" : "") + settings);
    if (copies) fixture.keepSaveCopies();
    main = &fixture.open(&writer.link);
    windows = main->windows();
  }
  Writer writer;
  WindowFixture fixture;
  ui::Tform_ZEP* main = nullptr;
  ui::SecondaryWindows windows;
};

// What a command hands an operation window: the image (or save area), the card size, the
// patch file.
inline ops::OperationArgs ImageArgs(int image) {
  ops::OperationArgs args;
  args.image = image;
  return args;
}
inline ops::OperationArgs CardSizeArgs(int cardSize) {
  ops::OperationArgs args;
  args.cardSize = cardSize;
  return args;
}
inline ops::OperationArgs PatchArgs(std::string patchFile) {
  ops::OperationArgs args;
  args.patchFile = std::move(patchFile);
  return args;
}

inline QString Work(QWidget& w) { return Control<QLabel>(w, "lbWork")->text(); }
inline QPushButton* Button(QWidget& w) { return Control<QPushButton>(w, "Button1"); }

inline bool WaitEnded(ui::OperationWindow& window) {
  return QTest::qWaitFor([&] { return !window.running(); }, kWait);
}

// Run() with a watchdog: a window that never closes by itself is closed after a long time,
// so that a broken stop shows as failed checks rather than a hang.
inline ops::Result RunGuarded(ui::OperationWindow& window, const std::function<ops::Result()>& run) {
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, &window, [&] { window.done(QDialog::Rejected); });
  watchdog.start(kWait);
  return run();
}

}  // namespace quillon::uitest
