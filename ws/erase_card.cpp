// Erasing a WS flash card: every sector of the 4 MiB, bank by bank, then the save memory.
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

ops::Result EraseWsCard(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  const auto fail = [&op](const std::string& text) { return Finish(op, ops::Outcome::Failed, text); };
  op.window.SetFile("");
  std::string failure;
  switch (CheckWsCard(op, true, failure)) {
    case Step::Stopped:
      return Stopped();
    case Step::Failed:
      return fail(failure);
    case Step::Ok:
      break;
  }
  ProgressMeter meter(op.window, kBlocks * kBlockSize + kSaveSize);
  for (unsigned b = 0; b < kBlocks; ++b) {
    if (op.stopRequested()) return Stopped();
    op.link.SetControl(0, kRegWrite, static_cast<std::uint8_t>(b >> 1), 0);
    const auto start = static_cast<unsigned>(b * kBlockSize);
    if (b % 2 == 0) {
      // The last bank of each 2 MiB half is shown in its two halves.
      const unsigned last = (b & 0x3E) == 0x3E ? start + 0x7FFF : start + 0xFFFF;
      op.window.SetWork(Format("Earsing : 0x%06X - 0x%06X", start, last));
    }
    const std::string upper = Format("Earsing : 0x%06X - 0x%06X", start, start + 0x7FFF);
    switch (EraseBeforeBlock(op, b, upper)) {
      case Step::Stopped:
        return Stopped();
      case Step::Failed:
        return fail("Earsing Flash ROM Fail");
      case Step::Ok:
        break;
    }
    meter.Advance(kBlockSize);
  }
  switch (ClearSaveAndFinish(op, meter)) {
    case Step::Stopped:
      return Stopped();
    case Step::Failed:
      return fail("Earsing RAM Fail");
    case Step::Ok:
      break;
  }
  return Finish(op, ops::Outcome::Success, "Earsing Success");
}

}  // namespace quillon::ws
