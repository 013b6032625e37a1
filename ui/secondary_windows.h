// The windows that the main window's commands show modally. They are created once at
// start-up, hidden, and live until the program ends.
#pragma once

#include <QDialog>

#include "ui/operation_windows.h"

namespace quillon::ui {

// Directory chooser ("Select Directory").
class TfmDirect : public QDialog {
  Q_OBJECT
 public:
  explicit TfmDirect(QWidget* parent = nullptr);
};

// Item chooser ("Selecting Items").
class TfmSelect : public QDialog {
  Q_OBJECT
 public:
  explicit TfmSelect(QWidget* parent = nullptr);
};

// The About window.
class TfmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfmAbout(QWidget* parent = nullptr);
};

// WS card writing.
class TfmDownWS : public QDialog {
  Q_OBJECT
 public:
  explicit TfmDownWS(QWidget* parent = nullptr);
};

// WS card reading.
class TfmUploadWS : public QDialog {
  Q_OBJECT
 public:
  explicit TfmUploadWS(QWidget* parent = nullptr);
};

// WS save memory backup.
class TfmRAMDownWS : public QDialog {
  Q_OBJECT
 public:
  explicit TfmRAMDownWS(QWidget* parent = nullptr);
};

// WS save memory restore.
class TfmRAMUploadWS : public QDialog {
  Q_OBJECT
 public:
  explicit TfmRAMUploadWS(QWidget* parent = nullptr);
};

// WS card erasing.
class TfmClearWS : public QDialog {
  Q_OBJECT
 public:
  explicit TfmClearWS(QWidget* parent = nullptr);
};

// Patch file choice before WS writing.
class TfmPatchWS : public QDialog {
  Q_OBJECT
 public:
  explicit TfmPatchWS(QWidget* parent = nullptr);
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
