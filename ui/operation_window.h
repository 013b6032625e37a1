// SPDX-License-Identifier: GPL-3.0-or-later
// What every operation window shares: the worker thread that runs the window's card
// operation, the stop request, and the hand-over of the operation's reports (step label,
// file label, file dialogs, card probe, message box, beep) to the user-interface thread,
// where the worker waits for them.
//
// A caller readies a window with Prepare (or calls Run): showing the window starts the
// worker, and exec() returns once the window has closed and the worker has ended. result()
// tells how the operation ended.
//
// Under the step label, a line takes room once it has a verdict on the work: what the
// checksums of an image read say, or what the verify after a write found. Below the controls
// of its kind every window has a progress strip fed by the operation's Progress, and a window
// that saves a file says under it where the file went. A label whose text does not fit wraps,
// and the window grows to show it whole.
#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "ops/card_family.h"
#include "ops/command_plan.h"
#include "ops/operation.h"
#include "ops/program_state.h"
#include "ops/progress_window.h"
#include "ui/file_dialogs.h"
#include "ui/hand_over.h"
#include "ui/widgets.h"

class QCloseEvent;
class QShowEvent;

namespace quillon::link {
class Link;
class Port;
}  // namespace quillon::link

namespace quillon::ui {

// Takes the result of a card probe made by an operation (the main window's card information).
using CardInfoSink = std::function<void(const detect::CardInfo&, detect::ProbeOutcome)>;
// Takes an operation's notice about the journal of unfinished work (the main window's status line).
using NoticeSink = std::function<void(const std::string&)>;
// The work of one window; runs on the worker.
using OperationFunction = std::function<ops::Result(ops::Operation&)>;

// The two kinds of operation window (ui/operation_windows.h).
enum class WindowKind { Writing, Reading };

// What sets one operation window apart from the others: a row of kOperationWindows.
struct OperationWindowConfig {
  const char* className;               // "TfmDown"; the object name drops the "T": "fmDown"
  const char* caption;                 // "Writing..."
  WindowKind kind;                     // its controls
  const ops::CardFamily& (*family)();  // whose card operation the window runs
  ops::CardOperation operation;        // and which; a write is followed by its verify when
                                       // OperationArgs::verify asks for one
};

class OperationWindow : public QDialog, public ops::ProgressWindow {
  Q_OBJECT

 public:
  ~OperationWindow() override;
  OperationWindow(const OperationWindow&) = delete;
  OperationWindow& operator=(const OperationWindow&) = delete;

  // The card operation this window runs, and whose it is.
  ops::CardOperation operation() const { return config_.operation; }
  const ops::CardFamily& family() const { return config_.family(); }
  // The window's row of kOperationWindows.
  const OperationWindowConfig& config() const { return config_; }

  // Readies the window for one operation on `link` with `state` (both must outlive the
  // operation) and `args`: an empty step label and the button of a starting operation.
  // Showing the window (exec, open, show) then starts the worker. Nothing while a worker runs.
  void Prepare(link::Link& link, ops::ProgramState& state, ops::OperationArgs args = {});
  // Prepare, then show the window modally; returns when it has closed, the worker having
  // ended. The operation's result.
  ops::Result Run(link::Link& link, ops::ProgramState& state, ops::OperationArgs args = {});

  // What the last Prepare handed the operation.
  const ops::OperationArgs& args() const { return args_; }
  bool running() const { return running_; }  // the worker has started and not yet ended
  bool stopRequested() const { return token_ && token_->StopRequested(); }
  const ops::Result& result() const { return result_; }  // of the last operation that ended
  // How far the operation is, or got.
  ops::ProgressReport progressReport() const;
  // How far a stopped or failed operation got, "Stopped at 47 %: 1.2 MiB of 2.5 MiB written";
  // after a success, how long it took ("Done in 0:42"); empty when its work never began.
  const std::string& endFigures() const { return endFigures_; }

