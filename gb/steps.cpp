// SPDX-License-Identifier: GPL-3.0-or-later
#include "gb/steps.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "detect/probe.h"
#include "ops/journal.h"

namespace quillon::gb {

namespace {

constexpr int kBlockErasePolls = 18000;
constexpr int kPiecePolls = 500;
constexpr int kPieceAttempts = 10;
constexpr int kBiosEraseRounds = 3000;

}  // namespace

ChipMethods MethodsOf(const detect::CardInfo& info) {
  return {detect::kChipTable[static_cast<std::size_t>(info.flashChip)].method,
          detect::kChipTable[static_cast<std::size_t>(info.biosChip)].method};
}

Step CheckCard(ops::Operation& op, ChipMethods& methods, std::string& failure) {
  if (op.link.CheckDevice() != 0) {
    if (op.stopRequested()) return Step::Stopped;
    failure = "Linking Fail";
    return Step::Failed;
  }
  detect::CardInfo info = op.state.cardInfo;
  const auto outcome = detect::ProbeCard(op.link, op.state.writerType(), info);
  if (op.stopRequested()) return Step::Stopped;
  op.window.CardProbed(info, outcome);
  if (outcome == detect::ProbeOutcome::DeviceError) {
    failure = "Linking Fail";
    return Step::Failed;
  }
  const auto known = [](std::int32_t row) {
    return row >= 0 && row < static_cast<std::int32_t>(detect::kChipTable.size());
  };
  if (!known(info.flashChip) || !known(info.biosChip)) {
    failure = "Card is not inserted right or FLASH ROM is not supported";
    return Step::Failed;
  }
  methods = MethodsOf(info);
  return Step::Ok;
}

std::optional<ops::Result> CheckCardAgain(ops::Operation& op, ChipMethods& methods) {
  std::string failure;
  const Step checked = CheckCard(op, methods, failure);
  return EndOnStep(op, checked, failure);
}

void ProgrammingVoltage::On() {
  const std::uint64_t before = link_.commandsStarted();
  protocol::Send(link_, protocol::kVoltageOn);
  on_ = on_ || link_.commandsStarted() != before;
}

void ProgrammingVoltage::Off() {
  if (!on_) return;
  on_ = false;
  const link::Link::ClosingCommands closing(link_);
  protocol::Send(link_, protocol::kVoltageOff);
}

void PrepareCard(link::Link& link, ChipMethod flashMethod, ProgrammingVoltage& voltage) {
  protocol::Send(link, protocol::kRegisterPatternMode);
  protocol::Send(link, protocol::kPresentBiosRom);
  protocol::Send(link, protocol::kProgrammingEnable);
  protocol::Send(link, protocol::kPresentFlashRom);
  if (flashMethod == ChipMethod::ChipStatusWithVoltage) voltage.On();
}

Step EraseFlashBlock(ops::Operation& op, ChipMethod method, unsigned block, ProgressMeter& meter) {
  if (op.stopRequested()) return Step::Stopped;
  const unsigned start = block * static_cast<unsigned>(kBlockSize);
  op.window.SetWork(Format("Earsing ROM : 0x%06X - 0x%06X", start, start + unsigned{kBlockSize} - 1));
  const auto firstBank = static_cast<std::uint8_t>(kBanksPerBlock * block);
  // The chip's status byte in the bank window tells the end of the erase, or the writer's
  // status does.
  const bool statusByte = method != ChipMethod::WriterStatus;
  ops::CardChanges(op);
  protocol::Send(op.link, statusByte ? protocol::BlockEraseByStatusByte(firstBank)
                                     : protocol::BlockEraseByWriterStatus(firstBank));
  const link::Link::BusyWait wait(op.link);
  for (int poll = 0; poll < kBlockErasePolls; ++poll) {
    if (op.stopRequested()) return Step::Stopped;
    meter.Waiting();
    if (statusByte) {
      if (op.link.ReadByte(protocol::kBankWindow) == protocol::kBlockEraseDone) {
        protocol::Send(op.link, protocol::kChipReadArray);
        meter.Advance(kBlockSize);
        return Step::Ok;
      }
    } else if (op.link.QueryState3() == protocol::kStateDone) {
      meter.Advance(kBlockSize);
      return Step::Ok;
    }
  }
  return op.stopRequested() ? Step::Stopped : Step::Failed;
}

Step EraseBiosChip(ops::Operation& op, ChipMethod method, ProgressMeter& meter) {
  if (op.stopRequested()) return Step::Stopped;
  switch (method) {
    case ChipMethod::WriterStatus:
      return Step::Ok;
    case ChipMethod::ChipStatus: {
      op.window.SetWork("Earsing BIOS");
      ops::CardChanges(op);
      protocol::Send(op.link, protocol::kBiosChipErase);
      const link::Link::BusyWait wait(op.link);
      op.link.DelayTicks(kSecondTicks);
      for (int round = 0; round < kBiosEraseRounds; ++round) {
        if (op.stopRequested()) return Step::Stopped;
        meter.Waiting();
        op.link.DelayTicks(kPollTicks);
        if (op.link.QueryState3() == protocol::kStateDone) break;
      }
      if (op.stopRequested()) return Step::Stopped;
      if (op.link.QueryState3() != protocol::kStateDone) return op.stopRequested() ? Step::Stopped : Step::Failed;
      return Step::Ok;
    }
    case ChipMethod::ChipStatusWithVoltage: {
      op.window.SetWork("Earsing BIOS");
      op.link.SetBank(0);
      ops::CardChanges(op);
      protocol::Send(op.link, protocol::kBiosChipEraseByWriter);
      const link::Link::BusyWait wait(op.link);
      std::vector<std::uint8_t> check(kBankSize);
      const auto erased = [](std::uint8_t b) { return b == protocol::kErasedByte; };
      for (int poll = 0; poll < kBlockErasePolls; ++poll) {
        if (op.stopRequested()) return Step::Stopped;
        meter.Waiting();
        if (op.link.QueryState3() != protocol::kStateDone) continue;
        // Done by its status: only a correctly received, fully erased bank 0 counts.
        op.link.SetBank(0);
        const bool received = op.link.ReadBlock(protocol::kBankWindow, check) == 0;
        if (received && std::all_of(check.begin(), check.end(), erased)) return Step::Ok;
      }
      return op.stopRequested() ? Step::Stopped : Step::Failed;
    }
  }
  return Step::Failed;
}

Step PollPiece(ops::Operation& op, ProgressMeter& meter) {
  const link::Link::BusyWait wait(op.link);
  for (int polls = 1;; ++polls) {
    if (op.stopRequested()) return Step::Stopped;
    meter.Waiting();
    const int status = op.link.QueryState3();
    const bool done = status == protocol::kStateDone && polls < kPiecePolls;
    // A piece the writer reported done is programmed, whatever stop came meanwhile.
    if (op.stopRequested() && !done) return Step::Stopped;
    if (polls >= kPiecePolls) return Step::Failed;
    if (done) return Step::Ok;
  }
}

Step ReadBank(ops::Operation& op, std::uint16_t address, std::span<std::uint8_t> bytes, bool last) {
  const int received = op.link.ReadBlock(address, bytes);
  const int status = op.link.QueryState3();
  if (op.stopRequested()) return last && received == 0 ? Step::Ok : Step::Stopped;
  return received == 0 && status == protocol::kStateDone ? Step::Ok : Step::Failed;
}

Step ProgramBiosPieces(ops::Operation& op, std::span<const std::uint8_t> image, std::uint8_t opcode, bool verify,
                       ProgressMeter& meter) {
  const std::size_t piecesPerBank = kBankSize / kPieceSize;
  const std::size_t pieces = image.size() / kPieceSize;
  std::array<std::uint8_t, kPieceSize> readBack{};
  for (std::size_t p = 0; p < pieces; ++p) {
    if (op.stopRequested()) return Step::Stopped;
    if (p % piecesPerBank == 0) op.link.SetBank(static_cast<std::uint8_t>(p / piecesPerBank));
    const auto address = static_cast<std::uint16_t>(protocol::kBankWindow + kPieceSize * (p % piecesPerBank));
    const auto piece = image.subspan(p * kPieceSize, kPieceSize);
    bool done = false;
    for (int attempt = 0; attempt < kPieceAttempts && !done; ++attempt) {
      ops::CardChanges(op);
      op.link.WriteBlock(opcode, address, piece);
      // A piece that did not reach the writer whole is not waited for: the writer is lost.
      if (op.link.lostContact()) return Step::Failed;
      Step step = PollPiece(op, meter);
      if (step != Step::Ok) return step;
      if (!verify) {
        done = true;
        break;
      }
      op.link.ReadBlock(address, readBack);  // a garbled answer simply compares unequal
      if (op.link.lostContact()) return Step::Failed;
      step = PollPiece(op, meter);
      if (step != Step::Ok) return step;
      done = std::equal(piece.begin(), piece.end(), readBack.begin());
    }
    if (!done) return op.stopRequested() ? Step::Stopped : Step::Failed;
    meter.Advance(kPieceSize);
  }
  return Step::Ok;
}

}  // namespace quillon::gb
