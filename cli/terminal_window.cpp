// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_window.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "library/rom_header.h"
#include "ops/progress_figures.h"

namespace quillon::cli {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr std::size_t kBarWidth = 20;
constexpr char kSpinner[] = {'|', '/', '-', '\\'};

double secondsBetween(TerminalWindow::Clock::time_point from, TerminalWindow::Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

TerminalWindow::TerminalWindow(std::ostream& out, Display display, ops::ProgramState& state, std::string file)
    : out_(out), display_(std::move(display)), state_(state), file_(std::move(file)) {
  started_ = display_.now();
}

// Texts that carry a file name are shown as list shows names: a name can never break the
// line or the bar.
void TerminalWindow::SetWork(const std::string& raw) {
  const std::string text = library::EscapeField(raw);
  if (display_.bar) {
    step_ = text;
    draw(false);
    return;
  }
  if (text.empty() || !printed_.insert(text).second) return;
  if (display_.beforeLine) display_.beforeLine();
  out_ << text << '\n' << std::flush;
  lastLine_ = text;
}

void TerminalWindow::SetFile(const std::string& raw) {
  const std::string text = library::EscapeField(raw);
  if (display_.bar) {
    fileLabel_ = text;
    return;
  }
  if (text.empty() || !printed_.insert("\x01" + text).second) return;
  if (display_.beforeLine) display_.beforeLine();
  out_ << "File: " << text << '\n' << std::flush;
  lastLine_ = "File: " + text;
}

void TerminalWindow::Progress(const ops::ProgressReport& report) {
  report_ = report;
  if (display_.bar) draw(false);
}

std::string TerminalWindow::AskSaveFile(const ops::FileQuestion&) {
  ++questionsAsked_;
  return file_;
}

std::string TerminalWindow::AskOpenFile(const ops::FileQuestion&) {
  ++questionsAsked_;
  return file_;
}

void TerminalWindow::CardProbed(const detect::CardInfo& info, detect::ProbeOutcome) { state_.cardInfo = info; }

void TerminalWindow::ShowError(const std::string& text) { PrintLine(library::EscapeField(text)); }

bool TerminalWindow::Confirm(const std::string& question) {
  PrintLine(library::EscapeField(question) + " No");
  return false;
}

void TerminalWindow::PrintLine(const std::string& line) {
  Close();  // a message of its own line, not inside the bar
  if (display_.beforeLine) display_.beforeLine();
  out_ << line << '\n' << std::flush;
}

void TerminalWindow::SaveCopyKept(const std::string& path) {
  PrintLine("save memory copied to " + library::EscapeField(path));
}

void TerminalWindow::SaveCopyFailed(const std::string& why) {
  PrintLine("the save memory could not be copied (" + library::EscapeField(why) +
            "); nothing was changed (--no-backup goes on without a copy)");
}

void TerminalWindow::SaveCopyNotice(const std::string& text) { PrintLine(library::EscapeField(text)); }
void TerminalWindow::JournalNotice(const std::string& text) { PrintLine(library::EscapeField(text)); }
void TerminalWindow::ImageRead(const library::ImageChecksums& sums) { PrintLine(library::ChecksumLine(sums)); }

void TerminalWindow::Beep() {
  if (display_.beep) out_ << '\a' << std::flush;
}

void TerminalWindow::Close() {
  if (!drawn_) return;
  out_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

void TerminalWindow::draw(bool force) {
  const auto now = display_.now();
  if (!force && drawn_ && now - lastDraw_ < kRedrawEvery) return;
  ++spin_;
  out_ << '\r' << barLine(now) << "\033[K" << std::flush;
  drawn_ = true;
  lastDraw_ = now;
}

std::string TerminalWindow::barLine(Clock::time_point now) const {
  std::string head(1, kSpinner[spin_ % sizeof kSpinner]);
  head += ' ';
  if (!fileLabel_.empty()) head += fileLabel_ + ": ";
  head += step_;

  // Percentage, rate, time left and time gone; the bar takes what room is left, up to
  // kBarWidth, and the step text is cut only when even that is not enough.
  std::string figures;
  for (const auto& figure : ops::ProgressFigures(report_)) figures += ' ' + figure;
  figures += " (" + ops::ClockText(secondsBetween(started_, now)) + ")";

  const auto width = static_cast<std::size_t>(display_.columns > 1 ? display_.columns - 1 : 1);
  std::string bar;
  if (report_.started()) {
    const std::size_t used = head.size() + figures.size() + 3;  // " [" and "]"
    const std::size_t room = width > used ? width - used : 0;
    const std::size_t barWidth = room < kBarWidth ? room : kBarWidth;
    if (barWidth >= 5) {
      const auto filled = static_cast<std::size_t>(report_.fraction * static_cast<double>(barWidth));
      bar = " [" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
    }
  }
  std::string tail = bar + figures;
  if (head.size() + tail.size() > width) head.resize(width > tail.size() + 2 ? width - tail.size() : 2);
  std::string line = head + tail;
  if (line.size() > width) line.resize(width);
  return line;
}

}  // namespace quillon::cli
