// SPDX-License-Identifier: GPL-3.0-or-later
// The parallel port as the link sees it: three byte-wide registers and a delay source.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace quillon::link {

// Status register bits (as read from base + 1).
inline constexpr std::uint8_t kStatusReady = 0x80;  // BUSY line, inverted by the port: 1 = writer ready
inline constexpr int kStatusNibbleShift = 3;        // bits 3..6 carry one received nibble
// Control register bit (base + 2) that marks each byte or nibble by one level change.
inline constexpr std::uint8_t kControlStrobe = 0x01;

// One microsecond-ish tick of the PC's refresh clock: port 0x61 bit 4 changes this often.
inline constexpr double kTickMicroseconds = 15.0857;

class Port {
 public:
  virtual ~Port() = default;

  virtual std::uint8_t readStatus() = 0;
  virtual void writeData(std::uint8_t value) = 0;
  virtual std::uint8_t readControl() = 0;
  virtual void writeControl(std::uint8_t value) = 0;

  // Busy wait for `count` changes of the refresh-clock bit (about 15 us each).
  virtual void delayTicks(std::uint32_t count) = 0;

  // The clock the link measures a silent writer by. A real port's is the monotonic clock; a
  // simulated writer may run its own (one that counts its register accesses as a real port
  // would take them).
  virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }

  // Short human-readable name of the backend, e.g. "ppdev:/dev/parport0".
  virtual std::string describe() const = 0;

  // Claims the writer for one whole operation, as ppdev claims a real port for the program
  // that opened it: until the matching release() no other program uses it. A writer that
  // several programs share (the simulated writer in a folder) waits as long as it was opened
  // to wait for another program's claim. A port that only this program reaches (ppdev, which
  // claims at open; direct I/O; a writer in memory) has nothing to claim.
  // Returns false when the writer could not be had, with the reason for the user in `why`
  // (it names the writer); until the matching release() the port is then a writer that does
  // not answer. Every call is matched by one release(), claimed or not; claims nest. Never
  // throws.
  virtual bool claim(std::string& /*why*/) { return true; }
  virtual void release() {}
};

// Holds a claim of a port for its own lifetime. A null port has nothing to claim.
class PortClaim {
 public:
  explicit PortClaim(Port* port) : port_(port) {
    if (port_ != nullptr) held_ = port_->claim(why_);
  }
  ~PortClaim() {
    if (port_ != nullptr) port_->release();
  }
  PortClaim(const PortClaim&) = delete;
  PortClaim& operator=(const PortClaim&) = delete;

  bool held() const { return held_; }
  const std::string& why() const { return why_; }  // when not held

 private:
  Port* port_;
  bool held_ = true;
  std::string why_;
};

// Waits count * 15.0857 us on the monotonic clock (used where port 0x61 cannot be read).
void waitTicksOnClock(std::uint32_t count);

}  // namespace quillon::link
