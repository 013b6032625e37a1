// SPDX-License-Identifier: GPL-3.0-or-later
// The card probe with the port failing at every byte it moves (port-fail-at=N, N from 0 to the
// last byte of a healthy probe), for a GB cartridge, a GB flash card holding three images and a
// WS flash card: each probe must either read exactly what the healthy one read or say that the
// writer did not answer, never a card information built from answers that lost bytes. Prints a
// row per card, and each offset that gave anything else. Exits 1 when there was one. Run by hand
// (scripts/test samples the probe's command boundaries end to end instead).
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "detect/probe.h"
#include "gb_images.h"
#include "link/link.h"
#include "sim/sim_writer.h"

namespace {

using namespace quillon;
using library::WriterType;

struct Probed {
  detect::ProbeOutcome outcome;
  std::vector<std::string> lines;  // the card information text
  std::uint64_t bytes;             // that crossed the port
};

// One probe of `card` on a writer of its own; `failAt`: the byte before which the port fails once.
Probed ProbeOnce(const sim::CardContents& card, WriterType type, std::optional<std::uint64_t> failAt) {
  sim::SimWriter writer(card);
  writer.faults().accessUs = 1;  // the writer's clock: the WS probe's waits pass in a moment
  writer.faults().portFailAt = failAt;
  std::ostringstream quiet;
  link::LinkOptions options;
  options.diagnostics = &quiet;
  link::Link link(writer, options);
  detect::CardInfo info;
  const detect::ProbeOutcome outcome = detect::ProbeCard(link, type, info);
  return {outcome, detect::CardInfoLines(info, type), writer.bytesCrossed()};
}

// Sweeps one card; false when an offset gave a card information that is not the healthy one.
bool Sweep(const char* name, const sim::CardContents& card, WriterType type) {
  const Probed healthy = ProbeOnce(card, type, std::nullopt);
  std::uint64_t same = 0, lost = 0, wrong = 0;
  for (std::uint64_t at = 0; at < healthy.bytes; ++at) {
    const Probed p = ProbeOnce(card, type, at);
    if (p.outcome == detect::ProbeOutcome::DeviceError) {
      ++lost;
    } else if (p.outcome == healthy.outcome && p.lines == healthy.lines) {
      ++same;
    } else {
      ++wrong;
      std::printf("  %s: port-fail-at=%llu read a card that is not there\n", name, static_cast<unsigned long long>(at));
    }
  }
  std::printf("%-34s %8llu %10llu %8llu %6llu  %s\n", name, static_cast<unsigned long long>(healthy.bytes),
              static_cast<unsigned long long>(lost), static_cast<unsigned long long>(same),
              static_cast<unsigned long long>(wrong), wrong == 0 ? "ok" : "WRONG");
  return wrong == 0;
}

sim::CardContents FlashCardWithThreeImages() {
  sim::CardContents card = sim::emptyGbFlashCard();
  const support::Bytes menu = support::makeMenuImage(0x4000);
  std::copy(menu.begin(), menu.end(), card[sim::Memory::GbBios].begin());
  support::placeOnFlashCard(card[sim::Memory::GbBios], card[sim::Memory::GbFlash],
                            {{support::makeGbImage({"FIRST", 0x1B, 1, 2, true}), 1, 0},
                             {support::makeGbImage({"SECOND", 0x19, 0, 0, false}), 2, 1},
                             {support::makeGbImage({"THIRD", 0x03, 2, 3, true}), 3, 2}},
                            0);
  return card;
}

}  // namespace

int main() {
  std::printf("%-34s %8s %10s %8s %6s\n", "card", "bytes", "not answer", "as read", "wrong");
  bool good =
      Sweep("GB cartridge", sim::gbCartridge(support::makeGbImage({"CART", 0x1B, 2, 3, false})), WriterType::Gb);
  good &= Sweep("GB flash card, three images", FlashCardWithThreeImages(), WriterType::Gb);
  good &= Sweep("WS flash card", sim::emptyWsFlashCard(), WriterType::Ws);
  std::printf("\n%s\n", good ? "No probe read a card that is not there." : "A probe read a card that is NOT there.");
  return good ? 0 : 1;
}
