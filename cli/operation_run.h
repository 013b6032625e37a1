// SPDX-License-Identifier: GPL-3.0-or-later
// What the card commands of quillon-cli share: the port, the program state and the terminal
// window one operation runs with, and how its result becomes output and an exit status.
#pragma once

#include <atomic>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/session.h"
#include "cli/terminal_window.h"
#include "ops/operation.h"
#include "ops/program_state.h"
#include "ops/verified_write.h"

namespace quillon::cli {

inline constexpr int kGoOn = -1;  // a step that lets the command go on

// Progress on standard error: a bar on a terminal, plain lines otherwise.
TerminalWindow::Display standardErrorDisplay();

// Everything one card operation runs with: the port and link, the program state the
// operation reads and writes, and the window it reports through. `file` answers the
// window's file questions.
struct OperationRun {
  // `inputs`: further files the operation reads (images, a patch).
  OperationRun(const GlobalOptions& options, const std::atomic<bool>& stopFlag, const std::string& file,
               std::vector<std::string> inputs = {});

  template <typename F>
  auto run(F&& operation) {
    ops::Operation op{session.link(), state, window, stop};
    ops::StopOnLink guard(op.link, op.stop);
    return operation(op);
  }

  Session session;
  ops::ProgramState state;
  TerminalWindow window;
  const std::atomic<bool>& stop;
};

// Runs a command body; an exception (no port, no trace file) is its message and exit 1,
// or 130 when Ctrl-C came first.
template <typename F>
int guarded(const std::atomic<bool>& stop, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    std::cerr << "there is not enough memory for this command\n";
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
  }
  return stop ? kExitInterrupted : kExitFailed;
}

// The message on standard error, exit 1.
int refuse(const std::string& why);

// A stop that came before the operation began (during the probe of the card): said as a stop
// during the operation is, exit 130.
int interrupted();

// An image the card list refused: its message, then the file named with why (the reason it
// cannot be read, when that is why), exit 1.
int refuseImage(const std::string& image, const std::string& message, const std::string& note);

// An input file that is there but cannot be read (a folder, a FIFO, a device, a file the
// user may not read) is refused before anything is sent, with its name and the reason;
// kGoOn otherwise (a missing file is left to the operation's own message).
int checkInput(const std::string& path);

// An output file that would replace a file of the simulated writer's folder (the port's
// sim:DIR) or a copy of save memory, through whatever link, is refused before the port is
// opened, named with why; kGoOn otherwise (also for no file).
int checkOutput(const GlobalOptions& options, const std::string& path);

// The window reports the steps; the result text goes to standard output, a failure's
// message to standard error (unless the step lines just printed it there).
int report(OperationRun& run, const ops::Result& result);
// report for the write, then for its verify when one ran.
int report(OperationRun& run, const ops::VerifiedWrite& done);

}  // namespace quillon::cli
