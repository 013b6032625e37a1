// SPDX-License-Identifier: GPL-3.0-or-later
// The window shows a title's bytes as the same text quillon-cli prints for them.
#include <QObject>
#include <QTest>

#include <iconv.h>

#include <string>

#include "library/rom_header.h"
#include "ui/text_look.h"

namespace {

// The "Name" column of the row 'quillon-cli list' prints for an image with this title.
QString CliTitle(const QByteArray& title) {
  const std::string line = quillon::library::FormatListRow(
      quillon::library::ListRow{"f.gb", title.toStdString(), "MBC1", "256K", "None", "M"});
  const std::size_t start = line.find('\t') + 1;
  return QString::fromStdString(line.substr(start, line.find('\t', start) - start));
}

bool Big5Available() {
  iconv_t cd = iconv_open("UTF-8", "BIG5");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

}  // namespace

class TextLookTest : public QObject {
  Q_OBJECT

 private slots:
  void fromBig5_sameTextAsTheCli_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("TETRIS DX") << QStringLiteral("TETRIS DX");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("Big5 pairs") << QByteArray("\xA4\xA4\xA4\xE5") << QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87");
    QTest::newRow("Big5 pair with ASCII") << QByteArray(
                                                 "AB\xA4\xA4"
                                                 "CD")
                                          << QString::fromUtf8(
                                                 "AB\xE4\xB8\xAD"
                                                 "CD");
    QTest::newRow("trail byte below 0x80") << QByteArray("\xA4\x40") << QString::fromUtf8("\xE4\xB8\x80");
    QTest::newRow("lone lead byte") << QByteArray("\xA4!") << QString::fromUtf8("\xC2\xA4!");
    QTest::newRow("lead byte at the end") << QByteArray("\xA4\xA4\xA4") << QString::fromUtf8("\xE4\xB8\xAD\xC2\xA4");
    QTest::newRow("0x80") << QByteArray("\x80") << QStringLiteral("\\xC2\\x80");
    QTest::newRow("0xFF") << QByteArray(
                                 "\xFF"
                                 "A")
                          << QString::fromUtf8(
                                 "\xC3\xBF"
                                 "A");
    QTest::newRow("tab, line end, backslash") << QByteArray("A\tB\nC\\D") << QStringLiteral("A\\tB\\nC\\\\D");
    QTest::newRow("other control bytes") << QByteArray("\x01\x1B\x7F") << QStringLiteral("\\x01\\x1B\\x7F");
  }
  void fromBig5_sameTextAsTheCli() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    if (!Big5Available()) QSKIP("no BIG5 converter on this system");
    const std::string raw = bytes.toStdString();
    QCOMPARE(quillon::ui::FromBig5(raw), shown);
    QCOMPARE(CliTitle(bytes), shown);
  }
};

#include "text_look_tests.moc"

int RunTextLookTests(int argc, char** argv) {
  TextLookTest test;
  return QTest::qExec(&test, argc, argv);
}
