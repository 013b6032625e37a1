// SPDX-License-Identifier: GPL-3.0-or-later
// The PC side of the port, for driving the simulated writer in tests without the program's
// link: the byte handshake (poll ready, write data, flip the strobe; nibbles low first) and
// the packet frame, written down plainly from the protocol.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

#include "link/port.h"

namespace quillon::simtest {

using Bytes = std::vector<std::uint8_t>;

struct Answer {
  Bytes bytes;
  std::uint8_t check = 0;
  bool complete = false;  // every byte and the check byte arrived
  bool checkOk() const {
    std::uint8_t x = 0x81;
    for (auto b : bytes) x ^= b;
    return complete && x == check;
  }
};

class Host {
 public:
  static constexpr int kPollLimit = 40000;

  explicit Host(link::Port& port) : port_(port) {}

  bool waitReady(int limit = kPollLimit) {
    for (int i = 0; i < limit; ++i) {
      if (port_.readStatus() & link::kStatusReady) return true;
    }
    return false;
  }
  void flipStrobe() { port_.writeControl(static_cast<std::uint8_t>(port_.readControl() ^ link::kControlStrobe)); }

  bool sendByte(std::uint8_t value) {
    if (!waitReady()) return false;
    port_.writeData(value);
    flipStrobe();
    return true;
  }
  // The 0x00 byte sent where the PC waits for the writer without the usual limit (bounded
  // here so that a broken writer fails the test instead of hanging it).
  bool sendClock() {
    if (!waitReady(1000000)) return false;
    port_.writeData(0x00);
    flipStrobe();
    return true;
  }
  void sendBytes(std::initializer_list<std::uint8_t> bytes) {
    for (auto b : bytes) sendByte(b);
  }
  std::optional<std::uint8_t> receiveByte() {
    if (!waitReady()) return std::nullopt;
    const auto low = static_cast<std::uint8_t>((port_.readStatus() >> 3) & 0x0F);
    flipStrobe();
    if (!waitReady()) return std::nullopt;
    const auto high = static_cast<std::uint8_t>((port_.readStatus() << 1) & 0xF0);
    flipStrobe();
    return static_cast<std::uint8_t>(high | low);
  }

  // --- packets -------------------------------------------------------------------------
  void headerWithCheck(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4,
                       std::uint8_t check) {
    sendBytes({0x00, 0x00, 0xD5, 0xAA, 0x96, op, p1, p2, p3, p4, check});
  }
  void header(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4) {
    headerWithCheck(op, p1, p2, p3, p4, static_cast<std::uint8_t>(0x81 ^ op ^ p1 ^ p2 ^ p3 ^ p4));
  }
  Answer collect(std::size_t count) {
    Answer answer;
    for (std::size_t i = 0; i < count; ++i) {
      const auto b = receiveByte();
      if (!b) return answer;
      answer.bytes.push_back(*b);
    }
    const auto check = receiveByte();
    if (!check) return answer;
    answer.check = *check;
    answer.complete = true;
    return answer;
  }

  Answer readBlock(std::uint16_t address, std::uint16_t count) {
    header(1, lo(address), hi(address), lo(count), hi(count));
    sendByte(0x00);
    return collect(count);
  }
  // The byte, or nothing when the answer failed its check.
  std::optional<std::uint8_t> readByte(std::uint16_t address) {
    const Answer a = readBlock(address, 1);
    if (!a.checkOk()) return std::nullopt;
    return a.bytes[0];
  }
  bool checkDevice() { return readBlock(0x0080, 1).checkOk(); }

  void writeBlockWithCheck(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data,
                           std::uint8_t check) {
    const auto count = static_cast<std::uint16_t>(data.size());
    header(op, lo(address), hi(address), lo(count), hi(count));
    for (auto b : data) sendByte(b);
    sendByte(check);
  }
  void writeBlock(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) {
    std::uint8_t check = 0x81;
    for (auto b : data) check ^= b;
    writeBlockWithCheck(op, address, data, check);
  }
  void writeByte(std::uint16_t address, std::uint8_t value) {
    const std::uint8_t data[1] = {value};
    writeBlock(0, address, data);
  }
  void setControl(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) { header(6, a, b, c, d); }
  void setBank(std::uint8_t bank) { setControl(0, bank, 0, 0); }
  void setMode(std::uint8_t mode) { header(5, mode, 0, 0, 0); }
  // Status byte of QueryState3 / QueryState6, or -1 when the answer failed its check.
  int queryState(std::uint8_t which) {
    header(6, which, 0, 0, 0);
    sendByte(0x00);
    const Answer a = collect(1);
    return a.checkOk() ? a.bytes[0] : -1;
  }
  int queryState3() { return queryState(3); }
  int queryState6() { return queryState(6); }

  link::Port& port() { return port_; }

  static std::uint8_t lo(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
  static std::uint8_t hi(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }

 private:
  link::Port& port_;
};

}  // namespace quillon::simtest
