// SPDX-License-Identifier: GPL-3.0-or-later
// The GB and WS halves of the card probe, and the writer protocol they speak.
#pragma once

#include "detect/probe.h"
#include "link/writer_protocol.h"

namespace quillon::detect {

namespace protocol = link::protocol;

ProbeOutcome ProbeGbCard(link::Link& link, WriterType writerType, CardInfo& info);
ProbeOutcome ProbeWsCard(link::Link& link, CardInfo& info);

// A probe during which the writer was lost (a port failure, a byte that timed out) read
// answers that may be damaged: a cartridge taken for a flash card, a save area a quarter of
// its size. Its `outcome` is then the writer not answering (DeviceError, `info` as after a
// failed CheckDevice), whatever it seemed to read; otherwise `outcome`.
ProbeOutcome UnlessContactLost(const link::Link::ContactWatch& watch, ProbeOutcome outcome, CardInfo& info);

}  // namespace quillon::detect
