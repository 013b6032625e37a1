// The modal windows of the card operations. Each runs its operation on one worker
// thread and carries the operation's reports (step label, file label, file dialogs, card
// probe, beep) over to the user-interface thread, where the worker waits for them.
//
// A caller readies a window with Prepare (or sets its field and calls Run): showing the
// window starts the worker, and exec() returns once the window has closed and the worker
// has ended. result() tells how the operation ended.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "ops/operation.h"
#include "ops/program_state.h"
#include "ops/progress_window.h"

class QCloseEvent;
class QLabel;
class QPushButton;
class QShowEvent;

namespace quillon::link {
class Link;
class Port;
}

namespace quillon::ui {

// A file dialog an operation asks for, in Qt's terms.
enum class FileDialogMode { Save, Open };
struct FileDialogRequest {
  FileDialogMode mode = FileDialogMode::Save;
  QStringList nameFilters;  // the first one is selected
  QString defaultSuffix;    // added when the chosen name has none
  QString directory;        // where the dialog opens
};

// "Text (*.x)|*.x|Other|*.y;*.z" -> {"Text (*.x)", "Other (*.y *.z)"}: one name filter per
// pair of description and patterns.
QStringList NameFiltersOf(std::string_view filter);
FileDialogRequest FileDialogRequestOf(FileDialogMode mode, const ops::FileQuestion& question);

// Shows the file dialog of `request` modally over `parent`: the chosen path, empty when
// the user cancelled.
QString ExecFileDialog(QWidget* parent, const FileDialogRequest& request);

// Answers a file dialog instead of showing one (tests): the chosen path, empty = cancelled.
using FileDialogHook = std::function<QString(const FileDialogRequest&)>;
// Takes the result of a card probe made by an operation (the main window's card information).
using CardInfoSink = std::function<void(const detect::CardInfo&, detect::ProbeOutcome)>;
// The work of one window; runs on the worker.
using OperationFunction = std::function<ops::Result(ops::Operation&)>;

// What the operation windows share: the worker, the stop request and the hand-over of the
// operation's reports to the user-interface thread.
class OperationWindow : public QDialog, public ops::ProgressWindow {
  Q_OBJECT

 public:
  ~OperationWindow() override;
  OperationWindow(const OperationWindow&) = delete;
  OperationWindow& operator=(const OperationWindow&) = delete;

  // Readies the window for one operation on `link` with `state` (both must outlive the
  // operation): an empty step label and the button of a starting operation. Showing the
  // window (exec, open, show) then starts the worker. Nothing while a worker runs.
  void Prepare(link::Link& link, ops::ProgramState& state);
  // Prepare, then show the window modally; returns when it has closed, the worker having
  // ended. The operation's result.
  ops::Result Run(link::Link& link, ops::ProgramState& state);

  bool running() const { return running_; }  // the worker has started and not yet ended
  bool stopRequested() const { return token_ && token_->StopRequested(); }
  const ops::Result& result() const { return result_; }  // of the last operation that ended
  std::uint64_t progressDone() const { return progressDone_.load(); }
  std::uint64_t progressTotal() const { return progressTotal_.load(); }

  // Answers the file dialogs instead of showing them; an empty hook shows them again.
  void setFileDialogHook(FileDialogHook hook) { fileDialogHook_ = std::move(hook); }
  // Replaces the "Error" message box (tests answer or record it); empty: the real box.
  using MessageHook = std::function<void(const QString& text)>;
  void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
  // Where the card probes of the operations go (the main window's card information).
  void setCardInfoSink(CardInfoSink sink) { cardInfoSink_ = std::move(sink); }
  // Runs `operation` instead of the window's own card operation; empty: the card operation.
  void setOperation(OperationFunction operation) { operation_ = std::move(operation); }
  // The port under the links the window runs on (null: nothing to claim). Each run claims it
  // for the whole operation, so that no other program uses a shared writer in between; when
  // another program keeps it, the operation meets a writer that does not answer and the
  // reason goes to standard error.
  void setPort(link::Port* port) { port_ = port; }

  // --- ops::ProgressWindow; from the worker each call is carried out on the user-interface
  // thread while the worker waits (Progress only records the numbers and does not wait).
  void SetWork(const std::string& text) final;
  void SetFile(const std::string& text) final;
  void Progress(std::uint64_t done, std::uint64_t total) final;
  std::string AskSaveFile(const ops::FileQuestion& question) final;
  std::string AskOpenFile(const ops::FileQuestion& question) final;
  void CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) final;
  void ShowError(const std::string& text) final;
  void Beep() final;

 signals:
  // The step label changed and was repainted (user-interface thread).
  void workChanged(const QString& text);
  // The numbers of Progress changed.
  void progressChanged(quint64 done, quint64 total);
  // The worker has ended and result() holds what it returned.
  void workerEnded();

 public slots:
  // A stop request for the running operation: the worker stops before its next command to
  // the writer, and the window closes when it has ended. Nothing when no worker runs.
  void RequestStop();

 protected:
  OperationWindow(QWidget* parent, const char* className, const char* caption, QSize clientSize);

  // The card operation of the window, with the parameters it has now.
  virtual OperationFunction CardOperation() const = 0;
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

