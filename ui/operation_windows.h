// SPDX-License-Identifier: GPL-3.0-or-later
// The operation windows: two kinds, each window of a kind set apart only by its caption and
// the card operation it runs (OperationWindowConfig).
//   the writing kind (TfmDown, TfmClear, TfmDownWS, TfmClearWS): the file label above the
//     step label, "Cancel" while the worker runs and "OK" once it has ended;
//   the reading kind (TfmUpload, TfmRAMDown, TfmRAMUpload and their WS twins): one step
//     label, "Cancel" while the worker runs and "Close" once it has ended.
// Both kinds have the verdict line under their step label (a read's checksums, the verify
// after a write) and the progress strip under their controls; the reading kind says there
// where a file it saved went.
// What an operation is handed (the image, the card size, the patch file) comes with Prepare
// or Run as ops::OperationArgs, from the command's plan.
#pragma once

#include "ui/operation_window.h"

class QPushButton;

namespace quillon::ui {

class WritingWindow : public OperationWindow {
  Q_OBJECT

 public slots:
  // "Cancel" while the worker runs: a stop request; "OK": closes the window.
  void Button1Click();

 protected:
  WritingWindow(QWidget* parent, const OperationWindowConfig& config);
  void ShowStarting() override;
  void ShowEnded() override;

  // Controls, in declaration order.
  WrappingLabel* lbWork = nullptr;
  QPushButton* Button1 = nullptr;
  WrappingLabel* lbFile = nullptr;
};

class ReadingWindow : public OperationWindow {
  Q_OBJECT

 public slots:
  // "Cancel" while the worker runs: a stop request; "Close": closes the window.
  void Button1Click();

 protected:
  ReadingWindow(QWidget* parent, const OperationWindowConfig& config);
  void ShowStarting() override;
  void ShowEnded() override;

  // Controls, in declaration order.
  WrappingLabel* lbWork = nullptr;
  QPushButton* Button1 = nullptr;
};

// GB card writing: "Writing...", every image of the card list and the menu image; then, with
// "Verify after writing" on, every image read back and compared with its file.
class TfmDown : public WritingWindow {
  Q_OBJECT
 public:
  explicit TfmDown(QWidget* parent = nullptr);
};

// GB card erasing: "Earsing...", 2 or 4 MiB of FLASH ROM (OperationArgs::cardSize).
class TfmClear : public WritingWindow {
  Q_OBJECT
 public:
  explicit TfmClear(QWidget* parent = nullptr);
};

// WS card writing: "Writing...", the image, patched with OperationArgs::patchFile if given;
// then, with "Verify after writing" on, the card read back and compared with it.
class TfmDownWS : public WritingWindow {
  Q_OBJECT
 public:
  explicit TfmDownWS(QWidget* parent = nullptr);
};

// WS card erasing: "Earsing...", the whole card.
class TfmClearWS : public WritingWindow {
  Q_OBJECT
 public:
  explicit TfmClearWS(QWidget* parent = nullptr);
};

// GB card reading: "Downloading File...", the cartridge or image OperationArgs::image; under
// the result, what the image's checksums say.
class TfmUpload : public ReadingWindow {
  Q_OBJECT
 public:
  explicit TfmUpload(QWidget* parent = nullptr);
};

// GB save memory backup: "Downloading RAM...", of the cartridge or of save area
// OperationArgs::image (CardInfo.count: the "Password" item).
class TfmRAMDown : public ReadingWindow {
  Q_OBJECT
 public:
  explicit TfmRAMDown(QWidget* parent = nullptr);
};

// GB save memory restore: "Uploading RAM...", as TfmRAMDown.
class TfmRAMUpload : public ReadingWindow {
  Q_OBJECT
 public:
  explicit TfmRAMUpload(QWidget* parent = nullptr);
};

// WS card reading: "Downloading File...", the whole card into one file; under the result,
// what the image's checksum says.
class TfmUploadWS : public ReadingWindow {
  Q_OBJECT
 public:
  explicit TfmUploadWS(QWidget* parent = nullptr);
};

// WS save memory backup: "Downloading RAM...".
class TfmRAMDownWS : public ReadingWindow {
  Q_OBJECT
 public:
  explicit TfmRAMDownWS(QWidget* parent = nullptr);
};

// WS save memory restore: "Uploading RAM...".
class TfmRAMUploadWS : public ReadingWindow {
  Q_OBJECT
 public:
  explicit TfmRAMUploadWS(QWidget* parent = nullptr);
};

}  // namespace quillon::ui
