// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "sim/card_model.h"

namespace quillon::sim {

namespace {

// A writer with nothing in its slot: it answers, but the card bus reads 0xFF and nothing
// written reaches a memory.
class EmptySlot final : public CardModel {
 public:
  using CardModel::CardModel;

  void read(std::uint16_t, std::span<std::uint8_t> out) override {
    std::fill(out.begin(), out.end(), std::uint8_t{0xFF});
    dev_.readDone(false);
  }
  void write(std::uint8_t, std::uint16_t, std::span<const std::uint8_t>) override { dev_.finish(false); }
  void control(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t) override {}
};

}  // namespace

std::unique_ptr<CardModel> makeEmptySlot(Device& device) { return std::make_unique<EmptySlot>(device); }

}  // namespace quillon::sim