  void setLabels(QLabel* work, QLabel* file) {
    work_ = work;
    file_ = file;
  }

 private:
  struct PendingCall {
    bool done = false;
  };

  // What the worker reports to. Its calls reach the window's functions without going
  // through the window's own dispatch, which changes while a window is being destroyed.
  class Reporter final : public ops::ProgressWindow {
   public:
    explicit Reporter(OperationWindow& window) : window_(window) {}
    void SetWork(const std::string& text) override { window_.OperationWindow::SetWork(text); }
    void SetFile(const std::string& text) override { window_.OperationWindow::SetFile(text); }
    void Progress(std::uint64_t done, std::uint64_t total) override {
      window_.OperationWindow::Progress(done, total);
    }
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
    void Beep() override { window_.OperationWindow::Beep(); }

   private:
    OperationWindow& window_;
  };

  void StartWorker();
  void WorkerMain(const OperationFunction& operation, link::Link& link, link::Port* port,
                  ops::ProgramState& state, const ops::StopToken& token);
  void WorkerEnded(const ops::Result& result);
  // Runs `task` on the user-interface thread; from another thread, waits until it has run
  // or the window is being destroyed.
  void OnUiThread(const std::function<void()>& task);
  std::string AskFile(FileDialogMode mode, const ops::FileQuestion& question);
  void ShowWork(const QString& text);

  QLabel* work_ = nullptr;
  QLabel* file_ = nullptr;

  link::Link* link_ = nullptr;
  link::Port* port_ = nullptr;
  ops::ProgramState* state_ = nullptr;
  bool prepared_ = false;
  bool running_ = false;
  ops::Result result_;
  std::unique_ptr<ops::StopToken> token_;
  std::thread worker_;

  std::mutex callMutex_;
  std::condition_variable callDone_;
  bool closing_ = false;  // the window is being destroyed: nothing more runs on its thread

  std::atomic<std::uint64_t> progressDone_{0};
  std::atomic<std::uint64_t> progressTotal_{0};
  std::atomic<bool> progressPosted_{false};

  Reporter reporter_{*this};
  FileDialogHook fileDialogHook_;
  MessageHook messageHook_;
  CardInfoSink cardInfoSink_;
  OperationFunction operation_;
};

// GB card writing: caption "Writing...", the file label above the step label, "Cancel"
// while the worker runs and "OK" once it has ended.
class TfmDown : public OperationWindow {
  Q_OBJECT

 public:
  explicit TfmDown(QWidget* parent = nullptr);

 public slots:
  // "Cancel" while the worker runs: a stop request; "OK": closes the window.
  void Button1Click();

 protected:
  TfmDown(QWidget* parent, const char* className, const char* caption);
  OperationFunction CardOperation() const override;
  void ShowStarting() override;
  void ShowEnded() override;

  // Controls, in declaration order.
  QLabel* lbWork = nullptr;
  QPushButton* Button1 = nullptr;
  QLabel* lbFile = nullptr;
};

// GB card erasing: caption "Earsing...".
class TfmClear : public TfmDown {
  Q_OBJECT

 public:
  explicit TfmClear(QWidget* parent = nullptr);

  // 0: "16MB Card" (2 MiB of FLASH ROM erased); any other value: "32MB Card" (4 MiB).
  int CardSize = 0;

  using OperationWindow::Run;
  ops::Result Run(link::Link& link, ops::ProgramState& state, int cardSize);

 protected:
  TfmClear(QWidget* parent, const char* className, const char* caption);
  OperationFunction CardOperation() const override;
};

// GB card reading: caption "Downloading File...", one step label and a "Close" button that
// is disabled while the worker runs.
class TfmUpload : public OperationWindow {
  Q_OBJECT

 public:
  explicit TfmUpload(QWidget* parent = nullptr);

  // The image of a flash card to work on (index into CardInfo.images); for the save memory
  // windows CardInfo.count stands for the "Password" item. Not used for a cartridge.
  int selectedImage = 0;

  using OperationWindow::Run;
  ops::Result Run(link::Link& link, ops::ProgramState& state, int image);

 public slots:
  // "Close": closes the window once the worker has ended.
  void Button1Click();

 protected:
  TfmUpload(QWidget* parent, const char* className, const char* caption);
  OperationFunction CardOperation() const override;
  void ShowStarting() override;
  void ShowEnded() override;

  // Controls, in declaration order.
  QLabel* lbWork = nullptr;
  QPushButton* Button1 = nullptr;
};

// GB save memory backup: caption "Downloading RAM...".
class TfmRAMDown : public TfmUpload {
  Q_OBJECT

 public:
  explicit TfmRAMDown(QWidget* parent = nullptr);

 protected:
  TfmRAMDown(QWidget* parent, const char* className, const char* caption);
  OperationFunction CardOperation() const override;
};

// GB save memory restore: caption "Uploading RAM...".
class TfmRAMUpload : public TfmUpload {
  Q_OBJECT

 public:
  explicit TfmRAMUpload(QWidget* parent = nullptr);

 protected:
  TfmRAMUpload(QWidget* parent, const char* className, const char* caption);
  OperationFunction CardOperation() const override;
};

}  // namespace quillon::ui
