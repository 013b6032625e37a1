// write, read, backup-ram, restore-ram and erase for the writer types gb and gb-password:
// the probe and the checks the main window's buttons make, then the card operation. The
// writer type ws hands each command to its WS counterpart.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/gb_checksums.h"
#include "cli/operation_run.h"
#include "cli/ws_commands.h"
#include "detect/probe.h"
#include "gb/gb_operations.h"
#include "library/card_list.h"
#include "library/rom_header.h"
#include "ops/operation.h"
#include "ops/program_state.h"

namespace quillon::cli {

namespace {

namespace fs = std::filesystem;

// WS writer type: the WS card commands.
bool isWs(const GlobalOptions& options) {
  return writerTypeOf(options.writer) == static_cast<int>(detect::WriterType::Ws);
}

std::string hexCode(int code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(code) & 0xFFu);
  return text;
}

// The probe the main window's buttons make before reading, save memory and erasing.
int probeCard(OperationRun& run) {
  const auto outcome = detect::ProbeCard(run.session.link(), run.state.writerType(), run.state.cardInfo);
  if (run.stop) return kExitInterrupted;
  if (outcome == detect::ProbeOutcome::DeviceError) return refuse("Linking Fail");
  return kGoOn;
}

std::string noCard(const char* what) {
  return std::string("there is no ") + what +
         ": the writer is empty, or the card is not inserted right or its flash chips are not recognised";
}

// The images of the flash card, one indented line each, numbered as --image counts.
std::string imageList(const detect::CardInfo& info) {
  std::string text;
  for (int i = 0; i < info.count; ++i)
    text += "\n  " + std::to_string(i + 1) + "  " +
            library::ShownBig5(info.images[static_cast<std::size_t>(i)].nameText());
  return text;
}

// --image N of a flash card as an index into CardInfo.images, or the exit status.
int pickImage(const detect::CardInfo& info, std::optional<int> image, const std::string& otherChoice, int& selected) {
  if (info.count == 0) return refuse("the flash card holds no images");
  if (!image)
    return refuse("the writer holds a flash card: name the image with --image N (1 to " +
                  std::to_string(info.count) + ")" + otherChoice + ":" + imageList(info));
  if (*image < 1 || *image > info.count)
    return refuse("--image " + std::to_string(*image) + ": the flash card holds " + std::to_string(info.count) +
                  (info.count == 1 ? " image:" : " images:") + imageList(info));
  selected = *image - 1;
  return kGoOn;
}

int runRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop, bool restore) {
  if (restore) {
    if (const int status = checkInput(args.file); status != kGoOn) return status;
  }
  return guarded(stop, [&] {
    OperationRun run(options, stop, args.file);
    if (const int status = probeCard(run); status != kGoOn) return status;
    const auto& info = run.state.cardInfo;
    int selected = 0;
    switch (info.kind) {
      case detect::kOrdinaryCartridge:
        if (args.image || args.password)
          return refuse("--image and --password choose a save area of a flash card; the writer holds an "
                        "ordinary cartridge");
        if (info.cartridge.ramSize < 1 || info.cartridge.ramSize > 3)
          return refuse("the cartridge has no save memory (RAM size code " + hexCode(info.cartridge.ramSize) + ")");
        break;
      case detect::kFlashCard:
        if (args.password) {
          if (run.state.writerType() != static_cast<int>(detect::WriterType::GbPassword))
            return refuse("--password is the \"Password\" item of the writer type gb-password; the writer type "
                          "is gb");
          selected = info.count;
          break;
        }
        {
          const std::string orPassword =
              run.state.writerType() == static_cast<int>(detect::WriterType::GbPassword) ? " or --password" : "";
          if (const int status = pickImage(info, args.image, orPassword, selected); status != kGoOn) return status;
        }
        break;
      default:
        return refuse(noCard("card with save memory"));
    }
    return report(run, run.run([&](ops::Operation& op) {
      return restore ? gb::RestoreGbRam(op, selected) : gb::BackupGbRam(op, selected);
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
    const int writerType = writerTypeOf(options.writer);
    for (const auto& image : args.images) {
      const fs::path path(image);
      const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
      const auto added = cardList.AddGbImage(dir, path.filename().string(), writerType);
      if (!added.added) return refuseImage(image, added.message, "");
    }
    OperationRun run(options, stop, "", args.images);
    run.state.cardList = cardList;
    const auto written = run.run([](ops::Operation& op) { return gb::WriteGbCard(op); });
    const int status = report(run, written);
    if (status != kExitOk || !args.verify) return status;
    return report(run, run.run([](ops::Operation& op) { return gb::VerifyGbCard(op); }));
  });
}

int runRead(const GlobalOptions& options, const ReadArgs& args, const std::atomic<bool>& stop) {
  if (isWs(options)) return runWsRead(options, args, stop);
  return guarded(stop, [&] {
    OperationRun run(options, stop, args.out);
    if (const int status = probeCard(run); status != kGoOn) return status;
    const auto& info = run.state.cardInfo;
    int selected = 0;
    switch (info.kind) {
      case detect::kOrdinaryCartridge:
        if (args.image)
          return refuse("--image chooses an image of a flash card; the writer holds an ordinary cartridge, "
                        "which is read whole");
        if (info.cartridge.romSize >= 8)
          return refuse("the cartridge's ROM size code " + hexCode(info.cartridge.romSize) +
                        " is not one that can be read: the writer is empty, or the cartridge's header is "
                        "not readable");
        break;
      case detect::kFlashCard:
        if (const int status = pickImage(info, args.image, "", selected); status != kGoOn) return status;
        break;
      default:
        return refuse(noCard("card to read"));
    }
    const int status = report(run, run.run([&](ops::Operation& op) { return gb::ReadGbCard(op, selected); }));
    // The checksums of the file written; a FIFO or a device cannot be read back.
    std::error_code error;
    if (status != kExitOk || !fs::is_regular_file(args.out, error)) return status;
    std::string reason;
    if (const auto sums = GbChecksumsOfFile(args.out, &reason))
      std::cerr << ChecksumLine(*sums) << '\n';
    else
      std::cerr << args.out << ": cannot be read back to look at its checksums: " << reason << '\n';
    return status;
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
    if (args.size != 16 && args.size != 32) {
      std::cerr << "erase: --size 16 or --size 32 is required for the writer types gb and gb-password\n";
      return kExitUsage;
    }
    OperationRun run(options, stop, "");
    if (const int status = probeCard(run); status != kGoOn) return status;
    if (run.state.cardInfo.kind != detect::kFlashCard)
      return refuse(run.state.cardInfo.kind == detect::kOrdinaryCartridge
                        ? "there is no flash card to erase: the writer holds an ordinary cartridge, or is empty"
                        : noCard("flash card to erase"));
    const int cardSize = args.size == 16 ? 0 : 1;
    return report(run, run.run([&](ops::Operation& op) { return gb::EraseGbCard(op, cardSize); }));
  });
}

}  // namespace quillon::cli
