#include "detect/chips.h"
#include "detect/probe.h"

namespace quillon::detect {

namespace {

// Every attempt starts from normal reading with the chip chosen by chipSelect in bank 0.
void preamble(link::Link& link, const CardInfo& info) {
  link.SetControl(2, 15, 0, 0);
  link.WriteByte(0xA000, 0x80);
  link.WriteByte(0x0000, static_cast<std::uint8_t>(info.chipSelect));
  link.SetBank(0);
}

int readIdBytes(link::Link& link, CardInfo& info) {
  link.ReadBlock(0x4000, info.idBytes);  // a garbled answer simply fails the look-up
  return FindChip(info.idBytes);
}

}  // namespace

// The chips answer their identification in four different ways; the first way whose
// bytes are found in the chip table wins.
int IdentifyChip(link::Link& link, CardInfo& info) {
  auto lock = link.exclusive();

  // 1: read-identifier command written straight to the chip.
  preamble(link, info);
  link.WriteByte(0x4000, 0x90);
  int row = readIdBytes(link, info);
  link.WriteByte(0x4000, 0xFF);
  if (row >= 0) return row;

  // 2 and 3: the writer sends one of two unlock-and-identify sequences.
  for (std::uint8_t sequence : {std::uint8_t{3}, std::uint8_t{4}}) {
    preamble(link, info);
    link.SetControl(2, sequence, 0, 0);
    row = readIdBytes(link, info);
    link.SetControl(2, 5, 0, 0);
    if (row >= 0) return row;
  }

  // 4: with the programming voltage on.
  preamble(link, info);
  link.SetControl(2, 9, 0, 0);
  link.WriteByte(0x4000, 0x90);
  row = readIdBytes(link, info);
  link.WriteByte(0x4000, 0x00);
  link.SetControl(2, 10, 0, 0);
  return row;
}

}  // namespace quillon::detect
