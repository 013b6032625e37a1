// SPDX-License-Identifier: GPL-3.0-or-later
// The GB family: its plans probe the card first and ask for an image of a flash card, a save
// area (with "Password" for GB+Password) or a card size; the operations are those of
// gb_operations.h.
#include "gb/gb_family.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "detect/gb_probe.h"
#include "gb/gb_operations.h"

namespace quillon::gb {
namespace {

using library::WriterType;
using ops::CardOperation;
using ops::Command;
using ops::CommandPlan;
using ops::PlanNothing;

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

class GbFamily final : public ops::CardFamily {
 public:
  detect::ProbeOutcome Probe(link::Link& link, WriterType type, detect::CardInfo& info) const override {
    return detect::ProbeGbCard(link, type, info);
  }
  library::AddResult AddImage(library::CardList& list, const std::filesystem::path& dir, const std::string& name,
                              WriterType type) const override {
    return list.AddGbImage(dir, name, type);
  }

  ops::Result Write(ops::Operation& op, const ops::OperationArgs&) const override { return WriteGbCard(op); }
  ops::Result Verify(ops::Operation& op, const ops::OperationArgs&) const override { return VerifyGbCard(op); }
  ops::Result Read(ops::Operation& op, const ops::OperationArgs& args) const override {
    return ReadGbCard(op, args.image, args.readTwice);
  }
  ops::Result BackupRam(ops::Operation& op, const ops::OperationArgs& args) const override {
    return BackupGbRam(op, args.image);
  }
  ops::Result RestoreRam(ops::Operation& op, const ops::OperationArgs& args) const override {
    return RestoreGbRam(op, args.image);
  }
  ops::Result Erase(ops::Operation& op, const ops::OperationArgs& args) const override {
    return EraseGbCard(op, args.cardSize);
  }

  // Reading, save memory and erasing look at the card first; writing probes it itself.
  bool ProbesFirst(Command command) const override { return command != Command::StartWriting; }

  CommandPlan Plan(Command command, const ops::ProgramState& state, detect::ProbeOutcome probe) const override {
    if (command == Command::StartWriting) return StartWriting();
    if (probe == detect::ProbeOutcome::DeviceError) return PlanNothing("Linking Fail", detect::kNoAnswer);
    const detect::CardInfo& info = state.cardInfo;
    switch (command) {
      case Command::StartWriting:
        break;
      case Command::DownloadCard:
        return DownloadCard(info);
      case Command::DownloadRam:
        return SaveMemory(CardOperation::BackupRam, info, state.writerType());
      case Command::UploadRam:
        return SaveMemory(CardOperation::RestoreRam, info, state.writerType());
      case Command::EraseCard:
        return EraseCard(info);
    }
    return StartWriting();
  }

  std::string UsageError(Command command, const ops::CommandLineAnswers& answers) const override {
    if (command == Command::StartWriting && !answers.patchFile.empty())
      return "write: --patch patches a WS image (--writer ws); GB images are written as they are";
    if (command != Command::EraseCard) return {};
    const auto size = std::find_if(kCardSizes.begin(), kCardSizes.end(),
                                   [&](const CardSize& s) { return s.megabits == answers.cardSize; });
    if (size != kCardSizes.end()) return {};
    std::string sizes;
    for (const CardSize& s : kCardSizes)
      sizes += (sizes.empty() ? "--size " : " or --size ") + std::to_string(s.megabits);
    return "erase: " + sizes + " is required for the writer types gb and gb-password";
  }
  std::string RefusedImageNote(const library::CardList&) const override { return {}; }
  // GB images are written as they are.
  bool PatchFits(const std::string&, std::span<const std::uint8_t>) const override { return true; }

 private:
  // A flash card's images to pick from, for `operation`.
  CommandPlan PickImage(CardOperation operation, const detect::CardInfo& info) const {
    CommandPlan plan = ops::PlanPick(*this, operation, ImageTitles(info));
    plan.imageItems = static_cast<int>(plan.items.size());
    return plan;
  }

  CommandPlan StartWriting() const {
    CommandPlan plan = ops::PlanRun(*this, CardOperation::Write, detect::kNoAnswer);
    plan.probeAfter = true;
    return plan;
  }

  CommandPlan DownloadCard(const detect::CardInfo& info) const {
    switch (info.kind) {
      case detect::kOrdinaryCartridge:
        if (info.cartridge.romSize < kRomSizeCodeLimit)
          return ops::PlanRun(*this, CardOperation::Read, detect::kOrdinaryCartridge);
        return PlanNothing("the cartridge's ROM size code " + HexCode(info.cartridge.romSize) +
                               " is not one that can be read: the writer is empty, or the cartridge's header is "
                               "not readable",
                           detect::kOrdinaryCartridge);
      case detect::kFlashCard:
        return PickImage(CardOperation::Read, info);
      default:
        return PlanNothing(NoCard("card to read"), detect::kNoAnswer);
    }
  }

  CommandPlan SaveMemory(CardOperation operation, const detect::CardInfo& info, WriterType type) const {
    switch (info.kind) {
      case detect::kOrdinaryCartridge: {
        const int ramSize = info.cartridge.ramSize;
        if (ramSize >= kFirstSaveRamSizeCode && ramSize <= kLastSaveRamSizeCode)
          return ops::PlanRun(*this, operation, detect::kOrdinaryCartridge);
        return PlanNothing("the cartridge has no save memory (RAM size code " + HexCode(ramSize) + ")",
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
        return PlanNothing(NoCard("card with save memory"), detect::kNoAnswer);
    }
  }

  CommandPlan EraseCard(const detect::CardInfo& info) const {
    switch (info.kind) {
      case detect::kFlashCard: {
        std::vector<std::string> sizes;
        sizes.reserve(kCardSizes.size());
        for (const CardSize& size : kCardSizes) sizes.emplace_back(size.item);
        CommandPlan plan = ops::PlanPick(*this, CardOperation::Erase, std::move(sizes));
        for (const CardSize& size : kCardSizes) plan.sizeItems.push_back(size.megabits);
        plan.asksErase = true;
        plan.probeAfter = true;
        return plan;
      }
      case detect::kOrdinaryCartridge:
        return PlanNothing("there is no flash card to erase: the writer holds an ordinary cartridge, or is empty",
                           detect::kOrdinaryCartridge);
      default:
        return PlanNothing(NoCard("flash card to erase"), detect::kNoAnswer);
    }
  }
};

const GbFamily kFamily{};

}  // namespace

const ops::CardFamily& Family() { return kFamily; }

}  // namespace quillon::gb
