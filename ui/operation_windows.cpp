#include "ui/operation_windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QThread>

#include <exception>
#include <iostream>
#include <system_error>
#include <utility>
#include <vector>

#include "gb/gb_operations.h"
#include "link/link.h"
#include "link/port.h"
#include "ui/text_look.h"

namespace quillon::ui {
namespace {

constexpr const char* kUnexpectedError = "An unexpected error stopped the operation.";

QLabel* MakeLabel(QWidget* parent, const char* name, QRect rect, Qt::Alignment alignment) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(ControlFont());
  label->setAlignment(alignment | Qt::AlignTop);
  label->setGeometry(rect);
  return label;
}

QPushButton* MakeDefaultButton(QDialog* parent, const char* caption, QRect rect) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QStringLiteral("Button1"));
  button->setFont(ControlFont());
  button->setAutoDefault(true);
  button->setDefault(true);
  button->setGeometry(rect);
  return button;
}

QString Trimmed(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
}

}  // namespace

QStringList NameFiltersOf(std::string_view filter) {
  std::vector<std::string_view> parts;
  while (!filter.empty()) {
    const std::size_t bar = filter.find('|');
    parts.push_back(filter.substr(0, bar));
    if (bar == std::string_view::npos) break;
    filter.remove_prefix(bar + 1);
  }
  QStringList filters;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    QString description = Trimmed(parts[i]);
    const QString raw = i + 1 < parts.size() ? Trimmed(parts[i + 1]) : QStringLiteral("*");
    QStringList patterns = raw.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    const QString joined =
        patterns.isEmpty() ? QStringLiteral("*") : patterns.join(QLatin1Char(' '));
    // A description that names its patterns in brackets already gets Qt's form of them.
    const QString named = QLatin1Char('(') + raw + QLatin1Char(')');
    if (description.endsWith(named)) description.chop(named.size());
    description = description.trimmed();
    if (description.isEmpty()) description = joined;
    filters.append(description + QStringLiteral(" (") + joined + QLatin1Char(')'));
  }
  return filters;
}

FileDialogRequest FileDialogRequestOf(FileDialogMode mode, const ops::FileQuestion& question) {
  FileDialogRequest request;
  request.mode = mode;
  request.nameFilters = NameFiltersOf(question.filter);
  request.defaultSuffix = QString::fromStdString(question.defaultExtension);
  request.directory = FromFileName(question.startDirectory);
  return request;
}

QString ExecFileDialog(QWidget* parent, const FileDialogRequest& request) {
  const bool save = request.mode == FileDialogMode::Save;
  QFileDialog dialog(parent);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters(request.nameFilters);
  if (!request.nameFilters.isEmpty()) dialog.selectNameFilter(request.nameFilters.front());
  dialog.setDefaultSuffix(request.defaultSuffix);
  dialog.setDirectory(request.directory);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

// --- OperationWindow -----------------------------------------------------------------------

OperationWindow::OperationWindow(QWidget* parent, const char* className, const char* caption,
                                 QSize clientSize)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  // Object names follow the window names: TfmDown -> fmDown.
  setObjectName(QString::fromLatin1(className + 1));
  setWindowTitle(QString::fromLatin1(caption));
  setFont(ControlFont());
  setModal(true);
  setFixedSize(clientSize);
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, clientSize,
                             screen->availableGeometry())
             .topLeft());
  }
  hide();
}

OperationWindow::~OperationWindow() {
  if (!worker_.joinable()) return;
  // The program ends under a running operation: stop it, release a report it waits on
  // (it is not carried out any more) and wait for the worker.
  if (token_) token_->RequestStop();
  {
    std::lock_guard lock(callMutex_);
    closing_ = true;
  }
  callDone_.notify_all();
  worker_.join();
}

void OperationWindow::Prepare(link::Link& link, ops::ProgramState& state) {
  if (running_) return;  // one operation at a time
  link_ = &link;
  state_ = &state;
  prepared_ = true;
  if (work_ != nullptr) work_->clear();
  if (file_ != nullptr) file_->clear();
  ShowStarting();
}

