// SPDX-License-Identifier: GPL-3.0-or-later
// An operation against the simulated writer in memory: the writer, the link on it, the
// program state, a window that records what the operation reports, and a folder for files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "detect/probe.h"
#include "gb_images.h"
#include "link/link.h"
#include "ops/operation.h"
#include "sim/sim_writer.h"

namespace quillon::gbtest {

namespace fs = std::filesystem;
using support::Bytes;

// Records everything the operation reports; answers its dialogs from fields.
class RecordingWindow final : public ops::ProgressWindow {
 public:
  void SetWork(const std::string& text) override {
    work.push_back(text);
    if (onWork) onWork(text);
  }
  void SetFile(const std::string& text) override { file = text; }
  void Progress(const ops::ProgressReport& report) override {
    lastDone = report.done;
    lastTotal = report.total;
    ++progressCalls;
    if (onProgress) onProgress(report.workDone);
  }
  std::string AskSaveFile(const ops::FileQuestion& question) override { return answer(question); }
  std::string AskOpenFile(const ops::FileQuestion& question) override { return answer(question); }
  void CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) override {
    probed = info;
    lastOutcome = outcome;
    ++probes;
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void SaveCopyKept(const std::string& path) override { copies.push_back(path); }
  void SaveCopyFailed(const std::string& why) override { copyFailures.push_back(why); }
  void SaveCopyNotice(const std::string&) override {}
  bool Confirm(const std::string& question) override {
    errors.push_back(question);
    return confirmAnswer;
  }
  bool confirmAnswer = false;
  void JournalNotice(const std::string&) override {}
  void ImageRead(const library::ImageChecksums&) override {}
  void Beep() override { ++beeps; }

  std::vector<std::string> work;
  std::vector<std::string> errors;                // message boxes and questions, in order
  std::vector<std::string> copies, copyFailures;  // kept save memory copies, and why one was not
  std::string file;
  std::string fileAnswer;  // the dialog's answer; empty: cancelled
  std::vector<ops::FileQuestion> questions;
  std::function<void(const std::string&)> onWork;
  std::function<void()> onDialog;
  std::function<void(std::uint64_t)> onProgress;
  std::uint64_t lastDone = 0, lastTotal = 0, progressCalls = 0;
  detect::CardInfo probed;
  detect::ProbeOutcome lastOutcome = detect::ProbeOutcome::NotProbed;
  int probes = 0;
  int beeps = 0;

 private:
  std::string answer(const ops::FileQuestion& question) {
    questions.push_back(question);
    if (onDialog) onDialog();
    return fileAnswer;
  }
};

// A test's folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

struct Bench {
  explicit Bench(sim::CardContents card, sim::Faults faults = {});
  // Every command the program sent is one the card expects: the writer noted none, unless
  // the test sends some on purpose.
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;
  bool notesExpected = false;

  // Probes as the main window would before handing an image to an operation.
  detect::ProbeOutcome Probe();
  // Puts the menu images into the program's folder (the 16 KiB and the 32 KiB one).
  void WriteMenuImages(const Bytes& gb, const Bytes& password);
  // Adds files of `dir` to the card list; each must be admitted.
  void Compose(const fs::path& dir, const std::vector<std::string>& files);
  // Asks for a stop when the step label first shows `text`; notes how many commands the
  // writer had received then.
  void StopAtWork(const std::string& text);
  // Asks for a stop when the progress first reaches `done` bytes, or during a file dialog.
  void StopAtProgress(std::uint64_t done);
  void StopInDialog();
  std::size_t commandsAtStop() const { return commandsAtStop_; }

  std::unique_ptr<sim::SimWriter> writer;
  std::ostringstream diagnostics;
  std::unique_ptr<link::Link> link;
  ops::ProgramState state;
  RecordingWindow window;
  ops::StopToken stop;
  ops::Operation op{*link, state, window, stop.flag()};
  TempDir dir;

 private:
  std::size_t commandsAtStop_ = 0;
};

// The commands the writer carried out, from the first one with `op`/`p1` on.
bool IsCommand(const sim::CommandRecord& c, std::uint8_t op, std::uint8_t p1, std::uint8_t p2);

Bytes TestImage(const std::string& name);  // a file of tests/data/gb
Bytes Slice(std::span<const std::uint8_t> memory, std::size_t offset, std::size_t size);

}  // namespace quillon::gbtest
