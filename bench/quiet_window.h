// SPDX-License-Identifier: GPL-3.0-or-later
// A progress window for the benchmarks: shows nothing, answers every file question with
// `answer`, and hands the step labels and the progress to whoever watches them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ops/progress_window.h"

namespace quillon::benchsupport {

class QuietWindow final : public ops::ProgressWindow {
 public:
  std::string answer;
  std::function<void(const std::string&)> onWork = [](const std::string&) {};
  std::function<void(const ops::ProgressReport&)> onProgress = [](const ops::ProgressReport&) {};
  void SetWork(const std::string& text) override { onWork(text); }
  void SetFile(const std::string&) override {}
  void Progress(const ops::ProgressReport& report) override { onProgress(report); }
  std::string AskSaveFile(const ops::FileQuestion&) override { return answer; }
  std::string AskOpenFile(const ops::FileQuestion&) override { return answer; }
  void CardProbed(const detect::CardInfo&, detect::ProbeOutcome) override {}
  void ShowError(const std::string&) override {}
  void SaveCopyKept(const std::string&) override {}
  void SaveCopyFailed(const std::string&) override {}
  void SaveCopyNotice(const std::string&) override {}
  bool Confirm(const std::string&) override { return false; }
  void JournalNotice(const std::string&) override {}
  void ImageRead(const library::ImageChecksums&) override {}
  void Beep() override {}
};

}  // namespace quillon::benchsupport
