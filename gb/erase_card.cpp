// SPDX-License-Identifier: GPL-3.0-or-later
// Erasing a GB flash card: the FLASH ROM up to the chosen card size, the BIOS ROM and the
// whole save memory.
#include <array>
#include <vector>

#include "gb/gb_operations.h"
#include "gb/save_copy.h"
#include "gb/steps.h"
#include "ops/journal.h"
#include "ops/save_backups.h"

namespace quillon::gb {

namespace {

constexpr unsigned kBlocksSmallCard = 32;  // "16MB Card": 2 MiB of FLASH ROM
constexpr unsigned kBlocksLargeCard = 64;  // "32MB Card": 4 MiB
constexpr int kSaveBanks = 16;             // 128 KiB of save memory, always all of it

}  // namespace

namespace {

ops::Result Erase(ops::Operation& op, int cardSize) {
  op.window.SetFile("");
  ChipMethods methods{};
  std::string failure;
  const Step checked = CheckCard(op, methods, failure);
  if (auto end = EndOnStep(op, checked, failure)) return *end;
  const unsigned blocks = cardSize == 0 ? kBlocksSmallCard : kBlocksLargeCard;
  op.progress.SetVerb("erased");
  ProgressMeter blockErase = op.progress.Expect(ops::WorkKind::Erase, blocks * kBlockSize);
  ProgressMeter biosErase = op.progress.Expect(
      methods.bios == ChipMethod::WriterStatus ? ops::WorkKind::ProgramPieces : ops::WorkKind::EraseChip, kBiosBytes);
  ProgressMeter ramClear = op.progress.Expect(ops::WorkKind::Write, kSaveBanks * kRamBankSize, false);
  // The save memory is cleared whatever the card size: all of it is kept first.
  if (auto end = KeepSaveCopy(op, WholeFlashCardSave(), std::string(ops::kWholeCardTitle),
                              [&] { return CheckCardAgain(op, methods); }))
    return *end;

  ProgrammingVoltage flashVoltage(op.link);
  PrepareCard(op.link, methods.flash, flashVoltage);
  ops::WorkAhead(op, ops::Work::Erase, {});
  for (unsigned b = 0; b < blocks; ++b) {
    const Step step = EraseFlashBlock(op, methods.flash, b, blockErase);
    if (step == Step::Failed) flashVoltage.Off();
    if (auto end = EndOnStep(op, step, "Earsing ROM Fail")) return *end;
  }
  flashVoltage.Off();

  if (op.stopRequested()) return Stopped();
  protocol::Send(op.link, protocol::kPresentBiosRom);
  op.link.DelayTicks(kSettleTicks);
  Step step = Step::Ok;
  if (methods.bios == ChipMethod::WriterStatus) {
    // This chip has no erase command: every byte is programmed to 0xFF and read back.
    op.link.DelayTicks(kSettleTicks);
    op.window.SetWork("Earsing BIOS");
    const std::vector<std::uint8_t> erased(kBiosBytes, protocol::kErasedByte);
    step = ProgramBiosPieces(op, erased, protocol::kOpProgramBiosPage, true, biosErase);
  } else {
    step = EraseBiosChip(op, methods.bios, biosErase);
    if (step == Step::Ok) biosErase.Advance(kBiosBytes);
  }
  if (auto end = EndOnStep(op, step, "Earsing BIOS Fail")) return *end;

  if (op.stopRequested()) return Stopped();
  protocol::Send(op.link, protocol::kSaveMemoryOn);
  protocol::Send(op.link, protocol::kSaveMemoryWindow);
  op.window.SetWork("Earsing RAM");
  const std::vector<std::uint8_t> zeros(kRamBankSize, 0x00);
  for (int r = 0; r < kSaveBanks; ++r) {
    if (op.stopRequested()) return Stopped();
    op.link.WriteByte(protocol::kSaveBankRegister, static_cast<std::uint8_t>(r));
    op.link.WriteBlock(protocol::kOpWriteMemory, protocol::kSaveWindow, zeros);
    const int status = op.link.QueryState3();
    // The last bank confirmed cleared ends the erase, whatever stop came meanwhile.
    const bool last = r + 1 == kSaveBanks && status == protocol::kStateDone;
    if (op.stopRequested() && !last) return Stopped();
    if (status != protocol::kStateDone) return Finish(op, ops::Outcome::Failed, "Earsing RAM Fail");
    ramClear.Advance(kRamBankSize);
  }
  op.link.DelayTicks(kSecondTicks);
  return Finish(op, ops::Outcome::Success, "Earsing Success");
}

}  // namespace

ops::Result EraseGbCard(ops::Operation& op, int cardSize) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  return ops::WorkEnds(op, ops::Work::Erase, Erase(op, cardSize));
}

}  // namespace quillon::gb
