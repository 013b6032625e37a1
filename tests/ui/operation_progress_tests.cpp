// SPDX-License-Identifier: GPL-3.0-or-later
// The operation windows' progress strip, the reading windows' Cancel, messages that wrap
// instead of being cut off, the names the save dialogs offer, and the end line of a WS write
// whose patch was refused; all with the real operations on the simulated writer.
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "gb_images.h"
#include "operation_bench.h"
#include "sim/faults.h"
#include "sim/sim_writer.h"
#include "ui/operation_windows.h"
#include "ui/secondary_windows.h"
#include "ui/widgets.h"
#include "window_fixture.h"

using namespace quillon::uitest;
namespace sim = quillon::sim;
namespace ops = quillon::ops;
namespace ui = quillon::ui;
namespace support = quillon::support;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::size_t kWsImageSize = 0x80000;
constexpr std::size_t kWsSaveSize = 0x8000;
constexpr const char* kWrongCard = "Card is not inserted right or FLASH ROM is not supported";

ui::ProgressStrip* Strip(QWidget& w) { return Control<ui::ProgressStrip>(w, "ProgressBar1"); }

// A WS image of 512 KiB with the size code 0x30 as the card holds it, and the colour byte.
Bytes WsImage(bool colour) {
  Bytes image(kWsImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>((i * 13 + i / 509) & 0xFF);
  image[kWsImageSize - 9] = colour ? 0x01 : 0x00;
  image[kWsImageSize - 5] = 0x00;  // save type: none
  image[kWsImageSize - 4] = 0x35;
  return image;
}

// Puts `image` at the top of the bench's WS card, as writing leaves it.
void PutOnWsCard(Bench& b, const Bytes& image) {
  auto flash = b.writer.port.memory(sim::Memory::WsFlash);
  std::copy(image.begin(), image.end(), flash.end() - static_cast<std::ptrdiff_t>(image.size()));
}

// Adds an image file to the card list of the bench's main window.
void ComposeGb(Bench& b, const char* file, const support::GbImageSpec& spec) {
  const fs::path roms = b.fixture.root() / "roms";
  fs::create_directories(roms);
  support::writeFile(b.fixture.root() / "cgbbios.bin", support::makeMenuImage(0x4000));
  support::writeFile(roms / file, support::makeGbImage(spec));
  QVERIFY(b.main->state().cardList.AddGbImage(roms, file, quillon::library::WriterType::Gb).added);
}

void ComposeWs(Bench& b, const Bytes& image, const char* file = "game.ws") {
  const fs::path roms = b.fixture.root() / "roms";
  fs::create_directories(roms);
  support::writeFile(roms / file, image);
  b.main->state().setWriterType(quillon::library::WriterType::Ws);
  QVERIFY(b.main->state().cardList.AddWsImage(roms, file).added);
}

// One real operation of every family, GB and WS: the card it runs on, how it is set up,
// its window and what it says when it succeeds.
struct Family {
  const char* name;
  std::function<sim::CardContents()> card;
  std::function<void(Bench&)> arrange;
  ops::OperationArgs args;
  const char* success;
};

Bytes Sav(std::size_t size) {
  Bytes sav(size);
  for (std::size_t i = 0; i < size; ++i) sav[i] = static_cast<std::uint8_t>(i * 3 + 7);
  return sav;
}

std::vector<Family> Families() {
  const auto gbCart = [] { return sim::gbCartridge(support::makeGbImage({"SAVER", 0x1B, 2, 2, true}), Sav(0x2000)); };
  const auto nothing = [](Bench&) {};
  return {
      {"gbWrite",
       [] { return sim::emptyGbFlashCard(); },
       [](Bench& b) {
         ComposeGb(b, "alpha.gb", {"ALPHA", 0x19, 2, 0, false});
       },
       {},
       "Writing Success"},
      {"gbErase", [] { return sim::emptyGbFlashCard(); }, nothing, CardSizeArgs(0), "Earsing Success"},
      {"gbRead", gbCart, nothing, ImageArgs(0), "Downloading Success"},
      {"gbBackup", gbCart, nothing, ImageArgs(0), "Downloading Success"},
      {"gbRestore", gbCart, nothing, ImageArgs(0), "Uploading Success"},
      {"wsWrite",
       [] { return sim::emptyWsFlashCard(); },
       [](Bench& b) { ComposeWs(b, WsImage(false)); },
       {},
       "Writing Success"},
      {"wsErase", [] { return sim::emptyWsFlashCard(); }, nothing, {}, "Earsing Success"},
      {"wsRead",
       [] { return sim::emptyWsFlashCard(); },
       [](Bench& b) { PutOnWsCard(b, WsImage(true)); },
       {},
       "Downloading Success"},
      {"wsBackup", [] { return sim::emptyWsFlashCard(); }, nothing, {}, "Downloading Success"},
      {"wsRestore", [] { return sim::emptyWsFlashCard(); }, nothing, {}, "Uploading Success"},
  };
}

// The window of a family, by the family's name.
ui::OperationWindow* WindowOf(const ui::SecondaryWindows& w, const std::string& family) {
  if (family == "gbWrite") return w.Named("TfmDown");
  if (family == "gbErase") return w.Named("TfmClear");
  if (family == "gbRead") return w.Named("TfmUpload");
  if (family == "gbBackup") return w.Named("TfmRAMDown");
  if (family == "gbRestore") return w.Named("TfmRAMUpload");
  if (family == "wsWrite") return w.Named("TfmDownWS");
  if (family == "wsErase") return w.Named("TfmClearWS");
  if (family == "wsRead") return w.Named("TfmUploadWS");
  if (family == "wsBackup") return w.Named("TfmRAMDownWS");
  return w.Named("TfmRAMUploadWS");
}

const Family& FamilyNamed(const std::string& name) {
  static const std::vector<Family> families = Families();
  return *std::find_if(families.begin(), families.end(), [&](const Family& f) { return f.name == name; });
}

// The design rectangles of the two kinds (the controls they had before the strip came).
struct KindDesign {
  QSize client;
  QRect work;
  QRect button;
  QRect file;  // empty: the kind has no file label
};
KindDesign DesignOf(const QString& window) {
  const bool writing = window == "fmDown" || window == "fmClear" || window == "fmDownWS" || window == "fmClearWS";
  if (writing) return {{297, 95}, {8, 36, 281, 25}, {108, 64, 89, 25}, {8, 8, 281, 25}};
  return {{215, 83}, {21, 8, 172, 25}, {62, 40, 97, 33}, {}};
}

constexpr const char* kAllWindows[] = {"fmDown",   "fmClear",   "fmUpload",   "fmRAMDown",   "fmRAMUpload",
                                       "fmDownWS", "fmClearWS", "fmUploadWS", "fmRAMDownWS", "fmRAMUploadWS"};

ui::OperationWindow* WindowNamed(const ui::SecondaryWindows& windows, const QString& name) {
  for (ui::OperationWindow* w : windows.operationWindows()) {
    if (w->objectName() == name) return w;
  }
  return nullptr;
}

// A label shows its whole text: its lines at its width fit its height, and it lies inside
// the window.
bool ShownWhole(const ui::WrappingLabel* label, const QWidget& window) {
  return label->heightForWidth(label->width()) <= label->height() &&
         QRect(QPoint(0, 0), window.size()).contains(label->geometry());
}

// Holds the simulated writer before it carries out the first command that follows `after`
// commands of a kind (counted from now): the worker waits in the port until the test lets it
// go on.
class CommandGate {
 public:
  CommandGate(sim::SimWriter& port, std::function<bool(const sim::CommandRecord&)> counted, int after)
      : port_(port), counted_(std::move(counted)), after_(after), from_(port.commands().size()) {
    port_.setCommandHooks({[this] { return Before(); }, {}});
  }
  ~CommandGate() {
    Open();
    port_.setCommandHooks({});
  }
  CommandGate(const CommandGate&) = delete;
  CommandGate& operator=(const CommandGate&) = delete;
  bool WaitClosed() {
    return QTest::qWaitFor([this] { return closed_.load(); }, kWait);
  }
  void Open() { open_ = true; }
  std::size_t commandsAtClose() const { return commandsAtClose_; }

 private:
  bool Before() {
    if (closed_) return true;
    const auto& log = port_.commands();
    const auto seen = std::count_if(log.begin() + static_cast<std::ptrdiff_t>(from_), log.end(), counted_);
    if (seen < after_) return true;
    commandsAtClose_ = log.size();
    closed_ = true;
    while (!open_) std::this_thread::yield();
    return true;
  }
  sim::SimWriter& port_;
  std::function<bool(const sim::CommandRecord&)> counted_;
  int after_;
  std::size_t from_;
  std::size_t commandsAtClose_ = 0;
  std::atomic<bool> closed_{false};
  std::atomic<bool> open_{false};
};

}  // namespace

