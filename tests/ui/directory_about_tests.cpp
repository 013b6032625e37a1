// SPDX-License-Identifier: GPL-3.0-or-later
// The directory chooser, the item chooser and the About window.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "ui/about_window.h"
#include "ui/directory_window.h"
#include "ui/select_window.h"
#include "ui/text_look.h"

namespace ui = quillon::ui;
using Strings = std::vector<std::string>;

namespace {

template <class T>
T* Find(QWidget& window, const char* name) {
  return window.findChild<T*>(QString::fromLatin1(name));
}

std::string BytesOf(const QTemporaryDir& dir) { return QFile::encodeName(dir.path()).toStdString(); }

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

QStringList Texts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

// Opens the folder `name` of the directory list as a user does: select its row, press Enter.
void OpenFolder(ui::TfmDirect& w, const std::string& name) {
  auto* list = Find<QTreeWidget>(w, "DirectoryListBox1");
  const auto items = list->findItems(ui::FromFileName(name), Qt::MatchExactly | Qt::MatchRecursive);
  QCOMPARE(items.size(), 1);
  list->setCurrentItem(items.front());
  QTest::keyClick(list, Qt::Key_Return);
}

// QTemporaryDir cannot remove names that are not valid UTF-8.
struct Cleanup {
  std::string path;
  ~Cleanup() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

}  // namespace

class DirectoryAboutTest : public QObject {
  Q_OBJECT

 private slots:

  void directoryWindow_writerType_setsFilterAndFiles_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("writerType");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("files");
    const QString gb = QStringLiteral("GB files(*.gb;*.gbc)|*.gb;*.gbc");
    const QString ws = QStringLiteral("WS files(*.ws;*.wsc)|*.ws;*.wsc");
    const QStringList gbFiles{QStringLiteral("a.gb"), QStringLiteral("B.GBC")};
    const QStringList wsFiles{QStringLiteral("c.ws"), QStringLiteral("d.wsc")};
    QTest::newRow("GB") << 2 << 0 << gb << gbFiles;
    QTest::newRow("GB+Password") << 2 << 1 << gb << gbFiles;
    QTest::newRow("WS") << 0 << 2 << ws << wsFiles;
    QTest::newRow("unknown after WS") << 2 << 3 << ws << wsFiles;
    QTest::newRow("negative after GB") << 0 << -1 << gb << gbFiles;
  }
  void directoryWindow_writerType_setsFilterAndFiles() {
    QFETCH(int, before);
    QFETCH(int, writerType);
    QFETCH(QString, filter);
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    for (const char* name : {"a.gb", "B.GBC", "c.ws", "d.wsc", "e.txt", "gb"}) {
      Touch(BytesOf(dir) + "/" + name);
    }
    std::filesystem::create_directory(BytesOf(dir) + "/f.gb");  // a folder, not a file
    ui::TfmDirect w;
    w.setStartDirectory(BytesOf(dir));
    w.FormActivate(static_cast<quillon::library::WriterType>(before));
    w.FormActivate(static_cast<quillon::library::WriterType>(writerType));
    QCOMPARE(w.filter(), filter);
    QCOMPARE(Find<QComboBox>(w, "FilterComboBox1")->currentText(), filter.section('|', 0, 0));
    QCOMPARE(Texts(Find<QListWidget>(w, "FileListBox1")), files);
  }

