// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/patch_window.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "ui/text_look.h"
#include "ui/widgets.h"

namespace quillon::ui {

TfmPatchWS::TfmPatchWS(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  SetUpDialog(this, "fmPatchWS", QStringLiteral("Selecting Patch File"), QSize(188, 73));
  hide();
  Button1 = MakeButton(this, "Button1", QStringLiteral("Yes"), {20, 36, 61, 25});
  Button2 = MakeButton(this, "Button2", QStringLiteral("No"), {104, 36, 61, 25});
  Label1 = MakeLabel(this, "Label1", QStringLiteral("Using Patch File?"), QPoint(44, 12));
  setTabOrder(Button1, Button2);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TfmPatchWS::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfmPatchWS::Button2Click);
}

int TfmPatchWS::Run(ops::ProgramState& state) {
  state_ = &state;
  Button1->setFocus();
  return exec();
}

void TfmPatchWS::Button1Click() {
  chosenFile_.clear();
  FileDialogRequest request;
  request.mode = FileDialogMode::Open;
  request.nameFilters = NameFiltersOf("Patch File (*.ips)|*.ips");
  request.defaultSuffix = QStringLiteral("ips");
  request.directory = state_ != nullptr ? StartFolder(state_->settings.patchDir, state_->programDir) : QDir::homePath();
  const QString path = AskFile(this, fileDialogHook_, request);
  if (path.isEmpty()) {
    done(kNoPatch);
    return;
  }
  chosenFile_ = path;
  if (state_ != nullptr) {
    state_->settings.patchDir = ops::DirectoryOf(QFile::encodeName(path).toStdString());
  }
  done(kPatchChosen);
}

void TfmPatchWS::Button2Click() {
  chosenFile_.clear();
  done(kNoPatch);
}

void TfmPatchWS::reject() { Button2Click(); }

}  // namespace quillon::ui
