// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands pressed in every writer type against the simulated writer: the
// probes, checks and picks before each operation window, what the window is handed, the
// probe after it, and the writer traffic of every command that does nothing.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "connect/silent_port.h"
#include "detect/probe.h"
#include "gb_images.h"
#include "operation_bench.h"
#include "sim/faults.h"
#include "sim/sim_writer.h"
#include "ui/operation_windows.h"
#include "ui/secondary_windows.h"
#include "ui/select_window.h"
#include "window_fixture.h"

using namespace quillon::uitest;
namespace sim = quillon::sim;
namespace ui = quillon::ui;
namespace support = quillon::support;
namespace detect = quillon::detect;
using Commands = std::vector<sim::CommandRecord>;

namespace {

// Answers of the item chooser: a row's text, kNoRow (OK with no row selected) or kCancel.
const QString kNoRow = QStringLiteral("<no row>");
const QString kCancel = QStringLiteral("<cancel>");

constexpr std::size_t kWsImageSize = 0x80000;

enum class Card { None, Flash, EmptyFlash, Cart, CartRam, CartRom8, CartRam4, WsFlash, ColourFlash, ColourCart };

const support::Bytes& Alpha() {
  static const support::Bytes image = [] {
    support::Bytes bytes = support::makeGbImage({"ALPHA", 0x1B, 1, 2, false});
    support::fixGlobalChecksum(bytes);
    return bytes;
  }();
  return image;
}
const support::Bytes& Bravo() {
  static const support::Bytes image = support::makeGbImage({"BRAVO", 0x1B, 2, 3, false});
  return image;
}
// Titles of all 16 header bytes: 15 characters and the colour flag, or 16 characters.
const support::Bytes& ColourFlag80() {
  static const support::Bytes image = support::makeGbImage({"FIFTEEN LETTERS", 0x1B, 1, 2, true});
  return image;
}
const support::Bytes& ColourFlagC0() {
  static const support::Bytes image = support::makeGbImage({"COLOUR ONLY GAM\xC0", 0x1B, 1, 0, true});
  return image;
}
const support::Bytes& SixteenLetters() {
  static const support::Bytes image = support::makeGbImage({"SIXTEEN LETTERS!", 0x19, 0, 0, false});
  return image;
}

// Flash cards hold ALPHA (region 0, save unit 0) and BRAVO (region 1, save unit 1) behind the
// stand-in menu of the writer type; cartridges are ordinary ones, two with a header code the
// commands refuse.
sim::CardContents MakeCard(Card card, int writerType) {
  switch (card) {
    case Card::None:
      return sim::noCard();
    case Card::Flash:
    case Card::EmptyFlash:
    case Card::ColourFlash: {
      sim::CardContents contents = sim::emptyGbFlashCard();
      const auto menu = support::makeMenuImage(writerType == 0 ? 0x4000 : 0x8000);
      std::copy(menu.begin(), menu.end(), contents[sim::Memory::GbBios].begin());
      std::vector<support::PlacedImage> images;
      if (card == Card::Flash) images = {{Alpha(), 0, 0}, {Bravo(), 1, 1}};
      if (card == Card::ColourFlash)
        images = {{ColourFlag80(), 0, 0}, {ColourFlagC0(), 1, 1}, {SixteenLetters(), 2, 2}};
      support::placeOnFlashCard(contents[sim::Memory::GbBios], contents[sim::Memory::GbFlash], images, writerType);
      return contents;
    }
    case Card::Cart:
    case Card::CartRom8:
    case Card::CartRam4: {
      sim::CardContents contents = sim::gbCartridge(support::makeGbImage({"PLAIN", 0x19, 0, 0}));
      if (card == Card::CartRom8) contents[sim::Memory::CartRom][0x148] = 8;
      if (card == Card::CartRam4) contents[sim::Memory::CartRom][0x149] = 4;
      return contents;
    }
    case Card::CartRam: {
      std::vector<std::uint8_t> sav(0x2000);
      for (std::size_t i = 0; i < sav.size(); ++i) sav[i] = static_cast<std::uint8_t>(i * 3 + 1);
      return sim::gbCartridge(support::makeGbImage({"SAVER", 0x1B, 0, 2}), sav);
    }
    case Card::WsFlash:
      return sim::emptyWsFlashCard();
    case Card::ColourCart:
      return sim::gbCartridge(ColourFlagC0());
  }
  return sim::noCard();
}

// A main window on a simulated writer whose modal windows are answered as the test says:
// the item chooser by `picks` in turn, the patch question by `patchPress`, the erase question
// by `erasePress`, the directory chooser by `directory`; every operation window by
// "OK"/"Close" once its worker has ended.
struct Commander {
  Commander(Card card, int writerType) : bench(MakeCard(card, writerType)) {
    main().settings().saveRomDir = bench.fixture.programDir();
    main().settings().ramDir = bench.fixture.programDir();
    auto* combo = Control<QComboBox>(main(), "ComboBox1");
    combo->setCurrentIndex(writerType);
    main().ComboBox1Change();
    main().setModalHook([this](QDialog& window, const std::function<int()>& show) {
      shown.append(window.objectName());
      QTimer::singleShot(0, &window, [this, &window] { Answer(window); });
      return show();
    });
    for (ui::OperationWindow* window : OperationWindows()) {
      window->setFileDialogHook(
          [this, window](const ui::FileDialogRequest&) { return fileAnswer.value(window->objectName()); });
      // A stop request while the worker waits for its step label to be shown: it stops
      // before its next command to the writer.
      QObject::connect(window, &ui::OperationWindow::workChanged, window, [this, window](const QString& text) {
        if (!stopAt.isEmpty() && text.startsWith(stopAt)) window->RequestStop();
      });
      QObject::connect(window, &ui::OperationWindow::workerEnded, window, [this, window] {
        ran.append(window->objectName() + QLatin1Char('|') + QString::fromStdString(window->result().text));
        verdicts.append(window->objectName() + QLatin1Char('|') + Work(*window) + QLatin1Char('|') +
                        Control<QLabel>(*window, "lbVerdict")->text());
        // A stopped operation's window closes by itself; a click left queued for it would
        // land in the next run of the same window and stop that one.
        if (window->stopRequested()) return;
        QTimer::singleShot(0, window, [window] { Button(*window)->click(); });
      });
    }
  }

  ui::Tform_ZEP& main() { return *bench.main; }
  const ui::SecondaryWindows& windows() { return main().windows(); }
  std::vector<ui::OperationWindow*> OperationWindows() {
    const auto& all = windows().operationWindows();
    return {all.begin(), all.end()};
  }

