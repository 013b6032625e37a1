// SPDX-License-Identifier: GPL-3.0-or-later
// Verifying a written GB card: every image of the card list read back from where the
// write placed it and compared with its file.
#include <algorithm>
#include <vector>

#include "gb/gb_operations.h"
#include "gb/steps.h"
#include "library/regular_file.h"

namespace quillon::gb {

ops::Result VerifyGbCard(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  op.window.SetWork("Verifying");
  const auto& entries = op.state.cardList.entries();
  std::uint64_t total = 0;
  for (const auto& entry : entries) total += std::size_t{0x8000} << entry.romSizeCode;
  ProgressMeter meter = op.progress.ExpectOnce(ops::WorkKind::Read, total, false);

  protocol::Send(op.link, protocol::kReadState);
  protocol::Send(op.link, protocol::kProgrammingEnable);
  protocol::Send(op.link, protocol::kPresentFlashRom);
  std::vector<std::uint8_t> card(kBankSize);
  std::vector<std::uint8_t> file(kBankSize);
  for (const auto& entry : entries) {
    library::RegularFile in(entry.file());
    if (!in.ok()) return Finish(op, ops::Outcome::Failed, Format("Opening File %s Error", entry.fileName));
    op.window.SetFile(entry.fileName);
    const std::size_t banks = (std::size_t{0x8000} << entry.romSizeCode) / kBankSize;
    for (std::size_t k = 0; k < banks; ++k) {
      if (op.stopRequested()) return Stopped();
      if (in.ReadAt(k * kBankSize, file) != kBankSize)
        return Finish(op, ops::Outcome::Failed, Format("Reading %s Error", entry.fileName));
      const unsigned cardBank = static_cast<unsigned>(entry.romStartBank) + static_cast<unsigned>(k);
      op.link.SetBank(static_cast<std::uint8_t>(cardBank));
      const Step read = ReadBank(op, protocol::kBankWindow, card, &entry == &entries.back() && k + 1 == banks);
      if (auto end = EndOnStep(op, read, "Reading Error")) return *end;
      const auto differ = std::mismatch(card.begin(), card.end(), file.begin());
      if (differ.first != card.end()) {
        const auto within = static_cast<std::size_t>(differ.first - card.begin());
        return Finish(op, ops::Outcome::Failed,
                      ops::VerifyDifference(entry.fileName, cardBank * kBankSize + within, k * kBankSize + within));
      }
      meter.Advance(kBankSize);
    }
  }
  op.window.SetFile("");
  return Finish(op, ops::Outcome::Success, "Verify OK");
}

}  // namespace quillon::gb
