// SPDX-License-Identifier: GPL-3.0-or-later
// The windows that the main window's commands show modally. They are created once at
// start-up, hidden, and live until the program ends.
#pragma once

#include <array>
#include <string_view>

#include "ops/command_plan.h"
#include "ui/about_window.h"
#include "ui/directory_window.h"
#include "ui/operation_windows.h"
#include "ui/patch_window.h"
#include "ui/select_window.h"

namespace quillon::ui {

// Every secondary window. The main window given to CreateSecondaryWindows owns them (Qt
// parent), so these pointers never own.
struct SecondaryWindows {
  TfmDirect* fmDirect = nullptr;
  TfmSelect* fmSelect = nullptr;
  TfmAbout* fmAbout = nullptr;
  TfmPatchWS* fmPatchWS = nullptr;
  // The operation windows, one for each row of kOperationWindows, in its order.
  std::array<OperationWindow*, 10> operations{};

  // All fourteen, in the order of creation.
  std::array<QDialog*, 14> all() const;
  // The ten operation windows.
  const std::array<OperationWindow*, 10>& operationWindows() const { return operations; }
  // The operation window of the row named `className` ("TfmDownWS"); null when none is.
  OperationWindow* Named(std::string_view className) const;
  // The window that runs the call's operation of its family; null before the windows are
  // created.
  OperationWindow* ForOperation(const ops::OperationCall& call) const;
};

// Creates the fourteen windows, hidden, as children of `owner`. When `owner` is the main
// window, the card probes of the operation windows go to its card information.
SecondaryWindows CreateSecondaryWindows(QWidget* owner);

}  // namespace quillon::ui
