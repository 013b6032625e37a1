// Save memory backup: the save memory of a cartridge or of one flash card image into a
// ".sav" file.
#include <vector>

#include "gb/gb_operations.h"
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
  std::vector<std::uint8_t> buffer(kRamBankSize);
  EnableSaveMemory(op.link, memory);
  for (int i = 0; i < memory.banks; ++i) {
    if (op.stopRequested()) return Stopped();
    op.link.WriteByte(protocol::kSaveBankRegister, static_cast<std::uint8_t>((memory.firstBank + i) & 0xFF));
    const int received = op.link.ReadBlock(protocol::kSaveWindow, buffer);
    const int status = op.link.QueryState3();
    if (op.stopRequested()) return Stopped();
    if (received != 0 || status != protocol::kStateDone) return end(ops::Outcome::Failed, "Reading Fail");
    if (!out.Write(std::span(buffer).first(memory.bankBytes))) return end(ops::Outcome::Failed, "Writing File Error");
    meter.Advance(memory.bankBytes);
  }
  if (!out.Commit()) return end(ops::Outcome::Failed, "Writing File Error");
  return end(ops::Outcome::Success, "Downloading Success");
}

}  // namespace quillon::gb
