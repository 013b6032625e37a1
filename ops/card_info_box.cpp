// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/card_info_box.h"

namespace quillon::ops {

void CardInfoBox::Probed(detect::ProbeOutcome outcome, const detect::CardInfo& info, library::WriterType writerType) {
  switch (outcome) {
    case detect::ProbeOutcome::Probed:
      probeLines_ = detect::CardInfoLines(info, writerType);
      writerSilent_ = false;
      break;
    case detect::ProbeOutcome::DeviceError:
      writerSilent_ = true;
      break;
    case detect::ProbeOutcome::NotProbed:
      break;
  }
}

void CardInfoBox::Clear() {
  probeLines_.clear();
  writerSilent_ = false;
}

std::vector<std::string> CardInfoBox::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(unfinished_.size() + probeLines_.size() + 1);
  lines.insert(lines.end(), unfinished_.begin(), unfinished_.end());
  if (writerSilent_) lines.emplace_back(kWriterSilent);
  lines.insert(lines.end(), probeLines_.begin(), probeLines_.end());
  return lines;
}

}  // namespace quillon::ops
