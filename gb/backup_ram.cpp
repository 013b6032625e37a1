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
  const SaveTransferStart start = StartSaveTransfer(op, selectedImage, SaveTransfer::Backup);
  if (start.ended) return *start.ended;
  const SaveMemory& memory = start.memory;
  const std::string& path = start.path;
  ops::OutputFile out;
  if (!out.Open(path)) return EndSaveTransfer(op, memory, ops::Outcome::Failed, "Opening File Error");
  op.state.settings.ramDir = ops::DirectoryOf(path);

  op.progress.SetVerb("read");
  ProgressMeter meter = op.progress.Expect(ops::WorkKind::Read, memory.fileBytes());
  SaveMemoryAccess access(op.link, memory);
  access.Open();
  const BankRead read = ReadSaveBanks(op, memory, [&](std::span<const std::uint8_t> bank) {
    if (!out.Write(bank)) return false;
    meter.Advance(bank.size());
    return true;
  });
  // Disabled before the file is kept: a stop that came once the last bank was received
  // leaves a complete backup, and the cartridge closed.
  access.Close();
  if (read != BankRead::Ok && op.stopRequested()) return Stopped();
  switch (read) {
    case BankRead::Stopped:
      return Stopped();
    case BankRead::Failed:
      return Finish(op, ops::Outcome::Failed, "Reading Fail");
    case BankRead::TakeFailed:
      return Finish(op, ops::Outcome::Failed, "Writing File Error");
    case BankRead::Ok:
      break;
  }
  if (op.link.lostContact()) return Finish(op, ops::Outcome::Failed, std::string(ops::kLinkLost));
  if (!out.Commit()) return Finish(op, ops::Outcome::Failed, "Writing File Error");
  return Finish(op, ops::Outcome::Success, "Downloading Success");
}

}  // namespace quillon::gb
