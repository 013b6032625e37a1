// SPDX-License-Identifier: GPL-3.0-or-later
// write, read, backup-ram, restore-ram and erase for the writer types gb and gb-password:
// the probe the main window's buttons make and their plan (ops/command_plan.h), the options
// answering what the window would ask, then the card operation. The writer type ws hands
// each command to its WS counterpart.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/operation_run.h"
#include "cli/ws_commands.h"
#include "detect/probe.h"
#include "gb/gb_operations.h"
#include "library/card_list.h"
#include "library/rom_header.h"
#include "library/writer_type.h"
#include "ops/command_plan.h"
#include "ops/operation.h"
#include "ops/program_state.h"

namespace quillon::cli {

namespace {

namespace fs = std::filesystem;

// WS writer type: the WS card commands.
bool isWs(const GlobalOptions& options) { return writerTypeOf(options.writer) == library::WriterType::Ws; }

// The probe the main window's buttons make before reading, save memory and erasing, then the
// command's plan: kGoOn with `plan` set, or the exit status of a stop request.
int planCommand(OperationRun& run, ops::Command command, ops::CommandPlan& plan) {
  auto outcome = detect::ProbeOutcome::NotProbed;
  if (ops::ProbesFirst(command, run.state.writerType())) {
    outcome = detect::ProbeCard(run.session.link(), run.state.writerType(), run.state.cardInfo);
    if (run.stop) return kExitInterrupted;
  }
  plan = ops::PlanCommand(command, run.state, outcome);
  return kGoOn;
}

// The images of the flash card, one indented line each, numbered as --image counts.
std::string imageList(const ops::CommandPlan& plan) {
  std::string text;
  for (int i = 0; i < plan.imageItems; ++i)
    text += "\n  " + std::to_string(i + 1) + "  " + library::ShownBig5(plan.items[static_cast<std::size_t>(i)]);
  return text;
}

// --image N answers the plan's question which image of the flash card: its row, or the exit status.
int pickImage(const ops::CommandPlan& plan, std::optional<int> image, const std::string& otherChoice, int& row) {
  const int count = plan.imageItems;
  if (count == 0) return refuse("the flash card holds no images");
  if (!image)
    return refuse("the writer holds a flash card: name the image with --image N (1 to " + std::to_string(count) + ")" +
                  otherChoice + ":" + imageList(plan));
  if (*image < 1 || *image > count)
    return refuse("--image " + std::to_string(*image) + ": the flash card holds " + std::to_string(count) +
                  (count == 1 ? " image:" : " images:") + imageList(plan));
  row = *image - 1;
  return kGoOn;
}

int runRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop, bool restore) {
  if (const int status = restore ? checkInput(args.file) : checkOutput(options, args.file); status != kGoOn)
    return status;
  return guarded(stop, [&] {
    OperationRun run(options, stop, args.file);
    ops::CommandPlan plan;
    if (const int status = planCommand(run, restore ? ops::Command::UploadRam : ops::Command::DownloadRam, plan);
        status != kGoOn)
      return status;
    if (plan.card == detect::kOrdinaryCartridge && (args.image || args.password))
      return refuse(
          "--image and --password choose a save area of a flash card; the writer holds an ordinary "
          "cartridge");
    if (plan.next == ops::CommandPlan::Next::Pick) {
      int row = 0;
      if (args.password) {
        if (!plan.passwordItem)
          return refuse(
              "--password is the \"Password\" item of the writer type gb-password; the writer type "
              "is gb");
        row = *plan.passwordItem;
      } else if (const int status = pickImage(plan, args.image, plan.passwordItem ? " or --password" : "", row);
                 status != kGoOn) {
        return status;
      }
      plan = ops::Picked(plan, row);
    }
    if (plan.next != ops::CommandPlan::Next::Run) return refuse(plan.reason);
    const int image = plan.call.args.image;
    return report(run, run.run([&](ops::Operation& op) {
      return restore ? gb::RestoreGbRam(op, image) : gb::BackupGbRam(op, image);
    }));
  });
}

}  // namespace

