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
  if (requireFlashCard && info.flashChip != protocol::kWsFlashCardId) {
    failure = "Card is not inserted right or FLASH ROM is not supported";
    return Step::Failed;
  }
  return Step::Ok;
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
  ProgressMeter meter(op.window, kSaveSize);
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
