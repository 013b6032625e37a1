// SPDX-License-Identifier: GPL-3.0-or-later
// The operation windows: their layout, the worker that runs the GB operations against the
// simulated writer (the WS ones: ws_window_tests.cpp), the hand-over of its reports to the
// user-interface thread, Cancel, and a writer shared with another program.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "chips.h"
#include "detect/probe.h"
#include "gb_images.h"
#include "link/link.h"
#include "operation_bench.h"
#include "sim/sim.h"
#include "sim/sim_writer.h"
#include "ui/file_dialogs.h"
#include "ui/operation_windows.h"
#include "ui/secondary_windows.h"
#include "window_fixture.h"

using quillon::ui::OperationWindow;
using quillon::ui::Tform_ZEP;
using namespace quillon::uitest;
namespace sim = quillon::sim;
namespace ops = quillon::ops;
namespace ui = quillon::ui;
namespace support = quillon::support;
namespace detect = quillon::detect;

namespace {

QString Info(Tform_ZEP& w) { return Control<QPlainTextEdit>(w, "ROMINFO")->toPlainText(); }

// The ten operation windows by object name.
OperationWindow* WindowNamed(const ui::SecondaryWindows& windows, const QString& name) {
  for (OperationWindow* window : windows.operationWindows()) {
    if (window->objectName() == name) return window;
  }
  return nullptr;
}

bool IsDownFamily(const QString& name) {
  return name == "fmDown" || name == "fmClear" || name == "fmDownWS" || name == "fmClearWS";
}

void AddDataRows(const char* const* names, int count) {
  QTest::addColumn<QString>("window");
  for (int i = 0; i < count; ++i) QTest::newRow(names[i]) << QString::fromLatin1(names[i]);
}

constexpr const char* kAllWindows[] = {"fmDown",   "fmClear",   "fmUpload",   "fmRAMDown",   "fmRAMUpload",
                                       "fmDownWS", "fmClearWS", "fmUploadWS", "fmRAMDownWS", "fmRAMUploadWS"};

// A main window on a simulated writer kept in a folder, which another program (`other`, a
// port of its own on the folder) may claim. Neither waits long for the other.
struct SharedBench {
  SharedBench() {
    sim::insertGbFlash(dir);
    sim::SimPortOptions options;
    options.claimWait = std::chrono::milliseconds(50);
    options.lockWait = std::chrono::milliseconds(50);
    port = sim::openSimPort(dir, options);
    quillon::link::LinkOptions linkOptions;
    linkOptions.diagnostics = &diagnostics;
    link = std::make_unique<quillon::link::Link>(*port, linkOptions);
    other = sim::openSimPort(dir, options);
  }
  void open() {
    main = &fixture.open(link.get(), port.get());
    windows = main->windows();
  }
  WindowFixture fixture;
  std::filesystem::path dir = fixture.root() / "writer";
  std::ostringstream diagnostics;
  std::unique_ptr<quillon::link::Port> port;
  std::unique_ptr<quillon::link::Link> link;
  std::unique_ptr<quillon::link::Port> other;
  Tform_ZEP* main = nullptr;
  ui::SecondaryWindows windows;
};

// Standard error while it lives, where the windows say why a shared writer was not theirs.
class StandardError {
 public:
  StandardError() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~StandardError() { std::cerr.rdbuf(old_); }
  StandardError(const StandardError&) = delete;
  StandardError& operator=(const StandardError&) = delete;
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) { return support::readFile(path); }

}  // namespace

class OperationWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // --- file dialog filters ----------------------------------------------------------------

  void nameFilters_pairs_qtFilterList_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("rom files") << "Color GameBoy File (*.gbc)|*.gbc|Mono GameBoy File (*.gb)|*.gb"
                               << QStringList{"Color GameBoy File (*.gbc)", "Mono GameBoy File (*.gb)"};
    QTest::newRow("ram file") << "RAM File (*.sav)|*.sav" << QStringList{"RAM File (*.sav)"};
    QTest::newRow("no pattern in name") << "Patch|*.ips" << QStringList{"Patch (*.ips)"};
    QTest::newRow("several patterns") << "Images (*.gb;*.gbc)|*.gb;*.gbc" << QStringList{"Images (*.gb *.gbc)"};
    QTest::newRow("description alone") << "Anything" << QStringList{"Anything (*)"};
    QTest::newRow("empty") << "" << QStringList{};
  }
  void nameFilters_pairs_qtFilterList() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(ui::NameFiltersOf(filter.toStdString()), expected);
  }

  // --- layout -----------------------------------------------------------------------------

  // --- the real GB operations on the simulated writer --------------------------------------

  void write_composedCard_successOkAndCardInfoToMainWindow() {
    Bench b(sim::emptyGbFlashCard());
    const std::filesystem::path roms = b.fixture.root() / "roms";
    std::filesystem::create_directories(roms);
    const auto alpha = support::makeGbImage({"ALPHA", 0x19, 0, 0, false});
    const auto bravo = support::makeGbImage({"BRAVO", 0x1B, 1, 2, false});
    support::writeFile(roms / "alpha.gb", alpha);
    support::writeFile(roms / "bravo.gb", bravo);
    support::writeFile(b.fixture.root() / "cgbbios.bin", support::makeMenuImage(0x4000));
    ops::ProgramState& state = b.main->state();
    QVERIFY(state.cardList.AddGbImage(roms, "alpha.gb", quillon::library::WriterType::Gb).added);
    QVERIFY(state.cardList.AddGbImage(roms, "bravo.gb", quillon::library::WriterType::Gb).added);
    Control<QPlainTextEdit>(*b.main, "ROMINFO")->setPlainText("marker");
    b.main->cardInfo().kind = -1;

    ui::OperationWindow& w = *b.windows.Named("TfmDown");
    QThread* workThread = nullptr;
    connect(&w, &OperationWindow::workChanged, &w, [&] { workThread = QThread::currentThread(); });
    w.Prepare(b.writer.link, state);
    QCOMPARE(Button(w)->text(), QStringLiteral("Cancel"));
    w.open();
    QVERIFY(WaitEnded(w));

    QCOMPARE(Work(w), QStringLiteral("Writing Success"));
    QCOMPARE(Button(w)->text(), QStringLiteral("OK"));
    QVERIFY(w.isVisible());  // stays until the user presses OK
    QVERIFY(w.result().ok());
    QCOMPARE(workThread, qApp->thread());
    // The worker's probe reached the main window: card information and its box.
    QCOMPARE(b.main->cardInfo().kind, 0);
    QVERIFY(Info(*b.main).startsWith(QStringLiteral("Emulator Card")));
    QVERIFY(b.writer.link.stopFlag() == nullptr);  // the operation's stop flag is taken off

    Click(Button(w));
    QVERIFY(!w.isVisible());
    // What was written: a fresh probe finds both images, each in its own 512 KiB region.
    b.main->ProbeCard();
    QCOMPARE(b.main->cardInfo().count, 2);
    const auto flash = b.writer.port.memory(sim::Memory::GbFlash);
    QVERIFY(std::equal(alpha.begin(), alpha.end(), flash.begin()));
    QVERIFY(std::equal(bravo.begin(), bravo.end(), flash.begin() + 0x80000));
  }

  void read_cartridgeImage_fileEqualsImage() {
    const auto rom = support::makeGbImage({"READBACK", 0x19, 1, 0, true});
    Bench b(sim::gbCartridge(rom));
    QCOMPARE(b.main->cardInfo().kind, 1);
    b.main->settings().saveRomDir = b.fixture.programDir();
    const std::string out = (b.fixture.root() / "out" / "read.gbc").string();
    std::filesystem::create_directories(b.fixture.root() / "out");

    ui::OperationWindow& w = *b.windows.Named("TfmUpload");
    std::vector<ui::FileDialogRequest> asked;
    w.setFileDialogHook([&](const ui::FileDialogRequest& request) {
      asked.push_back(request);
      return QString::fromStdString(out);
    });
    QStringList buttonWhileRunning;
    connect(&w, &OperationWindow::workChanged, &w, [&] {
      if (w.running()) buttonWhileRunning.append(Button(w)->text() + (Button(w)->isEnabled() ? "" : " (disabled)"));
    });
    w.Prepare(b.writer.link, b.main->state(), ImageArgs(0));
    w.open();
    QVERIFY(WaitEnded(w));

    QCOMPARE(Work(w), QStringLiteral("Downloading Success"));
    QVERIFY(Button(w)->isEnabled());
    QCOMPARE(Button(w)->text(), QStringLiteral("Close"));
    QVERIFY(!buttonWhileRunning.isEmpty());
    // A stop request while it ran.
    QCOMPARE(buttonWhileRunning, QStringList(buttonWhileRunning.size(), QStringLiteral("Cancel")));
    QCOMPARE(support::readFile(out), rom);
    QCOMPARE(asked.size(), std::size_t{1});
    QCOMPARE(asked[0].mode, ui::FileDialogMode::Save);
    QCOMPARE(asked[0].nameFilters, QStringList({"Color GameBoy File (*.gbc)", "Mono GameBoy File (*.gb)"}));
    QCOMPARE(asked[0].defaultSuffix, QStringLiteral("gbc"));
    QCOMPARE(asked[0].directory, QDir::homePath());  // never the program folder
    QCOMPARE(b.main->settings().saveRomDir, (b.fixture.root() / "out").string() + "/");
    Click(Button(w));
    QVERIFY(!w.isVisible());
  }

  // A name saved without an extension takes the selected filter's, in lower case; the dialog
  // starts in the folder the settings keep for its kind when it exists, never in the program's.
  void saveDialog_filterExtensionAndStartFolder_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("filter");      // the filter picked in the dialog
    QTest::addColumn<QString>("folder");  // the setting: another folder, the program's, or none there
    QTest::addColumn<QString>("file");    // what "back" became
    QTest::newRow("colour, other folder") << "TfmUpload" << 0 << "other"
                                          << "back.gbc";
    QTest::newRow("mono, program folder") << "TfmUpload" << 1 << "program"
                                          << "back.gb";
    QTest::newRow("save, missing folder") << "TfmRAMDown" << 0 << "missing"
                                          << "back.sav";
  }
  void saveDialog_filterExtensionAndStartFolder() {
    QFETCH(QString, window);
    QFETCH(int, filter);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    Bench b(sim::gbCartridge(support::makeGbImage({"NAMES", 0x1B, 0, 2, false})));
    const std::filesystem::path other = b.fixture.root() / "other";
    std::filesystem::create_directories(other);
    const std::string setting = folder == "other"     ? other.string()
                                : folder == "program" ? b.fixture.programDir()
                                                      : (b.fixture.root() / "gone").string();
    b.main->settings().saveRomDir = b.main->settings().ramDir = setting;
    ui::OperationWindow& w = *b.windows.Named(window.toStdString());
    QString started;
    w.setFileDialogHook([&](ui::FileDialogRequest& request) {
      started = request.directory;
      request.selectedFilter = request.nameFilters.value(filter);
      return QString::fromStdString((other / "back").string());
    });
    w.Prepare(b.writer.link, b.main->state(), ImageArgs(0));
    w.open();
    QVERIFY(WaitEnded(w));
    QVERIFY(w.result().ok());
    QCOMPARE(started, folder == "other" ? QString::fromStdString(other.string()) : QDir::homePath());
    QVERIFY(std::filesystem::exists(other / file.toStdString()));
  }

  // In the dialog itself, picking the other filter gives the name in the box and the suffix
  // that filter's extension.
  void saveDialog_filterPicked_nameAndSuffixFollow() {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    ui::ConfigureFileDialog(dialog,
                            ui::FileDialogRequestOf(ui::FileDialogMode::Save,
                                                    {"Color (*.gbc)|*.gbc|Mono (*.gb)|*.gb", "GBC", {}, "RACER.gbc"}));
    QCOMPARE(dialog.defaultSuffix(), QStringLiteral("gbc"));
    emit dialog.filterSelected(QStringLiteral("Mono (*.gb)"));
    QCOMPARE(dialog.defaultSuffix(), QStringLiteral("gb"));
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(), QStringLiteral("RACER.gb"));
  }

  void read_saveDialogCancelled_notSuccessNoFile() {
    Bench b(sim::gbCartridge(support::makeGbImage({"READBACK", 0x19, 0, 0, false})));
    ui::OperationWindow& w = *b.windows.Named("TfmUpload");
    int asked = 0;
    w.setFileDialogHook([&](const ui::FileDialogRequest&) {
      ++asked;
      return QString();
    });
    w.Prepare(b.writer.link, b.main->state());
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(asked, 1);
    QCOMPARE(Work(w), QStringLiteral("Cancel Download"));
    QCOMPARE(w.result().outcome, ops::Outcome::Cancelled);
    QVERIFY(Button(w)->isEnabled());
    QVERIFY(w.isVisible());
  }

  // A save dialog's answer that leads to a copy of save memory: "Error" names it, the dialog again.
  void saveDialog_copyOfSaveMemory_errorBoxThenDialogAgain() {
    const std::vector<std::uint8_t> sav(0x2000, 0x3D), kept(0x2000, 0xC4);
    Bench b(sim::gbCartridge(support::makeGbImage({"SAVER", 0x1B, 0, 2, false}), sav), true);
    const auto copy = b.fixture.backupFolder() / "20260101-120000_gb_SAVER.sav", link = b.fixture.root() / "game.sav";
    std::filesystem::create_directories(b.fixture.backupFolder());
    support::writeFile(copy, kept);
    std::filesystem::create_symlink(copy, link);
    ui::OperationWindow& w = *b.windows.Named("TfmRAMDown");
    QStringList asked, errors;
    w.setFileDialogHook([&](const ui::FileDialogRequest&) {
      asked.append(QString::fromStdString((asked.isEmpty() ? link : b.fixture.root() / "other.sav").string()));
      return asked.back();
    });
    w.setMessageHook([&](const QString& text) { errors.append(text); });
    w.Prepare(b.writer.link, b.main->state());
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].contains(asked[0]), qPrintable(errors[0]));
    QCOMPARE(support::readFile(copy), kept);
    QCOMPARE(support::readFile(b.fixture.root() / "other.sav"), sav);  // the second answer
  }

  void saveMemory_backupThenRestore_roundTripThroughFiles() {
    std::vector<std::uint8_t> sav(0x2000);
    for (std::size_t i = 0; i < sav.size(); ++i) sav[i] = static_cast<std::uint8_t>(i * 5 + 1);
    Bench b(sim::gbCartridge(support::makeGbImage({"SAVER", 0x1B, 0, 2, false}), sav));
    b.main->settings().ramDir = b.fixture.programDir();
    const std::string file = (b.fixture.root() / "game.sav").string();

    // Backup into a file.
    ui::OperationWindow& down = *b.windows.Named("TfmRAMDown");
    std::vector<ui::FileDialogRequest> asked;
    const auto answer = [&](const ui::FileDialogRequest& request) {
      asked.push_back(request);
      return QString::fromStdString(file);
    };
    down.setFileDialogHook(answer);
    down.Prepare(b.writer.link, b.main->state());
    down.open();
    QVERIFY(WaitEnded(down));
    QCOMPARE(Work(down), QStringLiteral("Downloading Success"));
    QCOMPARE(support::readFile(file), sav);
    Click(Button(down));

    // Restore a changed file into the cartridge.
    std::vector<std::uint8_t> changed(sav.rbegin(), sav.rend());
    support::writeFile(file, changed);
    ui::OperationWindow& up = *b.windows.Named("TfmRAMUpload");
    up.setFileDialogHook(answer);
    up.Prepare(b.writer.link, b.main->state());
    up.open();
    QVERIFY(WaitEnded(up));
    QCOMPARE(Work(up), QStringLiteral("Uploading Success"));
    const auto ram = b.writer.port.memory(sim::Memory::CartSav);
    QCOMPARE(std::vector<std::uint8_t>(ram.begin(), ram.end()), changed);

    QCOMPARE(asked.size(), std::size_t{2});
    QCOMPARE(asked[0].mode, ui::FileDialogMode::Save);
    QCOMPARE(asked[1].mode, ui::FileDialogMode::Open);
    for (const auto& request : asked) {
      QCOMPARE(request.nameFilters, QStringList{"RAM File (*.sav)"});
      QCOMPARE(request.defaultSuffix, QStringLiteral("sav"));
    }
  }

  void erase_cancelAfterFirstEraseLabel_closesAndOnlyVoltageOffAfterStop() {
    Bench b(sim::emptyGbFlashCard());
    b.writer.port.faults().busyPolls = 2000;  // long erases
    ui::OperationWindow& w = *b.windows.Named("TfmClear");
    std::size_t commandsAtStop = 0;
    bool stopped = false;
    QStringList labels;
    connect(&w, &OperationWindow::workChanged, &w, [&](const QString& text) {
      labels.append(text);
      if (!stopped && text.startsWith(QStringLiteral("Earsing ROM"))) {
        stopped = true;
        commandsAtStop = b.writer.port.commands().size();  // the worker waits on this label
        Button(w)->click();                                // "Cancel"
      }
    });
    const ops::Result result = RunGuarded(w, [&] { return w.Run(b.writer.link, b.main->state(), CardSizeArgs(1)); });

    // exec() returned: the window has closed and the worker has ended.
    QVERIFY(stopped);
    QVERIFY(!w.running());
    QVERIFY(!w.isVisible());
    QCOMPARE(result.outcome, ops::Outcome::Stopped);
    // The programming voltage this FLASH ROM erases with goes off again, and nothing else.
    QCOMPARE(b.writer.port.commands().size(), commandsAtStop + 1);
    QVERIFY(b.writer.port.commands().back() == (sim::CommandRecord{6, 2, 10, 0, 0}));
    QCOMPARE(labels, QStringList{"Earsing ROM : 0x000000 - 0x00FFFF"});
    QCOMPARE(Work(w), QStringLiteral("Earsing ROM : 0x000000 - 0x00FFFF"));
    QVERIFY(b.writer.link.stopFlag() == nullptr);
  }

  void erase_smallCard_successOk() {
    Bench b(sim::emptyGbFlashCard());
    auto flash = b.writer.port.memory(sim::Memory::GbFlash);
    std::fill(flash.begin(), flash.end(), 0x00);  // everything written
    ui::OperationWindow& w = *b.windows.Named("TfmClear");
    QStringList labels;
    connect(&w, &OperationWindow::workChanged, &w, [&](const QString& text) { labels.append(text); });
    w.Prepare(b.writer.link, b.main->state(), CardSizeArgs(0));
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QStringLiteral("Earsing Success"));
    QCOMPARE(Button(w)->text(), QStringLiteral("OK"));
    QVERIFY(labels.contains(QStringLiteral("Earsing ROM : 0x1F0000 - 0x1FFFFF")));
    QVERIFY(!labels.contains(QStringLiteral("Earsing ROM : 0x200000 - 0x20FFFF")));
    QVERIFY(std::all_of(flash.begin(), flash.begin() + 0x200000, [](auto v) { return v == 0xFF; }));
    QVERIFY(std::all_of(flash.begin() + 0x200000, flash.end(), [](auto v) { return v == 0x00; }));
  }

  // --- the worker and the hand-over, with operations made up for the test -----------------

  void anyWindow_operation_runsOnWorkerReportsOnUiThread_data() {
    AddDataRows(kAllWindows, static_cast<int>(std::size(kAllWindows)));
  }
  void anyWindow_operation_runsOnWorkerReportsOnUiThread() {
    QFETCH(QString, window);
    Bench b(sim::noCard());
    OperationWindow& w = *WindowNamed(b.windows, window);
    std::thread::id operationThread;
    std::vector<QThread*> reportThreads;
    connect(&w, &OperationWindow::workChanged, &w, [&] { reportThreads.push_back(QThread::currentThread()); });
    w.setOperation([&](ops::Operation& op) {
      operationThread = std::this_thread::get_id();
      op.window.SetWork("first");
      op.window.SetFile("file.gb");
      op.window.Progress({.fraction = 0.375, .done = 3, .total = 8});
      op.window.SetWork("last");
      return ops::Result{ops::Outcome::Success, "last"};
    });
    w.Prepare(b.writer.link, b.main->state());
    w.open();
    QVERIFY(WaitEnded(w));
    QVERIFY(operationThread != std::thread::id());
    QVERIFY(operationThread != std::this_thread::get_id());
    QCOMPARE(reportThreads.size(), std::size_t{3});  // two steps and the end
    for (QThread* thread : reportThreads) QCOMPARE(thread, qApp->thread());
    QCOMPARE(Work(w), QStringLiteral("last"));
    QCOMPARE(w.progressReport().done, std::uint64_t{3});
    QCOMPARE(w.progressReport().total, std::uint64_t{8});
    if (auto* lbFile = Control<QLabel>(w, "lbFile")) {
      QCOMPARE(lbFile->text(), QStringLiteral("file.gb"));
    }
    if (IsDownFamily(window)) {
      QCOMPARE(Button(w)->text(), QStringLiteral("OK"));
    } else {
      QVERIFY(Button(w)->isEnabled());
    }
    QVERIFY(w.isVisible());
  }

  void anyWindow_operationThrows_messageInLabelButtonUsable_data() {
    AddDataRows(kAllWindows, static_cast<int>(std::size(kAllWindows)));
  }
  void anyWindow_operationThrows_messageInLabelButtonUsable() {
    QFETCH(QString, window);
    Bench b(sim::noCard());
    OperationWindow& w = *WindowNamed(b.windows, window);
    w.setOperation([](ops::Operation& op) -> ops::Result {
      op.window.SetWork("Writing : 0x000000 - 0x003FFF");
      throw std::runtime_error("bad allocation of a bank buffer");
    });
    w.Prepare(b.writer.link, b.main->state());
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QStringLiteral("bad allocation of a bank buffer"));
    QCOMPARE(w.result().outcome, ops::Outcome::Failed);
    if (IsDownFamily(window)) {
      QCOMPARE(Button(w)->text(), QStringLiteral("OK"));
    } else {
      QVERIFY(Button(w)->isEnabled());
    }
    Click(Button(w));
    QVERIFY(!w.isVisible());
    QVERIFY(b.writer.link.stopFlag() == nullptr);
  }

  void anyWindow_escapeOrCloseWhileRunning_stopsThenCloses_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("escape");
    for (const char* name : kAllWindows) {
      QTest::newRow((std::string(name) + " escape").c_str()) << QString::fromLatin1(name) << true;
      QTest::newRow((std::string(name) + " close").c_str()) << QString::fromLatin1(name) << false;
    }
  }
  void anyWindow_escapeOrCloseWhileRunning_stopsThenCloses() {
    QFETCH(QString, window);
    QFETCH(bool, escape);
    Bench b(sim::noCard());
    OperationWindow& w = *WindowNamed(b.windows, window);
    int stepsAfterStop = -1;
    w.setOperation([&](ops::Operation& op) {
      // Steps until the stop request; each step waits for the window.
      for (int step = 0; step < 100000; ++step) {
        op.window.SetWork("step " + std::to_string(step));
        if (op.stopRequested()) {
          stepsAfterStop = 0;
          return ops::Result{ops::Outcome::Stopped, "Stopped"};
        }
      }
      return ops::Result{ops::Outcome::Failed, "never stopped"};
    });
    bool asked = false;
    connect(&w, &OperationWindow::workChanged, &w, [&](const QString& text) {
      if (asked || text != QStringLiteral("step 3")) return;
      asked = true;
      if (escape) {
        // Straight to the window: a synthesized key press goes to the active window, which
        // the window may not be yet at the time of this step.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&w, &press);
      } else {
        w.close();
      }
      QVERIFY(w.isVisible());  // stays until the worker has ended
    });
    const ops::Result result = RunGuarded(w, [&] { return w.Run(b.writer.link, b.main->state()); });
    QVERIFY(asked);
    QVERIFY(!w.running());
    QVERIFY(!w.isVisible());
    QCOMPARE(stepsAfterStop, 0);
    QCOMPARE(result.outcome, ops::Outcome::Stopped);
    QCOMPARE(Work(w), QStringLiteral("step 3"));  // the step the stop came during
  }

  void down_cancelWhileRunning_stopFlagReachesLink() {
    Bench b(sim::noCard());
    ui::OperationWindow& w = *b.windows.Named("TfmDown");
    bool linkSawStop = false;
    w.setOperation([&](ops::Operation& op) {
      op.window.SetWork("waiting");
      linkSawStop = op.link.stopRequested();
      return ops::Result{ops::Outcome::Stopped, "Stopped"};
    });
    connect(&w, &OperationWindow::workChanged, &w, [&](const QString& text) {
      if (text == QStringLiteral("waiting")) Click(Button(w));
    });
    RunGuarded(w, [&] { return w.Run(b.writer.link, b.main->state()); });
    QVERIFY(linkSawStop);
    QVERIFY(!w.isVisible());
    // The next run gets a fresh stop request.
    bool stopAtStart = true;
    w.setOperation([&](ops::Operation& op) {
      stopAtStart = op.stopRequested() || op.link.stopRequested();
      return ops::Result{ops::Outcome::Success, "done"};
    });
    w.Prepare(b.writer.link, b.main->state());
    w.open();
    QVERIFY(WaitEnded(w));
    QVERIFY(!stopAtStart);
    QCOMPARE(Work(w), QStringLiteral("done"));
  }

  void cardProbed_outcome_mainWindowTakesInfo_data() {
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("rebuilt");
    QTest::newRow("probed") << static_cast<int>(detect::ProbeOutcome::Probed) << true;
    QTest::newRow("device error") << static_cast<int>(detect::ProbeOutcome::DeviceError) << false;
  }
  void cardProbed_outcome_mainWindowTakesInfo() {
    QFETCH(int, outcome);
    QFETCH(bool, rebuilt);
    // The start-up probe leaves a text that a device error keeps.
    Bench b(sim::gbCartridge(support::makeGbImage({"KEPT", 0x19, 0, 0})));
    const QString before = Info(*b.main);
    QVERIFY(before.startsWith(QStringLiteral("Standard Card\nName:KEPT")));
    ui::OperationWindow& w = *b.windows.Named("TfmUpload");
    detect::CardInfo probed;
    probed.kind = rebuilt ? detect::kOrdinaryCartridge : detect::kNoAnswer;
    probed.flashChip = support::chipRow("MITSUBSHI 28F010");
    std::snprintf(probed.cartridge.name.data(), probed.cartridge.name.size(), "FAKE");
    w.setOperation([&](ops::Operation& op) {
      op.window.CardProbed(probed, static_cast<detect::ProbeOutcome>(outcome));
      return ops::Result{ops::Outcome::Success, "done"};
    });
    // The operation's own state: only the hand-over reaches the main window.
    ops::ProgramState elsewhere;
    w.Prepare(b.writer.link, elsewhere);
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(b.main->cardInfo().kind, probed.kind);
    QCOMPARE(b.main->cardInfo().flashChip, probed.flashChip);
    if (rebuilt) {
      QVERIFY(Info(*b.main).startsWith(QStringLiteral("Standard Card\nName:FAKE")));
    } else {
      QCOMPARE(Info(*b.main), QStringLiteral("The writer does not answer\n") + before);
    }
  }

  void destroyWindow_whileWorkerWaitsOnIt_workerStopsNoHang() {
    Bench b(sim::noCard());
    // TfmDown, the table's first window, without a main window.
    std::unique_ptr<OperationWindow> window(ui::MakeOperationWindow(ui::kOperationWindows.front(), nullptr));
    std::atomic<bool> sawStop{false};
    std::atomic<int> steps{0};
    window->setOperation([&](ops::Operation& op) {
      while (!op.stopRequested() && steps < 1000000) {
        op.window.SetWork("busy");
        ++steps;
      }
      sawStop = op.stopRequested();
      return ops::Result{ops::Outcome::Stopped, "Stopped"};
    });
    window->Prepare(b.writer.link, b.main->state());
    window->open();
    QVERIFY(QTest::qWaitFor([&] { return steps.load() > 2; }, kWait));
    window.reset();  // stops the worker and waits for it
    QVERIFY(sawStop);
    QVERIFY(b.writer.link.stopFlag() == nullptr);
  }

  // --- one operation owns a shared writer -------------------------------------------------

  void anyWindow_sharedWriter_heldForTheWholeOperation_data() {
    AddDataRows(kAllWindows, static_cast<int>(std::size(kAllWindows)));
  }
  void anyWindow_sharedWriter_heldForTheWholeOperation() {
    QFETCH(QString, window);
    SharedBench b;
    b.open();
    OperationWindow& w = *WindowNamed(b.windows, window);
    bool otherHadIt = true;
    std::string why;
    int device = 1;
    w.setOperation([&](ops::Operation& op) {
      device = op.link.CheckDevice();
      otherHadIt = b.other->claim(why);  // another program, in the middle of the operation
      b.other->release();
      return ops::Result{ops::Outcome::Success, "done"};
    });
    w.Prepare(*b.link, b.main->state());
    w.open();
    QVERIFY(WaitEnded(w));
    QVERIFY(w.result().ok());
    QCOMPARE(device, 0);  // the writer answered the operation
    QVERIFY2(!otherHadIt, "another program had the writer during the operation");
    QVERIFY2(why.find(b.dir.string()) != std::string::npos, why.c_str());
    QVERIFY2(b.other->claim(why), why.c_str());  // and has it once the operation has ended
    b.other->release();
  }

  void probe_sharedWriterClaimedElsewhere_noAnswer_thenCardOnceFree() {
    SharedBench b;
    auto held = std::make_unique<quillon::link::PortClaim>(b.other.get());
    QVERIFY(held->held());
    {
      StandardError err;
      b.open();  // the start-up probe
      QCOMPARE(b.main->cardInfo().kind, detect::kNoAnswer);
      QCOMPARE(Info(*b.main), QStringLiteral("The writer does not answer"));
      QVERIFY2(err.text().find("quillon: the simulated writer in " + b.dir.string() +
                               " is in use by another program") != std::string::npos,
               err.text().c_str());
    }
    held.reset();
    Click(Control<QPushButton>(*b.main, "Button8"));
    QCOMPARE(b.main->cardInfo().kind, detect::kFlashCard);
    QVERIFY(Info(*b.main).startsWith(QStringLiteral("Emulator Card")));
  }

  void erase_sharedWriterClaimedElsewhere_linkingFail_cardUntouched() {
    SharedBench b;
    b.open();
    const std::filesystem::path flash = b.dir / "gb-flash.bin";
    support::writeFile(flash, std::vector<std::uint8_t>(sim::kGbFlashSize, 0x00));  // everything written
    ui::OperationWindow& w = *b.windows.Named("TfmClear");
    {
      const quillon::link::PortClaim held(b.other.get());
      QVERIFY(held.held());
      StandardError err;
      w.Prepare(*b.link, b.main->state(), CardSizeArgs(0));
      w.open();
      QVERIFY(WaitEnded(w));
      QCOMPARE(Work(w), QStringLiteral("Linking Fail"));
      QVERIFY(!w.result().ok());
      QVERIFY2(err.text().find(b.dir.string()) != std::string::npos, err.text().c_str());
    }
    QVERIFY(FileBytes(flash) == std::vector<std::uint8_t>(sim::kGbFlashSize, 0x00));
    w.done(QDialog::Accepted);
    w.Prepare(*b.link, b.main->state(), CardSizeArgs(0));
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QStringLiteral("Earsing Success"));
    const auto erased = FileBytes(flash);
    QVERIFY(std::all_of(erased.begin(), erased.begin() + 0x200000, [](auto v) { return v == 0xFF; }));
  }
};

int RunOperationWindowTests(int argc, char** argv) {
  OperationWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "operation_window_tests.moc"
