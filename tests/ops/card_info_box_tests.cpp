// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window's card information box says: the last probe's text, and above it a
// write or erase that did not finish and a writer that did not answer.
#include "ops/card_info_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon::ops {
namespace {

using Lines = std::vector<std::string>;
using detect::ProbeOutcome;

const std::string kWrite(kWriteUnfinished);
const std::string kErase(kEraseUnfinished);
const std::string kSilent(kWriterSilent);

detect::CardInfo EmptyFlashCard() {
  detect::CardInfo info;
  info.kind = detect::kFlashCard;
  info.count = 0;
  return info;
}

CardInfoBox Answered() {
  CardInfoBox box;
  box.Probed(ProbeOutcome::Probed, EmptyFlashCard(), library::WriterType::Gb);
  return box;
}

TEST(CardInfoBox, Probed_ShowsTheCardInformationText) {
  const Lines probe = detect::CardInfoLines(EmptyFlashCard(), library::WriterType::Gb);
  ASSERT_FALSE(probe.empty());
  EXPECT_EQ(Answered().Lines(), probe);
}

// Each row: what ended, how, starting from a box that says `before`; the note it says after.
TEST(CardInfoBox, OperationEnded_NoteOfAWriteOrEraseThatDidNotFinish) {
  struct Case {
    const char* name;
    std::string before;  // the note before: "", kWrite or kErase
    CardOperation operation;
    Outcome outcome;
    std::string after;
  };
  const Case cases[] = {
      {"GB write fails", "", CardOperation::WriteGbCard, Outcome::Failed, kWrite},
      {"WS write stopped", "", CardOperation::WriteWsCard, Outcome::Stopped, kWrite},
      {"GB erase stopped", "", CardOperation::EraseGbCard, Outcome::Stopped, kErase},
      {"WS erase fails", "", CardOperation::EraseWsCard, Outcome::Failed, kErase},
      {"a failed erase after a failed write", kWrite, CardOperation::EraseGbCard, Outcome::Failed, kErase},
      {"a successful write ends an erase's note", kErase, CardOperation::WriteGbCard, Outcome::Success, ""},
      {"a successful erase ends a write's note", kWrite, CardOperation::EraseWsCard, Outcome::Success, ""},
      {"a cancelled write keeps the note", kErase, CardOperation::WriteWsCard, Outcome::Cancelled, kErase},
      {"a successful read keeps the note", kWrite, CardOperation::ReadGbCard, Outcome::Success, kWrite},
      {"a failed read adds none", "", CardOperation::ReadWsCard, Outcome::Failed, ""},
      {"a failed save restore adds none", "", CardOperation::RestoreGbRam, Outcome::Failed, ""},
      {"a successful backup keeps the note", kErase, CardOperation::BackupWsRam, Outcome::Success, kErase},
  };
  const Lines probe = Answered().Lines();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CardInfoBox box = Answered();
    if (c.before == kWrite) box.OperationEnded(CardOperation::WriteGbCard, Outcome::Failed);
    if (c.before == kErase) box.OperationEnded(CardOperation::EraseGbCard, Outcome::Failed);
    box.OperationEnded(c.operation, c.outcome);
    Lines expected;
    if (!c.after.empty()) expected.push_back(c.after);
    expected.insert(expected.end(), probe.begin(), probe.end());
    EXPECT_EQ(box.Lines(), expected);
  }
}

TEST(CardInfoBox, WriterSilent_SaidAboveTheKeptTextUntilItAnswers) {
  CardInfoBox box = Answered();
  const Lines probe = box.Lines();
  box.OperationEnded(CardOperation::WriteGbCard, Outcome::Failed);
  box.Probed(ProbeOutcome::DeviceError, detect::CardInfo{}, library::WriterType::Gb);
  Lines expected{kWrite, kSilent};
  expected.insert(expected.end(), probe.begin(), probe.end());
  EXPECT_EQ(box.Lines(), expected);

  box.Probed(ProbeOutcome::NotProbed, detect::CardInfo{}, library::WriterType::Ws);  // changes nothing
  EXPECT_EQ(box.Lines(), expected);

  box.Clear();  // the probe's text goes, the note of the write stays
  EXPECT_EQ(box.Lines(), Lines{kWrite});

  box.Probed(ProbeOutcome::Probed, EmptyFlashCard(), library::WriterType::Gb);
  expected = {kWrite};
  expected.insert(expected.end(), probe.begin(), probe.end());
  EXPECT_EQ(box.Lines(), expected);
}

}  // namespace
}  // namespace quillon::ops
