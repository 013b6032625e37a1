// SPDX-License-Identifier: GPL-3.0-or-later
// The directory chooser of "Select Directory": a drive box, the directory list, a filter box
// and the list of the image files in the directory shown.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "library/writer_type.h"

class QComboBox;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillon::ui {

// The mount points of the real volumes a user mounts (disks and sticks under /media,
// /run/media, /mnt or the home folder, network shares there), in the order of `mountTable`,
// which is the text of /proc/self/mounts. The paths are the file system's bytes.
std::vector<std::string> UserVolumes(std::string_view mountTable, std::string_view home);

// One entry of a filter text "caption|mask|caption|mask...": a mask is a list of wildcard
// patterns separated by ';'.
struct FilterEntry {
  QString caption;
  QString mask;
};
std::vector<FilterEntry> ParseFilter(const QString& filter);

// "Selecting Directory". Paths are kept as the file system's bytes, so folders and files
// whose names are not valid UTF-8 are listed, entered and chosen without loss.
class TfmDirect : public QDialog {
  Q_OBJECT

 public:
  // The window's results.
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;

  explicit TfmDirect(QWidget* parent = nullptr);

  // Each time the chooser is about to be shown: the filter of the writer type's images
  // (GB for "GB" and "GB+Password", WS for "WS"; any other value keeps the filter).
  void FormActivate(library::WriterType writerType);
  // Where the directory list starts; only heeded until the chooser is first shown, from
  // then on it keeps the directory it last showed.
  void setStartDirectory(const std::string& directory);
  // The directory list's current directory: a full path, no '/' at the end but for the root.
  std::string chosenDirectory() const { return directory_; }

  // The filter box's filter text and the file list's mask.
  QString filter() const { return filter_; }
  QString mask() const { return mask_; }
  void setFilter(const QString& filter);

  // Shows `directory` in the directory list; a folder that is gone gives the nearest one
  // above it that is there.
  void setDirectory(const std::string& directory);
  // The places of the drive box (the root, the user's volumes, the home folder); tests
  // give their own.
  void setDrivePlaces(std::vector<std::string> places);

 public slots:
  void Button1Click();  // "OK"
  void Button2Click();  // "Cancel"

 protected:
  void showEvent(QShowEvent* event) override;
  // The window's close box and Escape answer "Cancel".
  void reject() override;
  // Enter on the directory list opens the folder instead of pressing "OK".
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillDriveBox();
  void FillDirectoryList();
  void FillFileList();
  void DriveChosen(int index);
  void DirectoryActivated(QTreeWidgetItem* item);
  void FilterChosen(int index);

  // Controls, in tab order.
  QComboBox* DriveComboBox1 = nullptr;
  QTreeWidget* DirectoryListBox1 = nullptr;
  QComboBox* FilterComboBox1 = nullptr;
  QListWidget* FileListBox1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

  std::vector<std::string> drivePlaces_;
  std::string directory_;
  QString filter_;
  QString mask_;
  bool shown_ = false;
};

}  // namespace quillon::ui
