// quillon-cli: the writer's operations from the command line.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <iostream>

#include "cli/commands.h"

namespace {

// Set by Ctrl-C; the link sends nothing more once it is set.
std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
  using namespace quillon::cli;
  GlobalOptions options;
  CLI::App app{
      "quillon-cli: drives a GB / WonderSwan cartridge writer on the parallel port.\n"
      "Ports: auto (default, or QUILLON_PORT), ppdev:/dev/parport0, direct:0x378, sim:DIR\n"
      "(a simulated writer kept in the folder DIR; see 'sim').",
      "quillon-cli"};
  app.require_subcommand(1);
  app.add_option("--port", options.port, "port to use: auto, ppdev:/dev/parportN, direct:0x378, sim:DIR");
  app.add_option("--writer", options.writer, "writer type: gb (default), gb-password or ws")
      ->check(CLI::IsMember({"gb", "gb-password", "ws"}));
  app.add_option("--trace", options.traceFile, "record every byte crossing the port in FILE (also QUILLON_TRACE)");
  app.add_option("--menu-dir", options.menuDir, "where cgbbios.bin and chtbios.bin are looked up");

  int status = kExitOk;

  auto* info = app.add_subcommand("info", "probe the writer and print the card information, one line per line");
  info->callback([&] { status = runInfo(options, interrupted); });

  std::string listDir;
  auto* list = app.add_subcommand("list", "print the image files of DIR for the writer type: Files, Name, Type, Rom, Ram, Color (tab-separated)");
  list->add_option("DIR", listDir, "ROM directory")->required();
  list->callback([&] { status = runList(options, listDir); });

  auto* simCmd = app.add_subcommand("sim", "manage a simulated writer kept in a folder");
  simCmd->require_subcommand(1);
  SimInsertArgs insertArgs;
  auto* insert = simCmd->add_subcommand("insert", "put a card into the simulated writer DIR (the folder is created)");
  insert->add_option("DIR", insertArgs.dir, "simulated writer folder")->required();
  insert->add_option("KIND", insertArgs.kind, "gb-flash, gb-cart, ws-flash or none")
      ->required()
      ->check(CLI::IsMember({"gb-flash", "gb-cart", "ws-flash", "none"}));
  insert->add_option("ROM", insertArgs.rom, "GB image for gb-cart");
  insert->add_option("--bios-chip", insertArgs.biosChip, "chip table row of the BIOS ROM (gb-flash; default 0)")
      ->check(CLI::Range(0, 22));
  insert->add_option("--flash-chip", insertArgs.flashChip, "chip table row of the FLASH ROM (gb-flash; default 21)")
      ->check(CLI::Range(0, 22));
  insert->add_option("--sav", insertArgs.sav, "save RAM contents for gb-cart");
  insert->callback([&] { status = runSimInsert(insertArgs); });

  std::string faultDir;
  std::vector<std::string> faults;
  bool clearFaults = false;
  auto* fault = simCmd->add_subcommand(
      "fault",
      "arm faults: absent, drop-after=N, bad-check=N, erase-fail-block=B, program-fail-bank=B,\n"
      "bios-erase-fail, bios-program-fail, sram-write-fail, busy-polls=K, ws-id=HEX,\n"
      "ws-size-bad-check, read-fail-bank=B; --clear removes all");
  fault->add_option("DIR", faultDir, "simulated writer folder")->required();
  fault->add_option("FAULT", faults, "NAME or NAME=VALUE");
  fault->add_flag("--clear", clearFaults, "disarm every fault first");
  fault->callback([&] {
    if (faults.empty() && !clearFaults) throw CLI::ValidationError("fault", "name a fault or give --clear");
    status = runSimFault(faultDir, faults, clearFaults);
  });

  std::string showDir;
  auto* show = simCmd->add_subcommand("show", "what is inserted and which faults are armed");
  show->add_option("DIR", showDir, "simulated writer folder")->required();
  show->callback([&] { status = runSimShow(showDir); });

  std::signal(SIGINT, onInterrupt);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return interrupted ? kExitInterrupted : kExitFailed;
  }
  return interrupted ? kExitInterrupted : status;
}
