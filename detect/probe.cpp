#include "detect/probe.h"

#include "detect/gb_probe.h"

namespace quillon::detect {

ProbeOutcome ProbeCard(link::Link& link, int writerType, CardInfo& info) {
  switch (writerType) {
    case static_cast<int>(WriterType::Gb):
    case static_cast<int>(WriterType::GbPassword):
      return ProbeGbCard(link, writerType, info);
    case static_cast<int>(WriterType::Ws):
      return ProbeWsCard(link, info);
    default:
      return ProbeOutcome::NotProbed;
  }
}

}  // namespace quillon::detect
