#include "detect/gb_probe.h"

namespace quillon::detect {

ProbeOutcome ProbeWsCard(link::Link& link, CardInfo& info) {
  auto lock = link.exclusive();
  const auto noAnswer = [&info] {
    info.flashChip = info.biosChip = info.kind = kNoAnswer;
    return ProbeOutcome::DeviceError;
  };
  if (link.CheckDevice() != 0) return noAnswer();

  // The writer reads the card's identification; it may take a while before it is ready
  // again, so the waits go without the usual read limit.
  link.SetControl(2, 17, 36, 0);
  link.SendClock();
  link.SendClock();
  if (!link.SendHeader(6, 5, 0, 0, 0, "SetControl")) return noAnswer();
  link.SendClock();
  const std::uint8_t a = link.ReceiveByte();
  const std::uint8_t b = link.ReceiveByte();
  const std::uint8_t c = link.ReceiveByte();

  if (c != (0x81 ^ a ^ b)) {
    info.flashChip = info.biosChip = info.kind = kNoAnswer;
    return ProbeOutcome::Probed;
  }
  info.flashChip = b * 256 + a;
  info.biosChip = -1;
  info.kind = (a != 0 && b != 0) ? kFlashCard : kOrdinaryCartridge;
  return ProbeOutcome::Probed;
}

int QueryWsRomSize(link::Link& link) {
  auto lock = link.exclusive();
  link.SetControl(2, 14, 0, 0);
  link.SetMode(0x27);
  (void)link.ReadByte(0xFFFC);
  link.SetControl(2, 15, 0, 0);
  link.SendClock();
  link.SendClock();
  if (!link.SendHeader(6, 7, 0, 0, 0, "SetControl")) return -1;
  link.SendByte(0x00);
  const std::uint8_t code = link.ReceiveByte();
  const std::uint8_t check = link.ReceiveByte();
  if (check != (code ^ 0x81)) return -1;
  if (code == 0) return 0;
  // 2^(code+2) units of 8 KB; codes beyond 28 would not fit the result, nor any card.
  if (code > 28) return -1;
  return 1 << (code + 2);
}

}  // namespace quillon::detect
