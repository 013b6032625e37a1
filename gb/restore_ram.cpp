// SPDX-License-Identifier: GPL-3.0-or-later
// Save memory restore: a ".sav" file into the save memory of a cartridge or of one flash
// card image.
#include "detect/probe.h"
#include "gb/gb_operations.h"
#include "gb/save_copy.h"
#include "gb/save_memory.h"
#include "gb/steps.h"
#include "library/regular_file.h"
#include "ops/journal.h"
#include "ops/output_file.h"

namespace quillon::gb {

namespace {

// After the copy of the save memory the card is probed again, as before the restore: it must
// still hold this save memory.
std::optional<ops::Result> ProbeAgain(ops::Operation& op, const SaveMemory& memory, int selectedImage) {
  detect::CardInfo info = op.state.cardInfo;
  const auto outcome = detect::ProbeCard(op.link, op.state.writerType(), info);
  if (op.stopRequested()) return Stopped();
  op.window.CardProbed(info, outcome);
  if (outcome == detect::ProbeOutcome::DeviceError) return Finish(op, ops::Outcome::Failed, "Linking Fail");
  if (!(SaveMemoryOf(info, selectedImage) == memory))
    return Finish(op, ops::Outcome::Failed, "Card is not inserted right or FLASH ROM is not supported");
  return std::nullopt;
}

ops::Result Restore(ops::Operation& op, int selectedImage) {
  const SaveTransferStart start = StartSaveTransfer(op, selectedImage, SaveTransfer::Restore);
  if (start.ended) return *start.ended;
  const SaveMemory& memory = start.memory;
  const std::string& path = start.path;
  // The whole file is read before anything is sent: a short file changes nothing on the card.
  const auto data = library::ReadFilePrefix(path, memory.fileBytes());
  if (!data) return EndSaveTransfer(op, memory, ops::Outcome::Failed, "Opening File Error");
  op.state.settings.ramDir = ops::DirectoryOf(path);
  const std::string sizeDetail = ops::SaveFileSizeDetail(path, memory.fileBytes());
  if (data->size() < memory.fileBytes()) return Finish(op, ops::Outcome::Failed, "Reading File Error", sizeDetail);
  op.progress.SetVerb("written");
  ProgressMeter meter = op.progress.Expect(ops::WorkKind::Write, memory.fileBytes());
  if (auto ended = KeepSaveCopy(op, memory, SaveTitle(op.state.cardInfo, selectedImage),
                                [&] { return ProbeAgain(op, memory, selectedImage); }))
    return *ended;
  op.window.SetWork("Uploading RAM...");

  ops::WorkAhead(op, ops::Work::SaveRestore, {path});
  SaveMemoryAccess access(op.link, memory);
  access.Open();
  for (int i = 0; i < memory.banks; ++i) {
    if (op.stopRequested()) return Stopped();
    op.link.WriteByte(protocol::kSaveBankRegister, static_cast<std::uint8_t>((memory.firstBank + i) & 0xFF));
    const auto bank = std::span(*data).subspan(static_cast<std::size_t>(i) * memory.bankBytes, memory.bankBytes);
    ops::CardChanges(op);
    const std::uint64_t before = op.link.commandsStarted();
    op.link.WriteBlock(protocol::kOpWriteMemory, protocol::kSaveWindow, bank);
    const int status = ops::StatusOfSent(op.link, before, 1, &link::Link::QueryState3);
    // A bank confirmed counts as written; the last one ends the restore, whatever stop came
    // meanwhile.
    if (status == protocol::kStateDone) meter.Advance(memory.bankBytes);
    const bool last = i + 1 == memory.banks && status == protocol::kStateDone;
    if (op.stopRequested() && !last) return Stopped();
    if (status != protocol::kStateDone) {
      access.Close();
      return Finish(op, ops::Outcome::Failed, "Uploading Fail");
    }
  }
  access.Close();
  return Finish(op, ops::Outcome::Success, "Uploading Success", sizeDetail);
}

}  // namespace

ops::Result RestoreGbRam(ops::Operation& op, int selectedImage) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  return ops::WorkEnds(op, ops::Work::SaveRestore, Restore(op, selectedImage));
}

}  // namespace quillon::gb
