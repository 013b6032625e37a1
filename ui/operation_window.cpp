// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/operation_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

#include <exception>
#include <iostream>
#include <utility>

#include "link/link.h"
#include "link/port.h"
#include "ops/own_files.h"
#include "ops/progress_figures.h"
#include "ops/verified_write.h"
#include "ui/text_look.h"
#include "ui/widgets.h"

namespace quillon::ui {
namespace {

constexpr const char* kUnexpectedError = "An unexpected error stopped the operation.";

// The progress rows under the controls of a window's kind: the strip, and the saved file's
// path that takes room only when there is one.
constexpr int kRowMargin = 8;     // left and right
constexpr int kStripHeight = 18;  // the strip starts where the kind's window ended
constexpr int kBottomMargin = 6;  // under the strip
constexpr int kSavedGap = 4;      // between the strip and the path

QSize WithProgressRows(QSize clientSize) { return clientSize + QSize(0, kStripHeight + kBottomMargin); }

}  // namespace

OperationWindow::OperationWindow(QWidget* parent, const OperationWindowConfig& config, QSize clientSize)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      config_(config),
      clientSize_(clientSize),
      layout_(this, WithProgressRows(clientSize)) {
  // Object names follow the window names: TfmDown -> fmDown.
  SetUpDialog(this, config.className + 1, QString::fromLatin1(config.caption), WithProgressRows(clientSize));
  hide();
}

void OperationWindow::setControls(WrappingLabel* work, WrappingLabel* file, std::initializer_list<QWidget*> others) {
  work_ = work;
  file_ = file;
  for (WrappingLabel* label : {work, file}) {
    if (label != nullptr) layout_.addGrowing(label, label->geometry());
  }
  // Whatever lies below the step label moves down as the verdict needs room.
  const QRect verdict(work->x(), work->geometry().bottom() + 1, work->width(), 0);
  verdict_ = MakeWrappingLabel(this, "lbVerdict", verdict, Qt::AlignLeft);
  layout_.addGrowing(verdict_, verdict);
  for (QWidget* control : others) layout_.add(control, control->geometry());
  const int width = clientSize_.width() - 2 * kRowMargin;
  const QRect strip(kRowMargin, clientSize_.height(), width, kStripHeight);
  progress_ = MakeProgressStrip(this, "ProgressBar1", strip);
  layout_.add(progress_, strip);
  const QRect saved(kRowMargin, strip.bottom() + 1 + kSavedGap, width, 0);
  saved_ = MakeWrappingLabel(this, "lbSaved", saved, Qt::AlignLeft);
  layout_.addGrowing(saved_, saved);
  Relayout();
}

void OperationWindow::Relayout() { layout_.apply(); }

void OperationWindow::ShowSaveCopy(const QString& text) {
  saved_->setText(text);
  Relayout();
}

void OperationWindow::ShowVerdictBelow(const QString& text) {
  const QString above = verdict_->text();  // a read's checksums
  ShowVerdict(above.isEmpty() ? text : above + QLatin1Char('\n') + text);
}

void OperationWindow::ShowVerdict(const QString& text) {
  verdict_->setText(text);
  Relayout();
}

void OperationWindow::StopOrClose() {
  if (running_) {
    RequestStop();  // the window closes when the worker has ended
    return;
  }
  accept();
}

OperationWindow::~OperationWindow() {
  if (!worker_.joinable()) return;
  // The program ends under a running operation: stop it, release a report it waits on
  // (it is not carried out any more) and wait for the worker.
  if (token_) token_->RequestStop();
  handOver_.Close();
  worker_.join();
}

void OperationWindow::Prepare(link::Link& link, ops::ProgramState& state, ops::OperationArgs args) {
  if (running_) return;  // one operation at a time
  link_ = &link;
  state_ = &state;
  args_ = std::move(args);
  prepared_ = true;
  for (WrappingLabel* label : {work_, file_, verdict_, saved_}) {
    if (label != nullptr) label->clear();
  }
  savedPath_.clear();
  if (progress_ != nullptr) progress_->Clear();
  Relayout();
  ShowStarting();
}

ops::Result OperationWindow::Run(link::Link& link, ops::ProgramState& state, ops::OperationArgs args) {
  Prepare(link, state, std::move(args));
  exec();
  return result_;
}

void OperationWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!prepared_ || running_) return;
  prepared_ = false;
  StartWorker();
}

