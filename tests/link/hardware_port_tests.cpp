// SPDX-License-Identifier: GPL-3.0-or-later
// Direct port I/O against a recorded I/O space, and the choice `auto` makes between the
// kernel's device and direct I/O.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "connect/open_port.h"
#include "link/hardware_ports.h"

namespace quillon::test {
namespace {

// Records the permission calls and port accesses; port 0x61 bit 4 follows `refresh`.
struct IoRecord {
  std::vector<std::string> calls;
  std::map<std::uint16_t, std::uint8_t> written;
  int iopermError = 0, ioplError = 0;
  bool refreshMoves = true;
  std::uint64_t refreshReads = 0;
};

class RecordedIo final : public link::IoSpace {
 public:
  explicit RecordedIo(IoRecord& record) : r_(record) {}
  int ioperm(std::uint16_t from, std::uint16_t count, bool on) override {
    r_.calls.push_back("ioperm " + hex(from) + " " + std::to_string(count) + (on ? " on" : " off"));
    // The kernel's ioperm covers only ports up to 0x3FF.
    if (from + count - 1 > 0x3FF) return EINVAL;
    return on ? r_.iopermError : 0;
  }
  int iopl(int level) override {
    r_.calls.push_back("iopl " + std::to_string(level));
    return level > 0 ? r_.ioplError : 0;
  }
  std::uint8_t inb(std::uint16_t port) override {
    if (port == 0x61) {
      ++r_.refreshReads;
      if (r_.refreshMoves) refresh_ ^= 0x10;
      return refresh_;
    }
    return static_cast<std::uint8_t>(port & 0xFF);  // the low address byte, to see which register
  }
  void outb(std::uint8_t value, std::uint16_t port) override { r_.written[port] = value; }

  static std::string hex(std::uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
  }

