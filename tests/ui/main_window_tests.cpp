// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: start-up, settings at exit, writer type, layout rules, card list commands.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <cstdlib>
#include <vector>

#include "image_files.h"
#include "library/rom_scan.h"
#include "ui/main_window.h"
#include "ui/secondary_windows.h"
#include "ui/settings.h"
#include "ui/widgets.h"
#include "window_fixture.h"

using quillon::ui::Tform_ZEP;
using namespace quillon::uitest;

namespace {

constexpr const char* kBottomRow[] = {"Button6", "Button9", "Button11", "Button10", "Button13", "Button7", "Button12"};

// The images most tests use.
void MakeRomFolder(const std::filesystem::path& dir) {
  WriteGbImage(dir / "a.gb", {"ALPHA", 0x19, 0, 0, false});
  WriteGbImage(dir / "A.gb", {"ALPHA CAPITAL", 0x19, 0, 0, false});
  WriteGbImage(dir / "b.gbc", {"BRAVO", 0x1B, 0, 0, true});
  WriteGbImage(dir / "c.gb", {"CHARLIE", 0x01, 1, 0, false});
  WriteGbImage(dir / "t.gb", {"MMM01", 0x04, 0, 0, false});
  WriteGbImage(dir / "big.gb", {"BIG", 0x19, 7, 0, false});
  WriteGbImage(dir / "s1.gb", {"SAVE1", 0x1B, 0, 3, false});
  WriteGbImage(dir / "s2.gb", {"SAVE2", 0x1B, 0, 3, false});
  WriteGbImage(dir / "s3.gb", {"SAVE3", 0x1B, 0, 3, false});
  WriteGbImage(dir / "x3.gb", {"POCKETMON", 0x13, 2, 1, true});
  WriteGbImage(dir / "big5.gb", {"\xA4\xA4\xA4\xE5", 0x19, 0, 0, false});
  WriteWsImage(dir / "c.ws", 0x80000, 0x20);
  WriteWsImage(dir / "d.wsc", 0x100000, 0x00);
  WriteText(dir / "notes.txt", "not an image");
}

QStringList LibraryFiles(const std::filesystem::path& dir, int writerType) {
  QStringList files;
  for (const auto& row : quillon::library::ScanRomDir(dir, static_cast<quillon::library::WriterType>(writerType))) {
    files.append(QString::fromStdString(row.file));
  }
  return files;
}

QStringList CardFiles(const Tform_ZEP& window) {
  QStringList files;
  for (const auto& entry : window.cardList().entries()) {
    files.append(QString::fromStdString(entry.fileName));
  }
  return files;
}

// Picks an item of the "Writer Type" box with the arrow keys, as a user would.
void PickWithKeys(QComboBox* combo, int index) {
  combo->setFocus();
  while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
  while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
}

// Picks the item already shown, as from the drop-down list.
void RepickCurrent(QComboBox* combo) { emit combo->activated(combo->currentIndex()); }

QList<int> ColumnWidths(const QTreeWidget* view) {
  QList<int> widths;
  for (int c = 0; c < view->columnCount(); ++c) {
    widths.append(view->isColumnHidden(c) ? 0 : view->columnWidth(c));
  }
  return widths;
}

const QList<int> kGbWidths{90, 120, 40, 55, 55, 50};
const QList<int> kWsWidths{260, 0, 0, 60, 90, 0};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // --- start-up ------------------------------------------------------------------------

  void firstStart_noSettingsFile_defaultsAndFileWrittenAtExit() {
    WindowFixture f;
    WriteGbImage(f.root() / "b.gbc", {"BRAVO", 0x19, 0, 0, true});
    WriteGbImage(f.root() / "a.gb", {"ALPHA", 0x19, 0, 0, false});
    WriteWsImage(f.root() / "c.ws", 0x80000, 0);
    WriteText(f.root() / "notes.txt", "x");
    Tform_ZEP& w = f.open();
    const QString dir = QString::fromStdString(f.programDir());

    auto* combo = Control<QComboBox>(w, "ComboBox1");
    QVERIFY(combo);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->currentText(), QStringLiteral("GB"));
    QCOMPARE(static_cast<int>(w.writerType()), 0);
    QCOMPARE(Control<QLabel>(w, "lbDirect")->text(), dir);
    QCOMPARE(QString::fromStdString(w.settings().romDir), dir);
    QCOMPARE(QString::fromStdString(w.settings().saveRomDir), dir);
    QCOMPARE(QString::fromStdString(w.settings().ramDir), dir);
    QCOMPARE(QString::fromStdString(w.settings().patchDir), dir);
    QCOMPARE(ColumnTexts(Control<QTreeWidget>(w, "lvFiles")), (QStringList{"a.gb", "b.gbc"}));
    QCOMPARE(Control<QTreeWidget>(w, "lvDown")->topLevelItemCount(), 0);
    // The fixture's writer never answers.
    QCOMPARE(Control<QPlainTextEdit>(w, "ROMINFO")->toPlainText(), QStringLiteral("The writer does not answer"));
    QVERIFY(!std::filesystem::exists(f.settingsFile()));  // nothing written before exit