  void Answer(QDialog& window) {
    if (auto* select = qobject_cast<ui::TfmSelect*>(&window)) {
      offered.push_back(ColumnTexts(select->list()));
      const QString pick = picks.isEmpty() ? kCancel : picks.takeFirst();
      if (pick == kCancel) {
        // A row selected and then Cancel: still nothing.
        if (QTreeWidgetItem* first = select->list()->topLevelItem(0)) {
          select->list()->setCurrentItem(first);
        }
        Control<QPushButton>(window, "Button2")->click();
        return;
      }
      // A row by its text, or an image's by its title.
      QList<QTreeWidgetItem*> rows = select->list()->findItems(pick, Qt::MatchExactly);
      if (rows.isEmpty()) rows = select->list()->findItems(QStringLiteral(". ") + pick, Qt::MatchEndsWith);
      if (!rows.isEmpty()) select->list()->setCurrentItem(rows.front());
      Control<QPushButton>(window, "Button1")->click();
    } else if (auto* patch = qobject_cast<ui::TfmPatchWS*>(&window)) {
      if (patchPress == QStringLiteral("escape")) {
        static_cast<QDialog*>(patch)->reject();  // what Escape does
      } else {
        Control<QPushButton>(window, patchPress == QStringLiteral("yes") ? "Button1" : "Button2")->click();
      }
    } else if (auto* question = qobject_cast<QMessageBox*>(&window)) {
      auto caption = [](QAbstractButton* button) { return button ? button->text() : QStringLiteral("-"); };
      questions.append(QStringList{question->windowTitle(), question->text(),
                                   caption(question->button(QMessageBox::Yes)),
                                   caption(question->button(QMessageBox::No)), caption(question->defaultButton()),
                                   caption(question->escapeButton())}
                           .join(QLatin1Char('|')));
      if (erasePress == QStringLiteral("escape")) {
        QTest::keyClick(question, Qt::Key_Escape);
      } else if (erasePress == QStringLiteral("enter")) {
        QTest::keyClick(question, Qt::Key_Return);  // the default button
      } else {
        question->button(erasePress == QStringLiteral("yes") ? QMessageBox::Yes : QMessageBox::No)->click();
      }
    } else if (auto* chooser = qobject_cast<ui::TfmDirect*>(&window)) {
      if (directory.empty()) {
        Control<QPushButton>(window, "Button2")->click();
        return;
      }
      chooser->setDirectory(directory);
      Control<QPushButton>(window, "Button1")->click();
    } else {
      window.done(1);
    }
  }

  // Presses a main window button; the operation windows it shows are closed by a watchdog
  // when something goes wrong, so that a broken command fails its checks instead of hanging.
  void Press(const char* button) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &main(), [] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) {
          dialog->done(QDialog::Rejected);
        }
      }
    });
    watchdog.start(kWait);
    bench.writer.port.clearCommands();
    Control<QPushButton>(main(), button)->click();
    traffic = bench.writer.port.commands();
  }

  // The commands of one card probe of the window's writer type, as it stands now.
  Commands ProbeTraffic() {
    bench.writer.port.clearCommands();
    main().ProbeCard();
    Commands probe = bench.writer.port.commands();
    bench.writer.port.clearCommands();
    return probe;
  }

  // Lists the ROM folder `roms` through "Select Directory" and adds `files` to the card.
  bool Compose(const std::filesystem::path& roms, const QStringList& files) {
    directory = roms.string();
    Press("Button2");
    auto* lvFiles = Control<QTreeWidget>(main(), "lvFiles");
    for (const QString& file : files) {
      if (!ClickRow(lvFiles, file)) return false;
      Click(Control<QPushButton>(main(), "Button3"));
    }
    return Control<QTreeWidget>(main(), "lvDown")->topLevelItemCount() == files.size();
  }

  Bench bench;
  QStringList picks;
  QString patchPress;
  QString erasePress = QStringLiteral("yes");  // "yes", "no", "escape" or "enter"
  QString stopAt;                              // an operation is stopped at the first step label starting so
  std::string directory;
  QMap<QString, QString> fileAnswer;  // window name -> the file its dialog answers

  QStringList shown;                 // secondary windows shown, in order
  QStringList questions;             // "caption|text" of each question box shown
  std::vector<QStringList> offered;  // rows of each item chooser shown
  QStringList ran;                   // "window|result" of each operation that ran
  QStringList verdicts;              // "window|step label|verdict line" of each, once it ended
  Commands traffic;                  // commands of the last press
};

// Lists a ROM folder holding one image (ALPHA, or a WS image without save memory, so that
// writing asks no patch question), with the menu images beside the program, and puts the
// image on the card list.
bool ComposeOne(Commander& c, bool ws) {
  const std::filesystem::path roms = c.bench.fixture.root() / "roms";
  std::filesystem::create_directories(roms);
  support::writeFile(c.bench.fixture.root() / "cgbbios.bin", support::makeMenuImage(0x4000));
  support::writeFile(c.bench.fixture.root() / "chtbios.bin", support::makeMenuImage(0x8000));
  if (ws) {
    std::vector<std::uint8_t> image(kWsImageSize, 0x5A);
    image[kWsImageSize - 5] = 0x00;
    support::fixWsChecksum(image);
    support::writeFile(roms / "game.ws", image);
    return c.Compose(roms, {"game.ws"});
  }
  support::writeFile(roms / "alpha.gb", Alpha());
  return c.Compose(roms, {"alpha.gb"});
}

QString Status(ui::Tform_ZEP& main) { return Control<QLabel>(main, "lbStatus")->text(); }
// The label shows all of its text: wrapped as the label wraps it, the text fits the label,
// and the label lies inside its window.
bool ShownWhole(const QLabel& label) {
  const QRect room = label.contentsRect();
  const int flags = (label.wordWrap() ? Qt::TextWordWrap : 0) | static_cast<int>(label.alignment());
  const QRect needed = label.fontMetrics().boundingRect(room, flags, label.text());
  return label.isVisible() && !label.text().isEmpty() && needed.width() <= room.width() &&
         needed.height() <= room.height() && label.window()->rect().contains(label.geometry());
}

QString Info(ui::Tform_ZEP& main) { return Control<QPlainTextEdit>(main, "ROMINFO")->toPlainText(); }

// The card information text the last probe's record gives, one line per line.
QString ProbeText(ui::Tform_ZEP& main) {
  QStringList lines;
  for (const std::string& line : detect::CardInfoLines(main.cardInfo(), main.writerType())) {
    lines.append(QString::fromStdString(line));
  }
  return lines.join(QLatin1Char('\n'));
}

