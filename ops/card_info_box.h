// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window's card information box shows: the card information text of the last
// probe that the writer answered (detect::CardInfoLines), and above it what that text cannot
// tell by itself: that a write or erase of this run of the program did not finish, so the
// card may hold half of what it was given, and that the writer did not answer the last probe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "library/writer_type.h"
#include "ops/command_plan.h"
#include "ops/operation.h"

namespace quillon::ops {

inline constexpr std::string_view kWriteUnfinished = "Last write did not finish: images may be damaged";
inline constexpr std::string_view kEraseUnfinished = "Last erase did not finish";
inline constexpr std::string_view kWriterSilent = "The writer does not answer";

class CardInfoBox {
 public:
  // A card probe ended with `outcome`, leaving `info` for `writerType`. An answer replaces the
  // text with the card information; a writer that did not answer keeps the text as it was and
  // says so above it; a probe that did not run changes nothing.
  void Probed(detect::ProbeOutcome outcome, const detect::CardInfo& info, library::WriterType writerType);

  // Empties the text ("Reread Card Information", another writer type). A write or erase that
  // did not finish is still said.
  void Clear();

  // `operation` ended with `outcome`. A write or erase that failed or was stopped is said until
  // a write or erase succeeds; a cancelled one sent nothing to the card and changes nothing,
  // and neither do the other operations.
  void OperationEnded(CardOperation operation, Outcome outcome);

  // The lines of the box, first to last.
  std::vector<std::string> Lines() const;

 private:
  enum class Unfinished { None, Write, Erase };

  std::vector<std::string> probeLines_;
  bool writerSilent_ = false;
  Unfinished unfinished_ = Unfinished::None;
};

}  // namespace quillon::ops
