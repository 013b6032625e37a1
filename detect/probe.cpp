// SPDX-License-Identifier: GPL-3.0-or-later
#include "detect/probe.h"

#include "detect/gb_probe.h"

namespace quillon::detect {

ProbeOutcome ProbeCard(link::Link& link, WriterType writerType, CardInfo& info) {
  switch (writerType) {
    case WriterType::Gb:
    case WriterType::GbPassword:
      return ProbeGbCard(link, writerType, info);
    case WriterType::Ws:
      return ProbeWsCard(link, info);
    default:
      return ProbeOutcome::NotProbed;
  }
}

ProbeOutcome UnlessContactLost(const link::Link::ContactWatch& watch, ProbeOutcome outcome, CardInfo& info) {
  if (outcome != ProbeOutcome::Probed || !watch.lost()) return outcome;
  info.flashChip = info.biosChip = info.kind = kNoAnswer;
  return ProbeOutcome::DeviceError;
}

}  // namespace quillon::detect