bool EndsWith(const Commands& all, const Commands& tail) {
  return !tail.empty() && all.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), all.end() - static_cast<std::ptrdiff_t>(tail.size()));
}

std::vector<std::uint8_t> Slice(std::span<const std::uint8_t> memory, std::size_t at, std::size_t size) {
  return {memory.begin() + static_cast<std::ptrdiff_t>(at), memory.begin() + static_cast<std::ptrdiff_t>(at + size)};
}

}  // namespace

class MainCommandTest : public QObject {
  Q_OBJECT

 private slots:

  // Every command that does not apply sends nothing but its probe (or nothing at all), shows
  // no operation window, and says why in the status line until the next command.
  void doesNothing_onlyItsProbe_data() {
    QTest::addColumn<int>("card");
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<bool>("probes");
    QTest::addColumn<QList<QStringList>>("offered");
    QTest::addColumn<QString>("status");
    const QStringList two{"1. ALPHA", "2. BRAVO"};  // an image's row: its number on the card, its title
    const QStringList sizes{"16MB Card", "32MB Card"};
    auto row = [](const char* name, Card card, int type, const char* button, QStringList picks, bool probes,
                  QList<QStringList> offered, const char* status) {
      QTest::newRow(name) << static_cast<int>(card) << type << QString::fromLatin1(button) << picks << probes << offered
                          << QString::fromLatin1(status);
    };
    const char* emptyWriter =
        "The cartridge's ROM size code 0xFF is not one that can be read: the writer is empty, or the cartridge's "
        "header is not readable";
    row("write GB, empty card list", Card::Flash, 0, "Button6", {}, false, {}, "The card list is empty");
    row("write WS, empty card list", Card::WsFlash, 2, "Button6", {}, false, {}, "The card list is empty");
    row("download card, no card", Card::None, 0, "Button9", {}, true, {}, emptyWriter);
    row("download card, rom code 8", Card::CartRom8, 0, "Button9", {}, true, {},
        "The cartridge's ROM size code 0x08 is not one that can be read: the writer is empty, or the cartridge's "
        "header is not readable");
    row("download card, pick cancelled", Card::Flash, 0, "Button9", {kCancel}, true, {two}, "Nothing was picked");
    row("download card, password type has no Password row", Card::Flash, 1, "Button9", {kCancel}, true, {two},
        "Nothing was picked");
    row("download card, empty flash card, OK", Card::EmptyFlash, 0, "Button9", {kNoRow}, true, {QStringList{}},
        "The flash card holds no images");
    row("download card, empty flash card, cancelled", Card::EmptyFlash, 0, "Button9", {kCancel}, true, {QStringList{}},
        "The flash card holds no images");
    row("download RAM, cartridge without RAM", Card::Cart, 0, "Button11", {}, true, {},
        "The cartridge has no save memory (RAM size code 0x00)");
    row("upload RAM, cartridge RAM code 4", Card::CartRam4, 1, "Button10", {}, true, {},
        "The cartridge has no save memory (RAM size code 0x04)");
    row("download RAM, OK without a row", Card::Flash, 0, "Button11", {kNoRow}, true, {two}, "Nothing was picked");
    row("upload RAM, GB+Password cancelled", Card::Flash, 1, "Button10", {kCancel}, true,
        {two + QStringList{"Password"}}, "Nothing was picked");
    row("erase, cartridge", Card::Cart, 0, "Button13", {}, true, {},
        "There is no flash card to erase: the writer holds an ordinary cartridge, or is empty");
    row("erase, no card", Card::None, 1, "Button13", {}, true, {},
        "There is no flash card to erase: the writer holds an ordinary cartridge, or is empty");
    row("erase, size pick cancelled", Card::Flash, 0, "Button13", {kCancel}, true, {sizes}, "Nothing was picked");
  }
  void doesNothing_onlyItsProbe() {
    QFETCH(int, card);
    QFETCH(int, writerType);
    QFETCH(QString, button);
    QFETCH(QStringList, picks);
    QFETCH(bool, probes);
    QFETCH(QList<QStringList>, offered);
    QFETCH(QString, status);
    Commander c(static_cast<Card>(card), writerType);
    const Commands probe = c.ProbeTraffic();
    c.picks = picks;
    c.Press(button.toLatin1().constData());
    QCOMPARE(c.traffic, probes ? probe : Commands{});
    QCOMPARE(c.ran, QStringList{});
    QCOMPARE(QList<QStringList>(c.offered.begin(), c.offered.end()), offered);
    for (const QString& name : c.shown) QCOMPARE(name, QStringLiteral("fmSelect"));
    QCOMPARE(Status(c.main()), status);
    QVERIFY(ShownWhole(*Control<QLabel>(c.main(), "lbStatus")));

    c.Press("Button1");  // "Research Files": the next command
    QCOMPARE(Status(c.main()), QString());
  }

  // "Start Writing" with "Verify after writing" ticked, then "Download Card": under each
  // window's result, what the verify found and what the image's checksums say. A bit the
  // card did not take (flip-bit) shows in both.
  void verdicts_verifiedWriteThenRead_data() {
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("verdicts");  // of the write, then of the read
    QTest::newRow("GB") << 0 << ""
                        << QStringList{"fmDown|Writing Success|Verify OK",
                                       "fmUpload|Downloading Success|Checksums right"};
    QTest::newRow("GB, a bit flipped")
        << 0 << "flip-bit=0x0140"
        << QStringList{
               "fmDown|Writing Success|Verify Error: alpha.gb differs at card address 0x000140, file offset 0x000140",
               "fmUpload|Downloading Success|Header checksum wrong (stored 0x7F, computed 0x7E): the image may be "
               "damaged\nGlobal checksum wrong (stored 0x789C, computed 0x789D): the image may be damaged"};
    QTest::newRow("WS") << 2 << ""
                        << QStringList{"fmDownWS|Writing Success|Verify OK",
                                       "fmUploadWS|Downloading Success|Checksums right"};
    QTest::newRow("WS, a bit flipped")
        << 2 << "flip-bit=0x380010"
        << QStringList{
               "fmDownWS|Writing Success|Verify Error: game.ws differs at card address 0x380010, file offset 0x000010",
               "fmUploadWS|Downloading Success|Global checksum wrong (stored 0xFE9A, computed 0xFE9B): the image may "
               "be damaged"};
  }
  void verdicts_verifiedWriteThenRead() {
    QFETCH(int, writerType);
    QFETCH(QString, fault);
    QFETCH(QStringList, verdicts);
    const bool ws = writerType == 2;
    Commander c(ws ? Card::WsFlash : Card::EmptyFlash, writerType);
    QVERIFY(ComposeOne(c, ws));
    if (!fault.isEmpty()) sim::armFault(c.bench.writer.port.faults(), fault.toStdString());
    Control<QCheckBox>(c.main(), "cbVerify")->click();
    c.Press("Button6");
    c.fileAnswer[ws ? "fmUploadWS" : "fmUpload"] = QString::fromStdString((c.bench.fixture.root() / "back").string());
    c.picks = {"ALPHA"};
    c.Press("Button9");
    QCOMPARE(c.verdicts, verdicts);
  }

