// The GB and WS halves of the card probe.
#pragma once

#include "detect/probe.h"

namespace quillon::detect {

ProbeOutcome ProbeGbCard(link::Link& link, WriterType writerType, CardInfo& info);
ProbeOutcome ProbeWsCard(link::Link& link, CardInfo& info);

}  // namespace quillon::detect