    f.close();
    QCOMPARE(QString::fromStdString(ReadText(f.settingsFile())),
             QStringLiteral("[Main]\nRomDir=%1\nSaveROMDir=%1\nRAMDir=%1\nPatchDir=%1\n"
                            "SystemStyle=0\n")
                 .arg(dir));
    QVERIFY(f.messages.isEmpty());
  }

  // "Verify after writing" and "Read twice", in the status line's row, start as their keys say
  // and are saved at exit; a file that never had the key gets it only once the box was ticked.
  void verifyAfterWrite_savedAndReadBack_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("before");  // lines of [Main]
    QTest::addColumn<bool>("checked");    // the box at start
    QTest::addColumn<bool>("click");
    QTest::addColumn<QString>("after");  // the key's line at exit; empty: none
    const QString verify = QStringLiteral("VerifyAfterWrite");
    QTest::newRow("no key, left") << verify << "" << false << false << "";
    QTest::newRow("no key, ticked") << verify << "" << false << true << "VerifyAfterWrite=1";
    QTest::newRow("on, cleared") << verify << "VerifyAfterWrite=1\n" << true << true << "VerifyAfterWrite=0";
    QTest::newRow("not a number") << verify << "VerifyAfterWrite=yes\n" << false << false << "VerifyAfterWrite=0";
    QTest::newRow("read twice") << QStringLiteral("ReadTwice") << "ReadTwice=1\n" << true << true << "ReadTwice=0";
  }
  void verifyAfterWrite_savedAndReadBack() {
    QFETCH(QString, key);
    QFETCH(QString, before);
    QFETCH(bool, checked);
    QFETCH(bool, click);
    QFETCH(QString, after);
    WindowFixture f;
    f.writeSettings("[Main]\n" + before.toStdString());
    Tform_ZEP& w = f.open();
    const bool verify = key == QStringLiteral("VerifyAfterWrite");
    auto* box = Control<QCheckBox>(w, verify ? "cbVerify" : "cbReadTwice");
    QCOMPARE(Caption(box), verify ? QStringLiteral("Verify after writing") : QStringLiteral("Read twice"));
    QCOMPARE(box->isChecked(), checked);
    QVERIFY(w.rect().contains(box->geometry()));
    QVERIFY(!box->geometry().intersects(Control<QWidget>(w, "lbStatus")->geometry()));
    if (click) box->click();
    f.close();
    const std::string text = ReadText(f.settingsFile());
    const std::size_t at = text.find(key.toStdString());
    QCOMPARE(QString::fromStdString(at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at)), after);
  }

  // The window's place is kept in [Main] (Left, Top, Width, Height) once it was moved or
  // resized, or when the file held it, and taken at the next start where the screen has room.
  void place_savedAndRestored_data() {
    QTest::addColumn<QString>("before");  // lines of [Main]
    QTest::addColumn<QRect>("opened");    // null: centred
    QTest::addColumn<QRect>("moved");     // null: left where it opened
    const QString place = QStringLiteral("Left=%1\nTop=%2\nWidth=%3\nHeight=%4\n");
    QTest::newRow("never moved: not written") << "" << QRect() << QRect();
    QTest::newRow("moved and resized") << "" << QRect() << QRect(30, 40, 700, 500);
    QTest::newRow("kept") << place.arg(10).arg(20).arg(640).arg(470) << QRect(10, 20, 640, 470) << QRect();
    QTest::newRow("off the screen: centred") << place.arg(5000).arg(20).arg(640).arg(470) << QRect() << QRect();
    QTest::newRow("too small: the least size")
        << place.arg(10).arg(20).arg(100).arg(100) << QRect(10, 20, 632, Tform_ZEP::kMinimumHeight) << QRect();
  }
  void place_savedAndRestored() {
    QFETCH(QString, before);
    QFETCH(QRect, opened);
    QFETCH(QRect, moved);
    WindowFixture f;
    f.writeSettings("[Main]\n" + before.toStdString());
    Tform_ZEP& w = f.open();
    QCOMPARE(w.geometry(), opened.isNull() ? quillon::ui::CentredOnDesktop(w.minimumSize()) : opened);
    if (!moved.isNull()) w.setGeometry(moved);
    const QRect left = w.geometry();
    f.close();
    const auto saved = quillon::ui::ReadWindowPlace(quillon::ui::IniFile::Load(f.settingsFile()));
    QCOMPARE(saved.has_value(), !before.isEmpty() || !moved.isNull());
    if (!saved) return;
    QCOMPARE(QRect(saved->left, saved->top, saved->width, saved->height), left);
    QCOMPARE(f.open().geometry(), left);
  }

  void startup_systemStyle_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("comboIndex");
    QTest::addColumn<int>("writerType");
    QTest::addColumn<int>("listedAs");  // writer type whose files are listed, -1 none
    QTest::newRow("1: GB+Password") << "1" << 1 << 1 << 1;
    QTest::newRow("2: WS") << "2" << 2 << 2 << 2;
    QTest::newRow("0: GB") << "0" << 0 << 0 << 0;
    QTest::newRow("not a number") << "WS" << 0 << 0 << 0;
    QTest::newRow("number and text") << "2nd" << 0 << 0 << 0;
    QTest::newRow("empty") << "" << 0 << 0 << 0;
    QTest::newRow("3: outside") << "3" << -1 << 3 << -1;
    QTest::newRow("-1: outside") << "-1" << -1 << -1 << -1;
  }
  void startup_systemStyle() {
    QFETCH(QString, value);
    QFETCH(int, comboIndex);
    QFETCH(int, writerType);
    QFETCH(int, listedAs);
    WindowFixture f;
    MakeRomFolder(f.root());
    f.writeSettings("[Main]\nSystemStyle=" + value.toStdString() + "\n");
    Tform_ZEP& w = f.open();

    QCOMPARE(Control<QComboBox>(w, "ComboBox1")->currentIndex(), comboIndex);
    QCOMPARE(static_cast<int>(w.writerType()), writerType);
    QCOMPARE(static_cast<int>(w.previousWriterType()), writerType);
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    if (listedAs < 0) {
      QCOMPARE(lvFiles->topLevelItemCount(), 0);
      // No column change either: neither table's widths were applied.
      const QList<int> widths = ColumnWidths(lvFiles);
      QVERIFY(widths != kGbWidths);
      QVERIFY(widths != kWsWidths);
      QVERIFY(!widths.contains(0));
    } else {
      QCOMPARE(ColumnTexts(lvFiles), LibraryFiles(f.root(), listedAs));
      const QList<int>& expected = listedAs == 2 ? kWsWidths : kGbWidths;
      QCOMPARE(ColumnWidths(lvFiles), expected);
      QCOMPARE(ColumnWidths(Control<QTreeWidget>(w, "lvDown")), expected);
    }
  }

  void startup_handWrittenSettings_readAndKeptAtExit() {
    WindowFixture f;
    const auto roms = f.root() / "my roms";
    std::filesystem::create_directory(roms);
    WriteGbImage(roms / "only.gb", {"ONLY", 0x19, 0, 0, false});
    WriteGbImage(f.root() / "beside.gb", {"BESIDE", 0x19, 0, 0, false});
    const std::string romDir = roms.string() + "/";
    f.writeSettings(
        "; written by hand\r\n[Window]\r\nLeft=10\r\n\r\n[main]\r\n"
        "romdir = \"" +
        romDir +
        "\"\r\n# the writer type\r\nSYSTEMSTYLE = 1\r\n"
        "Mine=keep me\r\n\r\n[Tail]\r\nX=1\r\n");
    Tform_ZEP& w = f.open();
    QCOMPARE(Control<QLabel>(w, "lbDirect")->text(), QString::fromStdString(romDir));
    QCOMPARE(ColumnTexts(Control<QTreeWidget>(w, "lvFiles")), QStringList{"only.gb"});
    QCOMPARE(static_cast<int>(w.writerType()), 1);

    PickWithKeys(Control<QComboBox>(w, "ComboBox1"), 0);
    w.settings().ramDir = "/saves/";  // as a save memory operation leaves it
    f.close();
    QCOMPARE(QString::fromStdString(ReadText(f.settingsFile())),
             QString::fromStdString("; written by hand\r\n[Window]\r\nLeft=10\r\n\r\n[main]\r\n"
                                    "romdir = \"" +
                                    romDir +
                                    "\"\r\n# the writer type\r\nSYSTEMSTYLE = 0\r\n"
                                    "Mine=keep me\r\nSaveROMDir=" +
                                    f.programDir() +
                                    "\r\nRAMDir=/saves/\r\n"
                                    "PatchDir=" +
                                    f.programDir() + "\r\n\r\n[Tail]\r\nX=1\r\n"));
  }

  void startup_romDirUnreachable_shownAndListEmpty() {
    WindowFixture f;
    MakeRomFolder(f.root());
    f.writeSettings("[Main]\nRomDir=/no/such/folder/\n");
    Tform_ZEP& w = f.open();
    QCOMPARE(Control<QLabel>(w, "lbDirect")->text(), QStringLiteral("/no/such/folder/"));
    QCOMPARE(Control<QTreeWidget>(w, "lvFiles")->topLevelItemCount(), 0);
    f.close();
    QVERIFY(ReadText(f.settingsFile()).find("RomDir=/no/such/folder/\n") != std::string::npos);
  }

  // A ROM directory wider than the room left of "Select Directory" keeps out of the buttons:
  // the label shows its start and end, and its tool tip holds the whole path. A wider window
  // gives it more room.
  void startup_longRomDir_shortenedInItsRoomWholeInToolTip() {
    WindowFixture f;
    const std::string dir = "/" + std::string(120, 'd') + "/roms/";
    f.writeSettings("[Main]\nRomDir=" + dir + "\n");
    Tform_ZEP& w = f.open();
    auto* label = dynamic_cast<quillon::ui::PathLabel*>(Control<QLabel>(w, "lbDirect"));
    QVERIFY(label != nullptr);
    const QString whole = QString::fromStdString(dir);
    QCOMPARE(label->text(), whole);
    QCOMPARE(label->toolTip(), whole);
    QVERIFY(label->elided());
    QVERIFY(label->geometry().right() < Control<QWidget>(w, "Button2")->x());

    w.resize(2400, 600);
    QVERIFY(!label->elided());
    QVERIFY(label->geometry().right() < Control<QWidget>(w, "Button2")->x());
  }

  // --- controls ------------------------------------------------------------------------

  void window_captionAndSize() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillon Writing System ") + QStringLiteral(QUILLON_PROJECT_VERSION));
    // The controls' design size and the status line under them.
    QCOMPARE(w.size(), QSize(632, 418 + Tform_ZEP::kStatusHeight));
    QCOMPARE(w.minimumSize(), w.size());
    const QRect screen = w.screen()->availableGeometry();
    QVERIFY2(std::abs(w.geometry().center().x() - screen.center().x()) <= 1 &&
                 std::abs(w.geometry().center().y() - screen.center().y()) <= 1,
             "the window opens centred");
  }

  // Smaller than the design size in either direction, the window keeps the design size
  // there, and the controls stay where the design puts them.
  void window_cannotShrinkBelowDesign_data() {
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("kept");
    const int height = 418 + Tform_ZEP::kStatusHeight;
    QTest::newRow("both smaller") << QSize(400, 300) << QSize(632, height);
    QTest::newRow("narrower") << QSize(500, height + 100) << QSize(632, height + 100);
    QTest::newRow("lower") << QSize(900, 200) << QSize(900, height);
  }
  void window_cannotShrinkBelowDesign() {
    QFETCH(QSize, asked);
    QFETCH(QSize, kept);
    WindowFixture f;
    Tform_ZEP& w = f.open();
    w.resize(1200, 900);
    w.resize(asked);
    QCOMPARE(w.size(), kept);
    QCOMPARE(Control<QWidget>(w, "lvFiles")->y(), 40);
    QVERIFY(w.rect().contains(Control<QWidget>(w, "lbStatus")->geometry()));
    QVERIFY(w.rect().contains(Control<QWidget>(w, "Button12")->geometry()));
  }

  void controls_designPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("Button2") << "Button2"
                             << "Select Directory" << QRect(220, 12, 109, 25);
    QTest::newRow("Button1") << "Button1"
                             << "Research Files" << QRect(328, 12, 109, 25);
    QTest::newRow("lvFiles") << "lvFiles"
                             << "" << QRect(4, 40, 433, 157);
    QTest::newRow("Button3") << "Button3"
                             << "Add" << QRect(4, 200, 73, 25);
    QTest::newRow("Button4") << "Button4"
                             << "Delete" << QRect(76, 200, 73, 25);
    QTest::newRow("Button5") << "Button5"
                             << "Delete All" << QRect(148, 200, 73, 25);
    QTest::newRow("lvDown") << "lvDown"
                            << "" << QRect(4, 228, 433, 157);
    QTest::newRow("Button6") << "Button6"
                             << "Start Writing" << QRect(4, 388, 93, 25);
    QTest::newRow("Button9") << "Button9"
                             << "Download Card" << QRect(96, 388, 105, 25);
    QTest::newRow("Button11") << "Button11"
                              << "Download RAM" << QRect(200, 388, 101, 25);
    QTest::newRow("Button10") << "Button10"
                              << "Upload RAM" << QRect(300, 388, 93, 25);
    QTest::newRow("Button13") << "Button13"
                              << "Earse Card" << QRect(392, 388, 85, 25);
    QTest::newRow("Button8") << "Button8"
                             << "Reread Card Information" << QRect(452, 12, 165, 25);
    QTest::newRow("ROMINFO") << "ROMINFO"
                             << "" << QRect(440, 40, 189, 345);
    QTest::newRow("Button7") << "Button7"
                             << "Exit" << QRect(476, 388, 77, 25);
    QTest::newRow("Button12") << "Button12"
                              << "About" << QRect(552, 388, 77, 25);
  }
  void controls_designPlaces() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, rect);
    WindowFixture f;
    Tform_ZEP& w = f.open();
    auto* control = w.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), rect);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      QCOMPARE(Caption(button), caption);
      QCOMPARE(button->font().pixelSize(), 13);
    }
  }

  void controls_labelsComboAndFonts() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    struct Label {
      const char* name;
      QString text;
      QPoint at;
    };
    for (const Label& l : {Label{"Label1", "ROM directory", {4, 4}}, Label{"Label2", "Writer Type", {228, 204}},
                           Label{"lbDirect", QString::fromStdString(f.programDir()), {4, 20}}}) {
      auto* label = Control<QLabel>(w, l.name);
      QVERIFY2(label, l.name);
      QCOMPARE(label->text(), l.text);
      QCOMPARE(label->pos(), l.at);
      QCOMPARE(label->font().pixelSize(), 13);
      QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }
    auto* combo = Control<QComboBox>(w, "ComboBox1");
    QCOMPARE(combo->pos(), QPoint(304, 200));
    QCOMPARE(combo->width(), 133);
    QVERIFY(!combo->isEditable());
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QStringLiteral("GB"));
    QCOMPARE(combo->itemText(1), QStringLiteral("GB+Password"));
    QCOMPARE(combo->itemText(2), QStringLiteral("WS"));

    auto* info = Control<QPlainTextEdit>(w, "ROMINFO");
    QVERIFY(info->isReadOnly());
    QCOMPARE(info->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(info->font().pixelSize(), 12);

    const QStringList chinese = QFontDatabase::families(QFontDatabase::TraditionalChinese);
    for (const char* name : {"lvFiles", "lvDown"}) {
      auto* view = Control<QTreeWidget>(w, name);
      QCOMPARE(view->font().pixelSize(), 13);
      QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
      QCOMPARE(view->columnCount(), 6);
      QCOMPARE(view->headerItem()->text(0), QStringLiteral("Files"));
      QCOMPARE(view->headerItem()->text(1), QStringLiteral("Name"));
      QCOMPARE(view->headerItem()->text(2), QStringLiteral("Type"));
      QCOMPARE(view->headerItem()->text(3), QStringLiteral("Rom"));
      QCOMPARE(view->headerItem()->text(4), QStringLiteral("Ram"));
      QCOMPARE(view->headerItem()->text(5), QStringLiteral("Color"));
      if (!chinese.isEmpty()) {
        QVERIFY2(chinese.contains(view->font().family()), qPrintable(view->font().family()));
      }
    }
    if (!chinese.isEmpty()) QVERIFY(chinese.contains(info->font().family()));
  }

  void controls_tabOrder() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    const QStringList expected{"Button2",   "Button1", "lvFiles", "Button3", "Button4",  "Button5",
                               "ComboBox1", "lvDown",  "Button6", "Button9", "Button11", "Button10",
                               "Button13",  "Button8", "ROMINFO", "Button7", "Button12"};
    // Walk the focus chain once round from Button2, keeping the named controls.
    QStringList order;
    QWidget* start = Control<QWidget>(w, "Button2");
    QWidget* current = start;
    do {
      if (expected.contains(current->objectName()) && !order.contains(current->objectName())) {
        order.append(current->objectName());
      }
      current = current->nextInFocusChain();
    } while (current != start);
    QCOMPARE(order, expected);
    for (const QString& name : expected) {
      QVERIFY2(w.findChild<QWidget*>(name)->focusPolicy() & Qt::TabFocus, qPrintable(name));
    }
  }

  // Return and Enter press the button that has the focus, in the main window as in a dialog.
  void keys_returnPressesFocusedButton() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    const struct {
      const char* window;
      const char* button;
      Qt::Key key;
    } presses[] = {{"form_ZEP", "Button5", Qt::Key_Return},
                   {"form_ZEP", "Button1", Qt::Key_Enter},
                   {"fmAbout", "Button6", Qt::Key_Return},
                   {"fmDirect", "Button2", Qt::Key_Return}};
    for (const auto& press : presses) {
      QWidget* owner = w.objectName() == QLatin1String(press.window) ? &w : Control<QWidget>(w, press.window);
      auto* button = Control<QPushButton>(*owner, press.button);
      const QSignalSpy clicked(button, &QPushButton::clicked);
      button->setFocus();
      QTest::keyClick(button, press.key, press.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      QVERIFY2(clicked.count() == 1, press.button);
    }
  }

  void errorBox_captionTextOkNoIcon() {
    const std::unique_ptr<QMessageBox> box = Tform_ZEP::MakeErrorBox(QStringLiteral("ROM size too big"), nullptr);
    QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
    QCOMPARE(box->text(), QStringLiteral("ROM size too big"));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
  }

  // --- writer type ---------------------------------------------------------------------

  void writerType_gbToPasswordToWsAndBack() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* combo = Control<QComboBox>(w, "ComboBox1");
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    auto* lvDown = Control<QTreeWidget>(w, "lvDown");
    auto* info = Control<QPlainTextEdit>(w, "ROMINFO");
    const QStringList gbFiles = LibraryFiles(f.root(), 0);
    QCOMPARE(ColumnTexts(lvFiles), gbFiles);
    QVERIFY(gbFiles.contains("a.gb") && gbFiles.contains("b.gbc"));
    QVERIFY(!gbFiles.contains("c.ws") && !gbFiles.contains("notes.txt"));

    QVERIFY(ClickRow(lvFiles, "a.gb"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(lvDown->topLevelItemCount(), 1);
    info->setPlainText("card text of the previous probe");

    PickWithKeys(combo, 1);  // GB -> GB+Password
    QCOMPARE(static_cast<int>(w.writerType()), 1);
    QCOMPARE(static_cast<int>(w.previousWriterType()), 1);
    QCOMPARE(info->toPlainText(), QStringLiteral("The writer does not answer"));  // the old text went
    QCOMPARE(w.cardList().count(), 0);
    QCOMPARE(lvDown->topLevelItemCount(), 0);
    QCOMPARE(ColumnTexts(lvFiles), gbFiles);
    QCOMPARE(ColumnWidths(lvFiles), kGbWidths);

    QVERIFY(ClickRow(lvFiles, "a.gb"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(lvDown->topLevelItemCount(), 1);

    PickWithKeys(combo, 2);  // -> WS
    QCOMPARE(static_cast<int>(w.writerType()), 2);
    QCOMPARE(ColumnTexts(lvFiles), (QStringList{"c.ws", "d.wsc"}));
    QCOMPARE(w.cardList().count(), 0);
    QCOMPARE(lvDown->topLevelItemCount(), 0);
    QCOMPARE(ColumnWidths(lvFiles), kWsWidths);
    QCOMPARE(ColumnWidths(lvDown), kWsWidths);
    for (int hidden : {1, 2, 5}) {
      QVERIFY(lvFiles->isColumnHidden(hidden));
      QVERIFY(lvDown->isColumnHidden(hidden));
    }

    PickWithKeys(combo, 0);  // -> GB
    QCOMPARE(ColumnTexts(lvFiles), gbFiles);
    QCOMPARE(ColumnWidths(lvFiles), kGbWidths);
    QCOMPARE(ColumnWidths(lvDown), kGbWidths);
    QVERIFY(f.messages.isEmpty());
  }

  void writerType_repickSameItem_changesNothing() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* combo = Control<QComboBox>(w, "ComboBox1");
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    auto* info = Control<QPlainTextEdit>(w, "ROMINFO");
    QVERIFY(ClickRow(lvFiles, "a.gb"));
    Click(Control<QPushButton>(w, "Button3"));
    info->setPlainText("kept");
    const QStringList listed = ColumnTexts(lvFiles);
    WriteGbImage(f.root() / "new.gb", {"NEW", 0x19, 0, 0, false});  // a rescan would list it

    RepickCurrent(combo);
    QCOMPARE(static_cast<int>(w.writerType()), 0);
    QCOMPARE(info->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(CardFiles(w), QStringList{"a.gb"});
    QCOMPARE(ColumnTexts(Control<QTreeWidget>(w, "lvDown")), QStringList{"a.gb"});
    QCOMPARE(ColumnTexts(lvFiles), listed);
  }

  void writerType_outsideRange_nothingUntilPicked() {
    WindowFixture f;
    MakeRomFolder(f.root());
    f.writeSettings("[Main]\nSystemStyle=5\n");
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    Click(Control<QPushButton>(w, "Button1"));  // "Research Files"
    QCOMPARE(lvFiles->topLevelItemCount(), 0);
    Click(Control<QPushButton>(w, "Button3"));  // "Add" with nothing to add
    QCOMPARE(w.cardList().count(), 0);

    PickWithKeys(Control<QComboBox>(w, "ComboBox1"), 0);
    QCOMPARE(static_cast<int>(w.writerType()), 0);
    QCOMPARE(ColumnTexts(lvFiles), LibraryFiles(f.root(), 0));
    QCOMPARE(ColumnWidths(lvFiles), kGbWidths);
    f.close();
    QVERIFY(ReadText(f.settingsFile()).find("SystemStyle=0\n") != std::string::npos);
    QVERIFY(f.messages.isEmpty());
  }

  void writerType_keptAtExit() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    PickWithKeys(Control<QComboBox>(w, "ComboBox1"), 2);
    // The file is written only at exit.
    QVERIFY(!std::filesystem::exists(f.settingsFile()));
    f.close();
    QVERIFY(ReadText(f.settingsFile()).find("SystemStyle=2\n") != std::string::npos);
  }

  // --- resize --------------------------------------------------------------------------

  void resize_data() {
    QTest::addColumn<QSize>("client");  // the controls' area, above the status line
    QTest::addColumn<QRect>("lvFiles");
    QTest::addColumn<QRect>("lvDown");
    QTest::addColumn<QRect>("rominfo");
    QTest::addColumn<int>("middleTop");  // Button3..5 and ComboBox1
    QTest::addColumn<int>("label2Top");
    QTest::addColumn<int>("bottomTop");        // the bottom row of buttons
    QTest::addColumn<QList<int>>("topLefts");  // Button2, Button1, Button8
    QTest::newRow("design") << QSize(632, 418) << QRect(4, 40, 433, 157) << QRect(4, 228, 433, 157)
                            << QRect(440, 40, 189, 345) << 200 << 204 << 388 << QList<int>{220, 328, 452};
    QTest::newRow("100 taller") << QSize(632, 518) << QRect(4, 40, 433, 207) << QRect(4, 278, 433, 207)
                                << QRect(440, 40, 189, 445) << 250 << 254 << 488 << QList<int>{220, 328, 452};
    QTest::newRow("200 wider") << QSize(832, 418) << QRect(4, 40, 633, 157) << QRect(4, 228, 633, 157)
                               << QRect(640, 40, 189, 345) << 200 << 204 << 388 << QList<int>{420, 528, 652};
    QTest::newRow("wider and 101 taller (odd)")
        << QSize(832, 519) << QRect(4, 40, 633, 207) << QRect(4, 278, 633, 207) << QRect(640, 40, 189, 446) << 250
        << 254 << 489 << QList<int>{420, 528, 652};
    QTest::newRow("one pixel more each way")
        << QSize(633, 419) << QRect(4, 40, 434, 157) << QRect(4, 228, 434, 157) << QRect(441, 40, 189, 346) << 200
        << 204 << 389 << QList<int>{221, 329, 453};
    QTest::newRow("wider, design height") << QSize(900, 418) << QRect(4, 40, 701, 157) << QRect(4, 228, 701, 157)
                                          << QRect(708, 40, 189, 345) << 200 << 204 << 388 << QList<int>{488, 596, 720};
    QTest::newRow("higher, design width") << QSize(632, 618) << QRect(4, 40, 433, 257) << QRect(4, 328, 433, 257)
                                          << QRect(440, 40, 189, 545) << 300 << 304 << 588 << QList<int>{220, 328, 452};
  }
  void resize() {
    QFETCH(QSize, client);
    QFETCH(QRect, lvFiles);
    QFETCH(QRect, lvDown);
    QFETCH(QRect, rominfo);
    QFETCH(int, middleTop);
    QFETCH(int, label2Top);
    QFETCH(int, bottomTop);
    QFETCH(QList<int>, topLefts);
    WindowFixture f;
    Tform_ZEP& w = f.open();
    // Go through a much larger size first, so that nothing passes by staying put.
    w.resize(1200, 900);
    QCOMPARE(w.size(), QSize(1200, 900));
    const QSize window = client + QSize(0, Tform_ZEP::kStatusHeight);
    w.resize(window);
    QCOMPARE(w.size(), window);

    QCOMPARE(Control<QWidget>(w, "lvFiles")->geometry(), lvFiles);
    QCOMPARE(Control<QWidget>(w, "lvDown")->geometry(), lvDown);
    QCOMPARE(Control<QWidget>(w, "ROMINFO")->geometry(), rominfo);
    QCOMPARE(Control<QWidget>(w, "Button3")->geometry(), QRect(4, middleTop, 73, 25));
    QCOMPARE(Control<QWidget>(w, "Button4")->geometry(), QRect(76, middleTop, 73, 25));
    QCOMPARE(Control<QWidget>(w, "Button5")->geometry(), QRect(148, middleTop, 73, 25));
    QCOMPARE(Control<QWidget>(w, "ComboBox1")->pos(), QPoint(304, middleTop));
    QCOMPARE(Control<QWidget>(w, "ComboBox1")->width(), 133);
    QCOMPARE(Control<QWidget>(w, "Label2")->pos(), QPoint(228, label2Top));
    QCOMPARE(Control<QWidget>(w, "Button2")->geometry(), QRect(topLefts[0], 12, 109, 25));
    QCOMPARE(Control<QWidget>(w, "Button1")->geometry(), QRect(topLefts[1], 12, 109, 25));
    QCOMPARE(Control<QWidget>(w, "Button8")->geometry(), QRect(topLefts[2], 12, 165, 25));
    const int designLefts[] = {4, 96, 200, 300, 392, 476, 552};
    const int designWidths[] = {93, 105, 101, 93, 85, 77, 77};
    for (int i = 0; i < 7; ++i) {
      QCOMPARE(Control<QWidget>(w, kBottomRow[i])->geometry(), QRect(designLefts[i], bottomTop, designWidths[i], 25));
    }
    // The labels at the top never move.
    QCOMPARE(Control<QWidget>(w, "Label1")->pos(), QPoint(4, 4));
    QCOMPARE(Control<QWidget>(w, "lbDirect")->pos(), QPoint(4, 20));
  }

  // --- card list -----------------------------------------------------------------------

  void add_data() {
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QStringList>("added");     // in this order, each by "Add"
    QTest::addColumn<QStringList>("messages");  // the boxes shown
    QTest::addColumn<QStringList>("card");      // the card list afterwards
    QTest::addColumn<QString>("status");        // how full the card is, counted as the checks count
    const QString e = QStringLiteral("Error|");
    QTest::newRow("duplicate name") << 0 << QStringList{"a.gb", "a.gb"} << QStringList{e + "File name duplication"}
                                    << QStringList{"a.gb"} << QString("0.5 MiB of 4 MiB, 1 of 8 images");
    QTest::newRow("names differing in case") << 0 << QStringList{"a.gb", "A.gb"} << QStringList{}
                                             << QStringList{"a.gb", "A.gb"} << QString("1 MiB of 4 MiB, 2 of 8 images");
    QTest::newRow("colour after mono") << 0 << QStringList{"a.gb", "b.gbc"}
                                       << QStringList{e + "Can't mix color and mono ROMs"} << QStringList{"a.gb"}
                                       << QString("0.5 MiB of 4 MiB, 1 of 8 images");
    QTest::newRow("mono after colour") << 1 << QStringList{"b.gbc", "c.gb"}
                                       << QStringList{e + "Can't mix color and mono ROMs"} << QStringList{"b.gbc"}
                                       << QString("0.5 MiB of 4 MiB, 1 of 8 images");
    QTest::newRow("unknown mapper") << 0 << QStringList{"t.gb"} << QStringList{e + "ROM type error"} << QStringList{}
                                    << QString("0 MiB of 4 MiB, 0 of 8 images");
    QTest::newRow("card full") << 0 << QStringList{"big.gb", "a.gb"} << QStringList{e + "ROM size too big"}
                               << QStringList{"big.gb"} << QString("4 MiB of 4 MiB, 1 of 8 images");
    QTest::newRow("three 32 KB saves, GB")
        << 0 << QStringList{"s1.gb", "s2.gb", "s3.gb"} << QStringList{} << QStringList{"s1.gb", "s2.gb", "s3.gb"}
        << QString("1.5 MiB of 4 MiB, 3 of 8 images");
    QTest::newRow("three 32 KB saves, GB+Password")
        << 1 << QStringList{"s1.gb", "s2.gb", "s3.gb"} << QStringList{e + "RAM size too big"}
        << QStringList{"s1.gb", "s2.gb"} << QString("1 MiB of 4 MiB, 2 of 8 images");
    QTest::newRow("WS: second image") << 2 << QStringList{"c.ws", "d.wsc"} << QStringList{e + "Have selected ROM"}
                                      << QStringList{"c.ws"} << QString("512 KiB image");
    QTest::newRow("WS: same image again") << 2 << QStringList{"d.wsc", "d.wsc"} << QStringList{e + "Have selected ROM"}
                                          << QStringList{"d.wsc"} << QString("1 MiB image");
  }
  void add() {
    QFETCH(int, writerType);
    QFETCH(QStringList, added);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, card);
    QFETCH(QString, status);
    WindowFixture f;
    MakeRomFolder(f.root());
    f.writeSettings("[Main]\nSystemStyle=" + std::to_string(writerType) + "\n");
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    for (const QString& file : added) {
      QVERIFY2(ClickRow(lvFiles, file), qPrintable(file));
      Click(Control<QPushButton>(w, "Button3"));
    }
    QCOMPARE(f.messages, messages);
    QCOMPARE(ColumnTexts(Control<QTreeWidget>(w, "lvDown")), card);
    QCOMPARE(CardFiles(w), card);
    QCOMPARE(Control<QLabel>(w, "lbStatus")->text(), status);
    for (const auto& entry : w.cardList().entries()) {
      QCOMPARE(QString::fromStdString(entry.directory.string()), QString::fromStdString(f.programDir()));
    }
  }

  // Several rows of the file list go through "Add" in the list's order, whatever order they
  // were selected in; the first one refused says why and those after it are not tried.
  void add_severalRows_data() {
    QTest::addColumn<QStringList>("selected");  // Ctrl+click, in this order
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("card");
    QTest::newRow("all pass") << QStringList{"s1.gb", "a.gb", "c.gb"} << QStringList{}
                              << QStringList{"a.gb", "c.gb", "s1.gb"};
    QTest::newRow("stops at a refused row")
        << QStringList{"s1.gb", "b.gbc", "a.gb"} << QStringList{"Error|Can't mix color and mono ROMs"}
        << QStringList{"a.gb"};
  }
  void add_severalRows() {
    QFETCH(QStringList, selected);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, card);
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    for (const QString& file : selected) QVERIFY(ClickRow(lvFiles, file, Qt::ControlModifier));
    QCOMPARE(lvFiles->selectedItems().size(), selected.size());
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(f.messages, messages);
    QCOMPARE(ColumnTexts(Control<QTreeWidget>(w, "lvDown")), card);
    QCOMPARE(CardFiles(w), card);
  }

  // Image files dropped on the card list from a file manager, from any folder, go through the
  // checks of "Add" in their order as well: the second one here is refused.
  void drop_twoFilesOnCardList() {
    WindowFixture f;
    MakeRomFolder(f.root());
    std::filesystem::create_directory(f.root() / "other");
    WriteGbImage(f.root() / "other/mono.gb", {"MONO", 0x19, 0, 0, false});
    Tform_ZEP& w = f.open();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((f.root() / "other/mono.gb").string())),
                  QUrl::fromLocalFile(QString::fromStdString((f.root() / "b.gbc").string()))});
    // As a drag from another program arrives: entering the list, then the drop.
    QWidget* target = Control<QTreeWidget>(w, "lvDown")->viewport();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(enter.isAccepted() && drop.isAccepted());
    QTRY_COMPARE(f.messages, QStringList{"Error|Can't mix color and mono ROMs"});
    QCOMPARE(ColumnTexts(Control<QTreeWidget>(w, "lvDown")), QStringList{"mono.gb"});
    QCOMPARE(w.cardList().entries().at(0).directory, f.root() / "other");
  }

  void add_rowTexts_fileListAndCardList() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    auto* lvDown = Control<QTreeWidget>(w, "lvDown");
    const int row = static_cast<int>(ColumnTexts(lvFiles).indexOf("x3.gb"));
    QVERIFY(row >= 0);
    QCOMPARE(RowTexts(lvFiles, row), (QStringList{"x3.gb", "POCKETMON", "MBC3", "1M", "16K", "C"}));
    QVERIFY(DoubleClickRow(lvFiles, "x3.gb"));  // double-click adds like "Add"
    QCOMPARE(RowTexts(lvDown, 0), (QStringList{"x3.gb", "POCKETMON", "MBC3", "4M", "64K", "C"}));

    PickWithKeys(Control<QComboBox>(w, "ComboBox1"), 2);
    QCOMPARE(RowTexts(lvFiles, 0), (QStringList{"c.ws", "", "", "4M", "16K EEPROM", ""}));
    QVERIFY(ClickRow(lvFiles, "c.ws"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(RowTexts(lvDown, 0), (QStringList{"c.ws", "", "", "4M", "16K EEPROM", ""}));
    QVERIFY(f.messages.isEmpty());
  }

  void add_big5Title_shownAsChinese() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    const int row = static_cast<int>(ColumnTexts(lvFiles).indexOf("big5.gb"));
    QVERIFY(row >= 0);
    QCOMPARE(lvFiles->topLevelItem(row)->text(1), QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87"));
    QVERIFY(ClickRow(lvFiles, "big5.gb"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(Control<QTreeWidget>(w, "lvDown")->topLevelItem(0)->text(1),
             QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87"));
  }

  void add_noRowSelected_doesNothing() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    Control<QTreeWidget>(w, "lvFiles")->clearSelection();
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(w.cardList().count(), 0);
    QCOMPARE(Control<QTreeWidget>(w, "lvDown")->topLevelItemCount(), 0);
    QVERIFY(f.messages.isEmpty());
  }

  void delete_middleOfThree_keepsOrder() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    auto* lvDown = Control<QTreeWidget>(w, "lvDown");
    for (const char* file : {"c.gb", "a.gb", "s1.gb"}) {
      QVERIFY(ClickRow(lvFiles, file));
      Click(Control<QPushButton>(w, "Button3"));
    }
    QCOMPARE(CardFiles(w), (QStringList{"c.gb", "a.gb", "s1.gb"}));
    QVERIFY(ClickRow(lvDown, "a.gb"));
    Click(Control<QPushButton>(w, "Button4"));
    QCOMPARE(CardFiles(w), (QStringList{"c.gb", "s1.gb"}));
    QCOMPARE(ColumnTexts(lvDown), (QStringList{"c.gb", "s1.gb"}));
    QCOMPARE(RowTexts(lvDown, 1), (QStringList{"s1.gb", "SAVE1", "MBC5", "4M", "256K", "M"}));

    // A double-click in the card list deletes like "Delete".
    QVERIFY(DoubleClickRow(lvDown, "c.gb"));
    QCOMPARE(CardFiles(w), QStringList{"s1.gb"});
    QCOMPARE(ColumnTexts(lvDown), QStringList{"s1.gb"});

    // "Delete" with no row selected does nothing.
    lvDown->clearSelection();
    Click(Control<QPushButton>(w, "Button4"));
    QCOMPARE(CardFiles(w), QStringList{"s1.gb"});
    QVERIFY(f.messages.isEmpty());
  }

  void delete_firstEntry_nextDecidesColour() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    for (const char* file : {"a.gb", "c.gb"}) {
      QVERIFY(ClickRow(lvFiles, file));
      Click(Control<QPushButton>(w, "Button3"));
    }
    QVERIFY(ClickRow(Control<QTreeWidget>(w, "lvDown"), "a.gb"));
    Click(Control<QPushButton>(w, "Button4"));
    QVERIFY(ClickRow(lvFiles, "b.gbc"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(f.messages, QStringList{"Error|Can't mix color and mono ROMs"});
    QCOMPARE(CardFiles(w), QStringList{"c.gb"});
  }

  void deleteAll_ws_thenAnotherImageFits() {
    WindowFixture f;
    MakeRomFolder(f.root());
    f.writeSettings("[Main]\nSystemStyle=2\n");
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    auto* lvDown = Control<QTreeWidget>(w, "lvDown");
    QVERIFY(ClickRow(lvFiles, "c.ws"));
    Click(Control<QPushButton>(w, "Button3"));
    QVERIFY(ClickRow(lvFiles, "d.wsc"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(f.messages, QStringList{"Error|Have selected ROM"});

    Click(Control<QPushButton>(w, "Button5"));  // "Delete All"
    QCOMPARE(w.cardList().count(), 0);
    QCOMPARE(lvDown->topLevelItemCount(), 0);

    QVERIFY(ClickRow(lvFiles, "d.wsc"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(CardFiles(w), QStringList{"d.wsc"});
    QCOMPARE(f.messages.size(), 1);

    // After "Delete" too.
    QVERIFY(ClickRow(lvDown, "d.wsc"));
    Click(Control<QPushButton>(w, "Button4"));
    QVERIFY(ClickRow(lvFiles, "c.ws"));
    Click(Control<QPushButton>(w, "Button3"));
    QCOMPARE(CardFiles(w), QStringList{"c.ws"});
    QCOMPARE(f.messages.size(), 1);
  }

  // --- other buttons -------------------------------------------------------------------

  void researchFiles_rescansAndKeepsCard() {
    WindowFixture f;
    MakeRomFolder(f.root());
    Tform_ZEP& w = f.open();
    auto* lvFiles = Control<QTreeWidget>(w, "lvFiles");
    QVERIFY(ClickRow(lvFiles, "a.gb"));
    Click(Control<QPushButton>(w, "Button3"));
    WriteGbImage(f.root() / "zz new.gb", {"NEW", 0x19, 0, 0, false});
    std::filesystem::remove(f.root() / "c.gb");
    QVERIFY(!ColumnTexts(lvFiles).contains("zz new.gb"));

    Click(Control<QPushButton>(w, "Button1"));
    QCOMPARE(ColumnTexts(lvFiles), LibraryFiles(f.root(), 0));
    QVERIFY(ColumnTexts(lvFiles).contains("zz new.gb"));
    QVERIFY(!ColumnTexts(lvFiles).contains("c.gb"));
    QCOMPARE(CardFiles(w), QStringList{"a.gb"});
    QCOMPARE(ColumnTexts(Control<QTreeWidget>(w, "lvDown")), QStringList{"a.gb"});
  }

  void reread_withoutLink_clearsInfoSaysWriterSilent() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    auto* info = Control<QPlainTextEdit>(w, "ROMINFO");
    info->setPlainText("old");
    Click(Control<QPushButton>(w, "Button8"));
    QCOMPARE(info->toPlainText(), QStringLiteral("The writer does not answer"));
  }

  // An erase that quillon-cli was stopped in after its first block erase is said first in the
  // card information of a window started later for the same writer, with when and by whom.
  void startup_journalOfTheCli_unfinishedEraseSaidFirst() {
    WindowFixture f;
    const std::string writer = (f.root() / "writer").string();
    const std::string cli = "env -u QUILLON_PORT XDG_STATE_HOME='" + (f.root() / "state").string() + "' " QUILLON_CLI;
    for (const std::string& args :
         {" sim insert '" + writer + "' gb-flash", " sim fault '" + writer + "' sigint-after=95",
          " --no-backup --port 'sim:" + writer + "' erase --size 32", " sim fault '" + writer + "' --clear"})
      QVERIFY(std::system((cli + args + " >/dev/null 2>&1").c_str()) != -1);
    f.writer = std::filesystem::canonical(writer).string();  // the writer the journal names
    const QString info = Control<QPlainTextEdit>(f.open(), "ROMINFO")->toPlainText();
    const QRegularExpression said(
        QStringLiteral("^Last erase did not finish\nStarted \\d{4}-\\d\\d-\\d\\d "
                       "\\d\\d:\\d\\d by quillon-cli\nThe writer does not answer$"));
    QVERIFY2(said.match(info).hasMatch(), qPrintable(info));
  }

  void exit_closesWindow_settingsWrittenOnDestruction() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    QVERIFY(w.isVisible());
    Click(Control<QPushButton>(w, "Button7"));
    QVERIFY(!w.isVisible());
    f.close();
    QVERIFY(std::filesystem::exists(f.settingsFile()));
  }

  void secondaryWindows_createdHiddenInOrder() {
    WindowFixture f;
    Tform_ZEP& w = f.open();
    const quillon::ui::SecondaryWindows& windows = w.windows();
    const QStringList expected{"fmDirect",    "fmDown",        "fmUpload",  "fmSelect", "fmRAMDown",
                               "fmRAMUpload", "fmAbout",       "fmClear",   "fmDownWS", "fmUploadWS",
                               "fmRAMDownWS", "fmRAMUploadWS", "fmClearWS", "fmPatchWS"};
    QStringList created;
    for (QObject* child : w.children()) {
      if (auto* dialog = qobject_cast<QDialog*>(child)) {
        created.append(dialog->objectName());
        QVERIFY(!dialog->isVisible());
        // An operation window's name is that of its row of the table.
        const auto* operation = qobject_cast<quillon::ui::OperationWindow*>(dialog);
        QCOMPARE(operation ? QStringLiteral("quillon::ui::") + QString::fromLatin1(operation->config().className)
                           : QString::fromLatin1(dialog->metaObject()->className()),
                 QStringLiteral("quillon::ui::T") + dialog->objectName());
      }
    }
    QCOMPARE(created, expected);
    QCOMPARE(windows.fmPatchWS->objectName(), QStringLiteral("fmPatchWS"));
    QCOMPARE(windows.fmDirect->objectName(), QStringLiteral("fmDirect"));
  }
};

int RunMainWindowTests(int argc, char** argv) {
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_tests.moc"
