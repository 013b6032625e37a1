// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/secondary_windows.h"

#include "ui/main_window.h"

namespace quillon::ui {

std::array<QDialog*, 14> SecondaryWindows::all() const {
  return {fmDirect, fmDown,   fmUpload,   fmSelect,    fmRAMDown,     fmRAMUpload, fmAbout,
          fmClear,  fmDownWS, fmUploadWS, fmRAMDownWS, fmRAMUploadWS, fmClearWS,   fmPatchWS};
}

std::array<OperationWindow*, 10> SecondaryWindows::operationWindows() const {
  return {fmDown,   fmUpload,   fmRAMDown,   fmRAMUpload,   fmClear,
          fmDownWS, fmUploadWS, fmRAMDownWS, fmRAMUploadWS, fmClearWS};
}

OperationWindow* SecondaryWindows::ForOperation(ops::CardOperation operation) const {
  for (OperationWindow* window : operationWindows()) {
    if (window != nullptr && window->operation() == operation) return window;
  }
  return nullptr;
}

SecondaryWindows CreateSecondaryWindows(QWidget* owner) {
  SecondaryWindows windows;
  windows.fmDirect = new TfmDirect(owner);
  windows.fmDown = new TfmDown(owner);
  windows.fmUpload = new TfmUpload(owner);
  windows.fmSelect = new TfmSelect(owner);
  windows.fmRAMDown = new TfmRAMDown(owner);
  windows.fmRAMUpload = new TfmRAMUpload(owner);
  windows.fmAbout = new TfmAbout(owner);
  windows.fmClear = new TfmClear(owner);
  windows.fmDownWS = new TfmDownWS(owner);
  windows.fmUploadWS = new TfmUploadWS(owner);
  windows.fmRAMDownWS = new TfmRAMDownWS(owner);
  windows.fmRAMUploadWS = new TfmRAMUploadWS(owner);
  windows.fmClearWS = new TfmClearWS(owner);
  windows.fmPatchWS = new TfmPatchWS(owner);

  if (auto* form = qobject_cast<Tform_ZEP*>(owner)) {
    const CardInfoSink sink = [form](const detect::CardInfo& info, detect::ProbeOutcome outcome) {
      form->TakeCardInfo(info, outcome);
    };
    const NoticeSink notices = [form](const std::string& text) { form->TakeJournalNotice(text); };
    for (OperationWindow* window : windows.operationWindows()) {
      window->setCardInfoSink(sink);
      window->setNoticeSink(notices);
      window->setPort(form->port());
    }
  }
  return windows;
}

}  // namespace quillon::ui
