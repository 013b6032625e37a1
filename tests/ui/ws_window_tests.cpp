// SPDX-License-Identifier: GPL-3.0-or-later
// The WS windows: the patch question and the WS operation windows running the WS card
// operations against the simulated writer's WS flash card.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "gb_images.h"
#include "operation_bench.h"
#include "sim/sim_writer.h"
#include "ui/operation_windows.h"
#include "ui/secondary_windows.h"
#include "window_fixture.h"

using namespace quillon::uitest;
namespace sim = quillon::sim;
namespace ops = quillon::ops;
namespace ui = quillon::ui;
namespace support = quillon::support;

namespace {

constexpr std::size_t kImageSize = 0x80000;
constexpr std::size_t kCardSize = 0x400000;

// A 512 KiB WS image whose bytes all differ from the erased state somewhere; the byte that
// carries the size code on the card keeps its bits 3 to 7 clear, so a read-back equals it.
std::vector<std::uint8_t> MakeWsImage() {
  std::vector<std::uint8_t> image(kImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
  }
  image[kImageSize - 4] = 0x05;
  image[kImageSize - 5] = 0x00;  // save type: none
  return image;
}

// Puts `image` into the card list of the bench's main window for writer type WS.
void ComposeWsCard(Bench& b, const std::vector<std::uint8_t>& image) {
  const std::filesystem::path roms = b.fixture.root() / "roms";
  std::filesystem::create_directories(roms);
  support::writeFile(roms / "game.ws", image);
  ops::ProgramState& state = b.main->state();
  state.setWriterType(quillon::library::WriterType::Ws);
  QVERIFY(state.cardList.AddWsImage(roms, "game.ws").added);
}

// The top 512 KiB of the card, where a 512 KiB image goes.
std::vector<std::uint8_t> CardTop(const sim::SimWriter& port) {
  const auto flash = port.memory(sim::Memory::WsFlash);
  return {flash.end() - static_cast<std::ptrdiff_t>(kImageSize), flash.end()};
}

// What the card holds after writing `image`: the size code 0x30 in its fourth byte from
// the end.
std::vector<std::uint8_t> AsWritten(std::vector<std::uint8_t> image) {
  image[kImageSize - 4] |= 0x30;
  return image;
}

// Clicks `button` once the modal loop that the next call opens is running.
void ClickLater(QPushButton* button) {
  QTimer::singleShot(0, button, [button] { button->click(); });
}

}  // namespace

class WsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // --- the patch question ------------------------------------------------------------------

  void patch_answer_resultFileAndPatchDir_data() {
    QTest::addColumn<QString>("press");   // Button1, Button2 or Escape
    QTest::addColumn<QString>("dialog");  // the dialog's answer, relative to the root
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("yes, file chosen") << "Button1"
                                      << "patches/fix.ips" << 1 << true << true;
    QTest::newRow("yes, dialog cancelled") << "Button1"
                                           << "" << 2 << true << false;
    QTest::newRow("no") << "Button2"
                        << "patches/fix.ips" << 2 << false << false;
    QTest::newRow("escape") << "Escape"
                            << "patches/fix.ips" << 2 << false << false;
  }
  void patch_answer_resultFileAndPatchDir() {
    QFETCH(QString, press);
    QFETCH(QString, dialog);
    QFETCH(int, expected);
    QFETCH(bool, asked);
    QFETCH(bool, chosen);
    WindowFixture f;
    ui::Tform_ZEP& main = f.open();
    ui::TfmPatchWS& w = *ui::CreateSecondaryWindows(&main).fmPatchWS;
    const std::string before = f.programDir() + "old/";
    std::filesystem::create_directories(before);  // the dialog starts there: it exists
    main.settings().patchDir = before;
    QString answer;
    if (!dialog.isEmpty()) {
      answer = QString::fromStdString((f.root() / dialog.toStdString()).string());
    }
    std::vector<ui::FileDialogRequest> requests;
    w.setFileDialogHook([&](const ui::FileDialogRequest& request) {
      requests.push_back(request);
      return answer;
    });
    if (press == QStringLiteral("Escape")) {
      QTimer::singleShot(0, &w, [&w] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&w, &key);
      });
    } else {
      ClickLater(Control<QPushButton>(w, press.toLatin1().constData()));
    }
    QCOMPARE(w.Run(main.state()), expected);
    QVERIFY(!w.isVisible());
    QCOMPARE(requests.size(), std::size_t{asked ? 1u : 0u});
    if (asked) {
      QCOMPARE(requests[0].mode, ui::FileDialogMode::Open);
      QCOMPARE(requests[0].nameFilters, QStringList{"Patch File (*.ips)"});
      QCOMPARE(requests[0].defaultSuffix, QStringLiteral("ips"));
      QCOMPARE(requests[0].directory, QString::fromStdString(before));
    }
    QCOMPARE(w.chosenFile(), chosen ? answer : QString());
    QCOMPARE(main.settings().patchDir, chosen ? (f.root() / "patches").string() + "/" : before);
  }

  // --- the WS card operations on the simulated writer -------------------------------------

  void writeThenRead_image_cardHoldsItAndFileEqualsIt() {
    Bench b(sim::emptyWsFlashCard());
    const std::vector<std::uint8_t> image = MakeWsImage();
    ComposeWsCard(b, image);
    b.main->cardInfo().flashChip = -1;
    Control<QPlainTextEdit>(*b.main, "ROMINFO")->setPlainText("marker");

    ui::OperationWindow& w = *b.windows.Named("TfmDownWS");
    w.Prepare(b.writer.link, b.main->state());
    QCOMPARE(Button(w)->text(), QStringLiteral("Cancel"));
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QStringLiteral("Writing Success"));
    QCOMPARE(Button(w)->text(), QStringLiteral("OK"));
    QVERIFY(w.isVisible());
    const QString elapsed = Control<QLabel>(w, "lbFile")->text();
    QVERIFY2(QRegularExpression(QStringLiteral("^Using (\\d+ Minutes )?\\d+ Seconds$")).match(elapsed).hasMatch(),
             qPrintable(elapsed));
    // The worker's probe reached the main window.
    QCOMPARE(b.main->cardInfo().flashChip, 0x2382);
    QVERIFY(Control<QPlainTextEdit>(*b.main, "ROMINFO")->toPlainText() != "marker");
    QCOMPARE(CardTop(b.writer.port), AsWritten(image));
    Click(Button(w));
    QVERIFY(!w.isVisible());

    // Read back into a file.
    b.main->settings().saveRomDir = b.fixture.programDir();
    const std::filesystem::path out = b.fixture.root() / "out" / "back.wsc";
    std::filesystem::create_directories(out.parent_path());
    ui::OperationWindow& r = *b.windows.Named("TfmUploadWS");
    r.setFileDialogHook([&](const ui::FileDialogRequest&) { return QString::fromStdString(out.string()); });
    r.Prepare(b.writer.link, b.main->state());
    QCOMPARE(Button(r)->text(), QStringLiteral("Cancel"));
    QVERIFY(Button(r)->isEnabled());
    r.open();
    QVERIFY(WaitEnded(r));
    QCOMPARE(Work(r), QStringLiteral("Downloading Success"));
    QCOMPARE(Button(r)->text(), QStringLiteral("Close"));
    QVERIFY(Button(r)->isEnabled());
    QCOMPARE(support::readFile(out), image);
    QCOMPARE(b.main->settings().saveRomDir, out.parent_path().string() + "/");
  }

  void write_patchChoice_patchedOrMessageAndUnpatched_data() {
    QTest::addColumn<int>("usePatch");
    QTest::addColumn<QByteArray>("patch");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("patched");
    QTest::addColumn<bool>("writeUnpatched");  // the answer to the question after "Patch File Error"
    // One record: 2 bytes "AB" at image offset 0x000010.
    const QByteArray good = QByteArray("PATCH") + QByteArray::fromHex("0000100002") + "AB" + "EOF";
    // A record reaching beyond the 512 KiB image.
    const QByteArray beyond = QByteArray("PATCH") + QByteArray::fromHex("07FFFF0002") + "AB";
    const QStringList refused{"Patch File Error", "The patch was not applied. Write the image without it?"};
    QTest::newRow("applied") << 1 << good << QStringList{} << true << true;
    QTest::newRow("wrong header") << 1 << QByteArray("JUNK!") << refused << false << true;
    QTest::newRow("beyond image") << 1 << beyond << refused << false << true;
    QTest::newRow("beyond image, not written") << 1 << beyond << refused << false << false;
    QTest::newRow("no patch file") << 2 << good << refused << false << false;
    QTest::newRow("no patch asked for") << 0 << good << QStringList{} << false << true;
  }
  void write_patchChoice_patchedOrMessageAndUnpatched() {
    QFETCH(int, usePatch);
    QFETCH(QByteArray, patch);
    QFETCH(QStringList, messages);
    QFETCH(bool, patched);
    QFETCH(bool, writeUnpatched);
    Bench b(sim::emptyWsFlashCard());
    auto sram = b.writer.port.memory(sim::Memory::WsSram);
    std::fill(sram.begin(), sram.end(), std::uint8_t{0x5A});
    const std::vector<std::uint8_t> image = MakeWsImage();
    ComposeWsCard(b, image);
    const std::filesystem::path patchFile = b.fixture.root() / "fix.ips";
    support::writeFile(patchFile, std::vector<std::uint8_t>(patch.begin(), patch.end()));

    ui::OperationWindow& w = *b.windows.Named("TfmDownWS");
    QStringList shown;
    bool runningWhileShown = false;
    w.setMessageHook([&](const QString& text) {
      shown.append(text);
      runningWhileShown = w.running();
    });
    w.setQuestionHook([&](const QString& text) {
      shown.append(text);
      return writeUnpatched;
    });
    const std::string patchArg = usePatch == 0 ? "" : usePatch == 1 ? patchFile.string() : patchFile.string() + "-gone";
    w.Prepare(b.writer.link, b.main->state(), PatchArgs(patchArg));
    const auto flashBefore = support::Bytes(b.writer.port.memory(sim::Memory::WsFlash).begin(),
                                            b.writer.port.memory(sim::Memory::WsFlash).end());
    w.open();
    QVERIFY(WaitEnded(w));
    const ops::Result& result = w.result();
    QCOMPARE(shown, messages);
    if (!writeUnpatched) {
      // Nothing erased, nothing written, the save memory as it was.
      QCOMPARE(result.text, std::string("Writing Cancelled"));
      QVERIFY(std::ranges::equal(b.writer.port.memory(sim::Memory::WsFlash), flashBefore));
      QVERIFY(std::ranges::all_of(sram, [](std::uint8_t v) { return v == 0x5A; }));
      return;
    }
    QVERIFY(result.ok());
    QCOMPARE(result.text, std::string("Writing Success"));
    if (!messages.isEmpty()) QVERIFY(runningWhileShown);  // the write went on afterwards
    std::vector<std::uint8_t> expected = image;
    if (patched) {
      expected[0x10] = 'A';
      expected[0x11] = 'B';
    }
    QCOMPARE(CardTop(b.writer.port), AsWritten(expected));
  }

  void saveMemory_backupThenRestore_roundTripThroughFiles() {
    Bench b(sim::emptyWsFlashCard());
    auto sram = b.writer.port.memory(sim::Memory::WsSram);
    for (std::size_t i = 0; i < sram.size(); ++i) sram[i] = static_cast<std::uint8_t>(i * 3 + 7);
    const std::vector<std::uint8_t> saved(sram.begin(), sram.end());
    b.main->settings().ramDir = b.fixture.programDir();
    const std::filesystem::path file = b.fixture.root() / "saves" / "game.sav";
    std::filesystem::create_directories(file.parent_path());
    std::vector<ui::FileDialogMode> asked;
    const auto answer = [&](const ui::FileDialogRequest& request) {
      asked.push_back(request.mode);
      return QString::fromStdString(file.string());
    };

    ui::OperationWindow& down = *b.windows.Named("TfmRAMDownWS");
    down.setFileDialogHook(answer);
    down.Prepare(b.writer.link, b.main->state());
    down.open();
    QVERIFY(WaitEnded(down));
    QCOMPARE(Work(down), QStringLiteral("Downloading Success"));
    QCOMPARE(support::readFile(file), saved);
    QCOMPARE(b.main->settings().ramDir, file.parent_path().string() + "/");
    Click(Button(down));

    const std::vector<std::uint8_t> changed(saved.rbegin(), saved.rend());
    support::writeFile(file, changed);
    ui::OperationWindow& up = *b.windows.Named("TfmRAMUploadWS");
    up.setFileDialogHook(answer);
    up.Prepare(b.writer.link, b.main->state());
    up.open();
    QVERIFY(WaitEnded(up));
    QCOMPARE(Work(up), QStringLiteral("Uploading Success"));
    const auto after = b.writer.port.memory(sim::Memory::WsSram);
    QCOMPARE(std::vector<std::uint8_t>(after.begin(), after.end()), changed);

    QCOMPARE(asked, (std::vector{ui::FileDialogMode::Save, ui::FileDialogMode::Open}));
  }

  void erase_writtenCard_flashErasedSaveMemoryCleared() {
    Bench b(sim::emptyWsFlashCard());
    auto flash = b.writer.port.memory(sim::Memory::WsFlash);
    auto sram = b.writer.port.memory(sim::Memory::WsSram);
    std::fill(flash.begin(), flash.end(), 0x00);
    std::fill(sram.begin(), sram.end(), 0x5A);
    ui::OperationWindow& w = *b.windows.Named("TfmClearWS");
    QStringList labels;
    connect(&w, &ui::OperationWindow::workChanged, &w, [&](const QString& text) { labels.append(text); });
    w.Prepare(b.writer.link, b.main->state());
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QStringLiteral("Earsing Success"));
    QCOMPARE(Button(w)->text(), QStringLiteral("OK"));
    QCOMPARE(labels.value(0), QStringLiteral("Earsing : 0x000000 - 0x00FFFF"));
    QVERIFY(labels.contains(QStringLiteral("Earsing RAM")));
    QCOMPARE(flash.size(), kCardSize);
    QVERIFY(std::all_of(flash.begin(), flash.end(), [](auto v) { return v == 0xFF; }));
    QVERIFY(std::all_of(sram.begin(), sram.end(), [](auto v) { return v == 0x00; }));
  }

  void write_cancelDuringSecondBlock_closesAndNothingSentAfterStop() {
    Bench b(sim::emptyWsFlashCard());
    const std::vector<std::uint8_t> image = MakeWsImage();
    ComposeWsCard(b, image);
    ui::OperationWindow& w = *b.windows.Named("TfmDownWS");
    std::size_t commandsAtStop = 0;
    bool stopped = false;
    connect(&w, &ui::OperationWindow::workChanged, &w, [&](const QString& text) {
      if (!stopped && text == QStringLiteral("Writing : 0x008000 - 0x00FFFF")) {
        stopped = true;
        commandsAtStop = b.writer.port.commands().size();  // the worker waits on this label
        Button(w)->click();                                // "Cancel"
      }
    });
    const ops::Result result = RunGuarded(w, [&] { return w.Run(b.writer.link, b.main->state()); });
    QVERIFY(stopped);
    QVERIFY(!w.running());
    QVERIFY(!w.isVisible());
    QCOMPARE(result.outcome, ops::Outcome::Stopped);
    QCOMPARE(b.writer.port.commands().size(), commandsAtStop);
    // The first block went to the card, the second did not.
    const std::vector<std::uint8_t> top = CardTop(b.writer.port);
    QVERIFY(std::equal(image.begin(), image.begin() + 0x8000, top.begin()));
    QVERIFY(std::all_of(top.begin() + 0x8000, top.begin() + 0x10000, [](auto v) { return v == 0xFF; }));
  }
};

int RunWsWindowTests(int argc, char** argv) {
  WsWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ws_window_tests.moc"
