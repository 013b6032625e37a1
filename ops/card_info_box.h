// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window's card information box shows: the card information text of the last
// probe that the writer answered (detect::CardInfoLines), and above it what that text cannot
// tell by itself: what the journal says of the writer's unfinished work (a write, erase or save
// restore that began changing the card and did not end well, in either program, in this run or
// an earlier one), so the card may hold half of what it was given, and that the writer did not
// answer the last probe.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "library/writer_type.h"

namespace quillon::ops {

inline constexpr std::string_view kWriterSilent = "The writer does not answer";

class CardInfoBox {
 public:
  // A card probe ended with `outcome`, leaving `info` for `writerType`. An answer replaces the
  // text with the card information; a writer that did not answer keeps the text as it was and
  // says so above it; a probe that did not run changes nothing.
  void Probed(detect::ProbeOutcome outcome, const detect::CardInfo& info, library::WriterType writerType);

  // Empties the text ("Reread Card Information", another writer type). The unfinished work
  // is still said.
  void Clear();

  // The journal's lines for the writer (ops::UnfinishedLines), first in the box until the next
  // reading of the journal replaces them.
  void SetUnfinished(std::vector<std::string> lines) { unfinished_ = std::move(lines); }

  // The lines of the box, first to last.
  std::vector<std::string> Lines() const;

 private:
  std::vector<std::string> unfinished_;
  std::vector<std::string> probeLines_;
  bool writerSilent_ = false;
};

}  // namespace quillon::ops