 private:
  IoRecord& r_;
  std::uint8_t refresh_ = 0x20;
};

std::unique_ptr<link::Port> open(std::uint16_t base, IoRecord& record) {
  return link::openDirectPort(base, std::make_unique<RecordedIo>(record));
}

// Which permission call opens the registers, for the board's ports and those PCI and PCIe
// cards are given; and what closing the port gives back.
TEST(DirectPort, OpensTheRegistersWithThePermissionCallThatReachesThem) {
  struct Case {
    std::uint16_t base;
    std::vector<std::string> open, close;
  };
  const std::vector<Case> cases = {
      {0x378, {"ioperm 0x378 3 on", "ioperm 0x61 1 on"}, {"ioperm 0x61 1 off", "ioperm 0x378 3 off"}},
      {0x3BC, {"ioperm 0x3BC 3 on", "ioperm 0x61 1 on"}, {"ioperm 0x61 1 off", "ioperm 0x3BC 3 off"}},
      {0x3FD, {"ioperm 0x3FD 3 on", "ioperm 0x61 1 on"}, {"ioperm 0x61 1 off", "ioperm 0x3FD 3 off"}},
      {0x3FE, {"iopl 3", "ioperm 0x61 1 on"}, {"ioperm 0x61 1 off", "iopl 0"}},
      {0xD010, {"iopl 3", "ioperm 0x61 1 on"}, {"ioperm 0x61 1 off", "iopl 0"}},
      {0xE800, {"iopl 3", "ioperm 0x61 1 on"}, {"ioperm 0x61 1 off", "iopl 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(RecordedIo::hex(c.base));
    IoRecord record;
    auto port = open(c.base, record);
    EXPECT_EQ(record.calls, c.open);
    EXPECT_EQ(port->describe(), "direct:" + RecordedIo::hex(c.base));
    port->writeData(0x5A);
    port->writeControl(0x04);
    EXPECT_EQ(record.written,
              (std::map<std::uint16_t, std::uint8_t>{{c.base, 0x5A}, {static_cast<std::uint16_t>(c.base + 2), 0x04}}));
    EXPECT_EQ(port->readStatus(), static_cast<std::uint8_t>((c.base + 1) & 0xFF));
    EXPECT_EQ(port->readControl(), static_cast<std::uint8_t>((c.base + 2) & 0xFF));
    record.calls.clear();
    port.reset();
    EXPECT_EQ(record.calls, c.close);
  }
}

TEST(DirectPort, RefusedPermissionNamesTheCallAndTheSystemsReason) {
  struct Case {
    std::uint16_t base;
    int iopermError, ioplError;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0x378, EPERM, 0, "no direct port I/O at 0x378 (ioperm: Operation not permitted): run as root"},
      {0xD010, 0, EPERM, "no direct port I/O at 0xD010 (iopl: Operation not permitted): run as root"},
      {0x378, ENOMEM, 0, "no direct port I/O at 0x378 (ioperm: Cannot allocate memory): use ppdev"},
  };
  for (const Case& c : cases) {
    IoRecord record;
    record.iopermError = c.iopermError;
    record.ioplError = c.ioplError;
    try {
      open(c.base, record);
      ADD_FAILURE() << "opened " << c.expected;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.expected.size()), c.expected);
    }
  }
}

TEST(DirectPort, DelayCountsRefreshBitChanges) {
  IoRecord record;
  auto port = open(0x378, record);
  port->delayTicks(5);
  EXPECT_EQ(record.refreshReads, 6u);  // the first read, then one change per read
}

// A chipset (or a virtual machine) whose port 0x61 bit 4 never moves: the delay ends, and
// later delays no longer wait for the bit.
TEST(DirectPort, DelayEndsWhenTheRefreshBitNeverMoves) {
  IoRecord record;
  record.refreshMoves = false;
  auto port = open(0x378, record);
  port->delayTicks(65535 / 64);
  EXPECT_GT(record.refreshReads, 1u);
  const std::uint64_t readsBefore = record.refreshReads;
  port->delayTicks(100);
  EXPECT_EQ(record.refreshReads, readsBefore);
}

// A stand-in port for `auto`'s choice; only its name matters.
struct NamedPort final : link::Port {
  explicit NamedPort(std::string name) : name_(std::move(name)) {}
  std::uint8_t readStatus() override { return 0; }
  void writeData(std::uint8_t) override {}
  std::uint8_t readControl() override { return 0; }
  void writeControl(std::uint8_t) override {}
  void delayTicks(std::uint32_t) override {}
  std::string describe() const override { return name_; }
  std::string name_;
};

TEST(AutoPort, FallsBackToDirectIoOnlyWhenTheDeviceCannotBeOpened) {
  enum Ppdev { Opens, Missing, Busy };
  struct Case {
    Ppdev ppdev;
    bool directOpens;
    std::string port;        // the port opened, or empty
    std::string errorStart;  // else the start of the error
    bool directTried;
  };
  const std::vector<Case> cases = {
      {Opens, true, "ppdev", "", false},
      {Missing, true, "direct", "", true},
      {Missing, false, "", "no parallel port could be opened.\n  ppdev: /dev/parport0 does not exist", true},
      {Busy, true, "", "/dev/parport0 is held by another driver", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port + c.errorStart);
    bool directTried = false;
    connect::AutoOpeners openers{[&]() -> std::unique_ptr<link::Port> {
                                   if (c.ppdev == Missing) throw std::runtime_error("/dev/parport0 does not exist");
                                   if (c.ppdev == Busy)
                                     throw link::PortBusy("/dev/parport0 is held by another driver: sudo rmmod lp");
                                   return std::make_unique<NamedPort>("ppdev");
                                 },
                                 [&]() -> std::unique_ptr<link::Port> {
                                   directTried = true;
                                   if (!c.directOpens) throw std::runtime_error("no direct port I/O");
                                   return std::make_unique<NamedPort>("direct");
                                 }};
    try {
      auto port = connect::openAutoPort(openers);
      EXPECT_EQ(port->describe(), c.port);
    } catch (const connect::PortError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.errorStart.size()), c.errorStart);
      EXPECT_TRUE(c.port.empty()) << e.what();
      if (c.ppdev == Busy) {
        EXPECT_NE(std::string(e.what()).find("rmmod lp"), std::string::npos);
      }
    }
    EXPECT_EQ(directTried, c.directTried);
  }
}

}  // namespace
}  // namespace quillon::test
