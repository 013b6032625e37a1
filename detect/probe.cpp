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

}  // namespace quillon::detect
