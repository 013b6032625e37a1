#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "detect/chips.h"
#include "sim/card_model.h"
#include "sim/sim.h"

namespace quillon::sim {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, kMemoryCount> kFileNames = {
    "gb-bios.bin", "gb-flash.bin", "gb-sram.bin", "gb-cart.gb", "gb-cart.sav", "ws-flash.bin", "ws-sram.bin"};

struct WriterConfig {
  CardKind kind = CardKind::None;
  int biosChip = kDefaultBiosChip;
  int flashChip = kDefaultFlashChip;
  Faults faults;
};

const char* kindName(CardKind kind) {
  switch (kind) {
    case CardKind::None:
      return "none";
    case CardKind::GbFlash:
      return "gb-flash";
    case CardKind::GbCart:
      return "gb-cart";
    case CardKind::WsFlash:
      return "ws-flash";
  }
  return "none";
}

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

int parseRow(const std::string& text) {
  try {
    std::size_t used = 0;
    const int value = std::stoi(text, &used, 10);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  throw std::runtime_error("bad chip row '" + text + "'");
}

WriterConfig readConfig(const fs::path& dir) {
  WriterConfig config;
  const fs::path path = dir / kWriterIni;
  std::ifstream in(path);
  if (!in) return config;  // a folder without writer.ini: a writer with an empty slot
  std::string line;
  std::string section;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    try {
      if (line.front() == '[' && line.back() == ']') {
        section = line.substr(1, line.size() - 2);
        if (section != "card" && section != "faults") throw std::runtime_error("unknown section [" + section + "]");
      } else if (section == "faults") {
        armFault(config.faults, line);
      } else if (section == "card") {
        const auto eq = line.find('=');
        const std::string key = trim(line.substr(0, eq));
        const std::string value = eq == std::string::npos ? std::string() : trim(line.substr(eq + 1));
        if (key == "kind") {
          bool known = false;
          for (CardKind kind : {CardKind::None, CardKind::GbFlash, CardKind::GbCart, CardKind::WsFlash}) {
            if (value == kindName(kind)) config.kind = kind, known = true;
          }
          if (!known) throw std::runtime_error("unknown card kind '" + value + "'");
        } else if (key == "bios-chip") {
          config.biosChip = parseRow(value);
        } else if (key == "flash-chip") {
          config.flashChip = parseRow(value);
        } else {
          throw std::runtime_error("unknown key '" + key + "'");
        }
      } else {
        throw std::runtime_error("'" + line + "' is outside a [card] or [faults] section");
      }
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(path.string() + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  return config;
}

void writeConfig(const fs::path& dir, const WriterConfig& config) {
  const fs::path path = dir / kWriterIni;
  const fs::path temp = dir / (std::string(kWriterIni) + ".new");
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "# Simulated cartridge writer; the card's memories are the raw files beside this one.\n"
        << "[card]\nkind=" << kindName(config.kind) << '\n';
    if (config.kind == CardKind::GbFlash) {
      out << "bios-chip=" << config.biosChip << "\nflash-chip=" << config.flashChip << '\n';
    }
    out << "\n[faults]\n";
    for (const std::string& fault : faultList(config.faults)) out << fault << '\n';
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temp.string());
  }
  std::error_code error;
  fs::rename(temp, path, error);
  if (error) throw std::runtime_error("cannot write " + path.string() + ": " + error.message());
}

std::vector<std::uint8_t> readWholeFile(const fs::path& path, const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + std::string(what) + " " + path.string());
  std::error_code error;
  const auto size = fs::file_size(path, error);
  std::vector<std::uint8_t> bytes(error ? 0 : static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (error || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
    throw std::runtime_error("cannot read " + std::string(what) + " " + path.string());
  }
  return bytes;
}

void writeWholeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<Memory> memoriesOf(const CardContents& card) {
  switch (card.kind) {
    case CardKind::None:
      return {};
    case CardKind::GbFlash:
      return {Memory::GbBios, Memory::GbFlash, Memory::GbSram};
    case CardKind::GbCart:
      if (card[Memory::CartSav].empty()) return {Memory::CartRom};
      return {Memory::CartRom, Memory::CartSav};
    case CardKind::WsFlash:
      return {Memory::WsFlash, Memory::WsSram};
  }
  return {};
}

std::vector<std::uint8_t> loadMemory(const fs::path& dir, Memory m, std::size_t size) {
  const fs::path path = dir / memoryFileName(m);
  if (!fs::exists(path)) {
    throw std::runtime_error(path.string() + " is missing; insert the card again (quillon-cli sim insert " +
                             dir.string() + " ...)");
  }
  auto bytes = readWholeFile(path, "card memory");
  if (bytes.size() != size) {
    throw std::runtime_error(path.string() + " holds " + std::to_string(bytes.size()) + " bytes; it must hold " +
                             std::to_string(size));
  }
  return bytes;
}

CardContents loadCard(const fs::path& dir, const WriterConfig& config) {
  switch (config.kind) {
    case CardKind::None:
      return noCard();
    case CardKind::GbFlash: {
      CardContents card = emptyGbFlashCard(config.biosChip, config.flashChip);
      for (Memory m : memoriesOf(card)) card[m] = loadMemory(dir, m, card[m].size());
      return card;
    }
    case CardKind::GbCart: {
      auto rom = readWholeFile(dir / memoryFileName(Memory::CartRom), "cartridge image");
      std::optional<std::vector<std::uint8_t>> sav;
      const fs::path savPath = dir / memoryFileName(Memory::CartSav);
      const bool hasRam = rom.size() > kGbRamCodeOffset && cartRamSize(rom[kGbRamCodeOffset]) > 0;
      if (hasRam && fs::exists(savPath)) sav = readWholeFile(savPath, "save RAM");
      try {
        return gbCartridge(std::move(rom), std::move(sav));
      } catch (const std::runtime_error& e) {
        throw std::runtime_error(dir.string() + ": " + e.what());
      }
    }
    case CardKind::WsFlash: {
      CardContents card = emptyWsFlashCard();
      for (Memory m : memoriesOf(card)) card[m] = loadMemory(dir, m, card[m].size());
      return card;
    }
  }
  return noCard();
}

// A writer whose card lives in a folder: after each command that changed a memory, the
// changed bytes are written to the memory's file before the next register access.
class FolderWriter final : public link::Port {
 public:
  FolderWriter(const fs::path& dir, CardContents card, Faults faults)
      : writer_(std::move(card), std::move(faults)), dir_(dir) {
    writer_.setCommandLog(false);
    writer_.setDescription("sim:" + dir.string());
  }

  std::uint8_t readStatus() override { return writer_.readStatus(); }
  void writeData(std::uint8_t value) override { writer_.writeData(value); }
  std::uint8_t readControl() override { return writer_.readControl(); }
  void writeControl(std::uint8_t value) override {
    writer_.writeControl(value);
    if (writer_.hasChanges()) save();
  }
  void delayTicks(std::uint32_t count) override { writer_.delayTicks(count); }
  std::string describe() const override { return writer_.describe(); }

 private:
  void save() {
    for (const MemoryChange& change : writer_.takeChanges()) {
      const auto index = static_cast<std::size_t>(change.memory);
      const fs::path path = dir_ / kFileNames[index];
      std::fstream& file = files_[index];
      if (!file.is_open()) {
        if (!fs::exists(path)) std::ofstream(path, std::ios::binary).flush();
        file.open(path, std::ios::in | std::ios::out | std::ios::binary);
      }
      const auto bytes = writer_.memory(change.memory).subspan(change.offset, change.size);
      file.seekp(static_cast<std::streamoff>(change.offset));
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      file.flush();
      if (!file) throw std::runtime_error("the simulated writer cannot write " + path.string());
    }
  }

  SimWriter writer_;
  fs::path dir_;
  std::array<std::fstream, kMemoryCount> files_;
};

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
void insertCard(const fs::path& dir, const CardContents& card) {
  prepareFolder(dir);
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
      fs::remove(dir / kFileNames[i], ignored);
    }
  }
  for (Memory m : keep) writeWholeFile(dir / memoryFileName(m), card[m]);
  config.kind = card.kind;
  config.biosChip = card.biosChip;
  config.flashChip = card.flashChip;
  writeConfig(dir, config);
}

