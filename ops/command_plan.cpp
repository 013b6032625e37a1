// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/command_plan.h"

#include <algorithm>
#include <cstdio>

namespace quillon::ops {
namespace {

using library::WriterType;

CommandPlan Nothing(std::string reason, detect::CardKind card = detect::kNoAnswer) {
  CommandPlan plan;
  plan.reason = std::move(reason);
  plan.card = card;
  return plan;
}

CommandPlan Run(CardOperation operation, detect::CardKind card = detect::kNoAnswer) {
  CommandPlan plan;
  plan.next = CommandPlan::Next::Run;
  plan.card = card;
  plan.call.operation = operation;
  return plan;
}

CommandPlan Pick(CardOperation operation, std::vector<std::string> items) {
  CommandPlan plan;
  plan.next = CommandPlan::Next::Pick;
  plan.card = detect::kFlashCard;
  plan.items = std::move(items);
  plan.call.operation = operation;
  return plan;
}

std::string HexCode(int code) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(code) & 0xFFu);
  return text;
}

std::string NoCard(const char* what) {
  return std::string("there is no ") + what +
         ": the writer is empty, or the card is not inserted right or its flash chips are not recognised";
}

// The titles of the flash card's images, in the order the card lists them.
std::vector<std::string> ImageTitles(const detect::CardInfo& info) {
  const int count = std::clamp(info.count, 0, detect::kMaxCardImages);
  std::vector<std::string> titles;
  titles.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) titles.push_back(info.images[static_cast<std::size_t>(i)].nameText());
  return titles;
}

// A flash card's images to pick from, for `operation`.
CommandPlan PickImage(CardOperation operation, const detect::CardInfo& info) {
  CommandPlan plan = Pick(operation, ImageTitles(info));
  plan.imageItems = static_cast<int>(plan.items.size());
  return plan;
}

CommandPlan StartWriting(const ProgramState& state) {
  if (state.cardList.count() == 0) return Nothing("the card list is empty");
  const WriterType type = state.writerType();
  if (IsGbWriter(type)) {
    CommandPlan plan = Run(CardOperation::WriteGbCard);
    plan.probeAfter = true;
    return plan;
  }
  if (type != WriterType::Ws) return Nothing("no writer type is chosen");
  CommandPlan plan = Run(CardOperation::WriteWsCard);
  plan.asksPatch = state.cardList.entries().back().ramClass == kWsEepromSave;
  plan.probeAfter = true;
  return plan;
}

CommandPlan DownloadCard(const detect::CardInfo& info) {
  switch (info.kind) {
    case detect::kOrdinaryCartridge:
      if (info.cartridge.romSize < kRomSizeCodeLimit) return Run(CardOperation::ReadGbCard, detect::kOrdinaryCartridge);
      return Nothing("the cartridge's ROM size code " + HexCode(info.cartridge.romSize) +
                         " is not one that can be read: the writer is empty, or the cartridge's header is not "
                         "readable",
                     detect::kOrdinaryCartridge);
    case detect::kFlashCard:
      return PickImage(CardOperation::ReadGbCard, info);
    default:
      return Nothing(NoCard("card to read"));
  }
}

CommandPlan SaveMemory(CardOperation operation, const detect::CardInfo& info, WriterType type) {
  switch (info.kind) {
    case detect::kOrdinaryCartridge: {
      const int ramSize = info.cartridge.ramSize;
      if (ramSize >= kFirstSaveRamSizeCode && ramSize <= kLastSaveRamSizeCode)
        return Run(operation, detect::kOrdinaryCartridge);
      return Nothing("the cartridge has no save memory (RAM size code " + HexCode(ramSize) + ")",
                     detect::kOrdinaryCartridge);
    }
    case detect::kFlashCard: {
      CommandPlan plan = PickImage(operation, info);
      // The save area of the password menu comes after the images' areas.
      if (type == WriterType::GbPassword) {
        plan.passwordItem = static_cast<int>(plan.items.size());
        plan.items.emplace_back(kPasswordItem);
      }
      return plan;
    }
    default:
      return Nothing(NoCard("card with save memory"));
  }
}

CommandPlan EraseCard(const detect::CardInfo& info) {
  switch (info.kind) {
    case detect::kFlashCard: {
      std::vector<std::string> sizes;
      sizes.reserve(kCardSizes.size());
      for (const CardSize& size : kCardSizes) sizes.emplace_back(size.item);
      CommandPlan plan = Pick(CardOperation::EraseGbCard, std::move(sizes));
      plan.asksErase = true;
      plan.probeAfter = true;
      return plan;
    }
    case detect::kOrdinaryCartridge:
      return Nothing("there is no flash card to erase: the writer holds an ordinary cartridge, or is empty",
                     detect::kOrdinaryCartridge);
    default:
      return Nothing(NoCard("flash card to erase"));
  }
}

// The WS commands: the operation alone, which checks the link and probes the card itself.
CommandPlan WsCommand(Command command) {
  switch (command) {
    case Command::StartWriting:
      break;  // planned with the card list
    case Command::DownloadCard:
      return Run(CardOperation::ReadWsCard);
    case Command::DownloadRam:
      return Run(CardOperation::BackupWsRam);
    case Command::UploadRam:
      return Run(CardOperation::RestoreWsRam);
    case Command::EraseCard: {
      CommandPlan plan = Run(CardOperation::EraseWsCard);
      plan.asksErase = true;
      plan.probeAfter = true;
      return plan;
    }
  }
  return Nothing("no writer type is chosen");
}

}  // namespace

bool ProbesFirst(Command command, WriterType writerType) {
  return command != Command::StartWriting && IsGbWriter(writerType);
}

CommandPlan PlanCommand(Command command, const ProgramState& state, detect::ProbeOutcome probe) {
  if (command == Command::StartWriting) return StartWriting(state);
  const WriterType type = state.writerType();
  if (type == WriterType::Ws) return WsCommand(command);
  if (!IsGbWriter(type)) return Nothing("no writer type is chosen");
  if (probe == detect::ProbeOutcome::DeviceError) return Nothing("Linking Fail");
  const detect::CardInfo& info = state.cardInfo;
  switch (command) {
    case Command::StartWriting:
      break;
    case Command::DownloadCard:
      return DownloadCard(info);
    case Command::DownloadRam:
      return SaveMemory(CardOperation::BackupGbRam, info, type);
    case Command::UploadRam:
      return SaveMemory(CardOperation::RestoreGbRam, info, type);
    case Command::EraseCard:
      return EraseCard(info);
  }
  return Nothing("no writer type is chosen");
}

CommandPlan Picked(CommandPlan plan, int row) {
  if (plan.next != CommandPlan::Next::Pick || row < 0 || row >= static_cast<int>(plan.items.size())) {
    const bool noImages = plan.next == CommandPlan::Next::Pick && plan.items.empty();
    return Nothing(noImages ? std::string(kNoImages) : std::string("nothing was picked"), plan.card);
  }
  plan.next = CommandPlan::Next::Run;
  if (plan.call.operation == CardOperation::EraseGbCard) {
    plan.call.args.cardSize = row;
  } else {
    plan.call.args.image = row;
  }
  return plan;
}

}  // namespace quillon::ops