class OperationProgressTest : public QObject {
  Q_OBJECT

 private slots:
  // --- layout: the strip under the controls of the kind ------------------------------------

  void anyWindow_prepared_controlsAtDesignStripBelow_data() {
    QTest::addColumn<QString>("window");
    for (const char* name : kAllWindows) QTest::newRow(name) << QString::fromLatin1(name);
  }
  void anyWindow_prepared_controlsAtDesignStripBelow() {
    QFETCH(QString, window);
    Bench b(sim::noCard());
    ui::OperationWindow& w = *WindowNamed(b.windows, window);
    w.Prepare(b.writer.link, b.main->state());
    const KindDesign design = DesignOf(window);
    QCOMPARE(Control<QLabel>(w, "lbWork")->geometry(), design.work);
    QCOMPARE(Button(w)->geometry(), design.button);
    if (!design.file.isEmpty()) QCOMPARE(Control<QLabel>(w, "lbFile")->geometry(), design.file);
    ui::ProgressStrip* strip = Strip(w);
    QVERIFY(strip != nullptr);
    QCOMPARE(strip->geometry().top(), design.client.height());
    QCOMPARE(w.width(), design.client.width());
    QVERIFY(w.height() > strip->geometry().bottom());
    QCOMPARE(w.minimumSize(), w.maximumSize());  // a fixed border
    QCOMPARE(strip->value(), 0);
    QCOMPARE(strip->text(), QString());
  }

