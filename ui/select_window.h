// SPDX-License-Identifier: GPL-3.0-or-later
// The item chooser "Selecting Items": the caller fills lvSelect, shows the window and reads
// the selected row. OK ends it with 1, Cancel and Escape with 2.
#pragma once

#include <QDialog>
#include <QStringList>

#include <optional>

class QPushButton;
class QTreeWidget;

namespace quillon::ui {

class TfmSelect : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;

  explicit TfmSelect(QWidget* parent = nullptr);

  // Empties lvSelect and adds one row per text, in order, with no row selected.
  void SetItems(const QStringList& texts);
  // The index of the selected row; none when no row is selected.
  std::optional<int> SelectedRow() const;

  QTreeWidget* list() const { return lvSelect; }

 public slots:
  void Button1Click();  // "OK"
  void Button2Click();  // "Cancel"

 protected:
  // Escape and closing by the system answer "Cancel".
  void reject() override;

 private:
  // Controls, in tab order.
  QTreeWidget* lvSelect = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
};

}  // namespace quillon::ui