  // A GB card composed from a folder, written, then read back image by image.
  void gb_composeWriteReadBack_filesEqualImages() {
    Commander c(Card::EmptyFlash, 0);
    const std::filesystem::path roms = c.bench.fixture.root() / "roms";
    std::filesystem::create_directories(roms);
    support::writeFile(roms / "alpha.gb", Alpha());
    support::writeFile(roms / "bravo.gb", Bravo());
    support::writeFile(c.bench.fixture.root() / "cgbbios.bin", support::makeMenuImage(0x4000));
    QVERIFY(c.Compose(roms, {"alpha.gb", "bravo.gb"}));
    QCOMPARE(c.main().settings().romDir, roms.string());

    c.Press("Button6");
    QCOMPARE(c.ran, QStringList{"fmDown|Writing Success"});
    QVERIFY(EndsWith(c.traffic, c.ProbeTraffic()));  // the probe after the window closed
    QCOMPARE(c.main().cardInfo().count, 2);
    QVERIFY(Control<QPlainTextEdit>(c.main(), "ROMINFO")->toPlainText().contains("BRAVO"));

    for (const auto& [title, image] :
         {std::pair{QStringLiteral("BRAVO"), Bravo()}, std::pair{QStringLiteral("ALPHA"), Alpha()}}) {
      const std::filesystem::path out = c.bench.fixture.root() / (title.toStdString() + ".gb");
      c.fileAnswer["fmUpload"] = QString::fromStdString(out.string());
      c.picks = {title};
      c.ran.clear();
      c.offered.clear();
      c.Press("Button9");
      QCOMPARE(c.ran, QStringList{"fmUpload|Downloading Success"});
      QCOMPARE(c.offered.size(), std::size_t{1});
      QCOMPARE(c.offered[0].size(), 2);
      const int index = static_cast<int>(c.offered[0].indexOf(QRegularExpression("^\\d\\. " + title + "$")));
      QCOMPARE(c.windows().Named("TfmUpload")->args().image, index);
      QCOMPARE(QString::fromStdString(c.main().cardInfo().images[static_cast<std::size_t>(index)].nameText()), title);
      QCOMPARE(support::readFile(out), image);
    }
  }

  // "Download RAM" then "Upload RAM" of one save area: the file holds the area, and a changed
  // file goes back into it.
  void saveMemory_backupRestore_area_data() {
    QTest::addColumn<int>("card");
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("pick");  // empty: no pick
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    const QStringList two{"1. ALPHA", "2. BRAVO"};
    const QStringList withPassword{"1. ALPHA", "2. BRAVO", "Password"};
    QTest::newRow("cartridge") << static_cast<int>(Card::CartRam) << 0 << "" << QStringList{} << 0 << 0 << 0x2000;
    QTest::newRow("GB, first image") << static_cast<int>(Card::Flash) << 0 << "ALPHA" << two << 0 << 0 << 0x2000;
    QTest::newRow("GB, second image") << static_cast<int>(Card::Flash) << 0 << "BRAVO" << two << 1 << 0x2000 << 0x8000;
    QTest::newRow("GB+Password, Password")
        << static_cast<int>(Card::Flash) << 1 << "Password" << withPassword << 2 << 0x1C000 << 0x2000;
    QTest::newRow("GB+Password, image") << static_cast<int>(Card::Flash) << 1 << "BRAVO" << withPassword << 1 << 0x2000
                                        << 0x8000;
  }
  void saveMemory_backupRestore_area() {
    QFETCH(int, card);
    QFETCH(int, writerType);
    QFETCH(QString, pick);
    QFETCH(QStringList, offered);
    QFETCH(int, selected);
    QFETCH(int, offset);
    QFETCH(int, size);
    Commander c(static_cast<Card>(card), writerType);
    const bool cartridge = static_cast<Card>(card) == Card::CartRam;
    const sim::Memory memory = cartridge ? sim::Memory::CartSav : sim::Memory::GbSram;
    auto ram = c.bench.writer.port.memory(memory);
    for (std::size_t i = 0; i < ram.size(); ++i) ram[i] = static_cast<std::uint8_t>(i * 7 + i / 509);
    const std::string file = (c.bench.fixture.root() / "save.sav").string();
    c.fileAnswer["fmRAMDown"] = c.fileAnswer["fmRAMUpload"] = QString::fromStdString(file);
    const auto area = [&] {
      return Slice(c.bench.writer.port.memory(memory), static_cast<std::size_t>(offset),
                   static_cast<std::size_t>(size));
    };
    const std::vector<std::uint8_t> before = area();

    if (!pick.isEmpty()) c.picks = {pick};
    c.Press("Button11");
    QCOMPARE(c.ran, QStringList{"fmRAMDown|Downloading Success"});
    QCOMPARE(support::readFile(file), before);
    if (!cartridge) QCOMPARE(c.windows().Named("TfmRAMDown")->args().image, selected);

    std::vector<std::uint8_t> changed(before.rbegin(), before.rend());
    support::writeFile(file, changed);
    if (!pick.isEmpty()) c.picks = {pick};
    c.ran.clear();
    c.Press("Button10");
    QCOMPARE(c.ran, QStringList{"fmRAMUpload|Uploading Success"});
    QCOMPARE(area(), changed);
    if (!cartridge) QCOMPARE(c.windows().Named("TfmRAMUpload")->args().image, selected);
    const QList<QStringList> expectedOffers =
        pick.isEmpty() ? QList<QStringList>{} : QList<QStringList>{offered, offered};
    QCOMPARE(QList<QStringList>(c.offered.begin(), c.offered.end()), expectedOffers);
  }

