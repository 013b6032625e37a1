// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <array>

#include "detect/gb_probe.h"

namespace quillon::detect {

namespace {

constexpr std::size_t kMarkerBytes = 4096;  // read in the save memory window
constexpr std::size_t kMarkerCompared = 4095;
constexpr std::size_t kHeaderBytes = 512;   // the part of an image that holds its header
constexpr std::size_t kMenuBytes = 0x4000;  // the menu image with the card's directory
constexpr int kBanksPerRegion = 32;         // a 512 KiB region of the FLASH ROM
constexpr int kRegionBytes = 0x80000;
constexpr int kRamUnitBytes = 0x2000;  // an 8 KiB save memory unit

// In register pattern mode a writer flash card answers its pattern all over its save
// memory window.
bool isFlashCard(std::span<const std::uint8_t> marker) {
  return std::all_of(marker.begin(), marker.begin() + kMarkerCompared,
                     [](std::uint8_t b) { return b == protocol::kFlashCardPattern; });
}

void readCartridge(link::Link& link, CardInfo& info, std::span<std::uint8_t> buffer) {
  info.kind = kOrdinaryCartridge;
  link.ReadBlock(protocol::kFixedBank, buffer.first(kHeaderBytes));
  info.flashChip = -1;
  info.biosChip = -1;
  ReadHeaderFacts(buffer.data(), info.cartridge);
  info.count = 0;
}

// The directory slots of the menu image: entry number (1..8) and placement byte
// (bits 4-6 the 512 KB region, bits 0-3 the 8 KB save unit). The walk ends at the first slot
// whose entry number is out of range, after eight images, or at the end of the 16 KB.
void readDirectory(link::Link& link, CardInfo& info, std::span<const std::uint8_t> menu, std::size_t start) {
  std::array<std::uint8_t, kHeaderBytes> header{};
  info.count = 0;
  for (std::size_t slot = start; slot + kDirectorySlot <= menu.size() && info.count < kMaxCardImages;
       slot += kDirectorySlot) {
    const auto entryNumber = static_cast<std::int8_t>(menu[slot]);
    if (entryNumber < 1 || entryNumber > 8) break;
    const std::uint8_t placement = menu[slot + 1];
    const int region = (placement >> 4) & 7;
    const int ramUnit = placement & 0x0F;
    protocol::Send(link, protocol::kProgrammingEnable);
    protocol::Send(link, protocol::kPresentFlashRom);
    link.SetBank(static_cast<std::uint8_t>(region * kBanksPerRegion));
    link.ReadBlock(protocol::kBankWindow, header);
    CardEntry& image = info.images[static_cast<std::size_t>(info.count)];
    image.romStart = region * kRegionBytes;
    image.ramStart = ramUnit * kRamUnitBytes;
    ReadHeaderFacts(header.data(), image);
    ++info.count;
  }
}

}  // namespace

namespace {

ProbeOutcome ProbeGb(link::Link& link, WriterType writerType, CardInfo& info) {
  if (link.CheckDevice() != 0) {
    info.flashChip = info.biosChip = info.kind = kNoAnswer;
    return ProbeOutcome::DeviceError;
  }
  std::vector<std::uint8_t> buffer(kMenuBytes);
  protocol::Send(link, protocol::kRegisterPatternMode);
  protocol::Send(link, protocol::kReadState);
  link.ReadBlock(protocol::kSaveWindow, std::span(buffer).first(kMarkerBytes));
  if (!isFlashCard(buffer)) {
    readCartridge(link, info, buffer);
    return ProbeOutcome::Probed;
  }

  info.kind = kFlashCard;
  info.chipSelect = protocol::kSelectBiosRom;
  info.biosChip = IdentifyChip(link, info);
  info.chipSelect = protocol::kSelectFlashRom;
  info.flashChip = IdentifyChip(link, info);
  protocol::Send(link, protocol::kReadState);
  if (info.biosChip == -1 || info.flashChip == -1) {
    info.kind = kNoAnswer;
  } else {
    link.ReadBlock(protocol::kFixedBank, buffer);
    const std::size_t directory = writerType == WriterType::Gb ? kDirectoryGb : kDirectoryPassword;
    readDirectory(link, info, buffer, directory);
  }
  protocol::Send(link, protocol::kReadState);
  return ProbeOutcome::Probed;
}

}  // namespace

ProbeOutcome ProbeGbCard(link::Link& link, WriterType writerType, CardInfo& info) {
  auto lock = link.exclusive();
  const link::Link::ContactWatch watch(link);
  return UnlessContactLost(watch, ProbeGb(link, writerType, info), info);
}

}  // namespace quillon::detect
