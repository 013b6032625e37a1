// SPDX-License-Identifier: GPL-3.0-or-later
// The windows that the main window's commands show modally. They are created once at
// start-up, hidden, and live until the program ends.
#pragma once

#include <array>

#include "ops/command_plan.h"
#include "ui/about_window.h"
#include "ui/directory_window.h"
#include "ui/operation_windows.h"
#include "ui/patch_window.h"
#include "ui/select_window.h"

namespace quillon::ui {

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

  // All fourteen, in the order of creation.
  std::array<QDialog*, 14> all() const;
  // The ten operation windows.
  std::array<OperationWindow*, 10> operationWindows() const;
  // The window that runs `operation`; null before the windows are created.
  OperationWindow* ForOperation(ops::CardOperation operation) const;
};

// Creates the fourteen windows, hidden, as children of `owner`. When `owner` is the main
// window, the card probes of the operation windows go to its card information.
SecondaryWindows CreateSecondaryWindows(QWidget* owner);

}  // namespace quillon::ui
