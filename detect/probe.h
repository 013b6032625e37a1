// SPDX-License-Identifier: GPL-3.0-or-later
// Asking the writer what it holds.
#pragma once

#include <string>
#include <vector>

#include "detect/card_info.h"
#include "link/link.h"

namespace quillon::detect {

enum class ProbeOutcome {
  DeviceError,  // CheckDevice failed or contact was lost: kind/flashChip/biosChip are -1, the text stays as it was
  Probed,       // the record is filled; the card information text is to be rebuilt
  NotProbed,    // writer type outside GB, GB+Password, WS: nothing happened
};

// Fills `info` for the writer type (GB probe for 0 and 1, WS probe for 2).
ProbeOutcome ProbeCard(link::Link& link, WriterType writerType, CardInfo& info);

// Identifies one flash chip of a GB flash card with info.chipSelect already set.
int IdentifyChip(link::Link& link, CardInfo& info);

// ROM size of a WS card in 8 KB units (a power of two), 0, or -1 for a bad answer.
int QueryWsRomSize(link::Link& link);

// The card information text, one string per line.
std::vector<std::string> ShowGbCardInfo(const CardInfo& info);
std::vector<std::string> ShowWsCardInfo(const CardInfo& info);
// GB form for writer types 0 and 1, WS form for 2, nothing otherwise.
std::vector<std::string> CardInfoLines(const CardInfo& info, WriterType writerType);

}  // namespace quillon::detect
