#include "cli/operation_run.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

namespace quillon::cli {

namespace fs = std::filesystem;

TerminalWindow::Display standardErrorDisplay() {
  TerminalWindow::Display display;
  display.bar = ::isatty(STDERR_FILENO) == 1;
  display.beep = display.bar;
  winsize size{};
  if (display.bar && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    display.columns = size.ws_col;
  return display;
}

OperationRun::OperationRun(const GlobalOptions& options, const std::atomic<bool>& stopFlag, const std::string& file)
    : session(options, stopFlag), window(std::cerr, standardErrorDisplay(), state, file), stop(stopFlag) {
  state.settings.writerType = session.writerType();
  state.programDir = ProgramDir(options);
}

int refuse(const std::string& why) {
  std::cerr << why << '\n';
  return kExitFailed;
}

int report(OperationRun& run, const ops::Result& result) {
  run.window.Close();
  switch (result.outcome) {
    case ops::Outcome::Success:
      std::cout << result.text << '\n' << std::flush;
      return kExitOk;
    case ops::Outcome::Stopped:
      std::cerr << "interrupted" << (result.text.empty() ? "" : ": " + result.text) << '\n';
      return kExitInterrupted;
    case ops::Outcome::Cancelled:
      std::cerr << "nothing was transferred: no file was given\n";
      return kExitFailed;
    case ops::Outcome::Failed:
      break;
  }
  if (run.window.lastLine() != result.text) std::cerr << result.text << '\n';
  return kExitFailed;
}

bool fileExists(const std::string& file) {
  std::error_code error;
  return fs::exists(file, error);
}

void removeIfNew(const std::string& file, bool existed) {
  std::error_code error;
  if (!existed) fs::remove(file, error);
}

}  // namespace quillon::cli
