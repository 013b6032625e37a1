// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/operation_windows.h"

#include <QPushButton>

#include "gb/gb_family.h"
#include "ui/widgets.h"
#include "ws/ws_family.h"

namespace quillon::ui {

using ops::CardOperation;
using Kind = WindowKind;

const std::array<OperationWindowConfig, 10> kOperationWindows{{
    // GB card writing: every image of the card list and the menu image; then, with "Verify
    // after writing" on, every image read back and compared with its file.
    {"TfmDown", "Writing...", Kind::Writing, &gb::Family, CardOperation::Write},
    // GB card reading: the cartridge or image OperationArgs::image; under the result, what the
    // image's checksums say.
    {"TfmUpload", "Downloading File...", Kind::Reading, &gb::Family, CardOperation::Read},
    // GB save memory backup and restore: of the cartridge or of save area OperationArgs::image
    // (CardInfo.count: the "Password" item).
    {"TfmRAMDown", "Downloading RAM...", Kind::Reading, &gb::Family, CardOperation::BackupRam},
    {"TfmRAMUpload", "Uploading RAM...", Kind::Reading, &gb::Family, CardOperation::RestoreRam},
    // GB card erasing: 2 or 4 MiB of FLASH ROM (OperationArgs::cardSize).
    {"TfmClear", "Earsing...", Kind::Writing, &gb::Family, CardOperation::Erase},
    // WS card writing: the image, patched with OperationArgs::patchFile if given; then, with
    // "Verify after writing" on, the card read back and compared with it.
    {"TfmDownWS", "Writing...", Kind::Writing, &ws::Family, CardOperation::Write},
    // WS card reading: the whole card into one file; under the result, what the image's
    // checksum says.
    {"TfmUploadWS", "Downloading File...", Kind::Reading, &ws::Family, CardOperation::Read},
    {"TfmRAMDownWS", "Downloading RAM...", Kind::Reading, &ws::Family, CardOperation::BackupRam},
    {"TfmRAMUploadWS", "Uploading RAM...", Kind::Reading, &ws::Family, CardOperation::RestoreRam},
    // WS card erasing: the whole card.
    {"TfmClearWS", "Earsing...", Kind::Writing, &ws::Family, CardOperation::Erase},
}};

OperationWindow* MakeOperationWindow(const OperationWindowConfig& config, QWidget* parent) {
  if (config.kind == WindowKind::Writing) return new WritingWindow(parent, config);
  return new ReadingWindow(parent, config);
}

namespace {

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

}  // namespace quillon::ui