  // Answers the file dialogs instead of showing them; an empty hook shows them again.
  void setFileDialogHook(FileDialogHook hook) { fileDialogHook_ = std::move(hook); }
  // Replaces the "Error" message box (tests answer or record it); empty: the real box.
  using MessageHook = std::function<void(const QString& text)>;
  void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
  // Answers the Yes/No questions instead of showing them (true: Yes); empty: the real box.
  using QuestionHook = std::function<bool(const QString& question)>;
  void setQuestionHook(QuestionHook hook) { questionHook_ = std::move(hook); }
  // Where the card probes of the operations go (the main window's card information).
  void setCardInfoSink(CardInfoSink sink) { cardInfoSink_ = std::move(sink); }
  // Where the operations' notices about the journal go (the main window's status line).
  void setNoticeSink(NoticeSink sink) { noticeSink_ = std::move(sink); }
  // Runs `operation` instead of the window's own card operation; empty: the card operation.
  void setOperation(OperationFunction operation) { operation_ = std::move(operation); }
  // The port under the links the window runs on (null: nothing to claim). Each run claims it
  // for the whole operation, so that no other program uses a shared writer in between; when
  // another program keeps it, the operation meets a writer that does not answer and the
  // reason goes to standard error.
  void setPort(link::Port* port) { port_ = port; }
  // The folders whose files a save dialog's answer may not name (ops::ProtectedFileReason):
  // the simulated writer's and the one of the copies of save memory; empty: none. Such an
  // answer gets an "Error" message box naming the file and why, and the dialog again.
  void setOwnFolders(std::string writerFolder, std::string copiesFolder) {
    writerFolder_ = std::move(writerFolder);
    copiesFolder_ = std::move(copiesFolder);
  }

  // --- ops::ProgressWindow; from the worker each call is carried out on the user-interface
  // thread while the worker waits (Progress only records the numbers and does not wait).
  void SetWork(const std::string& text) final;
  void SetFile(const std::string& text) final;
  void Progress(const ops::ProgressReport& report) final;
  std::string AskSaveFile(const ops::FileQuestion& question) final;
  std::string AskOpenFile(const ops::FileQuestion& question) final;
  void CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) final;
  void ShowError(const std::string& text) final;
  bool Confirm(const std::string& question) final;
  void SaveCopyKept(const std::string& path) final;
  void SaveCopyFailed(const std::string& why) final;
  void SaveCopyNotice(const std::string& text) final;
  void JournalNotice(const std::string& text) final;
  void ImageRead(const library::ImageChecksums& sums) final;
  void Beep() final;

 signals:
  // The step label changed and was repainted (user-interface thread).
  void workChanged(const QString& text);
  // The strip shows a new report, this far through the operation.
  void progressChanged(double fraction);
  // The worker has ended and result() holds what it returned.
  void workerEnded();

 public slots:
  // A stop request for the running operation: the worker stops before its next command to
  // the writer, and the window closes when it has ended. Nothing when no worker runs.
  void RequestStop();

 protected:
  // A window of `clientSize` (the controls of its kind) for `config`, which must outlive it;
  // the progress rows come below.
  OperationWindow(QWidget* parent, const OperationWindowConfig& config, QSize clientSize);

  // The button of a starting operation ("Cancel", or a disabled "Close").
  virtual void ShowStarting() = 0;
  // The button of an operation that ended on its own ("OK", or an enabled "Close").
  virtual void ShowEnded() = 0;

  // FormActivate: the first showing after Prepare starts the worker.
  void showEvent(QShowEvent* event) override;
  // Closing by the title bar or the system while the worker runs is a stop request.
  void closeEvent(QCloseEvent* event) override;
  // Escape while the worker runs is a stop request.
  void reject() override;

  // The kind's controls: the step label and the file label (null: none) grow with their text,
  // `others` keep their size. The verdict line ("lbVerdict") is made right under the step
  // label, then the progress strip ("ProgressBar1") and the label under it ("lbSaved": where a
  // saved file or a copy of the save memory went).
  void setControls(WrappingLabel* work, WrappingLabel* file, std::initializer_list<QWidget*> others);

  // Button1 of both kinds: a stop request while the worker runs, else closes the window.
  void StopOrClose();

