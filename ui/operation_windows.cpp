// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/operation_windows.h"

#include <QPushButton>

#include "gb/gb_operations.h"
#include "ui/widgets.h"
#include "ws/ws_operations.h"

namespace quillon::ui {
namespace {

using ops::CardOperation;
using ops::Operation;
using ops::OperationArgs;

// The ten windows: object name, caption, the card operation each runs and how, and for the
// two writing ones the verify that may follow.
constexpr OperationWindowConfig kDown{"TfmDown", "Writing...", CardOperation::WriteGbCard,
                                      [](Operation& op, const OperationArgs&) { return gb::WriteGbCard(op); },
                                      [](Operation& op, const OperationArgs&) { return gb::VerifyGbCard(op); }};
constexpr OperationWindowConfig kClear{
    "TfmClear", "Earsing...", CardOperation::EraseGbCard,
    [](Operation& op, const OperationArgs& args) { return gb::EraseGbCard(op, args.cardSize); }};
constexpr OperationWindowConfig kDownWS{
    "TfmDownWS", "Writing...", CardOperation::WriteWsCard,
    [](Operation& op, const OperationArgs& args) { return ws::WriteWsCard(op, args.patchFile); },
    [](Operation& op, const OperationArgs& args) { return ws::VerifyWsCard(op, args.patchFile); }};
constexpr OperationWindowConfig kClearWS{"TfmClearWS", "Earsing...", CardOperation::EraseWsCard,
                                         [](Operation& op, const OperationArgs&) { return ws::EraseWsCard(op); }};
constexpr OperationWindowConfig kUpload{
    "TfmUpload", "Downloading File...", CardOperation::ReadGbCard,
    [](Operation& op, const OperationArgs& args) { return gb::ReadGbCard(op, args.image); }};
constexpr OperationWindowConfig kRAMDown{
    "TfmRAMDown", "Downloading RAM...", CardOperation::BackupGbRam,
    [](Operation& op, const OperationArgs& args) { return gb::BackupGbRam(op, args.image); }};
constexpr OperationWindowConfig kRAMUpload{
    "TfmRAMUpload", "Uploading RAM...", CardOperation::RestoreGbRam,
    [](Operation& op, const OperationArgs& args) { return gb::RestoreGbRam(op, args.image); }};
constexpr OperationWindowConfig kUploadWS{"TfmUploadWS", "Downloading File...", CardOperation::ReadWsCard,
                                          [](Operation& op, const OperationArgs&) { return ws::ReadWsCard(op); }};
constexpr OperationWindowConfig kRAMDownWS{"TfmRAMDownWS", "Downloading RAM...", CardOperation::BackupWsRam,
                                           [](Operation& op, const OperationArgs&) { return ws::BackupWsRam(op); }};
constexpr OperationWindowConfig kRAMUploadWS{"TfmRAMUploadWS", "Uploading RAM...", CardOperation::RestoreWsRam,
                                             [](Operation& op, const OperationArgs&) { return ws::RestoreWsRam(op); }};

// The button of both kinds: the default button, named Button1.
QPushButton* MakeDefaultButton(QDialog* parent, const char* caption, QRect rect) {
  QPushButton* button = MakeButton(parent, "Button1", QString::fromLatin1(caption), rect);
  button->setAutoDefault(true);
  button->setDefault(true);
  return button;
}

}  // namespace

// --- the writing kind -----------------------------------------------------------------------

WritingWindow::WritingWindow(QWidget* parent, const OperationWindowConfig& config)
    : OperationWindow(parent, config, QSize(297, 95)) {
  lbWork = MakeWrappingLabel(this, "lbWork", QRect(8, 36, 281, 25), Qt::AlignLeft);
  Button1 = MakeDefaultButton(this, "Cancel", {108, 64, 89, 25});
  lbFile = MakeWrappingLabel(this, "lbFile", QRect(8, 8, 281, 25), Qt::AlignHCenter);
  setControls(lbWork, lbFile, {Button1});
  connect(Button1, &QPushButton::clicked, this, &WritingWindow::Button1Click);
}

void WritingWindow::Button1Click() { StopOrClose(); }

void WritingWindow::ShowStarting() { Button1->setText(QStringLiteral("Cancel")); }

void WritingWindow::ShowEnded() { Button1->setText(QStringLiteral("OK")); }

// --- the reading kind -----------------------------------------------------------------------

ReadingWindow::ReadingWindow(QWidget* parent, const OperationWindowConfig& config)
    : OperationWindow(parent, config, QSize(215, 83)) {
  lbWork = MakeWrappingLabel(this, "lbWork", QRect(21, 8, 172, 25), Qt::AlignLeft);
  Button1 = MakeDefaultButton(this, "Close", {62, 40, 97, 33});
  setControls(lbWork, nullptr, {Button1});
  connect(Button1, &QPushButton::clicked, this, &ReadingWindow::Button1Click);
}

void ReadingWindow::Button1Click() { StopOrClose(); }

// The transfer can be stopped as a write can; the button says so while it runs.
void ReadingWindow::ShowStarting() {
  Button1->setText(QStringLiteral("Cancel"));
  Button1->setEnabled(true);
}

void ReadingWindow::ShowEnded() {
  Button1->setText(QStringLiteral("Close"));
  Button1->setEnabled(true);
}

// --- the windows ----------------------------------------------------------------------------

TfmDown::TfmDown(QWidget* parent) : WritingWindow(parent, kDown) {}
TfmClear::TfmClear(QWidget* parent) : WritingWindow(parent, kClear) {}
TfmDownWS::TfmDownWS(QWidget* parent) : WritingWindow(parent, kDownWS) {}
TfmClearWS::TfmClearWS(QWidget* parent) : WritingWindow(parent, kClearWS) {}
TfmUpload::TfmUpload(QWidget* parent) : ReadingWindow(parent, kUpload) {}
TfmRAMDown::TfmRAMDown(QWidget* parent) : ReadingWindow(parent, kRAMDown) {}
TfmRAMUpload::TfmRAMUpload(QWidget* parent) : ReadingWindow(parent, kRAMUpload) {}
TfmUploadWS::TfmUploadWS(QWidget* parent) : ReadingWindow(parent, kUploadWS) {}
TfmRAMDownWS::TfmRAMDownWS(QWidget* parent) : ReadingWindow(parent, kRAMDownWS) {}
TfmRAMUploadWS::TfmRAMUploadWS(QWidget* parent) : ReadingWindow(parent, kRAMUploadWS) {}

}  // namespace quillon::ui
