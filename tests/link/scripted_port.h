// SPDX-License-Identifier: GPL-3.0-or-later
// A port with a scripted writer behind it: it latches every byte the link sends and presents
// queued answer bytes nibble by nibble, low nibble first.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/port.h"

namespace quillon::test {

class ScriptedPort : public link::Port {
 public:
  std::vector<std::uint8_t> sent;    // bytes latched by a strobe change after a data write
  std::deque<std::uint8_t> answers;  // bytes still to present
  std::vector<std::uint8_t> controlWrites;
  std::uint8_t control = 0xC4;  // whatever the port held before the link opened
  std::uint64_t statusReads = 0, dataWrites = 0, controlReads = 0;
  std::uint64_t ticks = 0;
  // Ready bit for the n-th status read (1-based); default: always ready.
  std::function<bool(std::uint64_t)> ready = [](std::uint64_t) { return true; };

  std::uint8_t readStatus() override {
    ++statusReads;
    std::uint8_t status = ready(statusReads) ? link::kStatusReady : 0;
    if (!answers.empty()) {
      const std::uint8_t nibble = highNibbleNext_ ? answers.front() >> 4 : answers.front() & 0x0F;
      status = static_cast<std::uint8_t>(status | (nibble << link::kStatusNibbleShift));
    }
    return status;
  }
  void writeData(std::uint8_t value) override {
    ++dataWrites;
    data_ = value;
    dataPending_ = true;
  }
  std::uint8_t readControl() override {
    ++controlReads;
    return control;
  }
  void writeControl(std::uint8_t value) override {
    controlWrites.push_back(value);
    const bool strobeChanged = ((value ^ control) & link::kControlStrobe) != 0;
    control = value;
    if (!strobeChanged) return;
    if (dataPending_) {
      sent.push_back(data_);
      dataPending_ = false;
    } else if (!answers.empty()) {  // acknowledge of one nibble
      if (highNibbleNext_) answers.pop_front();
      highNibbleNext_ = !highNibbleNext_;
    }
  }
  void delayTicks(std::uint32_t count) override { ticks += count; }
  std::string describe() const override { return "scripted"; }

  // Queues a correct answer: the bytes and their check byte.
  void answer(std::vector<std::uint8_t> bytes) {
    std::uint8_t check = 0x81;
    for (auto b : bytes) {
      answers.push_back(b);
      check ^= b;
    }
    answers.push_back(check);
  }

 private:
  std::uint8_t data_ = 0;
  bool dataPending_ = false;
  bool highNibbleNext_ = false;
};

// A link on a scripted port, its diagnostics and its trace kept as text.
struct LinkRig {
  explicit LinkRig(std::chrono::milliseconds clockTimeout = std::chrono::milliseconds(50)) {
    link::LinkOptions options;
    options.diagnostics = &diag;
    options.trace = &trace;
    options.clockTimeout = clockTimeout;
    link = std::make_unique<link::Link>(port, options);
  }
  ScriptedPort port;
  std::ostringstream diag;
  std::ostringstream traceText;
  link::StreamTrace trace{traceText};
  std::unique_ptr<link::Link> link;
};

}  // namespace quillon::test
