// SPDX-License-Identifier: GPL-3.0-or-later
// Save memory backup: the save memory of a cartridge or of one flash card image into a
// ".sav" file.
#include <vector>

#include "gb/gb_operations.h"
#include "gb/save_copy.h"
#include "gb/save_memory.h"
#include "gb/steps.h"
#include "ops/output_file.h"

namespace quillon::gb {

ops::Result BackupGbRam(ops::Operation& op, int selectedImage) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  op.window.SetWork("Downloading RAM...");
  const SaveMemory memory = SaveMemoryOf(op.state.cardInfo, selectedImage);
  if (memory.banks == 0) return Finish(op, ops::Outcome::Failed, "None RAM");

  const std::string path = op.window.AskSaveFile(
      {kRamFilter, kRamExtension, op.state.settings.ramDir, SaveFileName(op.state.cardInfo, selectedImage)});
  if (op.stopRequested()) return Stopped();
  // The cartridge's save memory is disabled again whatever happens from here on.
  const auto end = [&](ops::Outcome outcome, const char* text) {
    DisableSaveMemory(op.link, memory);
    if (op.stopRequested()) return Stopped();
    return Finish(op, outcome, text);
  };
  if (path.empty()) return end(ops::Outcome::Cancelled, "Cancel Download");
  ops::OutputFile out;
  if (!out.Open(path)) return end(ops::Outcome::Failed, "Opening File Error");
  op.state.settings.ramDir = ops::DirectoryOf(path);

  ProgressMeter meter(op.window, memory.fileBytes());
  EnableSaveMemory(op.link, memory);
  const BankRead read = ReadSaveBanks(op, memory, [&](std::span<const std::uint8_t> bank) {
    if (!out.Write(bank)) return false;
    meter.Advance(bank.size());
    return true;
  });
  switch (read) {
    case BankRead::Stopped:
      return Stopped();
    case BankRead::Failed:
      return end(ops::Outcome::Failed, "Reading Fail");
    case BankRead::TakeFailed:
      return end(ops::Outcome::Failed, "Writing File Error");
    case BankRead::Ok:
      break;
  }
  if (!out.Commit()) return end(ops::Outcome::Failed, "Writing File Error");
  return end(ops::Outcome::Success, "Downloading Success");
}

}  // namespace quillon::gb