void OperationWindow::StartWorker() {
  try {
    if (worker_.joinable()) worker_.join();  // an earlier worker that has already ended
    token_ = std::make_unique<ops::StopToken>();
    result_ = {};
    {
      const std::lock_guard lock(reportMutex_);
      report_ = {};
    }
    endFigures_.clear();
    const ops::OperationCall call{&config_.family(), config_.operation, args_};
    OperationFunction operation = operation_ ? operation_ : ops::OperationStep(call);
    OperationFunction verify = ops::VerifyStep(call);
    running_ = true;
    worker_ = std::thread([this, operation = std::move(operation), verify = std::move(verify), link = link_,
                           port = port_, state = state_,
                           token = token_.get()] { WorkerMain(operation, verify, *link, port, *state, *token); });
  } catch (const std::exception& e) {
    running_ = false;
    ShowWork(QString::fromLocal8Bit(e.what()));
    ShowEnded();
  } catch (...) {
    running_ = false;
    ShowWork(QString::fromLatin1(kUnexpectedError));
    ShowEnded();
  }
}

void OperationWindow::WorkerMain(const OperationFunction& operation, const OperationFunction& verify, link::Link& link,
                                 link::Port* port, ops::ProgramState& state, const ops::StopToken& token) {
  ops::Result result;
  std::string shown;
  std::optional<std::string> verdict;
  try {
    // The writer is this operation's until it ends; another program's claim keeps it silent.
    const link::PortClaim claim(port);
    if (!claim.held()) std::cerr << "quillon: " << claim.why() << '\n';
    const ops::StopOnLink stopOnLink(link, token.flag());
    ops::Operation op{link, state, reporter_, token.flag()};
    // The step label ends with the write's result; what its verify found goes under it.
    const ops::VerifiedWrite done = ops::WriteThenVerify(op, operation, verify);
    result = done.overall();
    shown = done.written.text;
    // Under the result: what the verify found, or what the result adds (a save file's size,
    // an image file longer than its header): both after a verify.
    if (done.verified) {
      verdict = done.verified->text;
      if (!done.written.detail.empty()) *verdict += "\n" + done.written.detail;
    } else if (!result.detail.empty()) {
      verdict = result.detail;
    }
  } catch (const std::exception& e) {
    result = {ops::Outcome::Failed, e.what()};
    shown = result.text;
  } catch (...) {
    result = {ops::Outcome::Failed, kUnexpectedError};
    shown = result.text;
  }
  // The end reaches the window as a queued call, the last thing the worker does.
  QMetaObject::invokeMethod(
      this, [this, result, shown, verdict] { WorkerEnded(result, shown, verdict); }, Qt::QueuedConnection);
}

void OperationWindow::WorkerEnded(const ops::Result& result, const std::string& shown,
                                  const std::optional<std::string>& verdict) {
  try {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    result_ = result;
    const bool stopped = stopRequested();
    // How long it took, or how far it got, in place of the figures of a running operation.
    const ops::ProgressReport report = progressReport();
    endFigures_ = ops::EndFigures(report, result.outcome);
    if (progress_ != nullptr) {
      progress_->SetReport(report);
      if (!endFigures_.empty()) progress_->ShowEnd(QString::fromStdString(endFigures_));
    }
    if (result.ok() && !savedPath_.isEmpty()) {
      saved_->setText(QStringLiteral("Saved as ") + savedPath_);  // under the result, which stays as it is
    }
    if (!shown.empty() && result.outcome != ops::Outcome::Stopped) ShowWork(QString::fromStdString(shown));
    if (verdict) ShowVerdictBelow(FromFileName(*verdict));
    Relayout();
    emit workerEnded();
    if (stopped) {
      done(QDialog::Rejected);
    } else {
      ShowEnded();
    }
  } catch (const std::exception& e) {
    std::cerr << "quillon: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "quillon: " << kUnexpectedError << '\n';
  }
}

void OperationWindow::RequestStop() {
  if (running_ && token_) token_->RequestStop();
}

void OperationWindow::closeEvent(QCloseEvent* event) {
  if (running_) {
    RequestStop();
    event->ignore();  // the window closes when the worker has ended
    return;
  }
  QDialog::closeEvent(event);
}

void OperationWindow::reject() {
  if (running_) {
    RequestStop();
    return;
  }
  QDialog::reject();
}

void OperationWindow::OnUiThread(const std::function<void()>& task) {
  handOver_.Run([&task] {
    try {
      task();
    } catch (const std::exception& e) {
      std::cerr << "quillon: " << e.what() << '\n';
    } catch (...) {
      std::cerr << "quillon: " << kUnexpectedError << '\n';
    }
  });
}

void OperationWindow::ShowWork(const QString& text) {
  if (work_ == nullptr) return;
  work_->setText(text);
  Relayout();
  work_->repaint();
  emit workChanged(text);
}

