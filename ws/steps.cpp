// SPDX-License-Identifier: GPL-3.0-or-later
#include "ws/steps.h"

#include <array>
#include <cstdio>
#include <vector>

#include "detect/probe.h"
#include "ops/journal.h"
#include "ops/save_backups.h"

namespace quillon::ws {

Step CheckWsCard(ops::Operation& op, bool requireFlashCard, std::string& failure) {
  if (op.stopRequested()) return Step::Stopped;
  if (op.link.CheckDevice() != 0) {
    if (op.stopRequested()) return Step::Stopped;
    failure = "Linking Fail";
    return Step::Failed;
  }
  detect::CardInfo info = op.state.cardInfo;
  const auto outcome = detect::ProbeCard(op.link, kWsWriter, info);
  if (op.stopRequested()) return Step::Stopped;
  op.window.CardProbed(info, outcome);
  if (outcome == detect::ProbeOutcome::DeviceError) {
    failure = "Linking Fail";
    return Step::Failed;
  }
  if (requireFlashCard && info.flashChip != protocol::kWsFlashCardId) {
    failure = "Card is not inserted right or FLASH ROM is not supported";
    return Step::Failed;
  }
  return Step::Ok;
}

namespace {

constexpr int kLargestSize = 512;  // 8 KiB units of a 4 MiB card

}  // namespace

std::optional<ops::Result> ReadCardBlocks(ops::Operation& op, ops::RepeatedReads& reads, const BlockTaker& take) {
  const auto fail = [&op](const std::string& text) { return Finish(op, ops::Outcome::Failed, text); };
  std::string failure;
  const Step checked = CheckWsCard(op, false, failure);
  if (auto end = EndOnStep(op, checked, "Linking Error")) return *end;
  const int size = detect::QueryWsRomSize(op.link);
  if (op.stopRequested()) return Stopped();
  // A size that fails its check, an empty card and a size beyond the card are not read:
  // they would give a file that looks like an image and is none.
  if (size <= 0 || size > kLargestSize) return fail("Reading Error");
  const auto blocks = static_cast<unsigned>(size / 4);

  // A verify finds the stage its write expected.
  ProgressMeter meter = op.progress.ExpectOnce(ops::WorkKind::Read, blocks * kBlockSize, true, reads.passes());
  std::vector<std::uint8_t> buffer(kBlockSize);
  for (unsigned i = 0; i < blocks; ++i) {
    if (op.stopRequested()) return Stopped();
    protocol::Send(op.link, protocol::WsBankRegister(protocol::kWsReadBankRegister, static_cast<std::uint8_t>(i >> 1)));
    op.link.SetMode(i % 2 == 0 ? protocol::kWsModeReadLow : protocol::kWsModeReadHigh);
    const bool last = i + 1 == blocks;
    const Step read = reads.Read(buffer, [&op, last](std::span<std::uint8_t> bytes) {
      const int received = op.link.ReadBlock(protocol::kWsWindow, bytes);
      // The last block received whole completes the image, whatever stop came meanwhile.
      if (op.stopRequested() && !(last && received == 0)) return Step::Stopped;
      return received == 0 ? Step::Ok : Step::Failed;
    });
    if (read == Step::Stopped) return Stopped();
    if (read == Step::Failed) return fail(reads.differed() ? ops::ReadDifferently("block", i) : "Reading Error");
    if (const std::string taken = take(i, blocks, buffer); !taken.empty()) return fail(taken);
    meter.Advance(kBlockSize);
  }
  // A bank register or mode that did not reach the writer would have read the wrong blocks.
  if (op.link.lostContact()) return fail(std::string(ops::kLinkLost));
  return std::nullopt;
}

namespace {

// One erase command; the writer is waited for without the usual read limit, and may be
// silent while the sector erases.
void EraseSector(link::Link& link, std::uint8_t mode, std::uint8_t addressHigh) {
  protocol::Send(link, protocol::WsSectorErase(mode, addressHigh));
  const link::Link::BusyWait wait(link);
  link.SendClock();
  link.SendClock();
}

// The writer's status after an erase; Stopped when a stop kept the query from being asked.
Step EraseStatus(ops::Operation& op) {
  const int status = op.link.QueryState6();
  if (op.stopRequested()) return Step::Stopped;
  return status == protocol::kStateDone ? Step::Ok : Step::Failed;
}

}  // namespace

void SelectWriteBank(link::Link& link, unsigned block) {
  protocol::Send(link, protocol::WsBankRegister(protocol::kWsWriteBankRegister, static_cast<std::uint8_t>(block >> 1)));
}

Step EraseBeforeBlock(ops::Operation& op, unsigned block, const std::string& upperLabel) {
  if (op.stopRequested()) return Step::Stopped;
  if (block % 2 == 0) {
    op.link.SetMode(protocol::kWsModeWriteLow);
    ops::CardChanges(op);
    EraseSector(op.link, protocol::kWsModeWriteLow, protocol::kWsSectorAtWindow);
  }
  const Step bankStatus = EraseStatus(op);
  if (bankStatus != Step::Ok) return bankStatus;
  // The top 64 KiB of each 2 MiB half is split into smaller sectors: those of its upper
  // 32 KiB are erased one by one.
  if ((block & 0x3F) == 0x3F) {
    if (!upperLabel.empty()) op.window.SetWork(upperLabel);
    op.link.SetMode(protocol::kWsModeWriteHigh);
    for (const std::uint8_t addressHigh : protocol::kWsTopSectors) {
      if (op.stopRequested()) return Step::Stopped;
      EraseSector(op.link, protocol::kWsModeWriteHigh, addressHigh);
    }
    return EraseStatus(op);
  }
  return Step::Ok;
}

double EraseWork(unsigned block) {
  const std::size_t sectors = (block % 2 == 0 ? 1 : 0) + ((block & 0x3F) == 0x3F ? protocol::kWsTopSectors.size() : 0);
  return static_cast<double>(sectors) * 2 * kBlockSize;
}

double EraseWorkPerByte(unsigned first) {
  double work = 0;
  for (unsigned b = first; b < kBlocks; ++b) work += EraseWork(b);
  return work / static_cast<double>((kBlocks - first) * kBlockSize);
}

void SelectSaveMemory(link::Link& link) {
  protocol::Send(link, protocol::kWsSaveMemoryOpen);
  protocol::Send(link, protocol::WsBankRegister(protocol::kWsSaveBankRegister, 0));
  link.SetMode(protocol::kWsModeSave);
}

std::optional<std::vector<std::uint8_t>> ReadSaveMemory(link::Link& link) {
  std::vector<std::uint8_t> buffer(kSaveSize);
  SelectSaveMemory(link);
  if (link.ReadBlock(protocol::kWsWindow, buffer) != 0) return std::nullopt;
  return buffer;
}

std::optional<ops::Result> KeepSaveCopy(ops::Operation& op, bool requireFlashCard) {
  if (!op.state.keepSaveCopies) return std::nullopt;
  if (op.stopRequested()) return Stopped();
  op.window.SetWork(std::string(ops::kBackupWork));
  ProgressMeter meter = op.progress.Expect(ops::WorkKind::Read, kSaveSize, false);
  auto bytes = ReadSaveMemory(op.link);
  if (op.stopRequested()) return Stopped();
  if (op.link.lostContact()) bytes.reset();
  if (bytes) meter.Advance(kSaveSize);
  if (auto end = ops::KeepCopy(op, ops::kWholeCardTitle, bytes)) return end;
  std::string failure;
  const Step checked = CheckWsCard(op, requireFlashCard, failure);
  return EndOnStep(op, checked, failure);
}

Step ClearSaveAndFinish(ops::Operation& op, ProgressMeter& meter) {
  if (op.stopRequested()) return Step::Stopped;
  const std::vector<std::uint8_t> zeros(kSaveSize, 0x00);
  SelectSaveMemory(op.link);
  op.window.SetWork("Earsing RAM");
  op.link.WriteBlock(protocol::kOpWriteMemory, protocol::kWsWindow, zeros);
  op.link.WriteBlock(protocol::kOpWsWriteSaveChecked, protocol::kWsWindow, zeros);
  const int status = op.link.QueryState6();
  // The save memory cleared and confirmed completes the work, whatever stop came meanwhile;
  // the commands that end writing are then kept back, as everything after a stop.
  if (op.stopRequested() && status != protocol::kStateDone) return Step::Stopped;
  if (status != protocol::kStateDone) return Step::Failed;
  meter.Advance(kSaveSize);
  SelectWriteBank(op.link, 0);
  protocol::Send(op.link, protocol::kWsEndOfWriting);
  return Step::Ok;
}

}  // namespace quillon::ws
