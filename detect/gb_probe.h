// SPDX-License-Identifier: GPL-3.0-or-later
// The GB and WS halves of the card probe, and the writer protocol they speak.
#pragma once

#include "detect/probe.h"
#include "link/writer_protocol.h"

namespace quillon::detect {

namespace protocol = link::protocol;

ProbeOutcome ProbeGbCard(link::Link& link, WriterType writerType, CardInfo& info);
ProbeOutcome ProbeWsCard(link::Link& link, CardInfo& info);

}  // namespace quillon::detect
