// SPDX-License-Identifier: GPL-3.0-or-later
#include "detect/gb_probe.h"

namespace quillon::detect {

namespace {

constexpr int kLargestSizeCode = 28;  // 2^(28+2) units of 8 KiB: the most an int holds

ProbeOutcome ProbeWs(link::Link& link, CardInfo& info) {
  const auto noAnswer = [&info] {
    info.flashChip = info.biosChip = info.kind = kNoAnswer;
    return ProbeOutcome::DeviceError;
  };
  if (link.CheckDevice() != 0) return noAnswer();

  // The writer reads the card's identification; it may take a while before it is ready
  // again, so the waits go without the usual read limit.
  protocol::Send(link, protocol::kWsIdentificationLatch);
  link.SendClock();
  link.SendClock();
  if (!protocol::SendHeader(link, protocol::kWsIdentityAnswer)) return noAnswer();
  link.SendClock();
  const std::uint8_t a = link.ReceiveByte();
  const std::uint8_t b = link.ReceiveByte();
  const std::uint8_t c = link.ReceiveByte();

  if (c != (link::kCheckSeed ^ a ^ b)) {
    info.flashChip = info.biosChip = info.kind = kNoAnswer;
    return ProbeOutcome::Probed;
  }
  info.flashChip = b * 256 + a;
  info.biosChip = -1;
  info.kind = (a != 0 && b != 0) ? kFlashCard : kOrdinaryCartridge;
  return ProbeOutcome::Probed;
}

}  // namespace

ProbeOutcome ProbeWsCard(link::Link& link, CardInfo& info) {
  auto lock = link.exclusive();
  const link::Link::ContactWatch watch(link);
  return UnlessContactLost(watch, ProbeWs(link, info), info);
}

int QueryWsRomSize(link::Link& link) {
  auto lock = link.exclusive();
  protocol::Send(link, protocol::kWsSizeQueryOpen);
  link.SetMode(protocol::kWsModeReadHigh);
  (void)link.ReadByte(protocol::kWsSizeByteAddress);
  protocol::Send(link, protocol::kWsSizeQueryClose);
  link.SendClock();
  link.SendClock();
  if (!protocol::SendHeader(link, protocol::kWsSizeAnswer)) return -1;
  link.SendByte(protocol::kAnswerPrompt);
  const std::uint8_t code = link.ReceiveByte();
  const std::uint8_t check = link.ReceiveByte();
  if (check != (code ^ link::kCheckSeed)) return -1;
  if (code == 0) return 0;
  // 2^(code+2) units of 8 KB; larger codes would not fit the result, nor any card.
  if (code > kLargestSizeCode) return -1;
  return 1 << (code + 2);
}

}  // namespace quillon::detect
