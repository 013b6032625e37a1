// SPDX-License-Identifier: GPL-3.0-or-later
// Erasing a WS flash card: every sector of the 4 MiB, bank by bank, then the save memory.
#include "ops/journal.h"
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

namespace {

ops::Result Erase(ops::Operation& op) {
  op.window.SetFile("");
  std::string failure;
  const Step checked = CheckWsCard(op, true, failure);
  if (auto end = EndOnStep(op, checked, failure)) return *end;
  op.progress.SetVerb("erased");
  ProgressMeter erase = op.progress.Expect(ops::WorkKind::Erase, kBlocks * kBlockSize, true, EraseWorkPerByte(0));
  ProgressMeter clear = op.progress.Expect(ops::WorkKind::Write, kSaveSize, false, 2);  // sent, then checked
  if (auto end = KeepSaveCopy(op, true)) return *end;
  ops::WorkAhead(op, ops::Work::Erase, {});
  for (unsigned b = 0; b < kBlocks; ++b) {
    if (op.stopRequested()) return Stopped();
    SelectWriteBank(op.link, b);
    const auto start = static_cast<unsigned>(b * kBlockSize);
    if (b % 2 == 0) {
      // The last bank of each 2 MiB half is shown in its two halves.
      const unsigned last = (b & 0x3E) == 0x3E ? start + 0x7FFF : start + 0xFFFF;
      op.window.SetWork(Format("Earsing : 0x%06X - 0x%06X", start, last));
    }
    const std::string upper = Format("Earsing : 0x%06X - 0x%06X", start, start + 0x7FFF);
    const Step erased = EraseBeforeBlock(op, b, upper);
    if (auto end = EndOnStep(op, erased, "Earsing Flash ROM Fail")) return *end;
    erase.Advance(kBlockSize, EraseWork(b));
  }
  const Step cleared = ClearSaveAndFinish(op, clear);
  if (auto end = EndOnStep(op, cleared, "Earsing RAM Fail")) return *end;
  return Finish(op, ops::Outcome::Success, "Earsing Success");
}

}  // namespace

ops::Result EraseWsCard(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  return ops::WorkEnds(op, ops::Work::Erase, Erase(op));
}

}  // namespace quillon::ws