  void directoryWindow_okOnFolder_returnsItsBytes_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("ASCII") << QByteArray("plain");
    QTest::newRow("not UTF-8") << QByteArray("\xff\xfe");
  }
  void directoryWindow_okOnFolder_returnsItsBytes() {
    QFETCH(QByteArray, name);
    QTemporaryDir dir;
    const Cleanup cleanup{BytesOf(dir)};
    const std::string folder = BytesOf(dir) + "/" + name.toStdString();
    for (const char* other : {"/plain", "/\xff\xfe"}) std::filesystem::create_directory(BytesOf(dir) + other);
    Touch(folder + "/\xfe\xff.gb");
    ui::TfmDirect w;
    w.FormActivate(quillon::library::WriterType::Gb);
    w.setStartDirectory(BytesOf(dir));
    w.show();
    OpenFolder(w, name.toStdString());
    QCOMPARE(w.chosenDirectory(), folder);
    QCOMPARE(Find<QListWidget>(w, "FileListBox1")->count(), 1);
    QTest::mouseClick(Find<QPushButton>(w, "Button1"), Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), 1);
    QCOMPARE(w.chosenDirectory(), folder);
    QVERIFY(std::filesystem::is_directory(w.chosenDirectory()));
  }

  // The item chooser opens with its list focused on row 1, nothing selected: a key that moves
  // selects from there, and Return alone picks nothing.
  void selectWindow_keys_selectFromRowOne_data() {
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("picked");  // -1: nothing
    QTest::newRow("Return") << QList<int>{Qt::Key_Return} << -1;
    QTest::newRow("End, Return") << QList<int>{Qt::Key_End, Qt::Key_Return} << 2;
    QTest::newRow("Home, Return") << QList<int>{Qt::Key_Home, Qt::Key_Return} << 0;
    QTest::newRow("Down, Return") << QList<int>{Qt::Key_Down, Qt::Key_Return} << 1;
  }
  void selectWindow_keys_selectFromRowOne() {
    QFETCH(QList<int>, keys);
    QFETCH(int, picked);
    ui::TfmSelect w;
    w.SetItems({"1. SAME", "2. SAME", "Password"});
    QTimer::singleShot(0, &w, [&] {
      QCOMPARE(w.focusWidget(), w.list());
      for (const int key : keys) QTest::keyClick(w.list(), static_cast<Qt::Key>(key));
    });
    QCOMPARE(w.exec(), ui::TfmSelect::kOk);
    QCOMPARE(w.SelectedRow().value_or(-1), picked);
  }

  void selectWindow_imageTip_romAndSaveSizes() {
    quillon::detect::CardEntry image;
    for (const auto& [rom, ram, tip] :
         {std::tuple{2, 2, "ROM 128 KiB, save memory 8 KiB"}, std::tuple{7, 0, "ROM 4 MiB, save memory none"},
          std::tuple{0, 3, "ROM 32 KiB, save memory 32 KiB"}}) {
      image.romSize = rom;
      image.ramSize = ram;
      QCOMPARE(ui::ImageSizesTip(image), QString::fromLatin1(tip));
    }
  }

  void directoryWindow_cancel_endsWith2() {
    ui::TfmDirect w;
    QTimer::singleShot(0, &w, [&w] { QTest::mouseClick(Find<QPushButton>(w, "Button2"), Qt::LeftButton); });
    QCOMPARE(w.exec(), 2);
  }

  void directoryWindow_laterShowings_keepTheLastDirectory() {
    QTemporaryDir first;
    QTemporaryDir second;
    std::filesystem::create_directory(BytesOf(first) + "/sub");
    ui::TfmDirect w;
    w.setStartDirectory(BytesOf(first));
    w.show();
    OpenFolder(w, "sub");
    w.hide();
    w.setStartDirectory(BytesOf(second));
    w.show();
    QCOMPARE(w.chosenDirectory(), BytesOf(first) + "/sub");
  }

  void directoryWindow_driveBox_followsAndLeadsTheDirectoryList() {
    QTemporaryDir dir;
    std::filesystem::create_directory(BytesOf(dir) + "/sub");
    ui::TfmDirect w;
    w.setDrivePlaces({"/", BytesOf(dir)});
    w.setDirectory(BytesOf(dir) + "/gone/deeper");  // the nearest folder that is there
    QCOMPARE(w.chosenDirectory(), BytesOf(dir));
    w.setDirectory(BytesOf(dir) + "/sub");
    auto* drives = Find<QComboBox>(w, "DriveComboBox1");
    QCOMPARE(drives->count(), 2);
    QCOMPARE(drives->currentIndex(), 1);  // the nearest place holding the directory
    drives->setCurrentIndex(0);
    emit drives->activated(0);
    QCOMPARE(w.chosenDirectory(), std::string("/"));
  }

  void userVolumes_mountTable_keepsTheUsersRealVolumes() {
    const std::string table =
        "/dev/sda1 / ext4 rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/sda2 /boot ext4 rw 0 0\n"
        "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
        "/dev/loop3 /media/ann/snap squashfs ro 0 0\n"
        "tmpfs /media/ann/ram tmpfs rw 0 0\n"
        "server:/roms /mnt/roms nfs4 rw 0 0\n"
        "/dev/sdc1 /run/media/ann/\\377disk ext4 rw 0 0\n"
        "ann@host:/x /home/ann/remote fuse.sshfs rw 0 0\n"
        "/dev/sdd1 /home/annex/disk ext4 rw 0 0\n"
        "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n";
    QCOMPARE(ui::UserVolumes(table, "/home/ann"), (Strings{"/media/ann/USB STICK", "/mnt/roms",
                                                           "/run/media/ann/\xff"
                                                           "disk",
                                                           "/home/ann/remote"}));
  }

  void aboutWindow_showsTheProjectVersion() {
    ui::TfmAbout w;
    QCOMPARE(Find<QLabel>(w, "Label2")->text(), QStringLiteral("Version ") + QStringLiteral(QUILLON_PROJECT_VERSION));
    QCOMPARE(ui::VersionText(), Find<QLabel>(w, "Label2")->text());
  }

  void aboutWindow_namesTheLicence() {
    ui::TfmAbout w;
    auto* licence = Find<QLabel>(w, "Label7");
    QVERIFY(licence != nullptr);
    QCOMPARE(licence->text(), QStringLiteral("Licensed under the GNU General Public License, version 3 or later"));
    QCOMPARE(ui::LicenceText(), licence->text());
    // Whole in its room: wrapped, no taller than its label, which lies inside the window below
    // the address and above OK.
    QVERIFY(licence->wordWrap());
    QVERIFY(licence->heightForWidth(licence->width()) <= licence->height());
    QVERIFY(QRect(QPoint(0, 0), w.size()).contains(licence->geometry()));
    QVERIFY(licence->geometry().top() > Find<QLabel>(w, "Label4")->geometry().bottom());
    QVERIFY(licence->geometry().bottom() < Find<QPushButton>(w, "Button6")->geometry().top());
  }

  void aboutWindow_address_isOpenedOnClick() {
    ui::TfmAbout w;
    std::vector<QUrl> opened;
    w.setUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
    w.show();
    QTest::mouseClick(Find<QLabel>(w, "Label4"), Qt::LeftButton);
    QCOMPARE(opened.size(), std::size_t{1});
    QCOMPARE(opened.front(), w.url());
    QVERIFY(w.url().isLocalFile());
    QVERIFY(w.url().toLocalFile().endsWith(QStringLiteral("/README.md")));
    QVERIFY(w.isVisible());
  }

  void documentationUrl_programFolder_findsOurReadme() {
    QTemporaryDir dir;
    const QString tree = dir.path() + QStringLiteral("/src");
    const QString program = tree + QStringLiteral("/build/app");
    QVERIFY(QDir().mkpath(program));
    const auto write = [](const QString& path, const char* firstLine) {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(firstLine);
    };
    write(dir.path() + QStringLiteral("/README.md"), "# Quillon Writing System\n");
    write(tree + QStringLiteral("/README.md"), "# Quillon Writing System\n");
    write(tree + QStringLiteral("/build/README.md"), "# Another program\n");
    QCOMPARE(ui::DocumentationUrl(program), QUrl::fromLocalFile(tree + QStringLiteral("/README.md")));
    write(program + QStringLiteral("/README.md"), "# Quillon Writing System\n");
    QCOMPARE(ui::DocumentationUrl(program), QUrl::fromLocalFile(program + QStringLiteral("/README.md")));
  }
};

int RunDirectoryAboutTests(int argc, char** argv) {
  DirectoryAboutTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "directory_about_tests.moc"
