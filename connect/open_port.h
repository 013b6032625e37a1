// Turning a port name (--port, QUILLON_PORT) into an open port.
//   auto                  ppdev on /dev/parport0; when that device is missing or cannot be
//                         opened, direct I/O at 0x378 (but not when another driver holds
//                         the port: that is said, with how to free it)
//   ppdev:/dev/parportN   the kernel's parallel-port device
//   direct:0x378          direct port I/O (x86 Linux, needs the I/O permission)
//   sim:DIR               the simulated writer kept in the folder DIR
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "link/port.h"

namespace quillon::connect {

// Thrown when no port can be opened; the message says what failed and how to fix it.
struct PortError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::unique_ptr<link::Port> openPort(const std::string& spec);

// How `auto` opens its two candidates; the defaults open the real ones.
struct AutoOpeners {
  std::function<std::unique_ptr<link::Port>()> ppdev;
  std::function<std::unique_ptr<link::Port>()> direct;
};
std::unique_ptr<link::Port> openAutoPort(const AutoOpeners& openers);

// The port to use: the given one, else QUILLON_PORT, else "auto".
std::string choosePortSpec(const std::string& given);

}  // namespace quillon::connect
