// SPDX-License-Identifier: GPL-3.0-or-later
// The item chooser "Selecting Items": the caller fills lvSelect, shows the window and reads
// the selected row. OK ends it with 1, Cancel and Escape with 2.
#pragma once

#include <QDialog>
#include <QStringList>

#include <optional>

#include "detect/card_info.h"

class QPushButton;
class QTreeWidget;

namespace quillon::ui {

// The tooltip of an image's row: "ROM 128 KiB, save memory 8 KiB", from its header's codes.
QString ImageSizesTip(const detect::CardEntry& image);

class TfmSelect : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;

  explicit TfmSelect(QWidget* parent = nullptr);

  // Empties lvSelect and adds one row per text, in order, each with its tooltip from `tips`
  // (none where empty or missing). The list takes the keyboard focus on row 1 without
  // selecting it: an arrow key, Home or End selects from there, and OK or Return with no row
  // selected picks nothing.
  void SetItems(const QStringList& texts, const QStringList& tips = {});
  // The index of the selected row; none when no row is selected.
  std::optional<int> SelectedRow() const;

  QTreeWidget* list() const { return lvSelect; }

 public slots:
  void Button1Click();  // "OK"
  void Button2Click();  // "Cancel"

 protected:
  // Escape and closing by the system answer "Cancel".
  void reject() override;
  // A key that moves in the list while no row is selected selects the current row first, so
  // that Home on row 1 selects it as End selects the last.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Controls, in tab order.
  QTreeWidget* lvSelect = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
};

}  // namespace quillon::ui
