#include "ui/secondary_windows.h"

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
TfmDown::TfmDown(QWidget* parent) : QDialog(parent) { Name(this, "TfmDown"); }
TfmUpload::TfmUpload(QWidget* parent) : QDialog(parent) { Name(this, "TfmUpload"); }
TfmSelect::TfmSelect(QWidget* parent) : QDialog(parent) { Name(this, "TfmSelect"); }
TfmRAMDown::TfmRAMDown(QWidget* parent) : QDialog(parent) { Name(this, "TfmRAMDown"); }
TfmRAMUpload::TfmRAMUpload(QWidget* parent) : QDialog(parent) { Name(this, "TfmRAMUpload"); }
TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent) { Name(this, "TfmAbout"); }
TfmClear::TfmClear(QWidget* parent) : QDialog(parent) { Name(this, "TfmClear"); }
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
  return windows;
}

}  // namespace quillon::ui
