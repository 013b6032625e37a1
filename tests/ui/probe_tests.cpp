// SPDX-License-Identifier: GPL-3.0-or-later
// The card information box of the main window against the simulated writer.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cstdint>
#include <sstream>
#include <vector>

#include "detect/probe.h"
#include "link/link.h"
#include "sim/sim_writer.h"
#include "window_fixture.h"

using quillon::ui::Tform_ZEP;
using namespace quillon::uitest;
namespace sim = quillon::sim;

namespace {

// A writer and the link to it, with the link's own diagnostics kept out of the test output.
struct Writer {
  explicit Writer(sim::CardContents card) : port(std::move(card)), link(port, Options()) {}
  quillon::link::LinkOptions Options() {
    quillon::link::LinkOptions options;
    options.diagnostics = &diagnostics;
    return options;
  }
  std::ostringstream diagnostics;
  sim::SimWriter port;
  quillon::link::Link link;
};

std::vector<std::uint8_t> CartridgeRom(const char* title, std::uint8_t type) {
  std::vector<std::uint8_t> rom(0x8000, 0);
  for (int i = 0; title[i] != '\0' && i < 15; ++i) rom[0x134 + i] = static_cast<std::uint8_t>(title[i]);
  rom[0x147] = type;
  return rom;
}

QString Info(Tform_ZEP& w) { return Control<QPlainTextEdit>(w, "ROMINFO")->toPlainText(); }

QString Lines(const Tform_ZEP& w) {
  QStringList lines;
  for (const auto& line : quillon::detect::CardInfoLines(w.cardInfo(), w.writerType())) {
    lines.append(QString::fromStdString(line));
  }
  return lines.join('\n');
}

}  // namespace

class ProbeTest : public QObject {
  Q_OBJECT

 private slots:
  void startup_ordinaryCartridge_standardCardLines() {
    Writer writer(sim::gbCartridge(CartridgeRom("CART", 0x01)));
    WindowFixture f;
    Tform_ZEP& w = f.open(&writer.link);
    QCOMPARE(w.cardInfo().kind, 1);
    QCOMPARE(Info(w), QStringLiteral("Standard Card\nName:CART\nType:MBC1\nROM Size:256K bits\n"
                                     "RAM Size:None bits\nMono"));
  }

  void startup_cartridgeWithBig5Title_shownAsChinese() {
    Writer writer(sim::gbCartridge(CartridgeRom("\xA4\xA4\xA4\xE5", 0x01)));
    WindowFixture f;
    Tform_ZEP& w = f.open(&writer.link);
    QCOMPARE(Info(w).split('\n').value(1), QString::fromUtf8("Name:\xE4\xB8\xAD\xE6\x96\x87"));
  }

  void startup_gbFlashCard_emulatorCardLines() {
    Writer writer(sim::emptyGbFlashCard());
    WindowFixture f;
    Tform_ZEP& w = f.open(&writer.link);
    QCOMPARE(w.cardInfo().kind, 0);
    QVERIFY(Info(w).startsWith(QStringLiteral("Emulator Card\n")));
    QCOMPARE(Info(w), Lines(w));
  }

  void writerType_change_rebuildsInfoWithWsProbe() {
    Writer writer(sim::emptyWsFlashCard());
    WindowFixture f;
    Tform_ZEP& w = f.open(&writer.link);
    Control<QPlainTextEdit>(w, "ROMINFO")->setPlainText("marker");
    auto* combo = Control<QComboBox>(w, "ComboBox1");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_End);  // "WS"
    QCOMPARE(static_cast<int>(w.writerType()), 2);
    QCOMPARE(Info(w), QStringLiteral("Emulator Card"));
  }

  void writerTypeOutsideRange_noTrafficUntilPicked() {
    Writer writer(sim::emptyWsFlashCard());
    WindowFixture f;
    f.writeSettings("[Main]\nSystemStyle=9\n");
    Tform_ZEP& w = f.open(&writer.link);
    Click(Control<QPushButton>(w, "Button8"));  // "Reread Card Information"
    QVERIFY(writer.port.commands().empty());
    QCOMPARE(Info(w), QString());

    auto* combo = Control<QComboBox>(w, "ComboBox1");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_End);  // "WS"
    QVERIFY(!writer.port.commands().empty());
    QCOMPARE(Info(w), QStringLiteral("Emulator Card"));
  }

  void writerType_repickSameItem_noProbe() {
    Writer writer(sim::emptyWsFlashCard());
    WindowFixture f;
    f.writeSettings("[Main]\nSystemStyle=2\n");
    Tform_ZEP& w = f.open(&writer.link);
    QVERIFY(!writer.port.commands().empty());  // the start-up probe
    writer.port.clearCommands();
    auto* combo = Control<QComboBox>(w, "ComboBox1");
    emit combo->activated(combo->currentIndex());
    QVERIFY(writer.port.commands().empty());
  }

  void probe_writerStopsAnswering_textKept_rereadClears() {
    Writer writer(sim::emptyWsFlashCard());
    WindowFixture f;
    f.writeSettings("[Main]\nSystemStyle=2\n");
    Tform_ZEP& w = f.open(&writer.link);
    QCOMPARE(Info(w), QStringLiteral("Emulator Card"));

    writer.port.faults().absent = true;
    w.ProbeCard();  // no answer: the text of the last answer stays, under what happened
    QCOMPARE(Info(w), QStringLiteral("The writer does not answer\nEmulator Card"));
    QCOMPARE(w.cardInfo().kind, -1);

    Click(Control<QPushButton>(w, "Button8"));  // "Reread Card Information" clears first
    QCOMPARE(Info(w), QStringLiteral("The writer does not answer"));

    writer.port.faults().absent = false;
    Click(Control<QPushButton>(w, "Button8"));
    QCOMPARE(Info(w), QStringLiteral("Emulator Card"));
  }
};

int RunProbeTests(int argc, char** argv) {
  ProbeTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "probe_tests.moc"
