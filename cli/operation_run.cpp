// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/operation_run.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include "connect/open_port.h"
#include "library/regular_file.h"
#include "library/rom_header.h"
#include "ops/journal.h"
#include "ops/operation_steps.h"
#include "ops/own_files.h"
#include "ops/progress_figures.h"
#include "ops/save_backups.h"

namespace quillon::cli {

namespace fs = std::filesystem;

TerminalWindow::Display standardErrorDisplay() {
  TerminalWindow::Display display;
  display.bar = ::isatty(STDERR_FILENO) == 1;
  display.beep = display.bar;
  winsize size{};
  if (display.bar && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) display.columns = size.ws_col;
  return display;
}

namespace {

// The progress display on standard error, which the link's remarks share: a run of one
// remark repeated is summed up before the next progress line.
TerminalWindow::Display DisplayBeside(link::Link& link) {
  TerminalWindow::Display display = standardErrorDisplay();
  display.beforeLine = [&link] { link.flushDiagnostics(); };
  return display;
}

std::vector<std::string> With(std::vector<std::string> files, const std::string& file) {
  files.push_back(file);
  return files;
}

}  // namespace

OperationRun::OperationRun(const GlobalOptions& options, const std::atomic<bool>& stopFlag, const std::string& file,
                           std::vector<std::string> inputs)
    : session(options, stopFlag, With(std::move(inputs), file)),
      window(std::cerr, DisplayBeside(session.link()), state, file),
      stop(stopFlag) {
  state.setWriterType(session.writerType());
  state.programDir = ProgramDir(options);
  state.keepSaveCopies = !options.noBackup;
  state.backupFolder = ops::DefaultBackupFolder();
  state.journal = {ops::DefaultJournalFile(), session.writer(), "quillon-cli", {}};
}

int refuse(const std::string& why) {
  std::cerr << why << '\n';
  return kExitFailed;
}

int interrupted() {
  std::cerr << "interrupted: " << ops::Stopped().text << '\n';
  return kExitInterrupted;
}

int refuseImage(const std::string& image, const std::string& message, const std::string& note) {
  std::error_code error;
  const auto reason = fs::exists(image, error) ? library::UnreadableReason(image) : std::nullopt;
  return refuse(library::EscapeField(message) + "\n" + library::EscapeField(image) + ": not added to the card" + note +
                (reason ? " (it cannot be read: " + *reason + ")" : "") + "; nothing was sent to the writer");
}

int checkInput(const std::string& path) {
  std::error_code error;
  if (!fs::exists(path, error)) return kGoOn;
  if (const auto reason = library::UnreadableReason(path))
    return refuse(library::EscapeField(path) + ": cannot be read: " + *reason + "; nothing was sent to the writer");
  return kGoOn;
}

int checkOutput(const GlobalOptions& options, const std::string& path) {
  const auto why = ops::ProtectedFileReason(path, connect::simFolderOf(connect::choosePortSpec(options.port)),
                                            ops::DefaultBackupFolder());
  if (!why) return kGoOn;
  return refuse(library::EscapeField(path) + ": is " + library::EscapeField(*why) +
                "; choose another file (nothing was sent to the writer)");
}

namespace {

// The result: its text on standard output, a failure on standard error; `verdict` (a
// verify's): a failure on standard output as well, so that the output ends with it.
int reportOutcome(OperationRun& run, const ops::Result& result, bool verdict) {
  run.session.link().flushDiagnostics();
  if (!result.detail.empty() && result.outcome == ops::Outcome::Success)
    std::cerr << library::EscapeField(result.detail) << '\n';
  switch (result.outcome) {
    case ops::Outcome::Success:
      std::cout << result.text << '\n' << std::flush;
      return kExitOk;
    case ops::Outcome::Stopped:
      std::cerr << "interrupted" << (result.text.empty() ? "" : ": " + library::EscapeField(result.text)) << '\n';
      return kExitInterrupted;
    case ops::Outcome::Cancelled:
      std::cerr << "nothing was transferred: no file was given\n";
      return kExitFailed;
    case ops::Outcome::Failed:
      break;
  }
  const std::string text = library::EscapeField(result.text);
  if (verdict) std::cout << text << '\n' << std::flush;
  if (run.window.lastLine() != text) std::cerr << text << '\n';
  if (!result.detail.empty()) std::cerr << library::EscapeField(result.detail) << '\n';
  return kExitFailed;
}

// The result; `last`: nothing of the operation follows, and how far it got or how long it
// took is said last.
int reportResult(OperationRun& run, const ops::Result& result, bool last, bool verdict = false) {
  run.window.Close();
  const int status = reportOutcome(run, result, verdict);
  if (last) {
    const std::string figures = ops::EndFigures(run.window.lastReport(), result.outcome);
    if (!figures.empty()) std::cerr << figures << '\n';
  }
  return status;
}

}  // namespace

int report(OperationRun& run, const ops::Result& result) { return reportResult(run, result, true); }

int report(OperationRun& run, const ops::VerifiedWrite& done) {
  const int status = reportResult(run, done.written, !done.verified);
  if (status != kExitOk || !done.verified) return status;
  return reportResult(run, *done.verified, true, true);
}

}  // namespace quillon::cli
