// SPDX-License-Identifier: GPL-3.0-or-later
// A ROM folder in a temporary directory and a main window started on it.
#pragma once

#include <QAbstractButton>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "connect/silent_port.h"
#include "link/link.h"
#include "ui/main_window.h"

namespace quillon::uitest {

class WindowFixture {
 public:
  WindowFixture();

  // The temporary folder that stands for the program's directory (ends in '/').
  std::string programDir() const { return root_.string() + "/"; }
  std::filesystem::path root() const { return root_; }
  std::filesystem::path settingsFile() const { return root_ / "quillon.INI"; }
  // No copies of save memory unless a test asks for them before open().
  // The journal is kept in the folder, for the writer named `writer`.
  ui::StartupPaths paths() const {
    return {programDir(), settingsFile(), backupFolder().string(), copies_, {}, journalFile().string(), writer};
  }
  std::filesystem::path journalFile() const { return root_ / "state/quillon/journal"; }
  std::string writer = "the test's writer";
  void keepSaveCopies() { copies_ = true; }
  std::filesystem::path backupFolder() const { return root_ / "backups"; }

  // Writes the settings file before the window starts.
  void writeSettings(const std::string& text) const;

  // Starts the window (shown, off screen) with every message box recorded in `messages`
  // as "caption|text". Without `link` the window's writer is one that never answers.
  // `port`: the port under `link`, which the window claims for its probes and operations.
  ui::Tform_ZEP& open(link::Link* link = nullptr, link::Port* port = nullptr);
  // Destroys the window, which writes the settings file.
  void close() { window_.reset(); }

  ui::Tform_ZEP& window() { return *window_; }
  QStringList messages;

 private:
  QTemporaryDir dir_;
  std::filesystem::path root_;
  bool copies_ = false;
  std::ostringstream silentDiagnostics_;
  connect::SilentPort silentPort_{"no writer in this test"};
  std::unique_ptr<link::Link> silentLink_;
  std::unique_ptr<ui::Tform_ZEP> window_;
};

// Named controls of a window; null when there is none.
template <class T>
T* Control(QWidget& window, const char* name) {
  return window.findChild<T*>(QString::fromLatin1(name));
}

// Column `column` of every row of a list view.
QStringList ColumnTexts(const QTreeWidget* view, int column = 0);
// All six texts of row `row`.
QStringList RowTexts(const QTreeWidget* view, int row);

// Clicks the row whose first column is `file` (so it becomes the selected row, or with Ctrl
// one more); false when there is no such row.
bool ClickRow(QTreeWidget* view, const QString& file, Qt::KeyboardModifiers modifiers = {});
bool DoubleClickRow(QTreeWidget* view, const QString& file);
void Click(QPushButton* button);
// A button's caption as shown: its text without the '&' that marks its Alt key.
QString Caption(const QAbstractButton* button);

}  // namespace quillon::uitest
