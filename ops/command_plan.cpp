// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/command_plan.h"

#include <utility>

namespace quillon::ops {

CommandPlan PlanNothing(std::string reason, detect::CardKind card) {
  CommandPlan plan;
  plan.reason = std::move(reason);
  plan.card = card;
  return plan;
}

CommandPlan PlanRun(const CardFamily& family, CardOperation operation, detect::CardKind card) {
  CommandPlan plan;
  plan.next = CommandPlan::Next::Run;
  plan.card = card;
  plan.call.family = &family;
  plan.call.operation = operation;
  return plan;
}

CommandPlan PlanPick(const CardFamily& family, CardOperation operation, std::vector<std::string> items) {
  CommandPlan plan;
  plan.next = CommandPlan::Next::Pick;
  plan.card = detect::kFlashCard;
  plan.items = std::move(items);
  plan.call.family = &family;
  plan.call.operation = operation;
  return plan;
}

CommandPlan Picked(CommandPlan plan, int row) {
  if (plan.next != CommandPlan::Next::Pick || row < 0 || row >= static_cast<int>(plan.items.size())) {
    const bool noImages = plan.next == CommandPlan::Next::Pick && plan.items.empty();
    return PlanNothing(noImages ? std::string(kNoImages) : std::string("nothing was picked"), plan.card);
  }
  plan.next = CommandPlan::Next::Run;
  if (plan.call.operation == CardOperation::Erase) {
    plan.call.args.cardSize = row;
  } else {
    plan.call.args.image = row;
  }
  return plan;
}

}  // namespace quillon::ops
