// SPDX-License-Identifier: GPL-3.0-or-later
// The operation windows: one table (kOperationWindows) of ten rows, each a window set apart
// only by its name, its caption, its kind and the card operation of a family it runs.
//   the writing kind (TfmDown, TfmClear, TfmDownWS, TfmClearWS): the file label above the
//     step label, "Cancel" while the worker runs and "OK" once it has ended;
//   the reading kind (TfmUpload, TfmRAMDown, TfmRAMUpload and their WS twins): one step
//     label, "Cancel" while the worker runs and "Close" once it has ended.
// Both kinds have the verdict line under their step label (a read's checksums, the verify
// after a write) and the progress strip under their controls; the reading kind says there
// where a file it saved went.
// What an operation is handed (the image, the card size, the patch file, the verify) comes
// with Prepare or Run as ops::OperationArgs, from the command's plan.
#pragma once

#include <array>

#include "ui/operation_window.h"

class QPushButton;

namespace quillon::ui {

// The ten operation windows, in the order the main window makes them.
extern const std::array<OperationWindowConfig, 10> kOperationWindows;

// A window of `config`'s kind (`config` must outlive it).
OperationWindow* MakeOperationWindow(const OperationWindowConfig& config, QWidget* parent);

class WritingWindow : public OperationWindow {
  Q_OBJECT

 public:
  WritingWindow(QWidget* parent, const OperationWindowConfig& config);

 public slots:
  // "Cancel" while the worker runs: a stop request; "OK": closes the window.
  void Button1Click();

 protected:
  void ShowStarting() override;
  void ShowEnded() override;

  // Controls, in declaration order.
  WrappingLabel* lbWork = nullptr;
  QPushButton* Button1 = nullptr;
  WrappingLabel* lbFile = nullptr;
};

class ReadingWindow : public OperationWindow {
  Q_OBJECT

 public:
  ReadingWindow(QWidget* parent, const OperationWindowConfig& config);

 public slots:
  // "Cancel" while the worker runs: a stop request; "Close": closes the window.
  void Button1Click();

 protected:
  void ShowStarting() override;
  void ShowEnded() override;

  // Controls, in declaration order.
  WrappingLabel* lbWork = nullptr;
  QPushButton* Button1 = nullptr;
};

}  // namespace quillon::ui