int runWrite(const GlobalOptions& options, const WriteArgs& args, const std::atomic<bool>& stop) {
  if (isWs(options)) return runWsWrite(options, args, stop);
  if (!args.patch.empty()) {
    std::cerr << "write: --patch patches a WS image (--writer ws); GB images are written as they are\n";
    return kExitUsage;
  }
  return guarded(stop, [&] {
    // The card list's checks come first: a refused image stops the command before the port
    // is even opened.
    library::CardList cardList;
    const library::WriterType writerType = writerTypeOf(options.writer);
    for (const auto& image : args.images) {
      const fs::path path(image);
      const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
      const auto added = cardList.AddGbImage(dir, path.filename().string(), writerType);
      if (!added.added) return refuseImage(image, added.message, "");
    }
    OperationRun run(options, stop, "", args.images);
    run.state.cardList = cardList;
    return report(run, run.run([&](ops::Operation& op) {
      return ops::WriteThenVerify(op, gb::WriteGbCard, args.verify ? gb::VerifyGbCard : ops::CardStep());
    }));
  });
}

int runRead(const GlobalOptions& options, const ReadArgs& args, const std::atomic<bool>& stop) {
  if (isWs(options)) return runWsRead(options, args, stop);
  if (const int status = checkOutput(options, args.out); status != kGoOn) return status;
  return guarded(stop, [&] {
    OperationRun run(options, stop, args.out);
    ops::CommandPlan plan;
    if (const int status = planCommand(run, ops::Command::DownloadCard, plan); status != kGoOn) return status;
    if (plan.card == detect::kOrdinaryCartridge && args.image)
      return refuse(
          "--image chooses an image of a flash card; the writer holds an ordinary cartridge, "
          "which is read whole");
    if (plan.next == ops::CommandPlan::Next::Pick) {
      int row = 0;
      if (const int status = pickImage(plan, args.image, "", row); status != kGoOn) return status;
      plan = ops::Picked(plan, row);
    }
    if (plan.next != ops::CommandPlan::Next::Run) return refuse(plan.reason);
    const int image = plan.call.args.image;
    // The window prints the checksums of what went into the file.
    return report(run, run.run([&](ops::Operation& op) { return gb::ReadGbCard(op, image); }));
  });
}

int runBackupRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop) {
  if (isWs(options)) return runWsRam(options, args, stop, false);
  return runRam(options, args, stop, false);
}

int runRestoreRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop) {
  if (isWs(options)) return runWsRam(options, args, stop, true);
  return runRam(options, args, stop, true);
}

int runErase(const GlobalOptions& options, const EraseArgs& args, const std::atomic<bool>& stop) {
  if (isWs(options)) return runWsErase(options, args, stop);
  return guarded(stop, [&] {
    const auto size = std::find_if(ops::kCardSizes.begin(), ops::kCardSizes.end(),
                                   [&](const ops::CardSize& s) { return s.megabits == args.size; });
    if (size == ops::kCardSizes.end()) {
      std::string sizes;
      for (const ops::CardSize& s : ops::kCardSizes)
        sizes += (sizes.empty() ? "--size " : " or --size ") + std::to_string(s.megabits);
      std::cerr << "erase: " << sizes << " is required for the writer types gb and gb-password\n";
      return kExitUsage;
    }
    OperationRun run(options, stop, "");
    ops::CommandPlan plan;
    if (const int status = planCommand(run, ops::Command::EraseCard, plan); status != kGoOn) return status;
    if (plan.next == ops::CommandPlan::Next::Pick)
      plan = ops::Picked(plan, static_cast<int>(size - ops::kCardSizes.begin()));
    if (plan.next != ops::CommandPlan::Next::Run) return refuse(plan.reason);
    const int cardSize = plan.call.args.cardSize;
    return report(run, run.run([&](ops::Operation& op) { return gb::EraseGbCard(op, cardSize); }));
  });
}

}  // namespace quillon::cli
