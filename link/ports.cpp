// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>

#include "link/hardware_ports.h"

#if defined(__linux__)
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace quillon::link {

void waitTicksOnClock(std::uint32_t count) {
  using namespace std::chrono;
  const auto wait = duration<double, std::micro>(kTickMicroseconds * count);
  const auto end = steady_clock::now() + duration_cast<steady_clock::duration>(wait);
  while (steady_clock::now() < end) {
  }
}

namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

#if defined(__linux__)

std::string openAdvice(const std::string& device, int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return device +
             " does not exist: load the parallel-port device module (sudo modprobe ppdev) "
             "and check that the machine has a parallel port";
    case EACCES:
    case EPERM:
      return "no permission to open " + device +
             ": add yourself to the group that owns it "
             "(sudo usermod -aG lp $USER, then log in again)";
    default:
      return "cannot open " + device + ": " + std::strerror(error);
  }
}

class PpdevPort final : public Port {
 public:
  explicit PpdevPort(const std::string& device) : device_(device) {
    fd_ = ::open(device.c_str(), O_RDWR);
    if (fd_ < 0) {
      const int error = errno;
      fail(openAdvice(device, error));
    }
    if (::ioctl(fd_, PPCLAIM) != 0) {
      const int error = errno;
      ::close(fd_);
      // The device node opened, so the port exists: a refused registration (ENXIO) means
      // another driver has taken the port for itself.
      if (error == EBUSY || error == ENXIO) {
        throw PortBusy(device + " is held by another driver (" + std::strerror(error) +
                       "): free it with 'sudo rmmod lp' (the printer module) or stop the "
                       "program or driver using the port");
      }
      fail("cannot claim " + device + ": " + std::strerror(error));
    }
  }
  ~PpdevPort() override {
    ::ioctl(fd_, PPRELEASE);
    ::close(fd_);
  }

  std::uint8_t readStatus() override {
    unsigned char v = 0;
    check(::ioctl(fd_, PPRSTATUS, &v), "PPRSTATUS");
    return v;
  }
  void writeData(std::uint8_t value) override {
    unsigned char v = value;
    check(::ioctl(fd_, PPWDATA, &v), "PPWDATA");
  }
  std::uint8_t readControl() override {
    unsigned char v = 0;
    check(::ioctl(fd_, PPRCONTROL, &v), "PPRCONTROL");
    return v;
  }
  void writeControl(std::uint8_t value) override {
    unsigned char v = value;
    check(::ioctl(fd_, PPWCONTROL, &v), "PPWCONTROL");
  }
  void delayTicks(std::uint32_t count) override { waitTicksOnClock(count); }
  std::string describe() const override { return "ppdev:" + device_; }

 private:
  void check(int result, const char* request) const {
    if (result == 0) return;
    const int error = errno;
    fail(device_ + ": " + request + " failed: " + std::strerror(error));
  }
  std::string device_;
  int fd_ = -1;
};

#endif

}  // namespace

std::unique_ptr<Port> openPpdevPort(const std::string& device) {
#if defined(__linux__)
  return std::make_unique<PpdevPort>(device);
#else
  fail("the ppdev port is only available on Linux (" + device + ")");
#endif
}

}  // namespace quillon::link