 private:
  // What the worker reports to. Its calls reach the window's functions without going
  // through the window's own dispatch, which changes while a window is being destroyed.
  class Reporter final : public ops::ProgressWindow {
   public:
    explicit Reporter(OperationWindow& window) : window_(window) {}
    void SetWork(const std::string& text) override { window_.OperationWindow::SetWork(text); }
    void SetFile(const std::string& text) override { window_.OperationWindow::SetFile(text); }
    void Progress(const ops::ProgressReport& report) override { window_.OperationWindow::Progress(report); }
    std::string AskSaveFile(const ops::FileQuestion& question) override {
      return window_.OperationWindow::AskSaveFile(question);
    }
    std::string AskOpenFile(const ops::FileQuestion& question) override {
      return window_.OperationWindow::AskOpenFile(question);
    }
    void CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) override {
      window_.OperationWindow::CardProbed(info, outcome);
    }
    void ShowError(const std::string& text) override { window_.OperationWindow::ShowError(text); }
    bool Confirm(const std::string& question) override { return window_.OperationWindow::Confirm(question); }
    void SaveCopyKept(const std::string& path) override { window_.OperationWindow::SaveCopyKept(path); }
    void SaveCopyFailed(const std::string& why) override { window_.OperationWindow::SaveCopyFailed(why); }
    void SaveCopyNotice(const std::string& text) override { window_.OperationWindow::SaveCopyNotice(text); }
    void JournalNotice(const std::string& text) override { window_.OperationWindow::JournalNotice(text); }
    void ImageRead(const library::ImageChecksums& sums) override { window_.OperationWindow::ImageRead(sums); }
    void Beep() override { window_.OperationWindow::Beep(); }

   private:
    OperationWindow& window_;
  };

  void StartWorker();
  // Runs `operation`, then `verify` (empty: none) when it succeeded.
  void WorkerMain(const OperationFunction& operation, const OperationFunction& verify, link::Link& link,
                  link::Port* port, ops::ProgramState& state, const ops::StopToken& token);
  // `shown`: the step label's last text (the write's result when a verify followed it);
  // `verdict`: the verify's result, for the verdict line.
  void WorkerEnded(const ops::Result& result, const std::string& shown, const std::optional<std::string>& verdict);
  // Runs `task` on the user-interface thread (HandOver); what it throws goes to standard error.
  void OnUiThread(const std::function<void()>& task);
  std::string AskFile(FileDialogMode mode, const ops::FileQuestion& question);
  // The "Error" message box (or the message hook); on the user-interface thread.
  void ShowErrorBox(const QString& text);
  void ShowWork(const QString& text);
  // Places the controls for the labels' texts (GrowingLayout).
  void Relayout();
  // Under the strip: where the copy of the save memory went, or why there is none.
  void ShowSaveCopy(const QString& text);
  void ShowVerdict(const QString& text);
  // `text` on the verdict line, under what it shows already.
  void ShowVerdictBelow(const QString& text);

  const OperationWindowConfig& config_;
  const QSize clientSize_;
  GrowingLayout layout_;
  WrappingLabel* work_ = nullptr;
  WrappingLabel* file_ = nullptr;
  ProgressStrip* progress_ = nullptr;
  WrappingLabel* saved_ = nullptr;
  WrappingLabel* verdict_ = nullptr;
  QString savedPath_;  // the answer to the operation's last save question

  link::Link* link_ = nullptr;
  link::Port* port_ = nullptr;
  std::string writerFolder_;
  std::string copiesFolder_;
  ops::ProgramState* state_ = nullptr;
  ops::OperationArgs args_;
  bool prepared_ = false;
  bool running_ = false;
  ops::Result result_;
  std::unique_ptr<ops::StopToken> token_;
  std::thread worker_;
  HandOver handOver_{*this};

  mutable std::mutex reportMutex_;
  ops::ProgressReport report_;  // the worker's latest, under reportMutex_
  std::atomic<bool> progressPosted_{false};
  std::string endFigures_;

  Reporter reporter_{*this};
  FileDialogHook fileDialogHook_;
  MessageHook messageHook_;
  QuestionHook questionHook_;
  CardInfoSink cardInfoSink_;
  NoticeSink noticeSink_;
  OperationFunction operation_;
};

}  // namespace quillon::ui
