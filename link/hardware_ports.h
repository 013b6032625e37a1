// Ports on real hardware. Both throw std::runtime_error with a message that says what
// failed and how to fix it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/port.h"

namespace quillon::link {

// The kernel's parallel-port device (ppdev), e.g. "/dev/parport0". The port is claimed for
// as long as the object lives.
std::unique_ptr<Port> openPpdevPort(const std::string& device);

// Direct port I/O at `base` (0x378 for LPT1); x86 Linux only, needs the I/O permission
// (root or CAP_SYS_RAWIO). The delay counts changes of port 0x61 bit 4.
std::unique_ptr<Port> openDirectPort(std::uint16_t base);

}  // namespace quillon::link