  void erase_pickedSize_erasedRangeThenProbe_data() {
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("pick");
    QTest::addColumn<int>("cardSize");
    QTest::addColumn<int>("erased");
    QTest::newRow("16MB") << 0 << "16MB Card" << 0 << 0x200000;
    QTest::newRow("32MB") << 0 << "32MB Card" << 1 << 0x400000;
    QTest::newRow("32MB, GB+Password") << 1 << "32MB Card" << 1 << 0x400000;
  }
  void erase_pickedSize_erasedRangeThenProbe() {
    QFETCH(int, writerType);
    QFETCH(QString, pick);
    QFETCH(int, cardSize);
    QFETCH(int, erased);
    Commander c(Card::Flash, writerType);
    auto flash = c.bench.writer.port.memory(sim::Memory::GbFlash);
    std::fill(flash.begin(), flash.end(), 0x00);
    c.picks = {pick};
    c.Press("Button13");
    QCOMPARE(c.ran, QStringList{"fmClear|Earsing Success"});
    QCOMPARE(c.windows().Named("TfmClear")->args().cardSize, cardSize);
    const auto end = flash.begin() + erased;
    QVERIFY(std::all_of(flash.begin(), end, [](std::uint8_t v) { return v == 0xFF; }));
    QVERIFY(std::all_of(end, flash.end(), [](std::uint8_t v) { return v == 0x00; }));
    QVERIFY(EndsWith(c.traffic, c.ProbeTraffic()));
    QCOMPARE(c.main().cardInfo().count, 0);
  }

  // WS writing: the patch question only for an EEPROM image, and its answer.
  void ws_write_patchQuestion_data() {
    QTest::addColumn<int>("saveType");
    QTest::addColumn<QString>("press");
    QTest::addColumn<bool>("dialogAnswers");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("patched");
    QTest::newRow("EEPROM, yes") << 0x10 << "yes" << true << true << true;
    QTest::newRow("EEPROM 0x20, yes") << 0x20 << "yes" << true << true << true;
    QTest::newRow("EEPROM, yes, dialog cancelled") << 0x10 << "yes" << false << true << false;
    QTest::newRow("EEPROM, no") << 0x10 << "no" << true << true << false;
    QTest::newRow("EEPROM, escape") << 0x10 << "escape" << true << true << false;
    QTest::newRow("SRAM, not asked") << 0x01 << "yes" << true << false << false;
    QTest::newRow("no save, not asked") << 0x00 << "yes" << true << false << false;
  }
  void ws_write_patchQuestion() {
    QFETCH(int, saveType);
    QFETCH(QString, press);
    QFETCH(bool, dialogAnswers);
    QFETCH(bool, asked);
    QFETCH(bool, patched);
    Commander c(Card::WsFlash, 2);
    std::vector<std::uint8_t> image(kWsImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 5 + i / 257);
    image[kWsImageSize - 5] = static_cast<std::uint8_t>(saveType);
    image[kWsImageSize - 4] = 0x05;
    const std::filesystem::path roms = c.bench.fixture.root() / "roms";
    std::filesystem::create_directories(roms);
    support::writeFile(roms / "game.ws", image);
    // One IPS record: "QN" at offset 0x000123.
    const std::filesystem::path patch = c.bench.fixture.root() / "fix.ips";
    const std::string ips = std::string("PATCH") + std::string("\x00\x01\x23\x00\x02", 5) + "QN" + "EOF";
    support::writeFile(patch, std::vector<std::uint8_t>(ips.begin(), ips.end()));
    c.windows().fmPatchWS->setFileDialogHook([&](const ui::FileDialogRequest&) {
      return dialogAnswers ? QString::fromStdString(patch.string()) : QString();
    });
    c.patchPress = press;
    QVERIFY(c.Compose(roms, {"game.ws"}));

    c.shown.clear();
    c.Press("Button6");
    QCOMPARE(c.shown, asked ? QStringList{"fmPatchWS"} : QStringList{});
    QCOMPARE(c.ran, QStringList{"fmDownWS|Writing Success"});
    QCOMPARE(QString::fromStdString(c.windows().Named("TfmDownWS")->args().patchFile),
             patched ? QString::fromStdString(patch.string()) : QString());
    QVERIFY(EndsWith(c.traffic, c.ProbeTraffic()));
    std::vector<std::uint8_t> expected = image;
    if (patched) {
      expected[0x123] = 'Q';
      expected[0x124] = 'N';
    }
    expected[kWsImageSize - 4] |= 0x30;  // the size code writing puts there
    const auto flash = c.bench.writer.port.memory(sim::Memory::WsFlash);
    QCOMPARE(Slice(flash, flash.size() - kWsImageSize, kWsImageSize), expected);
  }

