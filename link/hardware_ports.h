// SPDX-License-Identifier: GPL-3.0-or-later
// Ports on real hardware. Opening throws std::runtime_error with a message that says what
// failed (with the system's own reason) and how to fix it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "link/port.h"

namespace quillon::link {

// The parallel-port device exists but another driver holds the port (the printer module
// `lp`, a scanner or ZIP driver). Direct I/O on that port would fight the driver.
struct PortBusy : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The kernel's parallel-port device (ppdev), e.g. "/dev/parport0". The port is claimed for
// as long as the object lives. Throws PortBusy when another driver holds the port.
std::unique_ptr<Port> openPpdevPort(const std::string& device);

// The processor's I/O ports and the permission calls that open them to this process.
// The permission calls return 0 or the errno value of the failure.
class IoSpace {
 public:
  virtual ~IoSpace() = default;
  virtual int ioperm(std::uint16_t from, std::uint16_t count, bool on) = 0;
  virtual int iopl(int level) = 0;
  virtual std::uint8_t inb(std::uint16_t port) = 0;
  virtual void outb(std::uint8_t value, std::uint16_t port) = 0;
};

// The x86 processor's own I/O space (x86 Linux only; elsewhere opening fails).
std::unique_ptr<IoSpace> processorIoSpace();

// Direct port I/O at `base`: 0x378 for the board's LPT1, or whatever base a PCI or PCIe
// parallel card was given (often above 0x3FF). Needs root or CAP_SYS_RAWIO. The delay
// counts changes of port 0x61 bit 4, and waits on the clock where that bit does not move.
std::unique_ptr<Port> openDirectPort(std::uint16_t base);
std::unique_ptr<Port> openDirectPort(std::uint16_t base, std::unique_ptr<IoSpace> io);

}  // namespace quillon::link
