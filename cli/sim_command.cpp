#include <iostream>
#include <optional>

#include "cli/commands.h"
#include "sim/sim.h"

namespace quillon::cli {

namespace {

template <typename F>
int guarded(F&& f) {
  try {
    f();
    return kExitOk;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace

int runSimInsert(const SimInsertArgs& args) {
  return guarded([&] {
    if (args.kind == "gb-flash") {
      sim::insertGbFlash(args.dir, args.biosChip, args.flashChip);
    } else if (args.kind == "gb-cart") {
      if (args.rom.empty()) throw std::runtime_error("sim insert DIR gb-cart needs the ROM image file");
      std::optional<std::filesystem::path> sav;
      if (!args.sav.empty()) sav = args.sav;
      sim::insertGbCart(args.dir, args.rom, sav);
    } else if (args.kind == "ws-flash") {
      sim::insertWsFlash(args.dir);
    } else if (args.kind == "none") {
      sim::insertNone(args.dir);
    } else {
      throw std::runtime_error("unknown card '" + args.kind + "': use gb-flash, gb-cart, ws-flash or none");
    }
  });
}

int runSimFault(const std::string& dir, const std::vector<std::string>& faults, bool clear) {
  return guarded([&] {
    if (clear) sim::clearFaults(dir);
    if (!faults.empty()) sim::armFaults(dir, faults);
  });
}

int runSimShow(const std::string& dir) {
  return guarded([&] { std::cout << sim::describeWriter(dir); });
}

}  // namespace quillon::cli