  // The other WS commands show their window with no probe and no question before it: the
  // command sends what the window alone sends, and "Earse Card" one probe after it.
  void ws_commands_windowWithoutProbe_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("probeAfter");
    QTest::newRow("download card") << "Button9"
                                   << "fmUploadWS"
                                   << "Downloading Success" << false;
    QTest::newRow("download RAM") << "Button11"
                                  << "fmRAMDownWS"
                                  << "Downloading Success" << false;
    QTest::newRow("upload RAM") << "Button10"
                                << "fmRAMUploadWS"
                                << "Uploading Success" << false;
    QTest::newRow("erase") << "Button13"
                           << "fmClearWS"
                           << "Earsing Success" << true;
  }
  void ws_commands_windowWithoutProbe() {
    QFETCH(QString, button);
    QFETCH(QString, window);
    QFETCH(QString, result);
    QFETCH(bool, probeAfter);
    // Pressed once through the command and once by running the window alone.
    Commands traffic[2];
    Commands probe;
    for (int run = 0; run < 2; ++run) {
      Commander c(Card::WsFlash, 2);
      auto flash = c.bench.writer.port.memory(sim::Memory::WsFlash);
      std::fill(flash.end() - static_cast<std::ptrdiff_t>(kWsImageSize), flash.end(), 0x3C);
      flash[flash.size() - 4] = 0x35;  // a 512 KiB image as writing leaves it
      const std::filesystem::path file = c.bench.fixture.root() / "file.bin";
      support::writeFile(file, std::vector<std::uint8_t>(0x8000, 0x42));
      for (const char* name : {"fmUploadWS", "fmRAMDownWS", "fmRAMUploadWS"}) {
        c.fileAnswer[name] = QString::fromStdString(file.string());
      }
      probe = c.ProbeTraffic();
      if (run == 0) {
        c.Press(button.toLatin1().constData());
        // Erasing asks first; nothing else is shown before the window.
        QCOMPARE(c.shown, probeAfter ? QStringList{"EraseQuestion"} : QStringList{});
      } else {
        const std::vector<ui::OperationWindow*> all = c.OperationWindows();
        const auto it = std::find_if(all.begin(), all.end(), [&](auto* w) { return w->objectName() == window; });
        QVERIFY(it != all.end());
        (*it)->Run(c.bench.writer.link, c.main().state());
        c.traffic = c.bench.writer.port.commands();
      }
      QCOMPARE(c.ran, QStringList{window + QLatin1Char('|') + result});
      traffic[run] = c.traffic;
    }
    QVERIFY(!probe.empty());
    Commands expected = traffic[1];
    if (probeAfter) expected.insert(expected.end(), probe.begin(), probe.end());
    QCOMPARE(traffic[0], expected);
  }

  void selectDirectory_cancelKeeps_sameFolderKeepsCard_otherEmptiesIt() {
    Commander c(Card::Flash, 0);
    const std::filesystem::path roms = c.bench.fixture.root() / "roms";
    std::filesystem::create_directories(roms);
    support::writeFile(roms / "alpha.gb", Alpha());
    QVERIFY(c.Compose(roms, {"alpha.gb"}));
    auto* lvDown = Control<QTreeWidget>(c.main(), "lvDown");
    auto* lvFiles = Control<QTreeWidget>(c.main(), "lvFiles");
    support::writeFile(roms / "bravo.gb", Bravo());

    c.directory.clear();  // Cancel
    c.Press("Button2");
    QCOMPARE(c.shown.last(), QStringLiteral("fmDirect"));
    QCOMPARE(c.windows().fmDirect->filter(), QStringLiteral("GB files(*.gb;*.gbc)|*.gb;*.gbc"));
    QCOMPARE(ColumnTexts(lvFiles), QStringList{"alpha.gb"});
    QCOMPARE(c.main().cardList().count(), 1);

    c.directory = roms.string() + "/";  // OK on the same folder: listed again, the card kept
    c.Press("Button2");
    QCOMPARE(ColumnTexts(lvFiles), QStringList({"alpha.gb", "bravo.gb"}));
    QCOMPARE(ColumnTexts(lvDown), QStringList{"alpha.gb"});
    QCOMPARE(c.main().cardList().count(), 1);

    c.directory = c.bench.fixture.root().string();  // OK on another folder
    c.Press("Button2");
    QCOMPARE(c.main().cardList().count(), 0);
    QCOMPARE(lvDown->topLevelItemCount(), 0);
    QCOMPARE(Control<QLabel>(c.main(), "lbDirect")->text(), QString::fromStdString(c.directory));
    QCOMPARE(c.traffic, Commands{});
  }

  void about_shownAndNoTraffic() {
    Commander c(Card::Flash, 0);
    c.Press("Button12");
    QCOMPARE(c.shown, QStringList{"fmAbout"});
    QCOMPARE(c.traffic, Commands{});
  }

  // Anything a command throws ends as an "Error" box, not in the event loop.
  void guard_throwingCommand_errorBox() {
    Commander c(Card::Flash, 0);
    c.main().setModalHook(
        [](QDialog&, const std::function<int()>&) -> int { throw std::runtime_error("chooser broke"); });
    c.Press("Button13");
    QCOMPARE(c.bench.fixture.messages, QStringList{"Error|chooser broke"});
    QCOMPARE(c.ran, QStringList{});
  }

  // A program with no writer: the probes show nothing and an operation ends "Linking Fail".
  void silentPort_commandsTakeTheNoAnswerPath() {
    WindowFixture f;
    const std::filesystem::path roms = f.root() / "roms";
    std::filesystem::create_directories(roms);
    support::writeFile(roms / "alpha.gb", Alpha());
    ui::Tform_ZEP& main = f.open();  // the fixture's writer never answers
    QCOMPARE(main.cardInfo().kind, -1);
    main.settings().romDir = roms.string();
    Click(Control<QPushButton>(main, "Button1"));
    QVERIFY(ClickRow(Control<QTreeWidget>(main, "lvFiles"), "alpha.gb"));
    Click(Control<QPushButton>(main, "Button3"));
    QCOMPARE(main.cardList().count(), 1);
    QStringList shown, ran;
    main.setModalHook([&](QDialog& w, const std::function<int()>&) {
      shown.append(w.objectName());
      return 2;
    });
    ui::OperationWindow& down = *main.windows().Named("TfmDown");
    QObject::connect(&down, &ui::OperationWindow::workerEnded, &down, [&] {
      ran.append(QString::fromStdString(down.result().text));
      QTimer::singleShot(0, &down, [&down] { Button(down)->click(); });
    });
    Control<QPushButton>(main, "Button6")->click();
    QCOMPARE(ran, QStringList{"Linking Fail"});
    for (const char* button : {"Button9", "Button11", "Button10", "Button13"}) {
      Control<QPushButton>(main, button)->click();
    }
    QCOMPARE(shown, QStringList{});
    QCOMPARE(ran.size(), 1);
    QCOMPARE(main.cardInfo().kind, -1);
    QCOMPARE(f.messages, QStringList{});
    // Why there is no writer, as the command line says it, stays in the status line.
    QCOMPARE(Status(main), QStringLiteral("Linking Fail (run quillon-cli doctor for more)"));
    // A reason of several lines runs together; what does not fit gives way, never the hint.
    const std::string reason =
        "No parallel port could be opened.\n  ppdev: /dev/parport0 does not exist: " + std::string(200, 'x') +
        "\n  (use --port sim:DIR for the simulated writer)";
    main.SetWriterReason(reason);
    for (const char* button : {"", "Button6"}) {
      if (*button != '\0') Control<QPushButton>(main, button)->click();
      auto* status = Control<QLabel>(main, "lbStatus");
      QCOMPARE(status->toolTip(),
               QStringLiteral("No parallel port could be opened. ppdev: /dev/parport0 does not exist: ") +
                   QString(200, 'x') +
                   " (use --port sim:DIR for the simulated writer) (run quillon-cli doctor for more)");
      QVERIFY(status->text().startsWith("No parallel port could be opened."));
      QVERIFY(status->text().endsWith(QChar(0x2026) + QStringLiteral(" (run quillon-cli doctor for more)")));
      QVERIFY(ShownWhole(*status));
    }
  }

  // --- the erase question --------------------------------------------------------------

  // "Earse Card" asks before anything is erased, after the GB card size; only "Yes" erases.
  // "No", Escape and Enter (the default button is "No") send nothing more to the writer.
  void erase_question_onlyYesErases_data() {
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("press");
    QTest::addColumn<bool>("erases");
    for (const int type : {0, 1, 2}) {
      for (const char* press : {"yes", "no", "escape", "enter"}) {
        QTest::addRow("writer type %d, %s", type, press)
            << type << QString::fromLatin1(press) << (QByteArray(press) == "yes");
      }
    }
  }
  void erase_question_onlyYesErases() {
    QFETCH(int, writerType);
    QFETCH(QString, press);
    QFETCH(bool, erases);
    const bool ws = writerType == 2;
    Commander c(ws ? Card::WsFlash : Card::Flash, writerType);
    auto flash = c.bench.writer.port.memory(ws ? sim::Memory::WsFlash : sim::Memory::GbFlash);
    std::fill(flash.begin(), flash.end(), 0x00);
    const Commands probe = ws ? Commands{} : c.ProbeTraffic();
    c.picks = {"32MB Card"};
    c.erasePress = press;
    c.Press("Button13");

    QCOMPARE(c.questions, QStringList{"Earse Card|All images and saves on the card will be erased.|&Yes|&No|&No|&No"});
    QCOMPARE(c.shown, ws ? QStringList{"EraseQuestion"} : QStringList({"fmSelect", "EraseQuestion"}));
    const bool erased = std::all_of(flash.begin(), flash.end(), [](std::uint8_t v) { return v == 0xFF; });
    const bool untouched = std::all_of(flash.begin(), flash.end(), [](std::uint8_t v) { return v == 0x00; });
    if (erases) {
      QCOMPARE(c.ran,
               QStringList{QString::fromLatin1(ws ? "fmClearWS" : "fmClear") + QStringLiteral("|Earsing Success")});
      QVERIFY(erased);
      QCOMPARE(Status(c.main()), QString());
    } else {
      QCOMPARE(c.ran, QStringList{});
      QCOMPARE(c.traffic, probe);  // GB: the probe before the size choice; WS: nothing
      QVERIFY(untouched);
      QCOMPARE(Status(c.main()), QStringLiteral("Nothing was erased"));
    }
  }

  // Only erasing asks: reading and saving go on without the question.
  void erase_question_notAskedByOtherCommands_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("pick");
    QTest::newRow("download card") << "Button9"
                                   << "ALPHA";
    QTest::newRow("download RAM") << "Button11"
                                  << "BRAVO";
  }
  void erase_question_notAskedByOtherCommands() {
    QFETCH(QString, button);
    QFETCH(QString, pick);
    Commander c(Card::Flash, 0);
    const QString file = QString::fromStdString((c.bench.fixture.root() / "out.bin").string());
    c.fileAnswer["fmUpload"] = file;
    c.fileAnswer["fmRAMDown"] = file;
    c.picks = {pick};
    c.erasePress = QStringLiteral("no");
    c.Press(button.toLatin1().constData());
    QCOMPARE(c.questions, QStringList{});
    QCOMPARE(c.ran.size(), 1);
    QVERIFY2(c.ran.front().endsWith(QStringLiteral("|Downloading Success")), qPrintable(c.ran.front()));
  }

  // --- the card information after a write or erase that did not finish ----------------

  // A write or erase that failed or was stopped is said above the probe's text until a write
  // or erase succeeds; "Reread Card Information" and a read keep saying it.
  void info_unfinishedWork_saidUntilOneSucceeds_data() {
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("fault");   // armed for the first run
    QTest::addColumn<QString>("stopAt");  // or: the step label the first run is stopped at
    QTest::addColumn<QString>("note");
    const QString write = QStringLiteral("Last write did not finish: images may be damaged");
    const QString erase = QStringLiteral("Last erase did not finish");
    QTest::newRow("GB write fails") << 0 << "Button6"
                                    << "program-fail-bank=3" << QString() << write;
    QTest::newRow("GB+Password write stopped") << 1 << "Button6" << QString() << "Writing : " << write;
    QTest::newRow("GB erase fails") << 0 << "Button13"
                                    << "erase-fail-block=2" << QString() << erase;
    QTest::newRow("GB erase stopped") << 0 << "Button13" << QString() << "Earsing ROM : 0x010000" << erase;
    QTest::newRow("WS write fails") << 2 << "Button6"
                                    << "program-fail-bank=62" << QString() << write;
    QTest::newRow("WS erase stopped") << 2 << "Button13" << QString() << "Earsing : 0x020000" << erase;
  }
  void info_unfinishedWork_saidUntilOneSucceeds() {
    QFETCH(int, writerType);
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QString, stopAt);
    QFETCH(QString, note);
    const bool ws = writerType == 2;
    Commander c(ws ? Card::WsFlash : Card::EmptyFlash, writerType);
    if (button == QStringLiteral("Button6")) QVERIFY(ComposeOne(c, ws));
    if (!fault.isEmpty()) sim::armFault(c.bench.writer.port.faults(), fault.toStdString());
    c.stopAt = stopAt;
    c.picks = {"16MB Card"};
    c.Press(button.toLatin1().constData());
    QCOMPARE(c.ran.size(), 1);
    QVERIFY2(!c.ran.front().endsWith(QStringLiteral("Success")), qPrintable(c.ran.front()));
    // The status line keeps the failure message, or says how far the stopped operation got.
    if (stopAt.isEmpty()) {
      QCOMPARE(Status(c.main()), c.ran.front().section(QLatin1Char('|'), 1));
    } else {
      const QRegularExpression got(QStringLiteral("^Stopped at \\d+ %: \\d.* of \\d.* (written|erased)$"));
      QVERIFY2(got.match(Status(c.main())).hasMatch(), qPrintable(Status(c.main())));
    }
    // The note and when and by whom the work began, then what the probe after the window read.
    const QRegularExpression started(QStringLiteral("\n(Started \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d by quillon)\n"));
    const QString noted = note + QLatin1Char('\n') + started.match(Info(c.main())).captured(1) + QLatin1Char('\n');
    QVERIFY(EndsWith(c.traffic, c.ProbeTraffic()));
    QCOMPARE(Info(c.main()), noted + ProbeText(c.main()));

    c.Press("Button8");  // "Reread Card Information"
    QCOMPARE(Info(c.main()), noted + ProbeText(c.main()));

    c.bench.writer.port.faults() = {};
    c.stopAt.clear();
    if (ws) {  // a read is no write or erase
      c.fileAnswer["fmUploadWS"] = QString::fromStdString((c.bench.fixture.root() / "read.ws").string());
      c.ran.clear();
      c.Press("Button9");
      QCOMPARE(c.ran.size(), 1);
      QCOMPARE(Info(c.main()).section(QLatin1Char('\n'), 0, 0), note);
    }

    c.ran.clear();
    c.picks = {"16MB Card"};
    c.Press(button.toLatin1().constData());
    QCOMPARE(c.ran.size(), 1);
    QVERIFY2(c.ran.front().endsWith(QStringLiteral("Success")), qPrintable(c.ran.front()));
    QCOMPARE(Info(c.main()), ProbeText(c.main()));
  }

  // Of an erase and a write that both did not finish, the last is said; a write that
  // succeeds ends the note of an erase as well.
  void info_unfinishedWork_lastOneSaid() {
    Commander c(Card::EmptyFlash, 0);
    QVERIFY(ComposeOne(c, false));
    c.picks = {"16MB Card"};
    sim::armFault(c.bench.writer.port.faults(), "erase-fail-block=0");
    c.Press("Button13");
    QVERIFY2(Info(c.main()).startsWith(QStringLiteral("Last erase did not finish\n")), qPrintable(Info(c.main())));
    c.Press("Button6");  // the same fault: the write's erase fails
    QVERIFY2(Info(c.main()).startsWith(QStringLiteral("Last write did not finish: images may be damaged\n")),
             qPrintable(Info(c.main())));
    QVERIFY(!Info(c.main()).contains(QStringLiteral("Last erase")));
    c.bench.writer.port.faults() = {};
    c.picks = {"16MB Card"};
    sim::armFault(c.bench.writer.port.faults(), "erase-fail-block=0");
    c.Press("Button13");
    QVERIFY(Info(c.main()).startsWith(QStringLiteral("Last erase did not finish\n")));
    c.bench.writer.port.faults() = {};
    c.Press("Button6");
    QCOMPARE(Info(c.main()), ProbeText(c.main()));
    QVERIFY(Info(c.main()).contains(QStringLiteral("Name:ALPHA")));
  }

  // A command's probe that the writer does not answer keeps the text of the last answer under
  // "The writer does not answer", and the command says why it did nothing.
  void info_writerStopsAnswering_saidAboveTheKeptText() {
    Commander c(Card::Flash, 0);
    const QString answered = Info(c.main());
    QVERIFY(answered.startsWith(QStringLiteral("Emulator Card\n")));
    c.bench.writer.port.faults().absent = true;
    for (const char* button : {"Button9", "Button11", "Button10", "Button13"}) {
      c.Press(button);
      QCOMPARE(Info(c.main()), QStringLiteral("The writer does not answer\n") + answered);
      QCOMPARE(Status(c.main()), QStringLiteral("Linking Fail (run quillon-cli doctor for more)"));
    }
    QCOMPARE(c.shown, QStringList{});
    c.bench.writer.port.faults().absent = false;
    c.Press("Button8");
    QCOMPARE(Info(c.main()), answered);
  }

  // An operation that fails says why in the status line once its window has closed, the
  // longest message whole; the WS operations are where a WS command finds no writer or card.
  void status_operationFailed_messageShownWhole_data() {
    QTest::addColumn<int>("card");
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("status");
    const QString wrongCard = QStringLiteral("Card is not inserted right or FLASH ROM is not supported");
    QTest::newRow("GB write, cartridge") << static_cast<int>(Card::Cart) << 0 << "Button6" << QString() << wrongCard;
    QTest::newRow("GB write, unknown menu chip") << static_cast<int>(Card::EmptyFlash) << 0 << "Button6"
                                                 << "unknown-bios-chip" << wrongCard;
    QTest::newRow("WS erase, unknown card") << static_cast<int>(Card::WsFlash) << 2 << "Button13"
                                            << "ws-id=1234" << wrongCard;
    QTest::newRow("WS write, unknown card") << static_cast<int>(Card::WsFlash) << 2 << "Button6"
                                            << "ws-id=1234" << wrongCard;
    QTest::newRow("WS read, no writer") << static_cast<int>(Card::WsFlash) << 2 << "Button9"
                                        << "absent"
                                        << "Linking Error";
  }
  void status_operationFailed_messageShownWhole() {
    QFETCH(int, card);
    QFETCH(int, writerType);
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QString, status);
    const bool ws = writerType == 2;
    Commander c(static_cast<Card>(card), writerType);
    if (button == QStringLiteral("Button6")) QVERIFY(ComposeOne(c, ws));
    if (!fault.isEmpty()) sim::armFault(c.bench.writer.port.faults(), fault.toStdString());
    c.fileAnswer["fmUploadWS"] = QString::fromStdString((c.bench.fixture.root() / "read.ws").string());
    c.Press(button.toLatin1().constData());
    QCOMPARE(c.ran.size(), 1);
    QCOMPARE(c.ran.front().section(QLatin1Char('|'), 1), status);
    QCOMPARE(Status(c.main()), status);
    QVERIFY(ShownWhole(*Control<QLabel>(c.main(), "lbStatus")));

    c.bench.writer.port.faults() = {};
    c.Press("Button8");  // the next command clears it
    QCOMPARE(Status(c.main()), QString());
  }

  // --- titles ---------------------------------------------------------------------------

  // The 16th title byte shows as a character unless it is the colour flag: in the item
  // chooser and in the card information box alike.
  void titles_colourFlagIsNoCharacter_chooserAndInfo() {
    Commander c(Card::ColourFlash, 0);
    const QStringList titles{"FIFTEEN LETTERS", "COLOUR ONLY GAM", "SIXTEEN LETTERS!"};
    const QString info = Info(c.main());
    for (const QString& title : titles) {
      QVERIFY2(info.contains(QStringLiteral("\nName:") + title + QLatin1Char('\n')), qPrintable(info));
    }
    QVERIFY2(!info.contains(QStringLiteral("\\x")) && !info.contains(QChar(0xC0)), qPrintable(info));
    c.picks = {kCancel};
    c.Press("Button9");
    QCOMPARE(c.offered.size(), std::size_t{1});
    QCOMPARE(c.offered[0], (QStringList{"1. " + titles[0], "2. " + titles[1], "3. " + titles[2]}));

    Commander cart(Card::ColourCart, 0);
    QCOMPARE(Info(cart.main()).section(QLatin1Char('\n'), 0, 1), QStringLiteral("Standard Card\nName:COLOUR ONLY GAM"));
  }
};

int RunMainCommandTests(int argc, char** argv) {
  MainCommandTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_command_tests.moc"
