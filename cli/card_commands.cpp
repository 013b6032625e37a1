// SPDX-License-Identifier: GPL-3.0-or-later
// write, read, backup-ram, restore-ram and erase for every writer type, through its card
// family (ops/card_family.h): options that mean nothing to the family's cards are wrong
// usage; then the probe the main window's buttons make (for the commands that probe first)
// and the command's plan (cards::PlanCommand), the options answering what the window would
// ask, and the family's operation.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cards/families.h"
#include "cli/commands.h"
#include "cli/dat_verdicts.h"
#include "cli/operation_run.h"
#include "detect/probe.h"
#include "library/card_list.h"
#include "library/rom_header.h"
#include "library/writer_type.h"
#include "ops/card_family.h"
#include "ops/command_plan.h"
#include "ops/operation.h"
#include "ops/program_state.h"
#include "ops/verified_write.h"

namespace quillon::cli {

namespace {

namespace fs = std::filesystem;

// The card family of --writer; every word names one (writerTypeOf).
const ops::CardFamily& familyOf(const GlobalOptions& options) { return *cards::FamilyOf(writerTypeOf(options.writer)); }

// Options of `command` that mean nothing to the family's cards: wrong usage; else kGoOn.
int checkUsage(const ops::CardFamily& family, ops::Command command, const ops::CommandLineAnswers& answers) {
  const std::string error = family.UsageError(command, answers);
  if (error.empty()) return kGoOn;
  std::cerr << error << '\n';
  return kExitUsage;
}

// The probe the main window's buttons make before reading, save memory and erasing, then the
// command's plan: kGoOn with `plan` set, or the exit status of a stop request.
int planCommand(OperationRun& run, ops::Command command, ops::CommandPlan& plan) {
  auto outcome = detect::ProbeOutcome::NotProbed;
  if (cards::ProbesFirst(command, run.state.writerType())) {
    outcome = cards::ProbeCard(run.session.link(), run.state.writerType(), run.state.cardInfo);
    if (run.stop) return interrupted();
  }
  plan = cards::PlanCommand(command, run.state, outcome);
  return kGoOn;
}

// Runs the plan's call: its operation, and after a write asked to verify, the verify.
int runCall(OperationRun& run, const ops::OperationCall& call) {
  return report(run, run.run([&](ops::Operation& op) {
    return ops::WriteThenVerify(op, ops::OperationStep(call), ops::VerifyStep(call));
  }));
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

// The patch of `write --patch`, checked before the port is opened: read whole, then applied
// to a copy of the image as writing loads it. The desktop program shows a patch that does
// not fit and writes the image unpatched; a script cannot answer that message box, and an
// unpatched image is not what it asked for, so here the command stops.
int checkPatch(const ops::CardFamily& family, const WriteArgs& args) {
  if (args.patch.empty()) return kGoOn;
  const auto patch = readPatchFile(args.patch);
  if (!patch) return kExitFailed;
  // An image that does not load fails the operation with its own message before patching.
  if (!family.PatchFits(args.images.front(), *patch))
    return refuse("Patch File Error\n" + args.patch + " is not an IPS patch that fits " + args.images.front() +
                  "; nothing was sent to the writer");
  return kGoOn;
}

int runRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop, bool restore) {
  const ops::CardFamily& family = familyOf(options);
  const ops::Command command = restore ? ops::Command::UploadRam : ops::Command::DownloadRam;
  ops::CommandLineAnswers answers;
  answers.image = args.image;
  answers.password = args.password;
  if (const int status = checkUsage(family, command, answers); status != kGoOn) return status;
  if (const int status = restore ? checkInput(args.file) : checkOutput(options, args.file); status != kGoOn)
    return status;
  return guarded(stop, [&] {
    OperationRun run(options, stop, args.file);
    ops::CommandPlan plan;
    if (const int status = planCommand(run, command, plan); status != kGoOn) return status;
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
    return runCall(run, plan.call);
  });
}

}  // namespace

int runWrite(const GlobalOptions& options, const WriteArgs& args, const std::atomic<bool>& stop) {
  const ops::CardFamily& family = familyOf(options);
  ops::CommandLineAnswers answers;
  answers.patchFile = args.patch;
  if (const int status = checkUsage(family, ops::Command::StartWriting, answers); status != kGoOn) return status;
  return guarded(stop, [&] {
    // The card list's checks come first: a refused image stops the command before the port
    // is even opened.
    library::CardList cardList;
    const library::WriterType writerType = writerTypeOf(options.writer);
    for (const auto& image : args.images) {
      const fs::path path(image);
      const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
      const auto added = family.AddImage(cardList, dir, path.filename().string(), writerType);
      if (!added.added) return refuseImage(image, added.message, family.RefusedImageNote(cardList));
    }
    if (const int status = checkPatch(family, args); status != kGoOn) return status;

    std::vector<std::string> inputs = args.images;
    inputs.push_back(args.patch);
    OperationRun run(options, stop, "", inputs);
    run.state.cardList = cardList;
    ops::CommandPlan plan = cards::PlanCommand(ops::Command::StartWriting, run.state, detect::ProbeOutcome::NotProbed);
    if (plan.next != ops::CommandPlan::Next::Run) return refuse(plan.reason);
    // The patch applies whatever save type the image declares.
    plan.call.args.patchFile = args.patch;
    plan.call.args.verify = args.verify;
    return runCall(run, plan.call);
  });
}

int runRead(const GlobalOptions& options, const ReadArgs& args, const std::atomic<bool>& stop) {
  const ops::CardFamily& family = familyOf(options);
  ops::CommandLineAnswers answers;
  answers.image = args.image;
  if (const int status = checkUsage(family, ops::Command::DownloadCard, answers); status != kGoOn) return status;
  if (const int status = checkOutput(options, args.out); status != kGoOn) return status;
  const dat::DatSet dats = LoadDats(args.dats);  // before the port opens
  const int result = guarded(stop, [&] {
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
    plan.call.args.readTwice = args.twice;
    // The window prints the checksums of what went into the file.
    return runCall(run, plan.call);
  });
  if (result == kExitOk && !dats.empty())
    std::cerr << VerdictOfWrittenFile(dats, args.out, ImageFamilyOf(options)).line << '\n';
  return result;
}

int runBackupRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop) {
  return runRam(options, args, stop, false);
}

int runRestoreRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop) {
  return runRam(options, args, stop, true);
}

int runErase(const GlobalOptions& options, const EraseArgs& args, const std::atomic<bool>& stop) {
  const ops::CardFamily& family = familyOf(options);
  ops::CommandLineAnswers answers;
  answers.cardSize = args.size;
  if (const int status = checkUsage(family, ops::Command::EraseCard, answers); status != kGoOn) return status;
  return guarded(stop, [&] {
    OperationRun run(options, stop, "");
    ops::CommandPlan plan;
    if (const int status = planCommand(run, ops::Command::EraseCard, plan); status != kGoOn) return status;
    if (plan.next == ops::CommandPlan::Next::Pick) {
      // --size names the row, as the usage check made sure.
      const auto size = std::find(plan.sizeItems.begin(), plan.sizeItems.end(), args.size);
      plan = ops::Picked(plan, size == plan.sizeItems.end() ? -1 : static_cast<int>(size - plan.sizeItems.begin()));
    }
    if (plan.next != ops::CommandPlan::Next::Run) return refuse(plan.reason);
    return runCall(run, plan.call);
  });
}

}  // namespace quillon::cli
