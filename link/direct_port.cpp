// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "link/hardware_ports.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define QUILLON_HAVE_DIRECT_IO 1
#endif

namespace quillon::link {
namespace {

constexpr std::uint16_t kSystemControlPort = 0x61;
constexpr std::uint8_t kRefreshBit = 0x10;
constexpr std::uint16_t kRegisterCount = 3;  // data, status, control
// ioperm() reaches only the ports up to 0x3FF; above that, only iopl() opens them.
constexpr std::uint32_t kLastIopermPort = 0x3FF;

std::string hex(std::uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

class DirectPort final : public Port {
 public:
  DirectPort(std::uint16_t base, std::unique_ptr<IoSpace> io) : base_(base), io_(std::move(io)) {
    const bool high = base + kRegisterCount - 1u > kLastIopermPort;
    if (high) {
      if (const int error = io_->iopl(3)) refuse("iopl", error);
      useIopl_ = true;
      if (const int error = io_->ioperm(kSystemControlPort, 1, true)) {
        io_->iopl(0);
        refuse("ioperm", error);
      }
      return;
    }
    if (const int error = io_->ioperm(base, kRegisterCount, true)) refuse("ioperm", error);
    if (const int error = io_->ioperm(kSystemControlPort, 1, true)) {
      io_->ioperm(base, kRegisterCount, false);
      refuse("ioperm", error);
    }
  }
  ~DirectPort() override {
    io_->ioperm(kSystemControlPort, 1, false);
    if (useIopl_) {
      io_->iopl(0);
    } else {
      io_->ioperm(base_, kRegisterCount, false);
    }
  }

  std::uint8_t readStatus() override { return io_->inb(static_cast<std::uint16_t>(base_ + 1)); }
  void writeData(std::uint8_t value) override { io_->outb(value, base_); }
  std::uint8_t readControl() override { return io_->inb(static_cast<std::uint16_t>(base_ + 2)); }
  void writeControl(std::uint8_t value) override { io_->outb(value, static_cast<std::uint16_t>(base_ + 2)); }

  // Counts changes of the refresh-clock bit (bit 4 of port 0x61), about one per 15 us.
  // Some chipsets and most virtual machines never move that bit: when it has not changed
  // in four times the time asked (and at least a few milliseconds), the wait ends there
  // and every later wait is measured on the clock instead.
  void delayTicks(std::uint32_t count) override {
    if (refreshBitStill_) {
      waitTicksOnClock(count);
      return;
    }
    using namespace std::chrono;
    const auto patience = duration<double, std::micro>(4 * kTickMicroseconds * count) + 5ms;
    const auto giveUp = steady_clock::now() + duration_cast<steady_clock::duration>(patience);
    std::uint8_t last = io_->inb(kSystemControlPort) & kRefreshBit;
    bool moved = false;
    while (count > 0) {
      const std::uint8_t now = io_->inb(kSystemControlPort) & kRefreshBit;
      if (now != last) {
        last = now;
        moved = true;
        --count;
      } else if (steady_clock::now() > giveUp) {
        refreshBitStill_ = !moved;
        return;
      }
    }
  }
  std::string describe() const override { return "direct:" + hex(base_); }

 private:
  [[noreturn]] void refuse(const char* call, int error) const {
    std::string advice = error == EPERM || error == EACCES
                             ? "run as root or give the program CAP_SYS_RAWIO, or use ppdev "
                               "(--port ppdev:/dev/parport0)"
                             : "use ppdev (--port ppdev:/dev/parport0)";
    throw std::runtime_error("no direct port I/O at " + hex(base_) + " (" + call + ": " + std::strerror(error) +
                             "): " + advice);
  }

  std::uint16_t base_;
  std::unique_ptr<IoSpace> io_;
  bool useIopl_ = false;
  bool refreshBitStill_ = false;
};

#if defined(QUILLON_HAVE_DIRECT_IO)
class ProcessorIoSpace final : public IoSpace {
 public:
  int ioperm(std::uint16_t from, std::uint16_t count, bool on) override {
    return ::ioperm(from, count, on ? 1 : 0) == 0 ? 0 : errno;
  }
  int iopl(int level) override { return ::iopl(level) == 0 ? 0 : errno; }
  std::uint8_t inb(std::uint16_t port) override { return ::inb(port); }
  void outb(std::uint8_t value, std::uint16_t port) override { ::outb(value, port); }
};
#endif

}  // namespace

std::unique_ptr<IoSpace> processorIoSpace() {
#if defined(QUILLON_HAVE_DIRECT_IO)
  return std::make_unique<ProcessorIoSpace>();
#else
  return nullptr;
#endif
}

std::unique_ptr<Port> openDirectPort(std::uint16_t base, std::unique_ptr<IoSpace> io) {
  if (!io) throw std::runtime_error("direct port I/O is only available on x86 Linux");
  return std::make_unique<DirectPort>(base, std::move(io));
}

std::unique_ptr<Port> openDirectPort(std::uint16_t base) { return openDirectPort(base, processorIoSpace()); }

}  // namespace quillon::link
