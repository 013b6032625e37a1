// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/directory_window.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "library/rom_scan.h"
#include "ui/text_look.h"
#include "ui/widgets.h"

namespace quillon::ui {
namespace {

// The window's outer size is 354 x 323; less the frame, the controls get 346 x 296.
constexpr QSize kClientSize(346, 296);
constexpr int kPathRole = Qt::UserRole;  // an entry's path, as the file system's bytes
constexpr int kComboHeight = 21;

QByteArray Bytes(const std::string& text) { return QByteArray(text.data(), static_cast<qsizetype>(text.size())); }

std::string PathOf(const QVariant& data) { return data.toByteArray().toStdString(); }

// `path` is `base` or lies inside it.
bool AtOrBelow(std::string_view path, std::string_view base) {
  if (base == "/") return !path.empty() && path.front() == '/';
  return path.substr(0, base.size()) == base && (path.size() == base.size() || path[base.size()] == '/');
}

bool Below(std::string_view path, std::string_view base) { return path.size() > base.size() && AtOrBelow(path, base); }

// A mount table field: "\040" and the like stand for the byte of that octal value.
std::string Unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string_view digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out.push_back(static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) | (digits[2] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::string ReadMountTable() {
  std::ifstream in("/proc/self/mounts", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string HomeFolder() { return QFile::encodeName(QDir::homePath()).toStdString(); }

// An absolute, lexically normal path without a '/' at the end (but for the root).
std::string Normal(const std::string& directory) {
  std::filesystem::path path(directory);
  std::error_code ec;
  if (path.empty() || path.is_relative()) path = std::filesystem::absolute(path, ec);
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text.empty() ? std::string("/") : text;
}

std::string ParentOf(const std::string& directory) {
  const std::size_t slash = directory.rfind('/');
  return slash == 0 || slash == std::string::npos ? std::string("/") : directory.substr(0, slash);
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory == "/" ? "/" + name : directory + "/" + name;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// The names in `directory` of the folders (`folders`) or the files, hidden ones left out.
std::vector<std::string> Entries(const std::string& directory, bool folders) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(directory, std::filesystem::directory_options::skip_permission_denied, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    std::error_code typeError;
    const bool matches = folders ? it->is_directory(typeError) : it->is_regular_file(typeError);
    if (matches && !typeError) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), library::FileNameLess);  // as the main window lists
  return names;
}

// The directory list: folders indented under their parents, with no expand marks, since
// every folder shown is open.
class DirectoryTree : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;

 protected:
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
};

}  // namespace

std::vector<std::string> UserVolumes(std::string_view mountTable, std::string_view home) {
  static constexpr std::array<std::string_view, 6> kNetwork{"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs"};
  std::vector<std::string> volumes;
  std::istringstream lines{std::string(mountTable)};
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string device;
    std::string mountPoint;
    std::string type;
    if (!(fields >> device >> mountPoint >> type)) continue;
    device = Unescape(device);
    mountPoint = Unescape(mountPoint);
    const bool disk = device.rfind("/dev/", 0) == 0 && device.rfind("/dev/loop", 0) != 0;
    const bool network = std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end();
    const bool userPlace = Below(mountPoint, "/media") || Below(mountPoint, "/run/media") ||
                           AtOrBelow(mountPoint, "/mnt") || (!home.empty() && home != "/" && Below(mountPoint, home));
    if ((disk || network) && userPlace && std::find(volumes.begin(), volumes.end(), mountPoint) == volumes.end()) {
      volumes.push_back(mountPoint);
    }
  }
  return volumes;
}

std::vector<FilterEntry> ParseFilter(const QString& filter) {
  std::vector<FilterEntry> entries;
  if (filter.isEmpty()) return entries;
  const QStringList parts = filter.split(QLatin1Char('|'));
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    entries.push_back({parts[i], i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*")});
  }
  return entries;
}

TfmDirect::TfmDirect(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmDirect"));
  setModal(true);
  setWindowTitle(QStringLiteral("Selecting Directory"));
  setFont(ControlFont());
  resize(kClientSize);
  if (QGuiApplication::primaryScreen() != nullptr) move(CentredOnDesktop(kClientSize).topLeft());

  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
  DriveComboBox1->setGeometry(8, 8, 161, kComboHeight);

  DirectoryListBox1 = new DirectoryTree(this);
  DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
  DirectoryListBox1->setGeometry(8, 32, 161, 225);
  DirectoryListBox1->setHeaderHidden(true);
  DirectoryListBox1->setRootIsDecorated(false);
  DirectoryListBox1->setItemsExpandable(false);
  DirectoryListBox1->setExpandsOnDoubleClick(false);
  DirectoryListBox1->setIndentation(10);
  DirectoryListBox1->setUniformRowHeights(true);
  DirectoryListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DirectoryListBox1->installEventFilter(this);

  FilterComboBox1 = new QComboBox(this);
  FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
  FilterComboBox1->setGeometry(176, 8, 161, kComboHeight);

  FileListBox1 = new QListWidget(this);
  FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
  FileListBox1->setGeometry(176, 32, 161, 225);

  Button1 = MakeButton(this, "Button1", QStringLiteral("OK"), {72, 264, 89, 25});
  Button1->setDefault(true);
  Button2 = MakeButton(this, "Button2", QStringLiteral("Cancel"), {184, 264, 89, 25});

  connect(DriveComboBox1, &QComboBox::activated, this, &TfmDirect::DriveChosen);
  connect(DirectoryListBox1, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { DirectoryActivated(item); });
  connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, &TfmDirect::FilterChosen);
  connect(Button1, &QPushButton::clicked, this, &TfmDirect::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfmDirect::Button2Click);

  std::vector<std::string> places{"/"};
  const std::string home = HomeFolder();
  for (std::string& volume : UserVolumes(ReadMountTable(), home)) places.push_back(volume);
  places.push_back(home);
  directory_ = Normal(std::filesystem::current_path().string());
  setDrivePlaces(std::move(places));
  setFilter(QStringLiteral("All files (*)|*"));
  setDirectory(directory_);
  hide();
}

void TfmDirect::FormActivate(library::WriterType writerType) {
  if (IsGbWriter(writerType)) {
    setFilter(QStringLiteral("GB files(*.gb;*.gbc)|*.gb;*.gbc"));
  } else if (writerType == library::WriterType::Ws) {
    setFilter(QStringLiteral("WS files(*.ws;*.wsc)|*.ws;*.wsc"));
  }
}

void TfmDirect::setStartDirectory(const std::string& directory) {
  if (!shown_) setDirectory(directory);
}

void TfmDirect::setFilter(const QString& filter) {
  filter_ = filter;
  const QSignalBlocker blocker(FilterComboBox1);
  FilterComboBox1->clear();
  for (const FilterEntry& entry : ParseFilter(filter)) {
    FilterComboBox1->addItem(entry.caption, entry.mask);
  }
  FilterComboBox1->setCurrentIndex(FilterComboBox1->count() > 0 ? 0 : -1);
  mask_ = FilterComboBox1->count() > 0 ? FilterComboBox1->itemData(0).toString() : QStringLiteral("*");
  FillFileList();
}

void TfmDirect::setDirectory(const std::string& directory) {
  std::string shown = Normal(directory.empty() ? directory_ : directory);
  while (shown != "/" && !IsDirectory(shown)) shown = ParentOf(shown);
  directory_ = shown;
  FillDriveBox();
  FillDirectoryList();
  FillFileList();
}

void TfmDirect::setDrivePlaces(std::vector<std::string> places) {
  drivePlaces_.clear();
  for (std::string& place : places) {
    place = Normal(place);
    if (std::find(drivePlaces_.begin(), drivePlaces_.end(), place) == drivePlaces_.end()) {
      drivePlaces_.push_back(std::move(place));
    }
  }
  FillDriveBox();
}

void TfmDirect::Button1Click() { done(kOk); }

void TfmDirect::Button2Click() { done(kCancel); }

void TfmDirect::reject() { done(kCancel); }

void TfmDirect::showEvent(QShowEvent* event) {
  shown_ = true;
  setDirectory(directory_);  // folders may have come or gone since the last showing
  QDialog::showEvent(event);
}

bool TfmDirect::eventFilter(QObject* watched, QEvent* event) {
  if (watched == DirectoryListBox1 && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && DirectoryListBox1->currentItem()) {
      DirectoryActivated(DirectoryListBox1->currentItem());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmDirect::FillDriveBox() {
  DriveComboBox1->clear();
  int current = -1;
  std::size_t longest = 0;
  for (const std::string& place : drivePlaces_) {
    if (AtOrBelow(directory_, place) && (current < 0 || place.size() > longest)) {
      current = DriveComboBox1->count();
      longest = place.size();
    }
    DriveComboBox1->addItem(FromFileName(place), Bytes(place));
  }
  DriveComboBox1->setCurrentIndex(current);
}

void TfmDirect::FillDirectoryList() {
  DirectoryListBox1->clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

  // The folders from the root down to the current one, then the current one's folders.
  std::vector<std::string> chain{directory_};
  while (chain.back() != "/") chain.push_back(ParentOf(chain.back()));
  QTreeWidgetItem* parent = nullptr;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const std::string name = *it == "/" ? *it : it->substr(it->rfind('/') + 1);
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(DirectoryListBox1);
    item->setText(0, FromFileName(name));
    item->setIcon(0, open);
    item->setData(0, kPathRole, Bytes(*it));
    parent = item;
  }
  for (const std::string& name : Entries(directory_, true)) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, FromFileName(name));
    item->setIcon(0, closed);
    item->setData(0, kPathRole, Bytes(Join(directory_, name)));
  }
  DirectoryListBox1->expandAll();
  DirectoryListBox1->setCurrentItem(parent);
  DirectoryListBox1->scrollToItem(parent);
}

void TfmDirect::FillFileList() {
  FileListBox1->clear();
  std::vector<QRegularExpression> patterns;
  for (const QString& pattern : mask_.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(pattern.trimmed()),
                          QRegularExpression::CaseInsensitiveOption);
  }
  for (const std::string& name : Entries(directory_, false)) {
    const QString shown = FromFileName(name);
    if (std::any_of(patterns.begin(), patterns.end(),
                    [&](const QRegularExpression& p) { return p.match(shown).hasMatch(); })) {
      auto* item = new QListWidgetItem(shown, FileListBox1);
      item->setData(kPathRole, Bytes(name));
    }
  }
}

void TfmDirect::DriveChosen(int index) {
  if (index >= 0) setDirectory(PathOf(DriveComboBox1->itemData(index)));
}

void TfmDirect::DirectoryActivated(QTreeWidgetItem* item) {
  if (item) setDirectory(PathOf(item->data(0, kPathRole)));
}

void TfmDirect::FilterChosen(int index) {
  mask_ = index >= 0 ? FilterComboBox1->itemData(index).toString() : QStringLiteral("*");
  FillFileList();
}

}  // namespace quillon::ui
