#include "ui/secondary_windows.h"

#include "ui/main_window.h"

namespace quillon::ui {
namespace {

// Object names follow the window names: TfmDown -> fmDown.
void Name(QDialog* window, const char* className) {
  window->setObjectName(QString::fromLatin1(className + 1));
  window->setModal(true);
  window->hide();
}

}  // namespace

TfmDirect::TfmDirect(QWidget* parent) : QDialog(parent) { Name(this, "TfmDirect"); }
TfmSelect::TfmSelect(QWidget* parent) : QDialog(parent) { Name(this, "TfmSelect"); }
TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent) { Name(this, "TfmAbout"); }
TfmDownWS::TfmDownWS(QWidget* parent) : QDialog(parent) { Name(this, "TfmDownWS"); }
TfmUploadWS::TfmUploadWS(QWidget* parent) : QDialog(parent) { Name(this, "TfmUploadWS"); }
TfmRAMDownWS::TfmRAMDownWS(QWidget* parent) : QDialog(parent) { Name(this, "TfmRAMDownWS"); }
TfmRAMUploadWS::TfmRAMUploadWS(QWidget* parent) : QDialog(parent) { Name(this, "TfmRAMUploadWS"); }
TfmClearWS::TfmClearWS(QWidget* parent) : QDialog(parent) { Name(this, "TfmClearWS"); }
TfmPatchWS::TfmPatchWS(QWidget* parent) : QDialog(parent) { Name(this, "TfmPatchWS"); }

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
    for (OperationWindow* window : std::initializer_list<OperationWindow*>{
             windows.fmDown, windows.fmUpload, windows.fmRAMDown, windows.fmRAMUpload,
             windows.fmClear}) {
      window->setCardInfoSink(sink);
    }
  }
  return windows;
}

}  // namespace quillon::ui
