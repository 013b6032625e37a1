// SPDX-License-Identifier: GPL-3.0-or-later
// write, read, backup-ram, restore-ram and erase for the writer type ws: what the main
// window's buttons hand the WS operations, then the operation, which checks the link and
// probes the card itself.
#include "cli/ws_commands.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/operation_run.h"
#include "library/card_list.h"
#include "library/writer_type.h"
#include "ws/ws_operations.h"

namespace quillon::cli {

namespace {

namespace fs = std::filesystem;

// Options of the GB writer types that mean nothing to the WS card: wrong usage.
int usage(const std::string& text) {
  std::cerr << text << '\n';
  return kExitUsage;
}

// Runs one WS operation that reads or writes `file`.
template <typename F>
int runWsOperation(const GlobalOptions& options, const std::string& file, const std::atomic<bool>& stop,
                   F&& operation) {
  return guarded(stop, [&] {
    OperationRun run(options, stop, file);
    run.state.setWriterType(library::WriterType::Ws);
    return report(run, run.run(operation));
  });
}

// The patch of `write --patch`, checked before the port is opened: read whole, then applied
// to a copy of the image as writing loads it. The desktop program shows a patch that does
// not fit and writes the image unpatched; a script cannot answer that message box, and an
// unpatched image is not what it asked for, so here the command stops.
int checkPatch(const WriteArgs& args) {
  if (args.patch.empty()) return kGoOn;
  const auto patch = readPatchFile(args.patch);
  if (!patch) return kExitFailed;
  // An image that does not load fails the operation with its own message before patching.
  std::vector<std::uint8_t> image;
  if (ws::LoadWsImage(args.images.front(), image) == ws::ImageLoad::Ok && ws::ApplyIpsPatch(image, *patch) != 0)
    return refuse("Patch File Error\n" + args.patch + " is not an IPS patch that fits " + args.images.front() +
                  "; nothing was sent to the writer");
  return kGoOn;
}

}  // namespace

int runWsWrite(const GlobalOptions& options, const WriteArgs& args, const std::atomic<bool>& stop) {
  return guarded(stop, [&] {
    // The card list takes one WS image; a second is refused with its message, like a
    // refused image, before the port is opened.
    library::CardList cardList;
    for (const auto& image : args.images) {
      const fs::path path(image);
      const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
      const auto added = cardList.AddWsImage(dir, path.filename().string());
      if (!added.added)
        return refuseImage(image, added.message, cardList.count() > 0 ? " (a WS card holds one image)" : "");
    }
    if (const int status = checkPatch(args); status != kGoOn) return status;

    std::vector<std::string> inputs = args.images;
    inputs.push_back(args.patch);
    OperationRun run(options, stop, "", inputs);
    run.state.setWriterType(library::WriterType::Ws);
    run.state.cardList = cardList;
    const auto write = [&](ops::Operation& op) { return ws::WriteWsCard(op, args.patch); };
    const auto verify = [&](ops::Operation& op) { return ws::VerifyWsCard(op, args.patch); };
    return report(run, run.run([&](ops::Operation& op) {
      return ops::WriteThenVerify(op, write, args.verify ? ops::CardStep(verify) : ops::CardStep());
    }));
  });
}

int runWsRead(const GlobalOptions& options, const ReadArgs& args, const std::atomic<bool>& stop) {
  if (args.image) return usage("read: --image chooses an image of a GB flash card; the WS card is read whole");
  if (const int status = checkOutput(options, args.out); status != kGoOn) return status;
  return runWsOperation(options, args.out, stop, [](ops::Operation& op) { return ws::ReadWsCard(op); });
}

int runWsRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop, bool restore) {
  const std::string command = restore ? "restore-ram" : "backup-ram";
  if (args.image || args.password)
    return usage(command +
                 ": --image and --password choose a save area of a GB flash card; the WS card has "
                 "one save memory of 32 KiB");
  if (const int status = restore ? checkInput(args.file) : checkOutput(options, args.file); status != kGoOn)
    return status;
  return runWsOperation(options, args.file, stop,
                        [restore](ops::Operation& op) { return restore ? ws::RestoreWsRam(op) : ws::BackupWsRam(op); });
}

int runWsErase(const GlobalOptions& options, const EraseArgs& args, const std::atomic<bool>& stop) {
  if (args.size != 0) return usage("erase: --size is for the GB writer types; the WS card is always erased whole");
  return runWsOperation(options, "", stop, [](ops::Operation& op) { return ws::EraseWsCard(op); });
}

}  // namespace quillon::cli