void requireWriter(const fs::path& dir) {
  if (!fs::is_directory(dir)) {
    throw std::runtime_error("no simulated writer in " + dir.string() +
                             ": the folder does not exist (make one with: quillon-cli sim insert " +
                             dir.string() + " gb-flash)");
  }
}

std::string sizeText(std::size_t bytes) {
  if (bytes >= 0x100000 && bytes % 0x100000 == 0) return std::to_string(bytes / 0x100000) + " MiB";
  if (bytes >= 0x400 && bytes % 0x400 == 0) return std::to_string(bytes / 0x400) + " KiB";
  return std::to_string(bytes) + " bytes";
}

std::string chipText(int row) {
  const auto& chip = detect::kChipTable[static_cast<std::size_t>(row)];
  return "chip row " + std::to_string(row) + ", " + std::string(chip.name) + " (method " +
         std::to_string(static_cast<int>(chip.method)) + ")";
}

std::string hex(unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

}  // namespace

const char* memoryFileName(Memory m) { return kFileNames[static_cast<std::size_t>(m)]; }

std::unique_ptr<link::Port> openSimPort(const fs::path& dir) {
  if (!fs::is_directory(dir)) {
    Faults silent;
    silent.absent = true;
    auto writer = std::make_unique<SimWriter>(noCard(), silent);
    writer->setDescription("sim:" + dir.string() + " (no such folder: the writer does not answer)");
    return writer;
  }
  const WriterConfig config = readConfig(dir);
  return std::make_unique<FolderWriter>(dir, loadCard(dir, config), config.faults);
}

