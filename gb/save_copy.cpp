// SPDX-License-Identifier: GPL-3.0-or-later
#include "gb/save_copy.h"

#include <vector>

#include "ops/save_backups.h"

namespace quillon::gb {

namespace {

constexpr int kCardSaveBanks = 16;

}  // namespace

SaveMemory WholeFlashCardSave() {
  SaveMemory memory;
  memory.banks = kCardSaveBanks;
  memory.bankBytes = kRamBankSize;
  return memory;
}

BankRead ReadSaveBanks(ops::Operation& op, const SaveMemory& memory,
                       const std::function<bool(std::span<const std::uint8_t>)>& take) {
  std::vector<std::uint8_t> buffer(kRamBankSize);
  for (int i = 0; i < memory.banks; ++i) {
    if (op.stopRequested()) return BankRead::Stopped;
    op.link.WriteByte(protocol::kSaveBankRegister, static_cast<std::uint8_t>((memory.firstBank + i) & 0xFF));
    const int received = op.link.ReadBlock(protocol::kSaveWindow, buffer);
    const int status = op.link.QueryState3();
    if (op.stopRequested()) {
      // The last bank received whole: its status query may have been kept back by the stop.
      if (i + 1 < memory.banks || received != 0) return BankRead::Stopped;
    } else if (received != 0 || status != protocol::kStateDone) {
      return BankRead::Failed;
    }
    if (!take(std::span(buffer).first(memory.bankBytes))) return BankRead::TakeFailed;
  }
  return BankRead::Ok;
}

std::optional<ops::Result> KeepSaveCopy(ops::Operation& op, const SaveMemory& memory, const std::string& title,
                                        const CheckAgain& checkAgain) {
  if (!op.state.keepSaveCopies || memory.banks == 0) return std::nullopt;
  if (op.stopRequested()) return Stopped();
  op.window.SetWork(std::string(ops::kBackupWork));
  ProgressMeter meter = op.progress.Expect(ops::WorkKind::Read, memory.fileBytes(), false);
  std::vector<std::uint8_t> copy;
  copy.reserve(memory.fileBytes());
  SaveMemoryAccess access(op.link, memory);
  access.Open();
  const BankRead read = ReadSaveBanks(op, memory, [&](std::span<const std::uint8_t> bank) {
    copy.insert(copy.end(), bank.begin(), bank.end());
    meter.Advance(bank.size());
    return true;
  });
  access.Close();
  if (op.stopRequested()) return Stopped();
  const bool whole = read == BankRead::Ok && !op.link.lostContact();
  if (auto end = ops::KeepCopy(op, title, whole ? std::optional(std::move(copy)) : std::nullopt)) return end;
  return checkAgain();
}

}  // namespace quillon::gb
