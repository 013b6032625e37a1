// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's buttons that show other windows: the directory chooser, the card
// commands with their plans (ops/command_plan.h, through cards::PlanCommand), About and Exit.
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTreeWidget>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "cards/families.h"
#include "ui/main_window.h"
#include "ui/select_window.h"
#include "ui/text_look.h"
#include "ui/widgets.h"

namespace quillon::ui {
namespace {

// Both name one folder: the same path but for a trailing '/', or the same directory.
bool SameFolder(const std::string& a, const std::string& b) {
  const auto trimmed = [](std::filesystem::path path) { return path.lexically_normal() / ""; };
  std::error_code error;
  return trimmed(a) == trimmed(b) || std::filesystem::equivalent(a, b, error);
}

}  // namespace

void Tform_ZEP::Button2Click() {
  Guarded([this] {
    TfmDirect& chooser = *windows_.fmDirect;
    chooser.FormActivate(state_.writerType());
    if (ShowModal(chooser, [&chooser] { return chooser.exec(); }) != 1) return;
    // The folder already shown is listed again and keeps the card; another one empties it.
    const bool sameFolder = SameFolder(state_.settings.romDir, chooser.chosenDirectory());
    state_.settings.romDir = chooser.chosenDirectory();
    ShowRomDir();
    ScanRomDir();
    if (sameFolder) return;
    state_.cardList.clear();
    FillCardListView();
  });
}

void Tform_ZEP::Button1Click() {
  Guarded([this] { ScanRomDir(); });
}

void Tform_ZEP::Button8Click() {
  Guarded([this] {
    infoBox_.Clear();
    ShowCardInfo();
    ProbeCard();
  });
}

// The writing operations read the images through the card list's own paths, so the ROM
// directory never has to become the working directory.
void Tform_ZEP::Button6Click() {
  Guarded([this] { RunCommand(ops::Command::StartWriting); });
}

void Tform_ZEP::Button9Click() {
  Guarded([this] { RunCommand(ops::Command::DownloadCard); });
}

void Tform_ZEP::Button11Click() {
  Guarded([this] { RunCommand(ops::Command::DownloadRam); });
}

void Tform_ZEP::Button10Click() {
  Guarded([this] { RunCommand(ops::Command::UploadRam); });
}

void Tform_ZEP::Button13Click() {
  Guarded([this] { RunCommand(ops::Command::EraseCard); });
}

void Tform_ZEP::Button7Click() {
  Guarded([this] { close(); });
}

void Tform_ZEP::Button12Click() {
  Guarded([this] {
    TfmAbout& about = *windows_.fmAbout;
    ShowModal(about, [&about] { return about.exec(); });
  });
}

void Tform_ZEP::RunCommand(ops::Command command) {
  auto probe = detect::ProbeOutcome::NotProbed;
  if (cards::ProbesFirst(command, state_.writerType())) probe = ProbeCard();
  ops::CommandPlan plan = cards::PlanCommand(command, state_, probe);
  if (plan.next == ops::CommandPlan::Next::Pick) {
    // An image's row carries its number on the card, so that equal titles differ, and its
    // sizes as a tooltip; the other rows are as the plan has them.
    QStringList items, tips;
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
      const bool image = static_cast<int>(i) < plan.imageItems && i < state_.cardInfo.images.size();
      items.append(image ? QString::number(i + 1) + QStringLiteral(". ") + FromBig5(plan.items[i])
                         : FromBig5(plan.items[i]));
      tips.append(image ? ImageSizesTip(state_.cardInfo.images[i]) : QString());
    }
    // No row picked: Picked says why nothing happens.
    plan = ops::Picked(std::move(plan), Pick(items, tips).value_or(-1));
  }
  if (plan.next != ops::CommandPlan::Next::Run) {
    ShowStatus(probe == detect::ProbeOutcome::DeviceError ? WriterSilentStatus() : plan.reason);
    return;
  }
  if (plan.asksErase && !AskErase()) {
    ShowStatus("nothing was erased");
    return;
  }
  if (plan.asksPatch) plan.call.args.patchFile = AskPatchFile();
  plan.call.args.verify = state_.settings.verifyAfterWrite;  // "Verify after writing"
  plan.call.args.readTwice = state_.settings.readTwice;      // "Read twice"
  OperationWindow* window = windows_.ForOperation(plan.call);
  if (window == nullptr) return;
  const ops::Result result = window->Run(*link_, state_, plan.call.args);
  ReadJournal();
  ShowCardInfo();
  ShowStatus(StatusAfter(result, window->endFigures()));
  if (plan.probeAfter) ProbeCard();
}

std::string Tform_ZEP::StatusAfter(const ops::Result& result, const std::string& endFigures) const {
  // The operation window has closed: its failure message stays in view here. The WS
  // operations find a missing writer or card themselves, so this is where their reason shows.
  switch (result.outcome) {
    case ops::Outcome::Failed:
      if (!result.detail.empty()) return result.detail;
      return result.text == "Linking Fail" ? WriterSilentStatus() : result.text;
    case ops::Outcome::Stopped:
      return endFigures.empty() ? "stopped" : endFigures;
    case ops::Outcome::Success:
      return result.detail;  // what a success left out
    case ops::Outcome::Cancelled:
      break;
  }
  return {};
}

bool Tform_ZEP::AskErase() {
  const std::unique_ptr<QMessageBox> question = MakeQuestionBox(
      this, "EraseQuestion", QString::fromLatin1(kEraseQuestionCaption), QString::fromLatin1(kEraseQuestionText));
  QMessageBox& box = *question;
  return ShowModal(box, [&box] { return box.exec(); }) == QMessageBox::Yes;
}

std::string Tform_ZEP::AskPatchFile() {
  TfmPatchWS& question = *windows_.fmPatchWS;
  question.setState(&state_);
  const int answer = ShowModal(question, [this, &question] { return question.Run(state_); });
  if (answer != TfmPatchWS::kPatchChosen) return {};
  return QFile::encodeName(question.chosenFile()).toStdString();
}

std::optional<int> Tform_ZEP::Pick(const QStringList& texts, const QStringList& tips) {
  TfmSelect& chooser = *windows_.fmSelect;
  chooser.SetItems(texts, tips);
  if (ShowModal(chooser, [&chooser] { return chooser.exec(); }) != TfmSelect::kOk) {
    return std::nullopt;
  }
  return chooser.SelectedRow();
}

int Tform_ZEP::ShowModal(QDialog& window, const std::function<int()>& show) {
  if (modalHook_) return modalHook_(window, show);
  return show();
}

}  // namespace quillon::ui
