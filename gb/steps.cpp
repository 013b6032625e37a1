#include "gb/steps.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "detect/probe.h"

namespace quillon::gb {

namespace {

constexpr int kBlockErasePolls = 18000;
constexpr int kPiecePolls = 500;
constexpr int kPieceAttempts = 10;
constexpr int kBiosEraseRounds = 3000;
constexpr std::uint8_t kEraseDoneStatus = 0x80;  // the chip's status byte once a block is erased

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

void PrepareCard(link::Link& link, ChipMethod flashMethod) {
  link.WriteByte(0xC080, 1);
  link.WriteByte(0x0000, kPresentBios);
  link.WriteByte(0xA000, 0x80);  // programming enabled
  link.WriteByte(0x0000, kPresentFlash);
  if (flashMethod == ChipMethod::Method2) link.SetControl(2, 9, 0, 0);
}

void FlashVoltageOff(link::Link& link, ChipMethod flashMethod) {
  if (flashMethod == ChipMethod::Method2) link.SetControl(2, 10, 0, 0);
}

Step EraseFlashBlock(ops::Operation& op, ChipMethod method, unsigned block, ProgressMeter& meter) {
  if (op.stopRequested()) return Step::Stopped;
  const unsigned start = block * static_cast<unsigned>(kBlockSize);
  op.window.SetWork(Format("Earsing ROM : 0x%06X - 0x%06X", start, start + 0xFFFF));
  const auto firstBank = static_cast<std::uint8_t>(4 * block);
  // Methods 0 and 2 report through the chip's status byte in the bank window, method 1
  // through the writer's status.
  const bool statusByte = method != ChipMethod::Method1;
  op.link.SetControl(2, statusByte ? 11 : 7, firstBank, 0);
  for (int poll = 0; poll < kBlockErasePolls; ++poll) {
    if (op.stopRequested()) return Step::Stopped;
    meter.Waiting();
    if (statusByte) {
      if (op.link.ReadByte(0x4000) == kEraseDoneStatus) {
        op.link.WriteByte(0x4000, 0xFF);  // back to reading the array
        meter.Advance(kBlockSize);
        return Step::Ok;
      }
    } else if (op.link.QueryState3() == 0) {
      meter.Advance(kBlockSize);
      return Step::Ok;
    }
  }
  return op.stopRequested() ? Step::Stopped : Step::Failed;
}

Step EraseBiosChip(ops::Operation& op, ChipMethod method, ProgressMeter& meter) {
  if (op.stopRequested()) return Step::Stopped;
  switch (method) {
    case ChipMethod::Method1:
      return Step::Ok;
    case ChipMethod::Method0: {
      op.window.SetWork("Earsing BIOS");
      op.link.SetControl(2, 14, 0, 0);
      op.link.DelayTicks(65535);
      for (int round = 0; round < kBiosEraseRounds; ++round) {
        if (op.stopRequested()) return Step::Stopped;
        meter.Waiting();
        op.link.DelayTicks(1000);
        if (op.link.QueryState3() == 0) break;
      }
      if (op.stopRequested()) return Step::Stopped;
      if (op.link.QueryState3() != 0) return op.stopRequested() ? Step::Stopped : Step::Failed;
      return Step::Ok;
    }
    case ChipMethod::Method2: {
      op.window.SetWork("Earsing BIOS");
      op.link.SetBank(0);
      op.link.SetControl(2, 6, 0, 0);
      std::vector<std::uint8_t> check(kBankSize);
      for (int poll = 0; poll < kBlockErasePolls; ++poll) {
        if (op.stopRequested()) return Step::Stopped;
        meter.Waiting();
        if (op.link.QueryState3() != 0) continue;
        // Done by its status: only a correctly received, fully erased bank 0 counts.
        op.link.SetBank(0);
        const bool received = op.link.ReadBlock(0x4000, check) == 0;
        if (received && std::all_of(check.begin(), check.end(), [](std::uint8_t b) { return b == 0xFF; }))
          return Step::Ok;
      }
      return op.stopRequested() ? Step::Stopped : Step::Failed;
    }
  }
  return Step::Failed;
}

Step PollPiece(ops::Operation& op, ProgressMeter& meter) {
  for (int polls = 1;; ++polls) {
    if (op.stopRequested()) return Step::Stopped;
    meter.Waiting();
    const int status = op.link.QueryState3();
    if (op.stopRequested()) return Step::Stopped;
    if (polls >= kPiecePolls) return Step::Failed;
    if (status == 0) return Step::Ok;
  }
}

Step ProgramBiosPieces(ops::Operation& op, std::span<const std::uint8_t> image, std::uint8_t opcode, bool verify,
                       bool voltageOffOnFailure, ProgressMeter& meter) {
  const auto fail = [&] {
    if (voltageOffOnFailure) op.link.SetControl(2, 10, 0, 0);
    return Step::Failed;
  };
  const std::size_t piecesPerBank = kBankSize / kPieceSize;
  const std::size_t pieces = image.size() / kPieceSize;
  std::array<std::uint8_t, kPieceSize> readBack{};
  for (std::size_t p = 0; p < pieces; ++p) {
    if (op.stopRequested()) return Step::Stopped;
    if (p % piecesPerBank == 0) op.link.SetBank(static_cast<std::uint8_t>(p / piecesPerBank));
    const auto address = static_cast<std::uint16_t>(0x4000 + kPieceSize * (p % piecesPerBank));
    const auto piece = image.subspan(p * kPieceSize, kPieceSize);
    bool done = false;
    for (int attempt = 0; attempt < kPieceAttempts && !done; ++attempt) {
      op.link.WriteBlock(opcode, address, piece);
      Step step = PollPiece(op, meter);
      if (step == Step::Stopped) return step;
      if (step == Step::Failed) return fail();
      if (!verify) {
        done = true;
        break;
      }
      op.link.ReadBlock(address, readBack);  // a garbled answer simply compares unequal
      step = PollPiece(op, meter);
      if (step == Step::Stopped) return step;
      if (step == Step::Failed) return fail();
      done = std::equal(piece.begin(), piece.end(), readBack.begin());
    }
    if (!done) return op.stopRequested() ? Step::Stopped : fail();
    meter.Advance(kPieceSize);
  }
  return Step::Ok;
}

}  // namespace quillon::gb
