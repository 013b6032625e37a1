// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window of quillon-cli: the operation's steps on standard error, its file
// questions answered with the path the user gave on the command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <set>
#include <string>

#include "ops/program_state.h"
#include "ops/progress_window.h"

namespace quillon::cli {

class TerminalWindow : public ops::ProgressWindow {
 public:
  using Clock = std::chrono::steady_clock;

  struct Display {
    // A terminal gets one bar line redrawn in place; anything else gets plain lines, one
    // per step text (a text seen before is not printed again).
    bool bar = false;
    int columns = 80;   // width of the bar line
    bool beep = false;  // '\a' when the operation ends
    std::function<Clock::time_point()> now = [] { return Clock::now(); };
    // Called before a line of its own is printed: what else writes to the same stream (the
    // link's remarks) finishes its own lines first.
    std::function<void()> beforeLine;
  };

  // `file` answers both file questions; `state` takes the card information of every probe.
  TerminalWindow(std::ostream& out, Display display, ops::ProgramState& state, std::string file);
  ~TerminalWindow() override { Close(); }
  TerminalWindow(const TerminalWindow&) = delete;
  TerminalWindow& operator=(const TerminalWindow&) = delete;

  void SetWork(const std::string& text) override;
  void SetFile(const std::string& text) override;
  void Progress(const ops::ProgressReport& report) override;
  std::string AskSaveFile(const ops::FileQuestion& question) override;
  std::string AskOpenFile(const ops::FileQuestion& question) override;
  void CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) override;
  void ShowError(const std::string& text) override;
  void SaveCopyKept(const std::string& path) override;
  void SaveCopyFailed(const std::string& why) override;
  void SaveCopyNotice(const std::string& text) override;
  // The command line has said what it wants before the operation began: a question the
  // window would ask is answered No, and said.
  bool Confirm(const std::string& question) override;
  void JournalNotice(const std::string& text) override;
  void ImageRead(const library::ImageChecksums& sums) override;
  void Beep() override;

  // Takes the bar off the screen, so that what follows starts on a clean line.
  void Close();
  // The last plain line printed (empty in bar form).
  const std::string& lastLine() const { return lastLine_; }
  int questionsAsked() const { return questionsAsked_; }
  // How far the operation got.
  const ops::ProgressReport& lastReport() const { return report_; }

 private:
  // A message on a line of its own, after the bar and the link's pending diagnostics.
  void PrintLine(const std::string& line);
  void draw(bool force);
  std::string barLine(Clock::time_point now) const;

  std::ostream& out_;
  Display display_;
  ops::ProgramState& state_;
  std::string file_;
  int questionsAsked_ = 0;

  // Plain lines.
  std::set<std::string> printed_;
  std::string lastLine_;

  // The bar.
  std::string step_, fileLabel_;
  ops::ProgressReport report_;
  Clock::time_point started_;
  Clock::time_point lastDraw_{};
  bool drawn_ = false;
  unsigned spin_ = 0;
};

}  // namespace quillon::cli
