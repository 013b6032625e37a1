// SPDX-License-Identifier: GPL-3.0-or-later
#include "cards/families.h"

#include "gb/gb_family.h"
#include "ws/ws_family.h"

namespace quillon::cards {

const ops::CardFamily* FamilyOf(library::WriterType type) {
  switch (type) {
    case library::WriterType::Gb:
    case library::WriterType::GbPassword:
      return &gb::Family();
    case library::WriterType::Ws:
      return &ws::Family();
  }
  return nullptr;
}

bool ProbesFirst(ops::Command command, library::WriterType type) {
  const ops::CardFamily* family = FamilyOf(type);
  return family != nullptr && family->ProbesFirst(command);
}

ops::CommandPlan PlanCommand(ops::Command command, const ops::ProgramState& state, detect::ProbeOutcome probe) {
  if (command == ops::Command::StartWriting && state.cardList.count() == 0)
    return ops::PlanNothing("the card list is empty", detect::kNoAnswer);
  const ops::CardFamily* family = FamilyOf(state.writerType());
  if (family == nullptr) return ops::PlanNothing("no writer type is chosen", detect::kNoAnswer);
  return family->Plan(command, state, probe);
}

detect::ProbeOutcome ProbeCard(link::Link& link, library::WriterType type, detect::CardInfo& info) {
  const ops::CardFamily* family = FamilyOf(type);
  return family != nullptr ? family->Probe(link, type, info) : detect::ProbeOutcome::NotProbed;
}

}  // namespace quillon::cards
