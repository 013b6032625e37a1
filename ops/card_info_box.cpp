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

void CardInfoBox::OperationEnded(CardOperation operation, Outcome outcome) {
  Unfinished work = Unfinished::None;
  switch (operation) {
    case CardOperation::WriteGbCard:
    case CardOperation::WriteWsCard:
      work = Unfinished::Write;
      break;
    case CardOperation::EraseGbCard:
    case CardOperation::EraseWsCard:
      work = Unfinished::Erase;
      break;
    case CardOperation::ReadGbCard:
    case CardOperation::BackupGbRam:
    case CardOperation::RestoreGbRam:
    case CardOperation::ReadWsCard:
    case CardOperation::BackupWsRam:
    case CardOperation::RestoreWsRam:
      return;
  }
  switch (outcome) {
    case Outcome::Success:
      unfinished_ = Unfinished::None;
      break;
    case Outcome::Failed:
    case Outcome::Stopped:
      unfinished_ = work;
      break;
    case Outcome::Cancelled:
      break;
  }
}

std::vector<std::string> CardInfoBox::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(probeLines_.size() + 2);
  if (unfinished_ == Unfinished::Write) lines.emplace_back(kWriteUnfinished);
  if (unfinished_ == Unfinished::Erase) lines.emplace_back(kEraseUnfinished);
  if (writerSilent_) lines.emplace_back(kWriterSilent);
  lines.insert(lines.end(), probeLines_.begin(), probeLines_.end());
  return lines;
}

}  // namespace quillon::ops
