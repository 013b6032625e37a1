// SPDX-License-Identifier: GPL-3.0-or-later
// The patch file question before WS writing: "Selecting Patch File", asking "Using Patch
// File?". "Yes" runs the open dialog in PatchDir; a chosen file sets PatchDir to its
// directory at once and ends the window with 1, "No" or a cancelled dialog end it with 2.
#pragma once

#include <QDialog>
#include <QString>

#include "ops/program_state.h"
#include "ui/file_dialogs.h"

class QLabel;
class QPushButton;

namespace quillon::ui {

class TfmPatchWS : public QDialog {
  Q_OBJECT

 public:
  explicit TfmPatchWS(QWidget* parent = nullptr);

  // The window's results.
  static constexpr int kPatchChosen = 1;
  static constexpr int kNoPatch = 2;

  // Shows the question modally; PatchDir is read from and written to `state` (which must
  // outlive the call). kPatchChosen or kNoPatch.
  int Run(ops::ProgramState& state);
  // The state whose PatchDir the next "Yes" uses; Run sets it.
  void setState(ops::ProgramState* state) { state_ = state; }

  // The patch file chosen at the last showing; empty when none was chosen.
  QString chosenFile() const { return chosenFile_; }
  // Answers the open dialog instead of showing it; an empty hook shows it again.
  void setFileDialogHook(FileDialogHook hook) { fileDialogHook_ = std::move(hook); }

 public slots:
  void Button1Click();  // "Yes"
  void Button2Click();  // "No"

 protected:
  // Escape answers "No".
  void reject() override;

 private:
  // Controls, in tab order.
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QLabel* Label1 = nullptr;

  ops::ProgramState* state_ = nullptr;
  QString chosenFile_;
  FileDialogHook fileDialogHook_;
};

}  // namespace quillon::ui
