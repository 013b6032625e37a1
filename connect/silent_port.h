// SPDX-License-Identifier: GPL-3.0-or-later
// The port of a program that could open no real port: a writer that never answers.
//
// Its status register never shows the writer ready, so every handshake runs out after its
// count of status reads and every command takes the ordinary path of a writer that does not
// answer: a probe finds nothing, an operation ends with "Linking Fail". Nothing above the
// port needs to know that there is no writer at all.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "link/port.h"

namespace quillon::connect {

class SilentPort final : public link::Port {
 public:
  // `reason`: why no real port was opened; describe() gives it.
  explicit SilentPort(std::string reason) : reason_(std::move(reason)) {}

  std::uint8_t readStatus() override { return 0; }  // ready bit clear, no nibble
  void writeData(std::uint8_t /*value*/) override {}
  std::uint8_t readControl() override { return control_; }
  void writeControl(std::uint8_t value) override { control_ = value; }
  void delayTicks(std::uint32_t count) override { link::waitTicksOnClock(count); }
  std::string describe() const override { return "no port (" + reason_ + ")"; }

 private:
  std::string reason_;
  std::uint8_t control_ = 0x04;
};

}  // namespace quillon::connect
