// The windows that the main window's commands show modally. They are created once at
// start-up, hidden, and live until the program ends.
#pragma once

#include <QDialog>
#include <QString>

#include "ops/program_state.h"
#include "ui/about_window.h"
#include "ui/directory_window.h"
#include "ui/operation_windows.h"
#include "ui/select_window.h"

class QLabel;
class QPushButton;

namespace quillon::ui {

// Patch file choice before WS writing: "Selecting Patch File", asking "Using Patch File?".
// "Yes" runs the open dialog in PatchDir; a chosen file sets PatchDir to its directory at
// once and ends the window with 1, "No" or a cancelled dialog end it with 2.
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

// WS card writing: caption "Writing...", the window of GB writing.
class TfmDownWS : public TfmDown {
  Q_OBJECT

 public:
  explicit TfmDownWS(QWidget* parent = nullptr);

  // 1: the image is patched with PatchFile on its way to the card; 0: written unchanged.
  int UsePatch = 0;
  // The patch file (TfmPatchWS::chosenFile()); looked at only when UsePatch is 1.
  QString PatchFile;

  using OperationWindow::Prepare;
  using OperationWindow::Run;
  // Sets UsePatch and PatchFile, then readies or runs the window.
  void Prepare(link::Link& link, ops::ProgramState& state, int usePatch,
               const QString& patchFile);
  ops::Result Run(link::Link& link, ops::ProgramState& state, int usePatch,
                  const QString& patchFile);

 protected:
  OperationFunction CardOperation() const override;
};

// WS card erasing: caption "Earsing...", the whole card.
class TfmClearWS : public TfmClear {
  Q_OBJECT

 public:
  explicit TfmClearWS(QWidget* parent = nullptr);

  using OperationWindow::Run;

 protected:
  OperationFunction CardOperation() const override;
};

// WS card reading: caption "Downloading File...", the whole card into one file.
class TfmUploadWS : public TfmUpload {
  Q_OBJECT

 public:
  explicit TfmUploadWS(QWidget* parent = nullptr);

  using OperationWindow::Run;

 protected:
  OperationFunction CardOperation() const override;
};

// WS save memory backup: caption "Downloading RAM...".
class TfmRAMDownWS : public TfmRAMDown {
  Q_OBJECT

 public:
  explicit TfmRAMDownWS(QWidget* parent = nullptr);

  using OperationWindow::Run;

 protected:
  OperationFunction CardOperation() const override;
};

// WS save memory restore: caption "Uploading RAM...".
class TfmRAMUploadWS : public TfmRAMUpload {
  Q_OBJECT

 public:
  explicit TfmRAMUploadWS(QWidget* parent = nullptr);

  using OperationWindow::Run;

 protected:
  OperationFunction CardOperation() const override;
};

// Every secondary window, in the order they are created. The main window given to
// CreateSecondaryWindows owns them (Qt parent), so these pointers never own.
struct SecondaryWindows {
  TfmDirect* fmDirect = nullptr;
  TfmDown* fmDown = nullptr;
  TfmUpload* fmUpload = nullptr;
  TfmSelect* fmSelect = nullptr;
  TfmRAMDown* fmRAMDown = nullptr;
  TfmRAMUpload* fmRAMUpload = nullptr;
  TfmAbout* fmAbout = nullptr;
  TfmClear* fmClear = nullptr;
  TfmDownWS* fmDownWS = nullptr;
  TfmUploadWS* fmUploadWS = nullptr;
  TfmRAMDownWS* fmRAMDownWS = nullptr;
  TfmRAMUploadWS* fmRAMUploadWS = nullptr;
  TfmClearWS* fmClearWS = nullptr;
  TfmPatchWS* fmPatchWS = nullptr;
};

// Creates the fourteen windows, hidden, as children of `owner`. When `owner` is the main
// window, the card probes of the operation windows go to its card information.
SecondaryWindows CreateSecondaryWindows(QWidget* owner);

}  // namespace quillon::ui