void OperationWindow::SetWork(const std::string& text) {
  OnUiThread([this, &text] { ShowWork(FromFileName(text)); });
}

void OperationWindow::SetFile(const std::string& text) {
  OnUiThread([this, &text] {
    if (file_ == nullptr) return;
    file_->setText(FromFileName(text));  // shows with the next repaint
    Relayout();
  });
}

ops::ProgressReport OperationWindow::progressReport() const {
  const std::lock_guard lock(reportMutex_);
  return report_;
}

void OperationWindow::Progress(const ops::ProgressReport& report) {
  {
    const std::lock_guard lock(reportMutex_);
    report_ = report;
  }
  if (progressPosted_.exchange(true)) return;  // one update on its way is enough
  QMetaObject::invokeMethod(
      this,
      [this] {
        progressPosted_ = false;
        if (!running_) return;  // the end shows its own figures
        const ops::ProgressReport latest = progressReport();
        if (progress_ != nullptr) progress_->SetReport(latest);
        emit progressChanged(latest.fraction);
      },
      Qt::QueuedConnection);
}

std::string OperationWindow::AskSaveFile(const ops::FileQuestion& question) {
  return AskFile(FileDialogMode::Save, question);
}

std::string OperationWindow::AskOpenFile(const ops::FileQuestion& question) {
  return AskFile(FileDialogMode::Open, question);
}

std::string OperationWindow::AskFile(FileDialogMode mode, const ops::FileQuestion& question) {
  std::string answer;
  OnUiThread([this, mode, &question, &answer] {
    FileDialogRequest request = FileDialogRequestOf(mode, question);
    request.directory = StartFolder(question.startDirectory, state_ != nullptr ? state_->programDir : std::string());
    QString path = ui::AskFile(this, fileDialogHook_, request);
    // A file the program keeps for itself is never saved over: the user chooses again, or
    // cancels the dialog.
    while (mode == FileDialogMode::Save && !path.isEmpty()) {
      const auto why = ops::ProtectedFileReason(QFile::encodeName(path).toStdString(), writerFolder_, copiesFolder_);
      if (!why) break;
      ShowErrorBox(path + QStringLiteral(" is ") + FromFileName(*why) + QStringLiteral("; choose another file."));
      path = ui::AskFile(this, fileDialogHook_, request);
    }
    if (mode == FileDialogMode::Save) savedPath_ = path;
    if (!path.isEmpty()) answer = QFile::encodeName(path).toStdString();
  });
  return answer;
}

void OperationWindow::CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) {
  OnUiThread([this, &info, outcome] {
    if (cardInfoSink_) cardInfoSink_(info, outcome);
  });
}

void OperationWindow::ShowErrorBox(const QString& text) {
  if (messageHook_) {
    messageHook_(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), text, QMessageBox::Ok, this);
  box.exec();
}

void OperationWindow::ShowError(const std::string& text) {
  OnUiThread([this, &text] { ShowErrorBox(FromFileName(text)); });
}

bool OperationWindow::Confirm(const std::string& question) {
  bool yes = false;
  OnUiThread([this, &question, &yes] {
    if (questionHook_) {
      yes = questionHook_(FromFileName(question));
      return;
    }
    const std::unique_ptr<QMessageBox> box =
        MakeQuestionBox(this, "OperationQuestion", windowTitle(), FromFileName(question));
    yes = box->exec() == QMessageBox::Yes;
  });
  return yes;
}

void OperationWindow::SaveCopyKept(const std::string& path) {
  OnUiThread([this, &path] { ShowSaveCopy(QStringLiteral("Copy of the save memory: ") + FromFileName(path)); });
}

void OperationWindow::SaveCopyFailed(const std::string& why) {
  OnUiThread([this, &why] { ShowSaveCopy(QStringLiteral("No copy of the save memory: ") + FromFileName(why)); });
}

// On its own line under where the copy went.
void OperationWindow::SaveCopyNotice(const std::string& text) {
  OnUiThread([this, &text] { ShowSaveCopy(saved_->text() + QLatin1Char('\n') + FromFileName(text)); });
}

void OperationWindow::JournalNotice(const std::string& text) {
  OnUiThread([this, &text] {
    if (noticeSink_) noticeSink_(text);
  });
}

void OperationWindow::ImageRead(const library::ImageChecksums& sums) {
  OnUiThread([this, &sums] { ShowVerdict(QString::fromStdString(library::ChecksumVerdict(sums))); });
}

void OperationWindow::Beep() {
  OnUiThread([] { QApplication::beep(); });
}

}  // namespace quillon::ui
