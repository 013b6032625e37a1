// SPDX-License-Identifier: GPL-3.0-or-later
// What one card operation runs with, and what it ends with.
#pragma once

#include <atomic>
#include <string>

#include "link/link.h"
#include "ops/program_state.h"
#include "ops/progress_window.h"

namespace quillon::ops {

// A stop request for one operation. Each operation gets a fresh one, so a stop never
// outlives the operation it was meant for.
class StopToken {
 public:
  void RequestStop() { flag_.store(true); }
  bool StopRequested() const { return flag_.load(std::memory_order_relaxed); }
  const std::atomic<bool>& flag() const { return flag_; }

 private:
  std::atomic<bool> flag_{false};
};

enum class Outcome {
  Success,    // the operation's success text
  Failed,     // a failure message of the operation
  Cancelled,  // the user cancelled a file dialog: nothing was transferred
  Stopped,    // a stop request ended it; nothing was sent after the stop
};

struct Result {
  Outcome outcome = Outcome::Failed;
  std::string text;  // the step label's last text
  // A line said under the result (and in the main window's status line, on the command line's
  // standard error): why a failure failed, or what a success left out; empty: none.
  std::string detail{};

  bool ok() const { return outcome == Outcome::Success; }
};

struct Operation {
  link::Link& link;
  ProgramState& state;
  ProgressWindow& window;
  const std::atomic<bool>& stop;
  // The operation's stages and how far they are, reported to the window.
  ProgressPlan progress{window, [&l = link] { return l.now(); }};

  // A stop request, or a trace that could not be written: the link sends nothing more.
  bool stopRequested() const { return stop.load(std::memory_order_relaxed) || !link.traceFailure().empty(); }
};

// Puts an operation's stop flag on the link for as long as it lives, and takes it back off.
// It also marks the operation on the link: a writer given up as gone during one operation is
// tried again by the next.
class StopOnLink {
 public:
  StopOnLink(link::Link& link, const std::atomic<bool>& stop) : link_(link), previous_(link.stopFlag()) {
    link_.setStopFlag(&stop);
    link_.beginOperation();
  }
  ~StopOnLink() {
    link_.endOperation();
    link_.setStopFlag(previous_);
  }
  StopOnLink(const StopOnLink&) = delete;
  StopOnLink& operator=(const StopOnLink&) = delete;

 private:
  link::Link& link_;
  const std::atomic<bool>* previous_;
};

}  // namespace quillon::ops
