#include "ui/secondary_windows.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <string>

#include "ui/main_window.h"
#include "ui/text_look.h"
#include "ws/ws_operations.h"

namespace quillon::ui {
namespace {

// Object names follow the window names: TfmDown -> fmDown.
void Name(QDialog* window, const char* className) {
  window->setObjectName(QString::fromLatin1(className + 1));
  window->setModal(true);
  window->hide();
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect rect) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFont(ControlFont());
  button->setGeometry(rect);
  return button;
}

}  // namespace

// --- TfmPatchWS ----------------------------------------------------------------------------

TfmPatchWS::TfmPatchWS(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  Name(this, "TfmPatchWS");
  setWindowTitle(QStringLiteral("Selecting Patch File"));
  setFont(ControlFont());
  const QSize client(188, 73);
  setFixedSize(client);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, client,
                             screen->availableGeometry())
             .topLeft());
  }
  Button1 = MakeButton(this, "Button1", "Yes", {20, 36, 61, 25});
  Button2 = MakeButton(this, "Button2", "No", {104, 36, 61, 25});
  Label1 = new QLabel(QStringLiteral("Using Patch File?"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(ControlFont());
  Label1->move(44, 12);
  Label1->adjustSize();
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
  request.defaultSuffix = QStringLiteral("IPS");
  if (state_ != nullptr) request.directory = FromFileName(state_->settings.patchDir);
  const QString path = fileDialogHook_ ? fileDialogHook_(request) : ExecFileDialog(this, request);
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

// --- the WS operation windows --------------------------------------------------------------

TfmDownWS::TfmDownWS(QWidget* parent) : TfmDown(parent, "TfmDownWS", "Writing...") {}

void TfmDownWS::Prepare(link::Link& link, ops::ProgramState& state, int usePatch,
                        const QString& patchFile) {
  if (running()) return;
  UsePatch = usePatch;
  PatchFile = patchFile;
  OperationWindow::Prepare(link, state);
}

ops::Result TfmDownWS::Run(link::Link& link, ops::ProgramState& state, int usePatch,
                           const QString& patchFile) {
  Prepare(link, state, usePatch, patchFile);
  exec();
  return result();
}

OperationFunction TfmDownWS::CardOperation() const {
  std::string patch;
  if (UsePatch == 1) patch = QFile::encodeName(PatchFile).toStdString();
  return [patch = std::move(patch)](ops::Operation& op) { return ws::WriteWsCard(op, patch); };
}

TfmClearWS::TfmClearWS(QWidget* parent) : TfmClear(parent, "TfmClearWS", "Earsing...") {}

OperationFunction TfmClearWS::CardOperation() const {
  return [](ops::Operation& op) { return ws::EraseWsCard(op); };
}

TfmUploadWS::TfmUploadWS(QWidget* parent)
    : TfmUpload(parent, "TfmUploadWS", "Downloading File...") {}

OperationFunction TfmUploadWS::CardOperation() const {
  return [](ops::Operation& op) { return ws::ReadWsCard(op); };
}

TfmRAMDownWS::TfmRAMDownWS(QWidget* parent)
    : TfmRAMDown(parent, "TfmRAMDownWS", "Downloading RAM...") {}

OperationFunction TfmRAMDownWS::CardOperation() const {
  return [](ops::Operation& op) { return ws::BackupWsRam(op); };
}

TfmRAMUploadWS::TfmRAMUploadWS(QWidget* parent)
    : TfmRAMUpload(parent, "TfmRAMUploadWS", "Uploading RAM...") {}

OperationFunction TfmRAMUploadWS::CardOperation() const {
  return [](ops::Operation& op) { return ws::RestoreWsRam(op); };
}

// --- all of them ---------------------------------------------------------------------------

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
             windows.fmClear, windows.fmDownWS, windows.fmUploadWS, windows.fmRAMDownWS,
             windows.fmRAMUploadWS, windows.fmClearWS}) {
      window->setCardInfoSink(sink);
      window->setPort(form->port());
    }
  }
  return windows;
}

}  // namespace quillon::ui
