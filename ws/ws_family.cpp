// SPDX-License-Identifier: GPL-3.0-or-later
// The WS family: no command probes first (each operation checks the link and probes the card
// itself), nothing is picked, and writing an image that saves in EEPROM asks for a patch.
#include "ws/ws_family.h"

#include <string>
#include <vector>

#include "detect/gb_probe.h"
#include "ws/ws_operations.h"

namespace quillon::ws {
namespace {

using library::WriterType;
using ops::CardOperation;
using ops::Command;
using ops::CommandPlan;

class WsFamily final : public ops::CardFamily {
 public:
  detect::ProbeOutcome Probe(link::Link& link, WriterType, detect::CardInfo& info) const override {
    return detect::ProbeWsCard(link, info);
  }
  library::AddResult AddImage(library::CardList& list, const std::filesystem::path& dir, const std::string& name,
                              WriterType) const override {
    return list.AddWsImage(dir, name);
  }

  ops::Result Write(ops::Operation& op, const ops::OperationArgs& args) const override {
    return WriteWsCard(op, args.patchFile);
  }
  ops::Result Verify(ops::Operation& op, const ops::OperationArgs& args) const override {
    return VerifyWsCard(op, args.patchFile);
  }
  ops::Result Read(ops::Operation& op, const ops::OperationArgs& args) const override {
    return ReadWsCard(op, args.readTwice);
  }
  ops::Result BackupRam(ops::Operation& op, const ops::OperationArgs&) const override { return BackupWsRam(op); }
  ops::Result RestoreRam(ops::Operation& op, const ops::OperationArgs&) const override { return RestoreWsRam(op); }
  ops::Result Erase(ops::Operation& op, const ops::OperationArgs&) const override { return EraseWsCard(op); }

  bool ProbesFirst(Command) const override { return false; }

  CommandPlan Plan(Command command, const ops::ProgramState& state, detect::ProbeOutcome) const override {
    switch (command) {
      case Command::StartWriting:
        break;
      case Command::DownloadCard:
        return Run(CardOperation::Read);
      case Command::DownloadRam:
        return Run(CardOperation::BackupRam);
      case Command::UploadRam:
        return Run(CardOperation::RestoreRam);
      case Command::EraseCard: {
        CommandPlan plan = Run(CardOperation::Erase);
        plan.asksErase = true;
        plan.probeAfter = true;
        return plan;
      }
    }
    CommandPlan plan = Run(CardOperation::Write);
    plan.asksPatch = state.cardList.entries().back().ramClass == kEepromSave;
    plan.probeAfter = true;
    return plan;
  }

  std::string UsageError(Command command, const ops::CommandLineAnswers& answers) const override {
    switch (command) {
      case Command::StartWriting:
        break;
      case Command::DownloadCard:
        if (answers.image) return "read: --image chooses an image of a GB flash card; the WS card is read whole";
        break;
      case Command::DownloadRam:
      case Command::UploadRam:
        if (answers.image || answers.password)
          return std::string(command == Command::UploadRam ? "restore-ram" : "backup-ram") +
                 ": --image and --password choose a save area of a GB flash card; the WS card has one save memory "
                 "of 32 KiB";
        break;
      case Command::EraseCard:
        if (answers.cardSize != 0)
          return "erase: --size is for the GB writer types; the WS card is always erased whole";
        break;
    }
    return {};
  }
  std::string RefusedImageNote(const library::CardList& taken) const override {
    return taken.count() > 0 ? " (a WS card holds one image)" : "";
  }
  // The patch is applied to a copy of the image as writing loads it.
  bool PatchFits(const std::string& image, std::span<const std::uint8_t> patch) const override {
    std::vector<std::uint8_t> bytes;
    return LoadWsImage(image, bytes) != ImageLoad::Ok || ApplyIpsPatch(bytes, patch) == 0;
  }

 private:
  // The WS commands: the operation alone, which checks the link and probes the card itself.
  CommandPlan Run(CardOperation operation) const { return ops::PlanRun(*this, operation, detect::kNoAnswer); }
};

const WsFamily kFamily{};

}  // namespace

const ops::CardFamily& Family() { return kFamily; }

}  // namespace quillon::ws
