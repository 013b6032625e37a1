// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli: the writer's operations from the command line.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <iostream>
#include <new>
#include <vector>

#include "cli/commands.h"
#include "detect/card_info.h"
#include "gb/gb_family.h"
#include "quillon_version.h"
#include "sim/chips.h"
#include "sim/faults.h"

namespace {

// Set by Ctrl-C, SIGTERM or SIGHUP: a stop request. The link sends nothing more once it is
// set; the command ends as soon as the packet under way is done, removing what it had begun
// to write. `stopSignal` keeps which signal it was, for the exit status.
std::atomic<bool> interrupted{false};
std::atomic<int> stopSignal{0};

extern "C" void onStopSignal(int signal) {
  int none = 0;
  stopSignal.compare_exchange_strong(none, signal);
  interrupted.store(true);
}

// Stop requests without SA_RESTART: a system call that waits (the open of a FIFO, a write
// to a full pipe) returns at once, so that a signal is never lost in a wait. A lost reader of
// the progress output ends that output (its writes fail), not the operation: SIGPIPE is
// ignored. A file that reaches the size limit (ulimit -f) fails its write with EFBIG, which
// the operation reports, instead of killing the program beside a half-written file: SIGXFSZ
// is ignored too.
void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

// A command that finished is its own result, even when a stop request came after it; one
// that a stop request ended exits 128 + the signal.
int ExitStatus(int status) {
  if (!interrupted || status == quillon::cli::kExitOk || status == quillon::cli::kExitUsage) return status;
  const int signal = stopSignal.load();
  return signal > 0 ? 128 + signal : quillon::cli::kExitInterrupted;
}

}  // namespace

