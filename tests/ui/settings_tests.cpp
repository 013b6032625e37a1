// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader and writer and the settings built on it; no window involved.
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>

#include "image_files.h"
#include "ui/ini_file.h"
#include "ui/settings.h"

using quillon::ui::IniFile;
using quillon::ui::Settings;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// "<none>" stands for a missing value in the tables.
QString Shown(const std::optional<std::string>& value) { return value ? Q(*value) : QStringLiteral("<none>"); }

std::filesystem::path PathOf(const QTemporaryDir& dir) { return std::filesystem::path(dir.path().toStdString()); }

// Values that may hold any byte; "<none>" for a missing one.
QByteArray Raw(const std::optional<std::string>& value) {
  return value ? QByteArray::fromStdString(*value) : QByteArray("<none>");
}

// The names in a folder, sorted.
QStringList NamesIn(const std::filesystem::path& dir) {
  QStringList names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.append(Q(entry.path().filename().string()));
  names.sort();
  return names;
}

}  // namespace

class IniFileTest : public QObject {
  Q_OBJECT

 private slots:
  void get_handWrittenFile_readsValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "[Main]\nRomDir=/a\n"
                           << "Main"
                           << "RomDir"
                           << "/a";
    QTest::newRow("other case and spaces") << "[main]\n  romdir  =  /a b  \n"
                                           << "Main"
                                           << "RomDir"
                                           << "/a b";
    QTest::newRow("spaced section name") << "[ Main ]\nRomDir=/a\n"
                                         << "Main"
                                         << "RomDir"
                                         << "/a";
    QTest::newRow("comments and blanks") << "; settings\n# more\n\n[Main]\n; RomDir=/commented\n\nRomDir=/real\n"
                                         << "Main"
                                         << "RomDir"
                                         << "/real";
    QTest::newRow("commented key only") << "[Main]\n;RomDir=/a\n#RomDir=/b\n"
                                        << "Main"
                                        << "RomDir"
                                        << "<none>";
    QTest::newRow("key in other section") << "[Other]\nRomDir=/x\n[Main]\nRAMDir=/r\n"
                                          << "Main"
                                          << "RomDir"
                                          << "<none>";
    QTest::newRow("other section before and after") << "[Other]\nRomDir=/x\n[Main]\nRomDir=/y\n[Last]\nRomDir=/z\n"
                                                    << "Main"
                                                    << "RomDir"
                                                    << "/y";
    QTest::newRow("key before any section") << "RomDir=/top\n[Main]\nA=1\n"
                                            << "Main"
                                            << "RomDir"
                                            << "<none>";
    QTest::newRow("CR LF line ends") << "[Main]\r\nRomDir=/a\r\nSystemStyle=2\r\n"
                                     << "Main"
                                     << "SystemStyle"
                                     << "2";
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF[Main]\nRomDir=/a\n"
                                     << "Main"
                                     << "RomDir"
                                     << "/a";
    QTest::newRow("double quotes") << "[Main]\nRomDir=\"/a b/\"\n"
                                   << "Main"
                                   << "RomDir"
                                   << "/a b/";
    QTest::newRow("single quotes") << "[Main]\nRomDir='/a'\n"
                                   << "Main"
                                   << "RomDir"
                                   << "/a";
    QTest::newRow("unmatched quote kept") << "[Main]\nRomDir=\"/a\n"
                                          << "Main"
                                          << "RomDir"
                                          << "\"/a";
    QTest::newRow("equals sign in value") << "[Main]\nRomDir=/a=b\n"
                                          << "Main"
                                          << "RomDir"
                                          << "/a=b";
    QTest::newRow("empty value") << "[Main]\nRomDir=\n"
                                 << "Main"
                                 << "RomDir"
                                 << "";
    QTest::newRow("first of duplicates") << "[Main]\nRomDir=/1\nRomDir=/2\n"
                                         << "Main"
                                         << "RomDir"
                                         << "/1";
    QTest::newRow("section repeated") << "[Main]\nA=1\n[X]\n[Main]\nRomDir=/2\n"
                                      << "Main"
                                      << "RomDir"
                                      << "/2";
    QTest::newRow("no final line end") << "[Main]\nRomDir=/a"
                                       << "Main"
                                       << "RomDir"
                                       << "/a";
    QTest::newRow("tabs") << "[Main]\n\tRomDir\t=\t/a\t\n"
                          << "Main"
                          << "RomDir"
                          << "/a";
    QTest::newRow("empty file") << ""
                                << "Main"
                                << "RomDir"
                                << "<none>";
    QTest::newRow("spaced double quotes") << "[Main]\nRomDir = \"/a b\"\n"
                                          << "Main"
                                          << "RomDir"
                                          << "/a b";
    QTest::newRow("backslashes in quotes kept") << "[Main]\nRomDir=\"C:\\roms\\new\"\n"
                                                << "Main"
                                                << "RomDir"
                                                << "C:\\roms\\new";
    QTest::newRow("$'' escapes") << "[Main]\nRomDir= $'/a\\nb\\\\c\\'d\\x41' \n"
                                 << "Main"
                                 << "RomDir"
                                 << "/a\nb\\c'dA";
    QTest::newRow("$'' unknown escapes kept") << "[Main]\nRomDir=$'\\q\\x4\\'\n"
                                              << "Main"
                                              << "RomDir"
                                              << "\\q\\x4\\";
  }
  void get_handWrittenFile_readsValue() {
    QFETCH(QString, text);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const IniFile ini = IniFile::Parse(text.toStdString());
    QCOMPARE(Shown(ini.Get(section.toStdString(), key.toStdString())), expected);
  }

  void set_keepsEverythingElse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("replace in place, spelling and spacing kept") << "[main]\nromdir = /old\nX=1\n"
                                                                 << "RomDir"
                                                                 << "/new"
                                                                 << "[main]\nromdir = /new\nX=1\n";
    QTest::newRow("new key after the section's last line") << "[Main]\nA=1\n\n[Other]\nB=2\n"
                                                           << "C"
                                                           << "3"
                                                           << "[Main]\nA=1\nC=3\n\n[Other]\nB=2\n";
    QTest::newRow("new key after a trailing comment of the section") << "[Main]\nA=1\n; note\n\n"
                                                                     << "C"
                                                                     << "3"
                                                                     << "[Main]\nA=1\n; note\nC=3\n\n";
    QTest::newRow("new section at the end") << "; top\n[Other]\nB=2\n"
                                            << "C"
                                            << "3"
                                            << "; top\n[Other]\nB=2\n\n[Main]\nC=3\n";
    QTest::newRow("new section after a blank line") << "[Other]\nB=2\n\n"
                                                    << "C"
                                                    << "3"
                                                    << "[Other]\nB=2\n\n[Main]\nC=3\n";
    QTest::newRow("empty file") << ""
                                << "C"
                                << "3"
                                << "[Main]\nC=3\n";
    QTest::newRow("same key in another section untouched") << "[Other]\nC=9\n[Main]\nC=1\n"
                                                           << "C"
                                                           << "3"
                                                           << "[Other]\nC=9\n[Main]\nC=3\n";
    QTest::newRow("CR LF kept") << "[Main]\r\nA=1\r\n"
                                << "A"
                                << "2"
                                << "[Main]\r\nA=2\r\n";
    QTest::newRow("byte order mark kept") << "\xEF\xBB\xBF[Main]\nA=1\n"
                                          << "A"
                                          << "2"
                                          << "\xEF\xBB\xBF[Main]\nA=2\n";
    QTest::newRow("missing final line end added") << "[Main]\nA=1"
                                                  << "A"
                                                  << "2"
                                                  << "[Main]\nA=2\n";
    QTest::newRow("empty section header line") << "[Main]\n"
                                               << "A"
                                               << "2"
                                               << "[Main]\nA=2\n";
  }
  void set_keepsEverythingElse() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    IniFile ini = IniFile::Parse(text.toStdString());
    ini.Set("Main", key.toStdString(), value.toStdString());
    QCOMPARE(Q(ini.Text()), expected);
    // What was written reads back.
    QCOMPARE(Shown(IniFile::Parse(ini.Text()).Get("Main", key.toStdString())), value);
  }

  // Any value, written into an existing line and as a new key, reads back exactly and keeps
  // to its line.
  void set_anyValue_readsBackFromOneLine_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("plain path") << QByteArray("/home/me/roms") << QByteArray("/home/me/roms");
    QTest::newRow("inner spaces") << QByteArray("/my roms/a b") << QByteArray("/my roms/a b");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("UTF-8") << QByteArray("/home/\xE6\x88\x91/roms") << QByteArray("/home/\xE6\x88\x91/roms");
    QTest::newRow("backslashes") << QByteArray("C:\\roms\\") << QByteArray("C:\\roms\\");
    QTest::newRow("leading and trailing blanks") << QByteArray("  /a b ") << QByteArray("\"  /a b \"");
    QTest::newRow("double quotes at both ends") << QByteArray("\"/a\"") << QByteArray("\"\"/a\"\"");
    QTest::newRow("single quotes at both ends") << QByteArray("'/a'") << QByteArray("\"'/a'\"");
    QTest::newRow("quoted backslash path") << QByteArray("\"C:\\roms\"") << QByteArray("\"\"C:\\roms\"\"");
    QTest::newRow("lone quote") << QByteArray("\"") << QByteArray("\"");
    QTest::newRow("quote at the start only") << QByteArray("\"/a") << QByteArray("\"/a");
    QTest::newRow("looks like $''") << QByteArray("$'/a'") << QByteArray("\"$'/a'\"");
    QTest::newRow("line end") << QByteArray("/roms\nnew") << QByteArray("$'/roms\\nnew'");
    QTest::newRow("carriage return at the end") << QByteArray("/roms\r") << QByteArray("$'/roms\\r'");
    QTest::newRow("tab") << QByteArray("\t/a") << QByteArray("$'\\t/a'");
    QTest::newRow("control byte, quote, backslash") << QByteArray("it's\x01\\x") << QByteArray("$'it\\'s\\x01\\\\x'");
    QTest::newRow("NUL and 0xFF") << QByteArray("/a\0b\xFF\x7F", 6) << QByteArray("$'/a\\x00b\xFF\\x7F'");
  }
  void set_anyValue_readsBackFromOneLine() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, written);
    IniFile ini = IniFile::Parse("[Main]\nRomDir=/old\n\n[Other]\nK=v\n");
    ini.Set("Main", "RomDir", value.toStdString());
    ini.Set("Main", "New", value.toStdString());
    QCOMPARE(QByteArray::fromStdString(ini.Text()),
             "[Main]\nRomDir=" + written + "\nNew=" + written + "\n\n[Other]\nK=v\n");
    const IniFile again = IniFile::Parse(ini.Text());
    QCOMPARE(Raw(again.Get("Main", "RomDir")), value);
    QCOMPARE(Raw(again.Get("Main", "New")), value);
    QCOMPARE(Raw(again.Get("Other", "K")), QByteArray("v"));
  }

  void load_missingFile_isEmpty() {
    QTemporaryDir dir;
    const IniFile ini = IniFile::Load(PathOf(dir) / "absent.INI");
    QCOMPARE(Q(ini.Text()), QString());
    QVERIFY(!ini.Get("Main", "RomDir"));
  }

  void save_thenLoad_roundTrips() {
    QTemporaryDir dir;
    const auto file = PathOf(dir) / "q.INI";
    IniFile ini = IniFile::Parse("# mine\n[Main]\nRomDir=/a\n");
    ini.Set("Main", "RAMDir", "/r/");
    QVERIFY(ini.Save(file));
    QCOMPARE(Q(quillon::uitest::ReadText(file)), QStringLiteral("# mine\n[Main]\nRomDir=/a\nRAMDir=/r/\n"));
    QCOMPARE(Shown(IniFile::Load(file).Get("main", "ramdir")), QStringLiteral("/r/"));
  }

  // A save that fails leaves the file there as it was, and nothing else behind.
  void save_failing_oldFileIntact_data() {
    QTest::addColumn<QString>("failure");
    QTest::newRow("folder in the file's place") << "folder";
    QTest::newRow("write cut short") << "file size limit";
    QTest::newRow("folder not writable") << "read-only folder";
  }
  void save_failing_oldFileIntact() {
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const auto folder = PathOf(dir) / "settings";
    std::filesystem::create_directories(folder);
    const auto file = folder / "q.INI";
    const std::string old = "; by hand\n[Main]\nRomDir=/old\n";
    IniFile ini = IniFile::Parse(old);
    ini.Set("Main", "RomDir", "/a much longer value than the limit on the file's size allows");

    bool saved = true;
    if (failure == "folder") {
      std::filesystem::create_directories(file);
      quillon::uitest::WriteText(file / "inside", old);
      saved = ini.Save(file);
      QVERIFY(std::filesystem::is_directory(file));
      QCOMPARE(Q(quillon::uitest::ReadText(file / "inside")), Q(old));
    } else {
      quillon::uitest::WriteText(file, old);
      if (failure == "file size limit") {
        rlimit limit{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const rlimit small{16, limit.rlim_max};
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        const bool limited = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
        if (limited) saved = ini.Save(file);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, previous);
        QVERIFY(limited);
      } else {
        if (::geteuid() == 0) QSKIP("root writes into a read-only folder");
        std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        saved = ini.Save(file);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
      }
      QCOMPARE(Q(quillon::uitest::ReadText(file)), Q(old));
    }
    QVERIFY(!saved);
    QCOMPARE(NamesIn(folder), QStringList{QStringLiteral("q.INI")});
  }
};

class SettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void parseDecimal_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("0") << "0" << true << 0;
    QTest::newRow("2") << "2" << true << 2;
    QTest::newRow("spaces") << " 1 " << true << 1;
    QTest::newRow("plus") << "+1" << true << 1;
    QTest::newRow("minus") << "-1" << true << -1;
    QTest::newRow("leading zeros") << "002" << true << 2;
    QTest::newRow("large") << "2147483647" << true << 2147483647;
    QTest::newRow("overflow") << "2147483648" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("plus minus") << "+-1" << false << 0;
    QTest::newRow("trailing text") << "1x" << false << 0;
    QTest::newRow("hex") << "0x2" << false << 0;
    QTest::newRow("word") << "WS" << false << 0;
    QTest::newRow("decimal point") << "1.0" << false << 0;
    QTest::newRow("inner space") << "1 2" << false << 0;
  }
  void parseDecimal() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<int> parsed = quillon::ui::ParseDecimal(text.toStdString());
    QCOMPARE(parsed.has_value(), valid);
    if (valid) QCOMPARE(*parsed, value);
  }

  void readSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("romDir");
    QTest::addColumn<QString>("saveRomDir");
    QTest::addColumn<QString>("ramDir");
    QTest::addColumn<QString>("patchDir");
    QTest::addColumn<int>("writerType");
    const QString p = QStringLiteral("/prog/");
    QTest::newRow("empty file: all defaults") << "" << p << p << p << p << 0;
    QTest::newRow("all keys") << "[Main]\nRomDir=/r\nSaveROMDir=/s/\nRAMDir=/m/\nPatchDir=/p/\nSystemStyle=2\n"
                              << "/r"
                              << "/s/"
                              << "/m/"
                              << "/p/" << 2;
    QTest::newRow("some keys, other case") << "[MAIN]\nramdir = /m/\nsystemstyle = 1\n" << p << p << "/m/" << p << 1;
    QTest::newRow("keys in another section ignored") << "[Other]\nRomDir=/x\nSystemStyle=2\n" << p << p << p << p << 0;
    QTest::newRow("SystemStyle not a number") << "[Main]\nSystemStyle=WS\n" << p << p << p << p << 0;
    QTest::newRow("SystemStyle with text after") << "[Main]\nSystemStyle=2x\n" << p << p << p << p << 0;
    QTest::newRow("SystemStyle out of range kept") << "[Main]\nSystemStyle=7\n" << p << p << p << p << 7;
    QTest::newRow("SystemStyle negative kept") << "[Main]\nSystemStyle=-1\n" << p << p << p << p << -1;
    QTest::newRow("empty RomDir stays empty") << "[Main]\nRomDir=\n"
                                              << "" << p << p << p << 0;
  }
  void readSettings() {
    QFETCH(QString, text);
    QFETCH(QString, romDir);
    QFETCH(QString, saveRomDir);
    QFETCH(QString, ramDir);
    QFETCH(QString, patchDir);
    QFETCH(int, writerType);
    const Settings s = quillon::ui::ReadSettings(IniFile::Parse(text.toStdString()), "/prog/");
    QCOMPARE(Q(s.romDir), romDir);
    QCOMPARE(Q(s.saveRomDir), saveRomDir);
    QCOMPARE(Q(s.ramDir), ramDir);
    QCOMPARE(Q(s.patchDir), patchDir);
    QCOMPARE(static_cast<int>(s.writerType), writerType);
  }

  void writeSettings_emptyFile_fiveKeysInOrder() {
    IniFile ini;
    quillon::ui::WriteSettings(ini, Settings{"/r", "/s/", "/m/", "/p/", static_cast<quillon::library::WriterType>(2)});
    QCOMPARE(Q(ini.Text()), QStringLiteral("[Main]\nRomDir=/r\nSaveROMDir=/s/\nRAMDir=/m/\n"
                                           "PatchDir=/p/\nSystemStyle=2\n"));
  }

  void writeSettings_handWrittenFile_keepsOtherLines() {
    IniFile ini =
        IniFile::Parse("; my notes\n[Window]\nLeft=3\n\n[main]\nsystemstyle = 1\nFavourite=tobu.gb\n\n[Z]\nK=V\n");
    quillon::ui::WriteSettings(ini, Settings{"/r", "/s/", "/m/", "/p/", static_cast<quillon::library::WriterType>(0)});
    QCOMPARE(Q(ini.Text()), QStringLiteral("; my notes\n[Window]\nLeft=3\n\n[main]\nsystemstyle = 0\n"
                                           "Favourite=tobu.gb\nRomDir=/r\nSaveROMDir=/s/\nRAMDir=/m/\n"
                                           "PatchDir=/p/\n\n[Z]\nK=V\n"));
  }

  void programDirOf() {
    QCOMPARE(Q(quillon::ui::ProgramDirOf("/opt/quillon/bin/quillon")), QStringLiteral("/opt/quillon/bin/"));
    QCOMPARE(Q(quillon::ui::ProgramDirOf("/quillon")), QStringLiteral("/"));
  }

  void settingsFileFor_data() {
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "/opt/q/quillon"
                                  << "/opt/q/quillon.INI";
    QTest::newRow("exe") << "/c/GB/writer.exe"
                         << "/c/GB/writer.INI";
    QTest::newRow("two dots") << "/x/writer.v2.bin"
                              << "/x/writer.v2.INI";
    QTest::newRow("dot only in the folder") << "/x.d/prog"
                                            << "/x.d/prog.INI";
    QTest::newRow("ends in a dot") << "/x/prog."
                                   << "/x/prog.INI";
  }
  void settingsFileFor() {
    QFETCH(QString, executable);
    QFETCH(QString, expected);
    QCOMPARE(Q(quillon::ui::SettingsFileFor(executable.toStdString()).string()), expected);
  }

  void userConfigDir_data() {
    QTest::addColumn<QString>("xdg");   // "<unset>" for no variable
    QTest::addColumn<QString>("home");  // "<unset>" for no variable
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_CONFIG_HOME") << "/xdg"
                                     << "/home/u"
                                     << "/xdg/quillon";
    QTest::newRow("only HOME") << "<unset>"
                               << "/home/u"
                               << "/home/u/.config/quillon";
    QTest::newRow("empty XDG_CONFIG_HOME") << ""
                                           << "/home/u"
                                           << "/home/u/.config/quillon";
    QTest::newRow("relative XDG_CONFIG_HOME") << "cfg"
                                              << "/home/u"
                                              << "/home/u/.config/quillon";
    QTest::newRow("nothing known") << "<unset>"
                                   << "<unset>"
                                   << "";
  }
  void userConfigDir() {
    QFETCH(QString, xdg);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    const std::string x = xdg.toStdString();
    const std::string h = home.toStdString();
    const auto dir =
        quillon::ui::UserConfigDir(xdg == "<unset>" ? nullptr : x.c_str(), home == "<unset>" ? nullptr : h.c_str());
    QCOMPARE(Q(dir.string()), expected);
  }

  void chooseSettingsLocation_data() {
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("configDir");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inUserConfig");
    QTest::newRow("writable program folder") << true << "/home/u/.config/quillon"
                                             << "/opt/q/quillon.INI" << false;
    QTest::newRow("read-only program folder") << false << "/home/u/.config/quillon"
                                              << "/home/u/.config/quillon/quillon.INI" << true;
    QTest::newRow("read-only, no config folder known") << false << ""
                                                       << "/opt/q/quillon.INI" << false;
  }
  void chooseSettingsLocation() {
    QFETCH(bool, writable);
    QFETCH(QString, configDir);
    QFETCH(QString, path);
    QFETCH(bool, inUserConfig);
    const auto location = quillon::ui::ChooseSettingsLocation("/opt/q/quillon", writable, configDir.toStdString());
    QCOMPARE(Q(location.path.string()), path);
    QCOMPARE(location.inUserConfig, inUserConfig);
  }

  void seedUserSettings_copiesTheFileBesideTheProgramOnce() {
    QTemporaryDir dir;
    const auto root = PathOf(dir);
    const auto beside = root / "opt" / "quillon.INI";
    std::filesystem::create_directories(beside.parent_path());
    quillon::uitest::WriteText(beside, "[Main]\nRomDir=/roms\n");
    const quillon::ui::SettingsLocation user{root / "config" / "quillon" / "quillon.INI", true};

    QVERIFY(!quillon::ui::SeedUserSettings({beside, false}, beside));
    QVERIFY(quillon::ui::SeedUserSettings(user, beside));
    QCOMPARE(Q(quillon::uitest::ReadText(user.path)), QStringLiteral("[Main]\nRomDir=/roms\n"));
    // Once the user's file exists it is the one that counts.
    quillon::uitest::WriteText(user.path, "[Main]\nRomDir=/mine\n");
    QVERIFY(!quillon::ui::SeedUserSettings(user, beside));
    QCOMPARE(Q(quillon::uitest::ReadText(user.path)), QStringLiteral("[Main]\nRomDir=/mine\n"));
    QVERIFY(!quillon::ui::SeedUserSettings({root / "other" / "q.INI", true}, root / "absent.INI"));
  }

  void isWritableDirectory() {
    QTemporaryDir dir;
    const auto root = PathOf(dir);
    quillon::uitest::WriteText(root / "file", "x");
    QVERIFY(quillon::ui::IsWritableDirectory(root));
    QVERIFY(!quillon::ui::IsWritableDirectory(root / "missing"));
    QVERIFY(!quillon::ui::IsWritableDirectory(root / "file"));
  }

  // The program's save at exit changes the line of the one value that changed, and nothing
  // else of a file written by hand: quoted values, comments, other sections, permissions.
  void saveSettingsFile_handWrittenFile_onlyTheChangedLineDiffers() {
    QTemporaryDir dir;
    const auto file = PathOf(dir) / "quillon.INI";
    const std::string before =
        "; kept by hand\n[Main]\nRomDir = \"/home/me/my roms\"\nSaveROMDir=/home/me/saves\n"
        "RAMDir='C:\\ram'\nPatchDir=/p/\nSystemStyle = 1\n\n[Window]\nLeft=3\n";
    quillon::uitest::WriteText(file, before);
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const Settings changed{"/home/me/my roms", "/home/me/saves", "C:\\ram", "/p/\nnew/",
                           static_cast<quillon::library::WriterType>(1)};
    QVERIFY(quillon::ui::SaveSettingsFile(file, changed));
    std::string after = before;
    after.replace(after.find("PatchDir=/p/"), 12, "PatchDir=$'/p/\\nnew/'");
    QCOMPARE(Q(quillon::uitest::ReadText(file)), Q(after));
    QCOMPARE(static_cast<int>(std::filesystem::status(file).permissions()), 0600);
    const Settings read = quillon::ui::ReadSettings(IniFile::Load(file), "/prog/");
    QCOMPARE(Q(read.patchDir), Q(changed.patchDir));
    QCOMPARE(Q(read.romDir), Q(changed.romDir));
    QCOMPARE(Q(read.ramDir), Q(changed.ramDir));
  }

  void saveSettingsFile_missingFolder_isCreated() {
    QTemporaryDir dir;
    const auto file = PathOf(dir) / "config" / "quillon" / "quillon.INI";
    QVERIFY(quillon::ui::SaveSettingsFile(
        file, Settings{"/r", "/s/", "/m/", "/p/", static_cast<quillon::library::WriterType>(1)}));
    QCOMPARE(Q(quillon::uitest::ReadText(file)),
             QStringLiteral("[Main]\nRomDir=/r\nSaveROMDir=/s/\nRAMDir=/m/\nPatchDir=/p/\n"
                            "SystemStyle=1\n"));
  }
};

#include "settings_tests.moc"

int RunSettingsTests(int argc, char** argv) {
  IniFileTest ini;
  SettingsTest settings;
  int failed = QTest::qExec(&ini, argc, argv);
  failed += QTest::qExec(&settings, argc, argv);
  return failed;
}