  // --- progress of the real operations ------------------------------------------------------

  void anyFamily_realOperation_progressReachesAll_data() {
    QTest::addColumn<QString>("family");
    for (const Family& f : Families()) QTest::newRow(f.name) << QString::fromLatin1(f.name);
  }
  void anyFamily_realOperation_progressReachesAll() {
    QFETCH(QString, family);
    const Family& f = FamilyNamed(family.toStdString());
    // Every step an operation can have: the copy of the save memory first, a verify last.
    Bench b(f.card(), true);
    f.arrange(b);
    ops::OperationArgs args = f.args;
    args.verify = family.endsWith("Write");
    const fs::path file = b.fixture.root() / "file.bin";
    // Restoring reads the file; the others write it.
    if (family.endsWith("Restore")) support::writeFile(file, Sav(family.startsWith("gb") ? 0x2000 : kWsSaveSize));
    ui::OperationWindow& w = *WindowOf(b.windows, family.toStdString());
    w.setFileDialogHook([&](const ui::FileDialogRequest&) { return QString::fromStdString(file.string()); });
    ui::ProgressStrip* strip = Strip(w);
    // Every fraction that reaches the window over all the steps, and what the strip shows for it.
    std::vector<double> fractions;
    QStringList mismatches;
    connect(&w, &ui::OperationWindow::progressChanged, &w, [&](double fraction) {
      fractions.push_back(fraction);
      if (strip->value() != static_cast<int>(fraction * 1000))
        mismatches.append(QStringLiteral("%1 for %2").arg(strip->value()).arg(fraction));
      const QString percent = QString::number(static_cast<int>(std::floor(fraction * 100))) + '%';
      if (!strip->text().startsWith(percent)) mismatches.append(strip->text() + " for " + percent);
    });
    w.Prepare(b.writer.link, b.main->state(), args);
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QString::fromLatin1(f.success));
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join("; ")));
    // Reports that come faster than the window shows them are shown once, the latest; the bar
    // never moves back, from the copy of the save memory to the last step.
    QVERIFY(!fractions.empty());
    QVERIFY(std::is_sorted(fractions.begin(), fractions.end()));
    QCOMPARE(strip->value(), strip->maximum());
    QVERIFY2(QRegularExpression("^Done in 0:0\\d$").match(strip->text()).hasMatch(), qPrintable(strip->text()));
    Click(Button(w));
  }

  // After a failure the rate and the time left give way to how far the operation got.
  void anyFamily_failure_figuresSayHowFarItGot_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("figures");
    QTest::newRow("gb read") << "gbRead"
                             << "read-fail-bank=2"
                             << "Failed at \\d+ %: 32 KiB of 128 KiB read";
    QTest::newRow("ws write") << "wsWrite"
                              << "program-fail-bank=62"
                              << "Failed at \\d+ %: 384 KiB of 512 KiB written";
  }
  void anyFamily_failure_figuresSayHowFarItGot() {
    QFETCH(QString, family);
    QFETCH(QString, fault);
    QFETCH(QString, figures);
    const Family& f = FamilyNamed(family.toStdString());
    Bench b(f.card());
    f.arrange(b);
    sim::armFault(b.writer.port.faults(), fault.toStdString());
    ui::OperationWindow& w = *WindowOf(b.windows, family.toStdString());
    const fs::path file = b.fixture.root() / "file.bin";
    w.setFileDialogHook([&](const ui::FileDialogRequest&) { return QString::fromStdString(file.string()); });
    w.Prepare(b.writer.link, b.main->state(), f.args);
    w.open();
    QVERIFY(WaitEnded(w));
    QVERIFY2(QRegularExpression("^" + figures + "$").match(Strip(w)->text()).hasMatch(), qPrintable(Strip(w)->text()));
    QCOMPARE(QString::fromStdString(w.endFigures()), Strip(w)->text());
    Click(Button(w));
  }

  // --- Cancel of the reading windows ----------------------------------------------------------

  void read_cancelDuringTransfer_nothingSentAfterNoFile_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("existing");
    QTest::newRow("gb, new file") << "gbRead" << false;
    QTest::newRow("gb, existing file") << "gbRead" << true;
    QTest::newRow("ws, new file") << "wsRead" << false;
    QTest::newRow("ws, existing file") << "wsRead" << true;
  }
  void read_cancelDuringTransfer_nothingSentAfterNoFile() {
    QFETCH(QString, family);
    QFETCH(bool, existing);
    const bool gb = family == "gbRead";
    Bench b(gb ? sim::gbCartridge(support::makeGbImage({"LONGREAD", 0x19, 4, 0, false})) : sim::emptyWsFlashCard());
    if (!gb) PutOnWsCard(b, WsImage(false));
    const fs::path out = b.fixture.root() / "out" / "game.bin";
    fs::create_directories(out.parent_path());
    const Bytes before(0x1234, 0x6C);
    if (existing) support::writeFile(out, before);
    ui::OperationWindow& w = *WindowOf(b.windows, family.toStdString());
    w.setFileDialogHook([&](const ui::FileDialogRequest&) { return QString::fromStdString(out.string()); });
    // The command after the second block read is held until the user has pressed Cancel.
    const std::uint16_t blockSize = gb ? 0x4000 : 0x8000;
    CommandGate gate(
        b.writer.port, [blockSize](const sim::CommandRecord& c) { return c.op == 1 && c.count() == blockSize; }, 2);
    w.Prepare(b.writer.link, b.main->state(), ImageArgs(0));
    w.open();
    QVERIFY(gate.WaitClosed());
    QVERIFY(w.running());
    QCOMPARE(Button(w)->text(), QStringLiteral("Cancel"));
    QVERIFY(Button(w)->isEnabled());
    Button(w)->click();
    gate.Open();
    QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, kWait));  // a stopped window closes

    QCOMPARE(w.result().outcome, ops::Outcome::Stopped);
    // The held read is carried out; nothing comes after it.
    QCOMPARE(b.writer.port.commands().size(), gate.commandsAtClose() + 1);
    QCOMPARE(fs::exists(out), existing);
    if (existing) QCOMPARE(support::readFile(out), before);
    for (const auto& entry : fs::directory_iterator(out.parent_path())) {
      QVERIFY2(entry.path() == out, qPrintable(QString::fromStdString(entry.path().string())));
    }
  }

  void readingKind_ended_buttonClosesAndSaysWhereTheFileWent_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("saves");
    QTest::newRow("gb read") << "gbRead" << true;
    QTest::newRow("gb backup") << "gbBackup" << true;
    QTest::newRow("gb restore") << "gbRestore" << false;
    QTest::newRow("ws read") << "wsRead" << true;
    QTest::newRow("ws backup") << "wsBackup" << true;
    QTest::newRow("ws restore") << "wsRestore" << false;
  }
  void readingKind_ended_buttonClosesAndSaysWhereTheFileWent() {
    QFETCH(QString, family);
    QFETCH(bool, saves);
    const Family& f = FamilyNamed(family.toStdString());
    Bench b(f.card());
    f.arrange(b);
    // A long path: it wraps in the label, and the window grows to show it.
    const fs::path dir = b.fixture.root() / "a folder with a rather long name" / "and another one under it";
    fs::create_directories(dir);
    const fs::path file = dir / "the file the user chose.bin";
    if (!saves) support::writeFile(file, Sav(family.startsWith("gb") ? 0x2000 : kWsSaveSize));
    ui::OperationWindow& w = *WindowOf(b.windows, family.toStdString());
    w.setFileDialogHook([&](const ui::FileDialogRequest&) { return QString::fromStdString(file.string()); });
    w.Prepare(b.writer.link, b.main->state(), f.args);
    const int height = w.height();
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QString::fromLatin1(f.success));
    QCOMPARE(Button(w)->text(), QStringLiteral("Close"));
    auto* saved = Control<ui::WrappingLabel>(w, "lbSaved");
    QVERIFY(saved != nullptr);
    if (saves) {
      QCOMPARE(saved->text(), "Saved as " + QString::fromStdString(file.string()));
      QVERIFY(ShownWhole(saved, w));
      QVERIFY(saved->geometry().top() > Strip(w)->geometry().bottom());
      QVERIFY(w.height() > height);
    } else {
      QVERIFY(saved->text().isEmpty());
      QCOMPARE(w.height(), height);
    }
    Click(Button(w));
    QVERIFY(!w.isVisible());
  }

  // --- copies of the save memory ------------------------------------------------------------

  void overwritingFamily_copies_windowSaysWhereTheCopyWent_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("copyBytes");  // 0: no copy is made
    QTest::newRow("gb restore") << "gbRestore"
                                << "" << 0x2000;
    QTest::newRow("gb erase") << "gbErase"
                              << "" << 0x20000;
    QTest::newRow("gb write") << "gbWrite"
                              << "" << 0x20000;
    QTest::newRow("ws write") << "wsWrite"
                              << "" << int{kWsSaveSize};
    QTest::newRow("ws restore") << "wsRestore"
                                << "" << int{kWsSaveSize};
    QTest::newRow("gb erase, AutoBackup=0") << "gbErase"
                                            << "AutoBackup=0\n"
                                            << 0;
    QTest::newRow("ws restore, AutoBackup=0") << "wsRestore"
                                              << "AutoBackup=0\n"
                                              << 0;
  }
  void overwritingFamily_copies_windowSaysWhereTheCopyWent() {
    QFETCH(QString, family);
    QFETCH(QString, settings);
    QFETCH(int, copyBytes);
    const Family& f = FamilyNamed(family.toStdString());
    Bench b(f.card(), true, settings.toStdString());
    f.arrange(b);
    const fs::path file = b.fixture.root() / "restored.sav";
    support::writeFile(file, Sav(kWsSaveSize));
    ui::OperationWindow& w = *WindowOf(b.windows, family.toStdString());
    w.setFileDialogHook([&](const ui::FileDialogRequest&) { return QString::fromStdString(file.string()); });
    w.Prepare(b.writer.link, b.main->state(), f.args);
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w).section(QLatin1Char('\n'), 0, 0), QString::fromLatin1(f.success));  // a GB area takes 8 KiB of it
    std::vector<fs::path> copies;
    if (fs::exists(b.fixture.backupFolder())) {
      for (const auto& entry : fs::directory_iterator(b.fixture.backupFolder())) copies.push_back(entry.path());
    }
    std::erase(copies, b.fixture.backupFolder() / "copies.index");  // the record of the copies made
    auto* saved = Control<ui::WrappingLabel>(w, "lbSaved");
    if (copyBytes == 0) {
      QVERIFY(copies.empty());
      QVERIFY(saved->text().isEmpty());
    } else {
      QCOMPARE(copies.size(), std::size_t{1});
      QCOMPARE(fs::file_size(copies[0]), static_cast<std::uintmax_t>(copyBytes));
      QCOMPARE(saved->text(), "Copy of the save memory: " + QString::fromStdString(copies[0].string()));
      QVERIFY(ShownWhole(saved, w));
    }
    Click(Button(w));
  }

  // --- messages that do not fit -----------------------------------------------------------

  void writingKind_wrongCard_messageWrappedWholeWindowGrown_data() {
    QTest::addColumn<QString>("family");
    QTest::newRow("gb write") << "gbWrite";
    QTest::newRow("gb erase") << "gbErase";
    QTest::newRow("ws write") << "wsWrite";
    QTest::newRow("ws erase") << "wsErase";
  }
  void writingKind_wrongCard_messageWrappedWholeWindowGrown() {
    QFETCH(QString, family);
    const bool gb = family.startsWith("gb");
    // A GB cartridge is no flash card; a WS card that identifies as no known chip neither.
    Bench b(gb ? sim::gbCartridge(support::makeGbImage({"CART", 0x19, 0, 0, false})) : sim::emptyWsFlashCard());
    if (gb && family == "gbWrite") ComposeGb(b, "alpha.gb", {"ALPHA", 0x19, 0, 0, false});
    if (!gb) {
      b.writer.port.faults().wsId = 0x1234;
      if (family == "wsWrite") ComposeWs(b, WsImage(false));
    }
    const Family& f = FamilyNamed(family.toStdString());
    ui::OperationWindow& w = *WindowOf(b.windows, family.toStdString());
    w.Prepare(b.writer.link, b.main->state(), f.args);
    const int height = w.height();
    w.open();
    QVERIFY(WaitEnded(w));
    auto* work = Control<ui::WrappingLabel>(w, "lbWork");
    QCOMPARE(work->text(), QString::fromLatin1(kWrongCard));
    QVERIFY(work->fontMetrics().horizontalAdvance(work->text()) > work->width());  // it does need two lines
    QVERIFY(ShownWhole(work, w));
    QVERIFY(w.height() > height);
    QCOMPARE(w.minimumSize(), w.maximumSize());
    // What lies below the label moved down with it.
    QVERIFY(Button(w)->geometry().top() > work->geometry().bottom());
    QVERIFY(Strip(w)->geometry().top() > Button(w)->geometry().bottom());
    QVERIFY(QRect(QPoint(0, 0), w.size()).contains(Strip(w)->geometry()));
    QCOMPARE(Control<QLabel>(w, "lbFile")->geometry(), DesignOf(w.objectName()).file);
    Click(Button(w));
  }

  void anyWindow_longMessage_wholeAndBackToDesignForTheNextRun_data() {
    QTest::addColumn<QString>("window");
    for (const char* name : kAllWindows) QTest::newRow(name) << QString::fromLatin1(name);
  }
  void anyWindow_longMessage_wholeAndBackToDesignForTheNextRun() {
    QFETCH(QString, window);
    Bench b(sim::noCard());
    ui::OperationWindow& w = *WindowNamed(b.windows, window);
    const KindDesign design = DesignOf(window);
    const std::string longFile = "a file name much longer than the window is wide, with spaces.gbc";
    w.setOperation([&](ops::Operation& op) {
      op.window.SetFile(longFile);
      return ops::Result{ops::Outcome::Failed, kWrongCard};
    });
    w.Prepare(b.writer.link, b.main->state());
    const int height = w.height();
    w.open();
    QVERIFY(WaitEnded(w));
    auto* work = Control<ui::WrappingLabel>(w, "lbWork");
    QCOMPARE(work->text(), QString::fromLatin1(kWrongCard));
    QVERIFY(ShownWhole(work, w));
    QVERIFY(w.height() > height);
    if (!design.file.isEmpty()) {
      auto* file = Control<ui::WrappingLabel>(w, "lbFile");
      QCOMPARE(file->text(), QString::fromStdString(longFile));
      QVERIFY(ShownWhole(file, w));
      QVERIFY(work->geometry().top() > file->geometry().bottom());
    }
    Click(Button(w));
    QVERIFY(!w.isVisible());

    // The next run starts with the window as designed.
    w.Prepare(b.writer.link, b.main->state());
    QCOMPARE(w.height(), height);
    QCOMPARE(work->geometry(), design.work);
  }

  // --- the names the save dialogs offer -------------------------------------------------------

  void saveDialog_realOperation_suggestedNameAndFilter_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("title");  // of the cartridge or the card's one image (GB)
    QTest::addColumn<bool>("colour");
    QTest::addColumn<bool>("flashCard");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("selected");
    QTest::newRow("gb cartridge mono") << "gbRead"
                                       << "TETRIS" << false << false << "TETRIS.gb"
                                       << "Mono GameBoy File (*.gb)";
    QTest::newRow("gb cartridge colour, odd title") << "gbRead"
                                                    << "PKMN:R/B*" << true << false << "PKMN_R_B_.gbc"
                                                    << "Color GameBoy File (*.gbc)";
    QTest::newRow("gb cartridge, empty title") << "gbRead"
                                               << "" << false << false << "card.gb"
                                               << "Mono GameBoy File (*.gb)";
    QTest::newRow("gb flash card image") << "gbRead"
                                         << "STAR?MINER" << true << true << "STAR_MINER.gbc"
                                         << "Color GameBoy File (*.gbc)";
    QTest::newRow("gb backup") << "gbBackup"
                               << "SAVE ME!" << false << false << "SAVE ME_.sav"
                               << "RAM File (*.sav)";
    // The dialog comes before the WS card is asked anything: the colour name, whatever the image.
    QTest::newRow("ws read mono") << "wsRead"
                                  << "" << false << true << "card.wsc"
                                  << "Color WS File (*.wsc)";
    QTest::newRow("ws read colour") << "wsRead"
                                    << "" << true << true << "card.wsc"
                                    << "Color WS File (*.wsc)";
    QTest::newRow("ws backup") << "wsBackup"
                               << "" << false << true << "card.sav"
                               << "RAM File (*.sav)";
  }
  void saveDialog_realOperation_suggestedNameAndFilter() {
    QFETCH(QString, family);
    QFETCH(QString, title);
    QFETCH(bool, colour);
    QFETCH(bool, flashCard);
    QFETCH(QString, name);
    QFETCH(QString, selected);
    const Bytes rom = support::makeGbImage({title.toStdString(), 0x1B, 1, 2, colour});
    const bool ws = family.startsWith("ws");
    Bench b(ws ? sim::emptyWsFlashCard() : flashCard ? sim::emptyGbFlashCard() : sim::gbCartridge(rom, Sav(0x2000)));
    if (ws) PutOnWsCard(b, WsImage(colour));
    if (!ws && flashCard) {
      // The card's image, written by the program and found by its probe.
      ComposeGb(b, "star.gbc", {title.toStdString(), 0x1B, 1, 2, colour});
      ui::OperationWindow& down = *b.windows.Named("TfmDown");
      down.Prepare(b.writer.link, b.main->state());
      down.open();
      QVERIFY(WaitEnded(down));
      QCOMPARE(Work(down), QStringLiteral("Writing Success"));
      Click(Button(down));
      b.main->ProbeCard();
      QCOMPARE(b.main->cardInfo().count, 1);
    }
    const fs::path out = b.fixture.root() / "chosen.bin";
    std::vector<ui::FileDialogRequest> asked;
    ui::OperationWindow& w = *WindowOf(b.windows, family.toStdString());
    w.setFileDialogHook([&](const ui::FileDialogRequest& request) {
      asked.push_back(request);
      return QString::fromStdString(out.string());
    });
    w.Prepare(b.writer.link, b.main->state(), ImageArgs(0));
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(Work(w), QStringLiteral("Downloading Success"));
    QCOMPARE(asked.size(), std::size_t{1});
    QCOMPARE(asked[0].mode, ui::FileDialogMode::Save);
    QCOMPARE(asked[0].suggestedName, name);
    QCOMPARE(asked[0].selectedFilter, selected);
    QVERIFY(fs::exists(out));
    Click(Button(w));
  }

  // --- a refused patch ---------------------------------------------------------------------

  void wsWrite_refusedPatch_unpatchedImageAndEndLineSaysSo() {
    Bench b(sim::emptyWsFlashCard());
    const Bytes image = WsImage(false);
    ComposeWs(b, image);
    const fs::path patch = b.fixture.root() / "broken.ips";
    support::writeFile(patch, Bytes{'N', 'O', 'T', ' ', 'A', ' ', 'P', 'A', 'T', 'C', 'H'});
    ui::OperationWindow& w = *b.windows.Named("TfmDownWS");
    QStringList errors;
    w.setMessageHook([&](const QString& text) { errors.append(text); });
    w.setQuestionHook([](const QString&) { return true; });  // written without the patch
    w.Prepare(b.writer.link, b.main->state(), PatchArgs(patch.string()));
    w.open();
    QVERIFY(WaitEnded(w));
    QCOMPARE(errors, QStringList{"Patch File Error"});
    QCOMPARE(Work(w), QStringLiteral("Writing Success"));
    const QString end = Control<QLabel>(w, "lbFile")->text();
    QVERIFY2(QRegularExpression("^Using (\\d+ Minutes )?\\d+ Seconds, not patched$").match(end).hasMatch(),
             qPrintable(end));
    QVERIFY(ShownWhole(Control<ui::WrappingLabel>(w, "lbFile"), w));
    const auto flash = b.writer.port.memory(sim::Memory::WsFlash);
    QVERIFY(std::equal(image.begin(), image.end(), flash.end() - static_cast<std::ptrdiff_t>(image.size())));
    Click(Button(w));
  }
};

int RunOperationProgressTests(int argc, char** argv) {
  OperationProgressTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "operation_progress_tests.moc"
