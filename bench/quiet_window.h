// SPDX-License-Identifier: GPL-3.0-or-later
// A progress window for the benchmarks: shows nothing, answers every file question with
// `answer`.
#pragma once

#include <string>

#include "ops/progress_window.h"

namespace quillon::benchsupport {

class QuietWindow final : public ops::ProgressWindow {
 public:
  std::string answer;
  void SetWork(const std::string&) override {}
  void SetFile(const std::string&) override {}
  void Progress(std::uint64_t, std::uint64_t) override {}
  std::string AskSaveFile(const ops::FileQuestion&) override { return answer; }
  std::string AskOpenFile(const ops::FileQuestion&) override { return answer; }
  void CardProbed(const detect::CardInfo&, detect::ProbeOutcome) override {}
  void ShowError(const std::string&) override {}
  void SaveCopyKept(const std::string&) override {}
  void SaveCopyFailed(const std::string&) override {}
  void ImageRead(const library::ImageChecksums&) override {}
  void Beep() override {}
};

}  // namespace quillon::benchsupport
