// SPDX-License-Identifier: GPL-3.0-or-later
// writer.ini of a simulated writer's folder: what is inserted, the chips of a GB flash card
// and the armed faults.
//
//   [card]
//   kind=gb-flash           none, gb-flash, gb-cart or ws-flash
//   bios-chip=89:B4:00      a chip by its three ID bytes in hex (GB flash card only); a chip
//   flash-chip=89:A0:10     table row, 0 to the last one, as earlier versions wrote, names the
//                           chip in that row of the program's chip table
//   [faults]
//   busy-polls=3            one fault a line, as sim fault arms it
//
// The file is read strictly: names are spelled exactly (case counts), and a section, key,
// card kind, chip or fault that is not one of these is refused with the file, the line number
// and the values allowed. Blank lines and lines starting with '#' or ';' are skipped. It is
// written with the ID bytes, whichever way it was read.
#pragma once

#include <filesystem>

#include "sim/sim_writer.h"

namespace quillon::sim {

struct WriterConfig {
  CardKind kind = CardKind::None;
  ChipId biosChip = kDefaultBiosChip;
  ChipId flashChip = kDefaultFlashChip;
  Faults faults;
};

// writer.ini of `dir`; a folder without one is a writer with an empty slot. Throws
// std::runtime_error naming the file (and the line) when it cannot be read or is not valid.
WriterConfig readConfig(const std::filesystem::path& dir);

// Replaces writer.ini of `dir` as a whole (written beside it, then renamed over it). Throws
// std::runtime_error naming the file when it cannot be written.
void writeConfig(const std::filesystem::path& dir, const WriterConfig& config);

}  // namespace quillon::sim
