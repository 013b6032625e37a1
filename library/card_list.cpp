// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/card_list.h"

#include <array>
#include <system_error>

#include "library/names.h"
#include "text/size_text.h"

namespace quillon::library {

namespace {

constexpr int kRomUnitsOnCard = 8;       // slots of 4 Mbit
constexpr int kRamUnitsGb = 16;          // 8 KB units with writer type "GB"
constexpr int kRamUnitsOtherWriter = 8;  // 8 KB units with any other writer type

int RoundUp(int value, int step) { return (value + step - 1) / step * step; }

// The 4 Mbit slots that images of these ROM classes take, largest first on their alignment:
// `count[c]` images of class c (0: 32 Mbit .. 3: 4 Mbit).
int RomSlots(const std::array<int, 4>& count) {
  int u = count[3];
  if (count[2] > 0) u = RoundUp(u, 2) + 2 * count[2];
  if (count[1] > 0) u = RoundUp(u, 4) + 4 * count[1];
  if (count[0] > 0) u = RoundUp(u, 8) + 8 * count[0];
  return u;
}

std::array<int, 4> RomClassCounts(const std::vector<RomEntry>& entries) {
  std::array<int, 4> count{};
  for (const RomEntry& entry : entries) {
    if (entry.romClass >= 0 && entry.romClass < 4) ++count[static_cast<std::size_t>(entry.romClass)];
  }
  return count;
}

std::filesystem::path EntryDirectory(const std::filesystem::path& romDir) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::absolute(romDir, ec);
  return ec ? romDir : dir;
}

AddResult Refused(std::string message) { return AddResult{false, std::move(message), {}}; }

}  // namespace

std::string_view VerdictMessage(int verdict) {
  static constexpr std::array<std::string_view, 8> kMessages = {"",
                                                                "File name duplication",
                                                                "ROM type error",
                                                                "ROM size error",
                                                                "ROM size too big",
                                                                "RAM size error",
                                                                "RAM size too big",
                                                                "Can't mix color and mono ROMs"};
  return verdict >= 0 && verdict < static_cast<int>(kMessages.size()) ? kMessages[static_cast<std::size_t>(verdict)]
                                                                      : std::string_view{};
}

int CardList::CheckGbImage(const std::string& fileName, const GbFacts& facts, WriterType writerType) const {
  for (const RomEntry& entry : entries_) {
    if (entry.fileName == fileName) return kDuplicateName;
  }
  if (!entries_.empty() && facts.color != entries_.front().color) return kColorMix;
  if (MapperClass(facts.type) == 4) return kRomTypeError;
  const int newRomClass = RomClass(facts.romCode);
  if (newRomClass < 0) return kRomSizeError;

  std::array<int, 4> k = RomClassCounts(entries_);
  ++k[static_cast<std::size_t>(newRomClass)];
  if (RomSlots(k) > kRomUnitsOnCard) return kRomSizeTooBig;

  const int newRamClass = RamClass(facts.ramCode);
  if (newRamClass < 0) return kRamSizeError;

  // Save memory in 8 KB units; a 32 KB save starts on an even unit.
  int r1 = newRamClass == 1 ? 1 : 0;
  int r2 = newRamClass == 2 ? 1 : 0;
  for (const RomEntry& entry : entries_) {
    if (entry.ramClass == 1) ++r1;
    if (entry.ramClass == 2) ++r2;
  }
  int v = r1;
  if (r2 > 0) v = RoundUp(v, 2) + 4 * r2;
  const int limit = writerType == WriterType::Gb ? kRamUnitsGb : kRamUnitsOtherWriter;
  if (v > limit) return kRamSizeTooBig;
  return kAccepted;
}

AddResult CardList::AddGbImage(const std::filesystem::path& romDir, const std::string& fileName,
                               WriterType writerType) {
  const GbFacts facts = ReadGbFacts(romDir / fileName);
  switch (facts.status) {
    case GbFacts::OpenError:
      return Refused("Opening File " + fileName + " Error");
    case GbFacts::ShortRead:
      return Refused("Reading " + fileName + " Error");
    case GbFacts::Ok:
      break;
  }
  const int verdict = CheckGbImage(fileName, facts, writerType);
  if (verdict != kAccepted) return Refused(std::string(VerdictMessage(verdict)));

  RomEntry entry;
  entry.directory = EntryDirectory(romDir);
  entry.fileName = fileName;
  entry.title = facts.title;
  entry.mapperClass = MapperClass(facts.type);
  entry.romClass = RomClass(facts.romCode);
  entry.ramClass = RamClass(facts.ramCode);
  entry.color = facts.color;
  entry.romSizeCode = facts.romCode;
  entries_.push_back(std::move(entry));
  rows_.push_back(GbCardRow(fileName, facts));
  return AddResult{true, "", rows_.back()};
}

AddResult CardList::AddWsImage(const std::filesystem::path& romDir, const std::string& fileName) {
  if (!entries_.empty()) return Refused("Have selected ROM");
  const WsFacts facts = ReadWsFacts(romDir / fileName);
  if (!facts.opened) return Refused("Opening File " + fileName + " Error");

  RomEntry entry;
  entry.directory = EntryDirectory(romDir);
  entry.fileName = fileName;
  entry.ramClass = WsRamClass(facts.saveType);
  entry.imageBytes = facts.size & ~std::uint64_t{0x200};
  entries_.push_back(std::move(entry));
  rows_.push_back(WsRow(fileName, facts));
  return AddResult{true, "", rows_.back()};
}

void CardList::RemoveEntry(int index) {
  if (index < 0 || index >= count()) return;
  entries_.erase(entries_.begin() + index);
  rows_.erase(rows_.begin() + index);
}

bool CardList::SetPlacement(int index, int romStartBank, int ramStartUnit) {
  if (index < 0 || index >= count()) return false;
  RomEntry& entry = entries_[static_cast<std::size_t>(index)];
  entry.romStartBank = romStartBank;
  entry.ramStartUnit = ramStartUnit;
  return true;
}

std::string CardList::Fullness(WriterType writerType) const {
  if (writerType == WriterType::Ws) {
    return entries_.empty() ? "no image" : text::SizeText(entries_.front().imageBytes) + " image";
  }
  constexpr double kSlotMiB = 0.5;
  return text::OneDecimal(RomSlots(RomClassCounts(entries_)) * kSlotMiB) + " MiB of " +
         text::OneDecimal(kRomUnitsOnCard * kSlotMiB) + " MiB, " + std::to_string(count()) + " of " +
         std::to_string(kRomUnitsOnCard) + " images";
}

void CardList::clear() {
  entries_.clear();
  rows_.clear();
}

}  // namespace quillon::library