void insertGbFlash(const fs::path& dir, int biosChip, int flashChip) {
  insertCard(dir, emptyGbFlashCard(biosChip, flashChip));
}

void insertGbCart(const fs::path& dir, const fs::path& romPath, const std::optional<fs::path>& savPath) {
  auto rom = readWholeFile(romPath, "ROM image");
  std::optional<std::vector<std::uint8_t>> sav;
  if (savPath) sav = readWholeFile(*savPath, "save file");
  CardContents card;
  try {
    card = gbCartridge(std::move(rom), std::move(sav));
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(romPath.string() + ": " + e.what());
  }
  insertCard(dir, card);
}

void insertWsFlash(const fs::path& dir) { insertCard(dir, emptyWsFlashCard()); }

void insertNone(const fs::path& dir) { insertCard(dir, noCard()); }

void armFaults(const fs::path& dir, const std::vector<std::string>& nameValues) {
  requireWriter(dir);
  WriterConfig config = readConfig(dir);
  Faults faults = config.faults;
  for (const std::string& nameValue : nameValues) armFault(faults, nameValue);
  config.faults = faults;
  writeConfig(dir, config);
}

void clearFaults(const fs::path& dir) {
  requireWriter(dir);
  WriterConfig config = readConfig(dir);
  config.faults = Faults{};
  writeConfig(dir, config);
}

std::string describeWriter(const fs::path& dir) {
  requireWriter(dir);
  const WriterConfig config = readConfig(dir);
  std::ostringstream out;
  out << "Simulated writer in " << dir.string() << '\n';
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
      const CardContents card = loadCard(dir, config);
      const auto& rom = card[Memory::CartRom];
      std::string title;
      for (std::size_t i = 0x134; i < 0x144 && rom[i] >= 0x20 && rom[i] < 0x7F; ++i) title += static_cast<char>(rom[i]);
      out << "Inserted: ordinary GB cartridge \"" << title << "\", type " << hex(rom[kGbTypeOffset], 2) << '\n'
          << "  ROM:       " << sizeText(rom.size()) << " in " << memoryFileName(Memory::CartRom) << '\n';
      if (card[Memory::CartSav].empty()) {
        out << "  save RAM:  none\n";
      } else {
        out << "  save RAM:  " << sizeText(card[Memory::CartSav].size()) << " in "
            << memoryFileName(Memory::CartSav) << '\n';
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
  return out.str();
}

}  // namespace quillon::sim