static int RunCommandLine(int argc, char** argv) {
  using namespace quillon::cli;
  GlobalOptions options;
  options.argv0 = argc > 0 ? argv[0] : "";
  CLI::App app{
      "quillon-cli: drives a GB / WonderSwan cartridge writer on the parallel port.\n"
      "Ports: auto (default, or QUILLON_PORT), ppdev:/dev/parport0, direct:BASE (0x378, or a PCI card's base), "
      "sim:DIR\n"
      "(a simulated writer kept in the folder DIR; see 'sim').",
      "quillon-cli"};
  app.require_subcommand(1);
  std::string versionLine = "quillon-cli ";
  versionLine += quillon::kVersion;
  app.set_version_flag("--version", versionLine, "print the program's version and exit");
  app.add_option("--port", options.port,
                 "port to use: auto, ppdev:/dev/parportN, direct:BASE (e.g. direct:0x378), sim:DIR");
  app.add_option("--writer", options.writer, "writer type: gb (default), gb-password or ws")
      ->check(CLI::IsMember({"gb", "gb-password", "ws"}));
  app.add_option("--trace", options.traceFile, "record every byte crossing the port in FILE (also QUILLON_TRACE)");
  app.add_option("--menu-dir", options.menuDir, "where cgbbios.bin and chtbios.bin are looked up");
  app.add_flag("--no-backup", options.noBackup,
               "no copy of the save memory before restore-ram, erase or write overwrite it (see 'backups')");

  int status = kExitOk;

  const char* oneLineFields =
      "No field can break its line: a backslash is printed as \\\\, a tab as \\t, a line feed as \\n, a\n"
      "carriage return as \\r, and each other control byte (0x00-0x1F, 0x7F), each byte of a C1 control\n"
      "character and each byte of a file name that is not UTF-8 as \\xHH. Titles are Big5 shown as UTF-8.";
  auto* info = app.add_subcommand("info", "probe the writer and print the card information, one line per line");
  info->footer(std::string(oneLineFields) +
               "\n\nBefore the card information, on standard error: a write, erase or save restore on this writer\n"
               "that began changing the card and did not finish (a failure, a stop, a crash, a power cut), with\n"
               "when and by which program it began, as the journal of unfinished work ($XDG_STATE_HOME/quillon/\n"
               "journal, else ~/.local/state/quillon/journal) keeps it until a later one of the same kind succeeds.");
  info->callback([&] { status = runInfo(options, interrupted); });

  auto* backups = app.add_subcommand("backups", "list the copies of save memory kept before commands overwrote it");
  backups->footer(
      "restore-ram, erase and write (and the desktop program's commands that do the same) first copy\n"
      "the save memory they are about to overwrite into $XDG_DATA_HOME/quillon/backups (else\n"
      "~/.local/share/quillon/backups), as YYYYMMDD-HHMMSS_<writer type>_<title>.sav; the folder's\n"
      "copies.index records them in the order they were made, and the newest 50 of those are kept (a\n"
      "file renamed or put there is left alone). A copy that cannot be made, or no folder for it (neither\n"
      "HOME nor an absolute XDG_DATA_HOME), stops the command before the card changes (\"Backup Fail\").\n"
      "--no-backup (or AutoBackup=0 in the [Main] section of the desktop program's settings) turns it off.\n"
      "One line per recorded copy, newest first: date and time, size in bytes, title, path (tab-separated).");
  backups->callback([&] { status = runBackups(); });

  DoctorArgs doctorArgs;
  auto* doctor = app.add_subcommand("doctor", "check the parallel port's setup and whether a writer answers");
  doctor->add_option("--system-root", doctorArgs.systemRoot,
                     "look for sys/, proc/ and dev/ under DIR instead of / (for tests)");
  doctor->footer(
      "One line per check, in order: the parallel ports the kernel knows (base address, modes), the\n"
      "ppdev module, the /dev/parport* nodes and whether you may open them, another driver (lp) holding\n"
      "a port, the port that --port auto opens, direct I/O permission at the port's base, and finally\n"
      "whether a writer answers on the port (--port, QUILLON_PORT or auto) and what card it holds.\n"
      "Each line starts with [ ok ], [warn], [FAIL] or [skip]; after \" -- \" it says what to do.\n"
      "Exit status 0 when a writer answers, 1 otherwise.");
  doctor->callback([&] { status = runDoctor(options, doctorArgs, interrupted); });

  std::string listDir;
  auto* list = app.add_subcommand(
      "list", "print the image files of DIR for the writer type: Files, Name, Type, Rom, Ram, Color (tab-separated)");
  list->add_option("DIR", listDir, "ROM directory")->required();
  list->footer(oneLineFields);
  list->callback([&] { status = runList(options, listDir); });

  // A file argument must name a file: an empty answer would read as a cancelled file dialog.
  const CLI::Validator fileName(
      [](std::string& name) { return name.empty() ? std::string("an empty file name") : std::string(); }, "FILE");

  WriteArgs writeArgs;
  static_assert(quillon::detect::kMaxCardImages == 8, "the help of write counts the images a GB card holds");
  auto* write = app.add_subcommand("write", "write GB images (up to eight) or one WS image onto the flash card");
  write
      ->add_option("IMAGE", writeArgs.images,
                   "GB image files (*.gb, *.gbc), up to eight; or one WS image (*.ws, *.wsc)")
      ->required()
      ->check(fileName);
  write->add_flag("--verify", writeArgs.verify,
                  "after \"Writing Success\", read the card back and compare it with what was written: GB every\n"
                  "image with its file; WS the image as written (patched, with the card's size code)");
  write->add_option("--patch", writeArgs.patch, "IPS patch applied to the WS image in memory before writing (ws)")
      ->check(fileName);
  write->footer(
      "GB (--writer gb, gb-password): the images join the card list in the order given, each with the\n"
      "card list's checks; a refused image stops the command with its message before anything is sent.\n"
      "The menu image (cgbbios.bin for gb, chtbios.bin for gb-password) is read from --menu-dir or the\n"
      "program's own folder.\n"
      "WS (--writer ws): exactly one image of 512 KiB, 1, 2 or 4 MiB, with or without a 512-byte header;\n"
      "a second image is refused (\"Have selected ROM\"). It goes to the top of the card and the save\n"
      "memory is cleared. --patch FILE applies that IPS patch to the image in memory (the file is not\n"
      "changed), whatever save type the image declares. A patch that cannot be read whole\n"
      "(\"Opening FILE Error\") or does not fit the image (\"Patch File Error\") stops the command\n"
      "with exit 1 before the port is opened.\n"
      "Prints \"Writing Success\" (and \"Verify OK\" with --verify) on standard output.");
  write->callback([&] { status = runWrite(options, writeArgs, interrupted); });

  ReadArgs readArgs;
  auto* read = app.add_subcommand(
      "read", "read an ordinary cartridge, one image of a GB flash card, or the WS card into a file");
  read->add_option("OUT", readArgs.out, "image file to write")->required()->check(fileName);
  read->add_option("--image", readArgs.image, "image N (1-based, as 'info' lists them) of a GB flash card");
  read->add_option("--dat", readArgs.dats, "look the file read up in this DAT (repeatable; also QUILLON_DAT)")
      ->check(fileName);
  read->add_flag("--twice", readArgs.twice,
                 "read every GB bank or WS block twice and a third time where the two differ, keeping the\n"
                 "bytes two reads agree on (dirty contacts); no two alike fails the read");
  read->footer(
      "The card is probed first. An ordinary cartridge is read whole, as its header declares its size\n"
      "(--image is refused); a flash card needs --image N. Prints \"Downloading Success\" on standard\n"
      "output and one line on standard error saying whether the file's header checksum and global\n"
      "checksum are right. A failed read leaves no file of that name behind.\n"
      "WS (--writer ws): no probe first, no --image; the card is read as large as it says it is, up to\n"
      "its 4 MiB (a size answer that fails its check, or of nothing or more than 4 MiB, reads nothing:\n"
      "\"Reading Error\"); the size code that writing put into the fourth byte from the end is\n"
      "cleared, and the file has no header; the line on standard error says whether the image's\n"
      "checksum (its last two bytes, low byte first) is right.\n"
      "With --dat FILE (or QUILLON_DAT), a verdict line follows it, as 'check' prints it (see 'check\n"
      "--help'); a DAT that cannot be read is said before the port is opened, the card is read all the\n"
      "same and the verdict line says \"no DAT verdict\". An OUT that cannot be read back (a FIFO,\n"
      "/dev/stdout) gives \"no DAT verdict (OUT cannot be read back)\". The file is kept whatever the\n"
      "DAT says, and the exit status is the read's.\n"
      "--twice: a line on standard error after the checksums says how many banks (GB) or blocks (WS)\n"
      "needed a third read; \"bank B read differently each time: clean the contacts and read again\"\n"
      "(\"block B\" for WS, counted from 0) fails the read, exit 1.");
  read->callback([&] { status = runRead(options, readArgs, interrupted); });

  CheckArgs checkArgs;
  auto* check = app.add_subcommand("check", "print an image file's header facts, checksums and DAT verdict");
  check->add_option("IMAGE", checkArgs.images, "image files")->required()->check(fileName);
  check->add_option("--dat", checkArgs.dats, "DAT file to look the images up in (repeatable)")->check(fileName);
  check->footer(
      "For each image, on standard output: its header facts as 'list' shows them (one line), its\n"
      "checksum line as 'read' prints it, and with a DAT the verdict line. --writer decides, as for\n"
      "'list', whether the files are GB images (gb, gb-password; the default) or WS images (ws).\n"
      "DATs: each --dat FILE in order, then the files of QUILLON_DAT (separated by ':'); Logiqx XML\n"
      "(No-Intro) or clrmamepro text. An image matches a DAT entry by size and CRC32, then by SHA-1\n"
      "(MD5 where the entry has only that): the whole file first, then its first N bytes (the size its\n"
      "header declares, or a half of a mirrored over-dump), then a WS file without a 512-byte header.\n"
      "The first DAT with a match decides. Verdict lines:\n"
      "  good dump: NAME [(its first N bytes) | (without its 512-byte header)]\n"
      "  bad dump in the DAT: NAME\n"
      "  not in the DAT [(its title matches NAME, whose contents differ)]\n"
      "  no DAT verdict (FILE could not be read)   after the line naming FILE, the line and why\n"
      "Exit status 0 when every image is a good dump (with no DAT: every checksum is right), 1\n"
      "otherwise. The port is not opened.");
  check->callback([&] { status = runCheck(options, checkArgs); });

  const char* ramFooter =
      "The card is probed first. An ordinary cartridge needs save memory (RAM size code 1, 2 or 3) and\n"
      "takes neither --image nor --password; a flash card needs --image N for the save area of image N\n"
      "or, with --writer gb-password, --password for the \"Password\" item. The file holds the raw save\n"
      "memory: 2048 bytes for RAM size code 1, 8192 for code 2 and the \"Password\" item, 32768 for code 3.\n"
      "An MBC1 cartridge (type 0x01-0x03) with 32768 bytes is switched into its RAM banking mode for it.\n"
      "WS (--writer ws): no probe first, neither --image nor --password; the file is the whole 32 KiB save\n"
      "memory (a longer file to restore gives its first 32 KiB).";
  RamArgs backupArgs, restoreArgs;
  auto* backup = app.add_subcommand("backup-ram", "save the card's save memory into a file (*.sav)");
  backup->add_option("OUT", backupArgs.file, "save memory file to write")->required()->check(fileName);
  auto* backupImage =
      backup->add_option("--image", backupArgs.image, "the save area of image N (1-based) of a flash card");
  backup->add_flag("--password", backupArgs.password, "the \"Password\" item (writer type gb-password)")
      ->excludes(backupImage);
  backup->footer(std::string(ramFooter) + "\nPrints \"Downloading Success\" on standard output.");
  backup->callback([&] { status = runBackupRam(options, backupArgs, interrupted); });

  auto* restore = app.add_subcommand("restore-ram", "write a save memory file (*.sav) into the card's save memory");
  restore->add_option("IN", restoreArgs.file, "save memory file to read")->required()->check(fileName);
  auto* restoreImage =
      restore->add_option("--image", restoreArgs.image, "the save area of image N (1-based) of a flash card");
  restore->add_flag("--password", restoreArgs.password, "the \"Password\" item (writer type gb-password)")
      ->excludes(restoreImage);
  restore->footer(std::string(ramFooter) + "\nPrints \"Uploading Success\" on standard output.");
  restore->callback([&] { status = runRestoreRam(options, restoreArgs, interrupted); });

  EraseArgs eraseArgs;
  // --size names the card sizes the window's item chooser offers.
  std::vector<int> cardSizes;
  cardSizes.reserve(quillon::gb::kCardSizes.size());
  for (const auto& size : quillon::gb::kCardSizes) cardSizes.push_back(size.megabits);
  auto* erase = app.add_subcommand("erase", "erase the flash card: its images, its menu image and its save memory");
  erase
      ->add_option("--size", eraseArgs.size,
                   R"(16: the first 2 MiB of the FLASH ROM ("16MB Card"); 32: all 4 MiB ("32MB Card"))")
      ->check(CLI::IsMember(cardSizes));
  erase->footer(
      "--size is required for the writer types gb and gb-password. The card is probed first; only a\n"
      "flash card is erased. The whole 128 KiB save memory is cleared whatever the size.\n"
      "WS (--writer ws): no --size; the whole 4 MiB card and its 32 KiB save memory are erased.\n"
      "Prints \"Earsing Success\" on standard output.");
  erase->callback([&] { status = runErase(options, eraseArgs, interrupted); });

  PatchArgs patchArgs;
  auto* patch = app.add_subcommand("patch", "apply an IPS patch to a copy of a file; nothing is sent to a writer");
  patch->add_option("IMAGE", patchArgs.image, "file to patch (it is not changed)")->required()->check(fileName);
  patch->add_option("PATCH", patchArgs.patch, "IPS patch file")->required()->check(fileName);
  patch->add_option("OUT", patchArgs.out, "patched file to write")->required()->check(fileName);
  patch->footer(
      "Any file can be patched, GB and WS images alike. Patch offsets count from the file's first byte,\n"
      "so a WS image with a 512-byte header is patched with its header counted ('write --patch' drops\n"
      "the header first). The whole patch is checked before any byte changes; one that does not fit\n"
      "the file prints \"Patch File Error\", exit 1, and OUT is not written. OUT appears only complete.\n"
      "The port is not opened; --writer and --trace do not matter. OUT may not be a file of the\n"
      "simulated writer's folder of --port (or QUILLON_PORT) nor a copy of save memory.");
  patch->callback([&] { status = runPatch(options, patchArgs); });

  auto* simCmd = app.add_subcommand("sim", "manage a simulated writer kept in a folder");
  simCmd->require_subcommand(1);
  SimInsertArgs insertArgs;
  auto* insert = simCmd->add_subcommand("insert", "put a card into the simulated writer DIR (the folder is created)");
  insert->add_option("DIR", insertArgs.dir, "simulated writer folder")->required();
  insert->add_option("KIND", insertArgs.kind, "gb-flash, gb-cart, ws-flash or none")
      ->required()
      ->check(CLI::IsMember({"gb-flash", "gb-cart", "ws-flash", "none"}));
  insert->add_option("ROM", insertArgs.rom, "GB image for gb-cart");
  // A chip by its name, its ID bytes or its chip table row.
  const CLI::Validator chip(
      [](std::string& text) {
        return quillon::sim::chipByNameIdOrRow(text) != nullptr ? std::string()
                                                                : "unknown chip " + quillon::sim::quotedText(text) +
                                                                      ": expected " + quillon::sim::chipFormsText(true);
      },
      "CHIP");
  const auto chipOption = [&](const char* option, const char* memory, quillon::sim::ChipId& target) {
    insert
        ->add_option_function<std::string>(
            option, [&target](const std::string& text) { target = quillon::sim::chipByNameIdOrRow(text)->id; },
            std::string("chip of the ") + memory + ": its name, ID bytes or chip table row (gb-flash; default " +
                std::string(quillon::sim::chipWithId(target)->name) + ")")
        ->check(chip);
  };
  chipOption("--bios-chip", "BIOS ROM", insertArgs.biosChip);
  chipOption("--flash-chip", "FLASH ROM", insertArgs.flashChip);
  insert->footer(
      "A chip is named by its name ('INTEL 28F016SA', quoted for the shell; letters of either case), by\n"
      "its three ID bytes in hex (89:A0:10) or by its row in the program's chip table (21); 'sim show'\n"
      "shows the name and the row. writer.ini records the chip by its ID bytes.");
  insert->add_option("--sav", insertArgs.sav, "save RAM contents for gb-cart");
  insert->callback([&] { status = runSimInsert(insertArgs, interrupted); });

  std::string faultDir;
  std::vector<std::string> faults;
  bool clearFaults = false;
  auto* fault = simCmd->add_subcommand("fault", "arm faults of the simulated writer DIR; --clear removes all");
  fault->footer("Faults, kept in DIR's writer.ini until --clear:\n" + quillon::sim::faultHelp());
  fault->add_option("DIR", faultDir, "simulated writer folder")->required();
  fault->add_option("FAULT", faults, "NAME or NAME=VALUE");
  fault->add_flag("--clear", clearFaults, "disarm every fault first");
  fault->callback([&] {
    if (faults.empty() && !clearFaults) throw CLI::ValidationError("fault", "name a fault or give --clear");
    status = runSimFault(faultDir, faults, clearFaults, interrupted);
  });

  std::string showDir;
  auto* show = simCmd->add_subcommand("show", "what is inserted and which faults are armed");
  show->add_option("DIR", showDir, "simulated writer folder")->required();
  show->callback([&] { status = runSimShow(showDir); });

  app.footer(
      "Progress goes to standard error (a bar on a terminal, plain step lines otherwise), the result\n"
      "to standard output. Exit status: 0 success (also when a stop request came after the result); 1\n"
      "the operation failed or was refused (its message on standard error); 2 wrong usage; 128 + the\n"
      "signal when Ctrl-C (130), SIGTERM (143) or SIGHUP (129) stopped it: nothing more is sent to the\n"
      "writer and no file is left half written. A lost reader of the progress output (SIGPIPE) does\n"
      "not stop the operation.\n"
      "'quillon-cli COMMAND --help' tells more about each command; 'quillon-cli --version' prints\n"
      "the version.");

  InstallSignalHandlers();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  } catch (const std::bad_alloc&) {
    std::cerr << "quillon-cli: there is not enough memory for this command\n";
    return ExitStatus(kExitFailed);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return ExitStatus(kExitFailed);
  }
  return ExitStatus(status);
}

int main(int argc, char** argv) {
  // What escapes the command's own handling (setting up the options) ends here, not in
  // std::terminate.
  try {
    return RunCommandLine(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "quillon-cli: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "quillon-cli: an unexpected error ended the command\n";
  }
  return quillon::cli::kExitFailed;
}
