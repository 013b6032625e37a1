// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim/card_model.h"
#include "sim/folder_files.h"
#include "sim/folder_lock.h"
#include "sim/sim.h"
#include "sim/writer_ini.h"

namespace quillon::sim {

namespace fs = std::filesystem;

namespace {

fs::path prepareFolder(const fs::path& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error || !fs::is_directory(dir)) {
    throw std::runtime_error("cannot make the writer folder " + dir.string() +
                             (error ? ": " + error.message() : std::string()));
  }
  return dir;
}

// Replaces whatever was inserted by `card`, keeping the armed faults.
void insertCard(const fs::path& dir, const CardContents& card, const SimPortOptions& options) {
  prepareFolder(dir);
  FolderLock lock;
  lock.takeForChange(dir, options);
  WriterConfig config;
  try {
    config.faults = readConfig(dir).faults;
  } catch (const std::runtime_error&) {
    // an unreadable writer.ini is replaced as a whole
  }
  const auto keep = memoriesOf(card);
  for (std::size_t i = 0; i < kMemoryCount; ++i) {
    const auto m = static_cast<Memory>(i);
    if (std::find(keep.begin(), keep.end(), m) == keep.end()) {
      std::error_code ignored;
      fs::remove(dir / memoryFileName(m), ignored);
    }
  }
  for (Memory m : keep) writeWholeFile(dir / memoryFileName(m), card[m]);
  config.kind = card.kind;
  config.biosChip = card.biosChip;
  config.flashChip = card.flashChip;
  writeConfig(dir, config);
  writeWholeFile(dir / kUnexpectedFile, {});
  lock.bump(true);
}

void requireWriter(const fs::path& dir) {
  if (!fs::is_directory(dir)) {
    throw std::runtime_error("no simulated writer in " + dir.string() +
                             ": the folder does not exist (make one with: quillon-cli sim insert " + dir.string() +
                             " gb-flash)");
  }
}

std::string sizeText(std::size_t bytes) {
  if (bytes >= 0x100000 && bytes % 0x100000 == 0) return std::to_string(bytes / 0x100000) + " MiB";
  if (bytes >= 0x400 && bytes % 0x400 == 0) return std::to_string(bytes / 0x400) + " KiB";
  return std::to_string(bytes) + " bytes";
}

// The card was checked when it was loaded: its chips are in the table.
std::string chipText(const ChipId& id) {
  const Chip& chip = *chipWithId(id);
  return "chip row " + std::to_string(chip.tableRow) + ", " + std::string(chip.name) + " (method " +
         std::to_string(methodNumber(chip.method)) + ")";
}

std::string hex(unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

}  // namespace

void insertGbFlash(const fs::path& dir, ChipId biosChip, ChipId flashChip, const SimPortOptions& options) {
  insertCard(dir, emptyGbFlashCard(biosChip, flashChip), options);
}

void insertGbCart(const fs::path& dir, const fs::path& romPath, const std::optional<fs::path>& savPath,
                  const SimPortOptions& options) {
  auto rom = readWholeFile(romPath, "ROM image", kMaxCartRom);
  std::optional<std::vector<std::uint8_t>> sav;
  if (savPath) sav = readWholeFile(*savPath, "save file", kMaxCartRom);
  CardContents card;
  try {
    card = gbCartridge(std::move(rom), std::move(sav));
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(romPath.string() + ": " + e.what());
  }
  insertCard(dir, card, options);
}

void insertWsFlash(const fs::path& dir, const SimPortOptions& options) { insertCard(dir, emptyWsFlashCard(), options); }

void insertNone(const fs::path& dir, const SimPortOptions& options) { insertCard(dir, noCard(), options); }

void armFaults(const fs::path& dir, const std::vector<std::string>& nameValues, const SimPortOptions& options) {
  requireWriter(dir);
  FolderLock lock;
  lock.takeForChange(dir, options);
  WriterConfig config = readConfig(dir);
  Faults faults = config.faults;
  for (const std::string& nameValue : nameValues) armFault(faults, nameValue);
  config.faults = faults;
  writeConfig(dir, config);
  lock.bump(false);
}

void clearFaults(const fs::path& dir, const SimPortOptions& options) {
  requireWriter(dir);
  FolderLock lock;
  lock.takeForChange(dir, options);
  WriterConfig config = readConfig(dir);
  config.faults = Faults{};
  writeConfig(dir, config);
  lock.bump(false);
}

std::string describeWriter(const fs::path& dir) {
  requireWriter(dir);
  FolderLock lock;
  const bool inUse =
      lock.take(dir, std::chrono::milliseconds(0), {}, FolderLock::Hold::Shared) == FolderLock::Outcome::Busy;
  const WriterConfig config = readConfig(dir);
  const CardContents card = loadCard(dir, config);  // refuses what does not make a writer
  std::ostringstream out;
  out << "Simulated writer in " << dir.string() << '\n';
  if (inUse) out << "In use: another program is using the writer now\n";
  switch (config.kind) {
    case CardKind::None:
      out << "Inserted: nothing (the writer answers; the card reads 0xFF)\n";
      break;
    case CardKind::GbFlash: {
      out << "Inserted: GB flash card\n"
          << "  BIOS ROM:    " << chipText(config.biosChip) << ", " << sizeText(kGbBiosSize) << " in "
          << memoryFileName(Memory::GbBios) << '\n'
          << "  FLASH ROM:   " << chipText(config.flashChip) << ", " << sizeText(kGbFlashSize) << " in "
          << memoryFileName(Memory::GbFlash) << '\n'
          << "  save memory: " << sizeText(kGbSramSize) << " in " << memoryFileName(Memory::GbSram) << '\n';
      break;
    }
    case CardKind::GbCart: {
      const auto& rom = card[Memory::CartRom];
      std::string title;
      for (std::size_t i = 0x134; i < 0x144 && rom[i] >= 0x20 && rom[i] < 0x7F; ++i) title += static_cast<char>(rom[i]);
      out << "Inserted: ordinary GB cartridge \"" << title << "\", type " << hex(rom[kGbTypeOffset], 2) << '\n'
          << "  ROM:       " << sizeText(rom.size()) << " in " << memoryFileName(Memory::CartRom) << '\n';
      if (card[Memory::CartSav].empty()) {
        out << "  save RAM:  none\n";
      } else {
        out << "  save RAM:  " << sizeText(card[Memory::CartSav].size()) << " in " << memoryFileName(Memory::CartSav)
            << '\n';
      }
      break;
    }
    case CardKind::WsFlash:
      out << "Inserted: WS flash card\n"
          << "  flash:       " << sizeText(kWsFlashSize) << " in " << memoryFileName(Memory::WsFlash) << '\n'
          << "  save memory: " << sizeText(kWsSramSize) << " in " << memoryFileName(Memory::WsSram) << '\n';
      break;
  }
  const auto faults = faultList(config.faults);
  out << "Faults: ";
  if (faults.empty()) out << "none";
  for (std::size_t i = 0; i < faults.size(); ++i) out << (i ? ", " : "") << faults[i];
  out << '\n';
  std::ifstream notes(dir / kUnexpectedFile);
  std::string line;
  bool any = false;
  while (std::getline(notes, line)) {
    if (line.empty()) continue;
    if (!any) out << "Unexpected commands:\n";
    any = true;
    out << "  " << line << '\n';
  }
  if (!any) out << "Unexpected commands: none\n";
  return out.str();
}

}  // namespace quillon::sim
