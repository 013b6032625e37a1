// SPDX-License-Identifier: GPL-3.0-or-later
// Save memory backup: the card's 32 KiB of save memory into a ".sav" file.
#include <vector>

#include "ops/output_file.h"
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

ops::Result BackupWsRam(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  const auto fail = [&op](const std::string& text) { return Finish(op, ops::Outcome::Failed, text); };
  op.window.SetWork("Downloading RAM...");
  const std::string path =
      op.window.AskSaveFile({"RAM File (*.sav)|*.sav", "SAV", op.state.settings.ramDir, "card.sav"});
  if (op.stopRequested()) return Stopped();
  if (path.empty()) return Finish(op, ops::Outcome::Cancelled, "Cancel Download");

  ops::OutputFile out;
  if (!out.Open(path)) return fail(Format("Open File %s Error", path));
  std::string failure;
  const Step checked = CheckWsCard(op, false, failure);
  if (auto end = EndOnStep(op, checked, failure)) return *end;
  op.progress.SetVerb("read");
  ProgressMeter meter = op.progress.Expect(ops::WorkKind::Read, kSaveSize);
  if (op.stopRequested()) return Stopped();
  const auto saved = ReadSaveMemory(op.link);
  // Received whole, the backup is complete, whatever stop came meanwhile.
  if (op.stopRequested() && !saved) return Stopped();
  if (!saved) return fail("Reading Error");
  if (op.link.lostContact()) return fail(std::string(ops::kLinkLost));
  if (!out.Write(*saved) || !out.Commit()) return fail("Writing File Error");
  meter.Advance(kSaveSize);
  op.state.settings.ramDir = ops::DirectoryOf(path);
  return Finish(op, ops::Outcome::Success, "Downloading Success");
}

}  // namespace quillon::ws
