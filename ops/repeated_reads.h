// SPDX-License-Identifier: GPL-3.0-or-later
// Reading each bank or block twice, for a card whose contacts may be dirty: a dirty contact
// flips bits between the card and the writer, and the writer's check byte, made over what it
// received, cannot see them. Two reads that agree are taken as the card's bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ops/operation_steps.h"

namespace quillon::ops {

// One read of a bank or block into `bytes`, and how it went.
using ReadOnce = std::function<Step(std::span<std::uint8_t> bytes)>;

class RepeatedReads {
 public:
  // `twice`: every bank or block is read twice (OperationArgs::readTwice); otherwise once, the
  // traffic of a read without it.
  explicit RepeatedReads(bool twice) : twice_(twice) {}

  // How many times the bytes of the read's stage cross the link (ProgressPlan::Expect).
  double passes() const { return twice_ ? 2 : 1; }

  // Reads one bank or block into `bytes` with `readOnce`: once; or twice, and a third time when
  // the two differ, keeping bytes that two of the reads agree on. The first read that did not
  // go well ends it with its step; Failed with differed() when no two of the three agreed.
  Step Read(std::span<std::uint8_t> bytes, const ReadOnce& readOnce);
  bool differed() const { return differed_; }

  // What a read that succeeded says under its result: "2 banks needed a third read", with
  // `unit` "bank" or "block"; empty when none did.
  std::string ThirdReadsLine(std::string_view unit) const;

 private:
  bool twice_;
  bool differed_ = false;
  unsigned thirdReads_ = 0;
  std::vector<std::uint8_t> second_, third_;
};

// The failure of a read whose `unit` ("bank", "block") `number` read differently each time.
std::string ReadDifferently(std::string_view unit, unsigned number);

}  // namespace quillon::ops
