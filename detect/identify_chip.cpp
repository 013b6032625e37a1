// SPDX-License-Identifier: GPL-3.0-or-later
#include "detect/chips.h"
#include "detect/gb_probe.h"

namespace quillon::detect {

namespace {

// Every attempt starts from normal reading with the chip chosen by chipSelect in bank 0.
void preamble(link::Link& link, const CardInfo& info) {
  protocol::Send(link, protocol::kReadState);
  protocol::Send(link, protocol::kProgrammingEnable);
  link.WriteByte(protocol::kChipSelect, static_cast<std::uint8_t>(info.chipSelect));
  link.SetBank(0);
}

int readIdBytes(link::Link& link, CardInfo& info) {
  link.ReadBlock(protocol::kBankWindow, info.idBytes);  // a garbled answer simply fails the look-up
  return FindChip(info.idBytes);
}

}  // namespace

// The chips answer their identification in four different ways; the first way whose
// bytes are found in the chip table wins.
int IdentifyChip(link::Link& link, CardInfo& info) {
  auto lock = link.exclusive();

  // 1: read-identifier command written straight to the chip.
  preamble(link, info);
  protocol::Send(link, protocol::kChipReadIdentifier);
  int row = readIdBytes(link, info);
  protocol::Send(link, protocol::kChipReadArray);
  if (row >= 0) return row;

  // 2 and 3: the writer sends one of two unlock-and-identify sequences.
  for (const protocol::Control& identify : {protocol::kIdentifyAfterUnlock, protocol::kIdentifyAfterLongUnlock}) {
    preamble(link, info);
    protocol::Send(link, identify);
    row = readIdBytes(link, info);
    protocol::Send(link, protocol::kLeaveIdentification);
    if (row >= 0) return row;
  }

  // 4: with the programming voltage on.
  preamble(link, info);
  protocol::Send(link, protocol::kVoltageOn);
  protocol::Send(link, protocol::kChipReadIdentifier);
  row = readIdBytes(link, info);
  protocol::Send(link, protocol::kChipLeaveIdentifier);
  protocol::Send(link, protocol::kVoltageOff);
  return row;
}

}  // namespace quillon::detect
