// SPDX-License-Identifier: GPL-3.0-or-later
// Turning a port name (--port, QUILLON_PORT) into an open port.
//   auto                  ppdev on /dev/parport0; when that device is missing or cannot be
//                         opened, direct I/O at 0x378 (but not when another driver holds
//                         the port: that is said, with how to free it)
//   ppdev:/dev/parportN   the kernel's parallel-port device
//   direct:0x378          direct port I/O (x86 Linux, needs the I/O permission)
//   sim:DIR               the simulated writer kept in the folder DIR (see simPortOptions)
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>

#include "link/port.h"
#include "sim/sim.h"

namespace quillon::connect {

// Thrown when no port can be opened; the message says what failed and how to fix it.
struct PortError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// `notices` hears when a claim of a shared writer (sim:DIR) has to wait for another program.
std::unique_ptr<link::Port> openPort(const std::string& spec, std::ostream* notices = nullptr,
                                     const std::atomic<bool>* stop = nullptr);

// How this program waits for a simulated writer that another program is using: a claim or a
// change waits 10 s, or QUILLON_SIM_WAIT milliseconds when that holds a number (tests use a
// short wait), and says so on `notices`.
sim::SimPortOptions simPortOptions(std::ostream* notices, const std::atomic<bool>* stop = nullptr);

// How `auto` opens its two candidates; the defaults open the real ones.
struct AutoOpeners {
  std::function<std::unique_ptr<link::Port>()> ppdev;
  std::function<std::unique_ptr<link::Port>()> direct;
};
std::unique_ptr<link::Port> openAutoPort(const AutoOpeners& openers);

// The port to use: the given one, else QUILLON_PORT, else "auto".
std::string choosePortSpec(const std::string& given);

// The folder of a simulated writer's port ("sim:DIR" -> "DIR"); empty for any other port.
std::string simFolderOf(const std::string& spec);

// The writer that `port`, opened for `spec`, reaches, named the same however the port was
// given: the ppdev device node ("/dev/parport0"), the I/O base of direct I/O ("0x378"), or the
// simulated writer's folder as an absolute path through no link; `auto` is the port it opened.
// Empty for a port that is no writer's (none could be opened). The journal of unfinished work
// keeps a writer's entries under this name.
std::string WriterIdentity(const std::string& spec, const link::Port& port);

}  // namespace quillon::connect
