#include <algorithm>
#include <array>

#include "detect/gb_probe.h"

namespace quillon::detect {

namespace {

constexpr std::size_t kMarkerBytes = 4096;   // read at 0xA000
constexpr std::size_t kMarkerCompared = 4095;
constexpr std::size_t kDirectorySlot = 32;
constexpr std::uint8_t kSelectBios = 0x00;
constexpr std::uint8_t kSelectFlash = 0x0A;

// In register mode a writer flash card answers 0xFE all over its save memory window.
bool isFlashCard(std::span<const std::uint8_t> marker) {
  return std::all_of(marker.begin(), marker.begin() + kMarkerCompared,
                     [](std::uint8_t b) { return b == 0xFE; });
}

void readCartridge(link::Link& link, CardInfo& info, std::span<std::uint8_t> buffer) {
  info.kind = kOrdinaryCartridge;
  link.ReadBlock(0x0000, buffer.first(512));
  info.flashChip = -1;
  info.biosChip = -1;
  ReadHeaderFacts(buffer.data(), info.cartridge);
  info.count = 0;
}

// The directory slots of the menu image: entry number (1..8) and placement byte
// (bits 4-6 the 512 KB region, bits 0-3 the 8 KB save unit). The walk ends at the first slot
// whose entry number is out of range, after eight images, or at the end of the 16 KB.
void readDirectory(link::Link& link, CardInfo& info, std::span<const std::uint8_t> menu,
                   std::size_t start) {
  std::array<std::uint8_t, 512> header{};
  info.count = 0;
  for (std::size_t slot = start; slot + kDirectorySlot <= menu.size() && info.count < kMaxCardImages;
       slot += kDirectorySlot) {
    const auto entryNumber = static_cast<std::int8_t>(menu[slot]);
    if (entryNumber < 1 || entryNumber > 8) break;
    const std::uint8_t placement = menu[slot + 1];
    const int region = (placement >> 4) & 7;
    const int ramUnit = placement & 0x0F;
    link.WriteByte(0xA000, 0x80);
    link.WriteByte(0x0000, kSelectFlash);
    link.SetBank(static_cast<std::uint8_t>(region * 32));
    link.ReadBlock(0x4000, header);
    CardEntry& image = info.images[static_cast<std::size_t>(info.count)];
    image.romStart = region * 0x80000;
    image.ramStart = ramUnit * 0x2000;
    ReadHeaderFacts(header.data(), image);
    ++info.count;
  }
}

}  // namespace

ProbeOutcome ProbeGbCard(link::Link& link, WriterType writerType, CardInfo& info) {
  auto lock = link.exclusive();
  if (link.CheckDevice() != 0) {
    info.flashChip = info.biosChip = info.kind = kNoAnswer;
    return ProbeOutcome::DeviceError;
  }
  std::vector<std::uint8_t> buffer(0x4000);
  link.WriteByte(0xC080, 1);
  link.SetControl(2, 15, 0, 0);
  link.ReadBlock(0xA000, std::span(buffer).first(kMarkerBytes));
  if (!isFlashCard(buffer)) {
    readCartridge(link, info, buffer);
    return ProbeOutcome::Probed;
  }

  info.kind = kFlashCard;
  info.chipSelect = kSelectBios;
  info.biosChip = IdentifyChip(link, info);
  info.chipSelect = kSelectFlash;
  info.flashChip = IdentifyChip(link, info);
  link.SetControl(2, 15, 0, 0);
  if (info.biosChip == -1 || info.flashChip == -1) {
    info.kind = kNoAnswer;
  } else {
    link.ReadBlock(0x0000, buffer);
    const std::size_t directory = writerType == WriterType::Gb ? 0x3C00 : 0x0200;
    readDirectory(link, info, buffer, directory);
  }
  link.SetControl(2, 15, 0, 0);
  return ProbeOutcome::Probed;
}

}  // namespace quillon::detect
