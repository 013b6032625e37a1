// SPDX-License-Identifier: GPL-3.0-or-later
// Save memory restore: the first 32 KiB of a ".sav" file into the card's save memory.
#include "library/regular_file.h"
#include "ops/journal.h"
#include "ops/output_file.h"
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

namespace {

ops::Result Restore(ops::Operation& op) {
  const auto fail = [&op](const std::string& text) { return Finish(op, ops::Outcome::Failed, text); };
  op.window.SetWork("Uploading RAM...");
  const std::string path =
      op.window.AskOpenFile({"RAM File (*.sav)|*.sav", "SAV", op.state.settings.ramDir, "card.sav"});
  if (op.stopRequested()) return Stopped();
  if (path.empty()) return Finish(op, ops::Outcome::Cancelled, "Cancel Upload");

  // The file is read before the writer is touched: a short file changes nothing on the card.
  const auto data = library::ReadFilePrefix(path, kSaveSize);
  if (!data) return fail(Format("Open %s Error", path));
  const std::string sizeDetail = ops::SaveFileSizeDetail(path, kSaveSize);
  if (data->size() < kSaveSize) return Finish(op, ops::Outcome::Failed, "Reading File Error", sizeDetail);

  std::string failure;
  const Step checked = CheckWsCard(op, false, failure);
  if (auto end = EndOnStep(op, checked, failure)) return *end;
  op.progress.SetVerb("written");
  ProgressMeter meter = op.progress.Expect(ops::WorkKind::Write, kSaveSize, true, 2);  // sent, then checked
  if (auto end = KeepSaveCopy(op, false)) return *end;
  op.window.SetWork("Uploading RAM...");
  ops::WorkAhead(op, ops::Work::SaveRestore, {path});
  if (op.stopRequested()) return Stopped();
  SelectSaveMemory(op.link);
  // Sent twice: the second time the writer checks what it stored.
  ops::CardChanges(op);
  const std::uint64_t before = op.link.commandsStarted();
  op.link.WriteBlock(protocol::kOpWriteMemory, protocol::kWsWindow, *data);
  op.link.WriteBlock(protocol::kOpWsWriteSaveChecked, protocol::kWsWindow, *data);
  const int status = ops::StatusOfSent(op.link, before, 2, &link::Link::QueryState6);
  // Written and confirmed, the restore is complete, whatever stop came meanwhile.
  if (op.stopRequested() && status != protocol::kStateDone) return Stopped();
  if (status != protocol::kStateDone) return fail("Uploading Fail");
  meter.Advance(kSaveSize);
  op.state.settings.ramDir = ops::DirectoryOf(path);
  return Finish(op, ops::Outcome::Success, "Uploading Success", sizeDetail);
}

}  // namespace

ops::Result RestoreWsRam(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  return ops::WorkEnds(op, ops::Work::SaveRestore, Restore(op));
}

}  // namespace quillon::ws
