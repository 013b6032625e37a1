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

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define QUILLON_HAVE_DIRECT_IO 1
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
      return device + " does not exist: load the parallel-port device module (sudo modprobe ppdev) "
                      "and check that the machine has a parallel port";
    case EACCES:
    case EPERM:
      return "no permission to open " + device + ": add yourself to the group that owns it "
             "(sudo usermod -aG lp $USER, then log in again)";
    default:
      return "cannot open " + device + ": " + std::strerror(error);
  }
}

class PpdevPort final : public Port {
 public:
  explicit PpdevPort(const std::string& device) : device_(device) {
    fd_ = ::open(device.c_str(), O_RDWR);
    if (fd_ < 0) fail(openAdvice(device, errno));
    if (::ioctl(fd_, PPCLAIM) != 0) {
      const int error = errno;
      ::close(fd_);
      if (error == EBUSY)
        fail(device + " is held by another driver: unload the printer module (sudo rmmod lp) "
                      "or stop whatever is printing");
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
    if (result != 0) fail(device_ + ": " + request + " failed: " + std::strerror(errno));
  }
  std::string device_;
  int fd_ = -1;
};

#endif

#if defined(QUILLON_HAVE_DIRECT_IO)

class DirectPort final : public Port {
 public:
  explicit DirectPort(std::uint16_t base) : base_(base) {
    if (::ioperm(base, 3, 1) != 0 || ::ioperm(kSystemControlPort, 1, 1) != 0) {
      fail("no permission for direct port I/O at " + hex(base) +
           ": run as root, or use ppdev (--port ppdev:/dev/parport0)");
    }
  }
  ~DirectPort() override {
    ::ioperm(base_, 3, 0);
    ::ioperm(kSystemControlPort, 1, 0);
  }
  std::uint8_t readStatus() override { return ::inb(static_cast<unsigned short>(base_ + 1)); }
  void writeData(std::uint8_t value) override { ::outb(value, base_); }
  std::uint8_t readControl() override { return ::inb(static_cast<unsigned short>(base_ + 2)); }
  void writeControl(std::uint8_t value) override {
    ::outb(value, static_cast<unsigned short>(base_ + 2));
  }
  // Counts changes of the refresh-clock bit (bit 4 of port 0x61), about one per 15 us.
  void delayTicks(std::uint32_t count) override {
    std::uint8_t last = ::inb(kSystemControlPort) & 0x10;
    while (count > 0) {
      const std::uint8_t now = ::inb(kSystemControlPort) & 0x10;
      if (now != last) {
        last = now;
        --count;
      }
    }
  }
  std::string describe() const override { return "direct:" + hex(base_); }

 private:
  static constexpr unsigned short kSystemControlPort = 0x61;
  static std::string hex(std::uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
  }
  std::uint16_t base_;
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

std::unique_ptr<Port> openDirectPort(std::uint16_t base) {
#if defined(QUILLON_HAVE_DIRECT_IO)
  return std::make_unique<DirectPort>(base);
#else
  (void)base;
  fail("direct port I/O is only available on x86 Linux");
#endif
}

}  // namespace quillon::link
