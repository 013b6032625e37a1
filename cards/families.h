// SPDX-License-Identifier: GPL-3.0-or-later
// The card family of a writer type, chosen here and nowhere else: the GB family
// (gb/gb_family.h) for "GB" and "GB+Password", the WS family (ws/ws_family.h) for "WS". The
// main window and quillon-cli make their plans and probes through these.
#pragma once

#include "detect/card_info.h"
#include "detect/probe.h"
#include "library/writer_type.h"
#include "link/link.h"
#include "ops/card_family.h"
#include "ops/command_plan.h"
#include "ops/program_state.h"

namespace quillon::cards {

// The family of `type`; null for a number that names no writer type (a settings file may
// hold one): then no probe, scan or card command does anything.
const ops::CardFamily* FamilyOf(library::WriterType type);

// True when `command` probes the card before it decides (CardFamily::ProbesFirst): the GB
// writer types' reading, save memory and erasing. False without a family.
bool ProbesFirst(ops::Command command, library::WriterType type);

// The plan of `command` for the program state, after its probe (`probe`: that probe's
// outcome; NotProbed when the command does not probe first): "the card list is empty" for
// "Start Writing" without images, "no writer type is chosen" without a family, else the
// family's plan.
ops::CommandPlan PlanCommand(ops::Command command, const ops::ProgramState& state, detect::ProbeOutcome probe);

// The probe of the family of `type` into `info`; NotProbed without a family.
detect::ProbeOutcome ProbeCard(link::Link& link, library::WriterType type, detect::CardInfo& info);

}  // namespace quillon::cards
