// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/secondary_windows.h"

#include "ui/main_window.h"

namespace quillon::ui {

std::array<QDialog*, 14> SecondaryWindows::all() const {
  const auto& o = operations;
  return {fmDirect, o[0], o[1], fmSelect, o[2], o[3], fmAbout, o[4], o[5], o[6], o[7], o[8], o[9], fmPatchWS};
}

OperationWindow* SecondaryWindows::Named(std::string_view className) const {
  for (std::size_t i = 0; i < operations.size(); ++i) {
    if (kOperationWindows[i].className == className) return operations[i];
  }
  return nullptr;
}

OperationWindow* SecondaryWindows::ForOperation(const ops::OperationCall& call) const {
  for (OperationWindow* window : operations) {
    if (window != nullptr && &window->family() == call.family && window->operation() == call.operation) return window;
  }
  return nullptr;
}

SecondaryWindows CreateSecondaryWindows(QWidget* owner) {
  SecondaryWindows windows;
  // The operation windows in the table's order, the others among them where they have always
  // been made.
  std::size_t made = 0;
  const auto makeOperationWindows = [&](std::size_t count) {
    for (const std::size_t end = made + count; made < end; ++made)
      windows.operations[made] = MakeOperationWindow(kOperationWindows[made], owner);
  };
  windows.fmDirect = new TfmDirect(owner);
  makeOperationWindows(2);  // TfmDown, TfmUpload
  windows.fmSelect = new TfmSelect(owner);
  makeOperationWindows(2);  // TfmRAMDown, TfmRAMUpload
  windows.fmAbout = new TfmAbout(owner);
  makeOperationWindows(kOperationWindows.size() - made);  // TfmClear, the WS windows
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
