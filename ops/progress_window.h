// SPDX-License-Identifier: GPL-3.0-or-later
// What every card operation is handed to report through: the modal window of the
// operation in the desktop program, the terminal in quillon-cli, a recorder in the tests.
#pragma once

#include <cstdint>
#include <string>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "library/image_checksums.h"
#include "ops/progress_plan.h"

namespace quillon::ops {

// A file dialog an operation asks for. The answer is the chosen file's path, empty when
// the user cancelled.
struct FileQuestion {
  std::string filter;            // "Color GameBoy File (*.gbc)|*.gbc|Mono GameBoy File (*.gb)|*.gb"
  std::string defaultExtension;  // "GBC", "SAV": added when the chosen name has none
  std::string startDirectory;    // the dialog opens here
  // The file name the dialog offers ("TETRIS.gb", "card.sav"), without a folder; empty: none.
  // A dialog that shows the filters selects the one that matches it.
  std::string suggestedName;
};

class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;

  // The step label (lbWork): the current step, at the end the result.
  virtual void SetWork(const std::string& text) = 0;
  // The file label (lbFile) of the writing windows: the image being programmed.
  virtual void SetFile(const std::string& text) = 0;
  // How far the operation is (ProgressPlan's report): each time work was done, and now and
  // then while the operation waits for the writer, so a display can show that time goes on.
  virtual void Progress(const ProgressReport& report) = 0;
  // A file to write into or to read from; empty answer: cancelled.
  virtual std::string AskSaveFile(const FileQuestion& question) = 0;
  virtual std::string AskOpenFile(const FileQuestion& question) = 0;
  // The operation probed the card: the main window's card information takes the result
  // (its text is rebuilt unless the writer did not answer).
  virtual void CardProbed(const detect::CardInfo& info, detect::ProbeOutcome outcome) = 0;
  // A message box with the caption "Error" and an OK button; returns once the user has
  // closed it. The operation goes on afterwards.
  virtual void ShowError(const std::string& text) = 0;
  // A question with the buttons Yes and No, No the default (Return and Escape answer No);
  // true for Yes. The operation waits for the answer.
  virtual bool Confirm(const std::string& question) = 0;
  // A copy of the save memory that the operation is about to overwrite was kept at `path`.
  virtual void SaveCopyKept(const std::string& path) = 0;
  // The copy could not be kept (`why`): the operation ends with "Backup Fail", the card as it was.
  virtual void SaveCopyFailed(const std::string& why) = 0;
  // A notice about the folder of the copies after the copy was kept (kDamagedRecord: "the
  // record of copies is damaged: nothing was pruned"). The operation goes on.
  virtual void SaveCopyNotice(const std::string& text) = 0;
  // A notice about the journal of unfinished work, a whole sentence: it could not be written
  // ("The journal cannot be written (REASON): an interrupted write will not be remembered"),
  // or it was damaged and taken as empty. The operation goes on.
  virtual void JournalNotice(const std::string& text) = 0;
  // A read ended with the image in its file: what the checksums the image carries say of
  // the bytes that went into the file. Comes after the result, which it never changes.
  virtual void ImageRead(const library::ImageChecksums& sums) = 0;
  // The system's default beep that ends every operation.
  virtual void Beep() = 0;
};

}  // namespace quillon::ops