ops::Result OperationWindow::Run(link::Link& link, ops::ProgramState& state) {
  Prepare(link, state);
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
    progressDone_ = 0;
    progressTotal_ = 0;
    OperationFunction operation = operation_ ? operation_ : CardOperation();
    running_ = true;
    worker_ = std::thread([this, operation = std::move(operation), link = link_, port = port_, state = state_,
                           token = token_.get()] { WorkerMain(operation, *link, port, *state, *token); });
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

void OperationWindow::WorkerMain(const OperationFunction& operation, link::Link& link,
                                 link::Port* port, ops::ProgramState& state,
                                 const ops::StopToken& token) {
  ops::Result result;
  try {
    // The writer is this operation's until it ends; another program's claim keeps it silent.
    const link::PortClaim claim(port);
    if (!claim.held()) std::cerr << "quillon: " << claim.why() << '\n';
    const ops::StopOnLink stopOnLink(link, token.flag());
    ops::Operation op{link, state, reporter_, token.flag()};
    result = operation(op);
  } catch (const std::exception& e) {
    result = {ops::Outcome::Failed, e.what()};
  } catch (...) {
    result = {ops::Outcome::Failed, kUnexpectedError};
  }
  // The end reaches the window as a queued call, the last thing the worker does.
  QMetaObject::invokeMethod(
      this, [this, result] { WorkerEnded(result); }, Qt::QueuedConnection);
}

void OperationWindow::WorkerEnded(const ops::Result& result) {
  try {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    result_ = result;
    const bool stopped = stopRequested();
    if (!result.text.empty() && result.outcome != ops::Outcome::Stopped) {
      ShowWork(QString::fromStdString(result.text));
    }
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
  const auto guarded = [&task] {
    try {
      task();
    } catch (const std::exception& e) {
      std::cerr << "quillon: " << e.what() << '\n';
    } catch (...) {
      std::cerr << "quillon: " << kUnexpectedError << '\n';
    }
  };
  if (QThread::currentThread() == thread()) {
    guarded();
    return;
  }
  auto call = std::make_shared<PendingCall>();
  {
    std::lock_guard lock(callMutex_);
    if (closing_) return;
  }
  // The call runs only while the window lives: a window being destroyed drops its queued
  // calls before anything else runs on its thread, and releases the wait below first.
  QMetaObject::invokeMethod(
      this,
      [this, call, guarded] {
        guarded();
        {
          std::lock_guard lock(callMutex_);
          call->done = true;
        }
        callDone_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(callMutex_);
  callDone_.wait(lock, [&] { return call->done || closing_; });
}

void OperationWindow::ShowWork(const QString& text) {
  if (work_ == nullptr) return;
  work_->setText(text);
  work_->repaint();
  emit workChanged(text);
}

void OperationWindow::SetWork(const std::string& text) {
  OnUiThread([this, &text] { ShowWork(FromFileName(text)); });
}

void OperationWindow::SetFile(const std::string& text) {
  OnUiThread([this, &text] {
    if (file_ != nullptr) file_->setText(FromFileName(text));  // shows with the next repaint
  });
}

void OperationWindow::Progress(std::uint64_t done, std::uint64_t total) {
  progressDone_ = done;
  progressTotal_ = total;
  if (progressPosted_.exchange(true)) return;  // one update on its way is enough
  QMetaObject::invokeMethod(
      this,
      [this] {
        progressPosted_ = false;
        emit progressChanged(progressDone_.load(), progressTotal_.load());
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
    const FileDialogRequest request = FileDialogRequestOf(mode, question);
    const QString path =
        fileDialogHook_ ? fileDialogHook_(request) : ExecFileDialog(this, request);
    if (!path.isEmpty()) answer = QFile::encodeName(path).toStdString();
  });
  return answer;
}

void OperationWindow::CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) {
  OnUiThread([this, &info, outcome] {
    if (cardInfoSink_) cardInfoSink_(info, outcome);
  });
}

void OperationWindow::ShowError(const std::string& text) {
  OnUiThread([this, &text] {
    const QString shown = FromFileName(text);
    if (messageHook_) {
      messageHook_(shown);
      return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), shown, QMessageBox::Ok, this);
    box.exec();
  });
}

void OperationWindow::Beep() {
  OnUiThread([] { QApplication::beep(); });
}

// --- TfmDown and TfmClear ------------------------------------------------------------------

TfmDown::TfmDown(QWidget* parent) : TfmDown(parent, "TfmDown", "Writing...") {}

TfmDown::TfmDown(QWidget* parent, const char* className, const char* caption)
    : OperationWindow(parent, className, caption, QSize(297, 95)) {
  lbWork = MakeLabel(this, "lbWork", {8, 36, 281, 25}, Qt::AlignLeft);
  Button1 = MakeDefaultButton(this, "Cancel", {108, 64, 89, 25});
  lbFile = MakeLabel(this, "lbFile", {8, 8, 281, 25}, Qt::AlignHCenter);
  setLabels(lbWork, lbFile);
  connect(Button1, &QPushButton::clicked, this, &TfmDown::Button1Click);
}

void TfmDown::Button1Click() {
  if (running()) {
    RequestStop();  // the window closes when the worker has ended
    return;
  }
  accept();
}

OperationFunction TfmDown::CardOperation() const {
  return [](ops::Operation& op) { return gb::WriteGbCard(op); };
}

void TfmDown::ShowStarting() { Button1->setText(QStringLiteral("Cancel")); }

void TfmDown::ShowEnded() { Button1->setText(QStringLiteral("OK")); }

TfmClear::TfmClear(QWidget* parent) : TfmClear(parent, "TfmClear", "Earsing...") {}

TfmClear::TfmClear(QWidget* parent, const char* className, const char* caption)
    : TfmDown(parent, className, caption) {}

ops::Result TfmClear::Run(link::Link& link, ops::ProgramState& state, int cardSize) {
  CardSize = cardSize;
  return OperationWindow::Run(link, state);
}

OperationFunction TfmClear::CardOperation() const {
  return [cardSize = CardSize](ops::Operation& op) { return gb::EraseGbCard(op, cardSize); };
}

// --- TfmUpload, TfmRAMDown and TfmRAMUpload ------------------------------------------------

TfmUpload::TfmUpload(QWidget* parent) : TfmUpload(parent, "TfmUpload", "Downloading File...") {}

TfmUpload::TfmUpload(QWidget* parent, const char* className, const char* caption)
    : OperationWindow(parent, className, caption, QSize(215, 83)) {
  lbWork = MakeLabel(this, "lbWork", {21, 8, 172, 25}, Qt::AlignLeft);
  Button1 = MakeDefaultButton(this, "Close", {62, 40, 97, 33});
  setLabels(lbWork, nullptr);
  connect(Button1, &QPushButton::clicked, this, &TfmUpload::Button1Click);
}

ops::Result TfmUpload::Run(link::Link& link, ops::ProgramState& state, int image) {
  selectedImage = image;
  return OperationWindow::Run(link, state);
}

void TfmUpload::Button1Click() {
  if (!running()) accept();
}

OperationFunction TfmUpload::CardOperation() const {
  return [image = selectedImage](ops::Operation& op) { return gb::ReadGbCard(op, image); };
}

void TfmUpload::ShowStarting() { Button1->setEnabled(false); }

void TfmUpload::ShowEnded() { Button1->setEnabled(true); }

TfmRAMDown::TfmRAMDown(QWidget* parent)
    : TfmRAMDown(parent, "TfmRAMDown", "Downloading RAM...") {}

TfmRAMDown::TfmRAMDown(QWidget* parent, const char* className, const char* caption)
    : TfmUpload(parent, className, caption) {}

OperationFunction TfmRAMDown::CardOperation() const {
  return [image = selectedImage](ops::Operation& op) { return gb::BackupGbRam(op, image); };
}

TfmRAMUpload::TfmRAMUpload(QWidget* parent)
    : TfmRAMUpload(parent, "TfmRAMUpload", "Uploading RAM...") {}

TfmRAMUpload::TfmRAMUpload(QWidget* parent, const char* className, const char* caption)
    : TfmUpload(parent, className, caption) {}

OperationFunction TfmRAMUpload::CardOperation() const {
  return [image = selectedImage](ops::Operation& op) { return gb::RestoreGbRam(op, image); };
}

}  // namespace quillon::ui
