// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>
#include <optional>

#include "cli/commands.h"
#include "connect/open_port.h"
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

// A change waits for an operation under way in another program, as a card operation does.
int runSimInsert(const SimInsertArgs& args, const std::atomic<bool>& stop) {
  const sim::SimPortOptions options = connect::simPortOptions(&std::cerr, &stop);
  return guarded([&] {
    if (args.kind == "gb-flash") {
      sim::insertGbFlash(args.dir, args.biosChip, args.flashChip, options);
    } else if (args.kind == "gb-cart") {
      if (args.rom.empty()) throw std::runtime_error("sim insert DIR gb-cart needs the ROM image file");
      std::optional<std::filesystem::path> sav;
      if (!args.sav.empty()) sav = args.sav;
      sim::insertGbCart(args.dir, args.rom, sav, options);
    } else if (args.kind == "ws-flash") {
      sim::insertWsFlash(args.dir, options);
    } else if (args.kind == "none") {
      sim::insertNone(args.dir, options);
    } else {
      throw std::runtime_error("unknown card '" + args.kind + "': use gb-flash, gb-cart, ws-flash or none");
    }
  });
}

int runSimFault(const std::string& dir, const std::vector<std::string>& faults, bool clear,
                const std::atomic<bool>& stop) {
  const sim::SimPortOptions options = connect::simPortOptions(&std::cerr, &stop);
  return guarded([&] {
    if (clear) sim::clearFaults(dir, options);
    if (!faults.empty()) sim::armFaults(dir, faults, options);
  });
}

int runSimShow(const std::string& dir) {
  return guarded([&] { std::cout << sim::describeWriter(dir); });
}

}  // namespace quillon::cli
