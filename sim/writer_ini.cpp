// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/writer_ini.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "ini/reader.h"
#include "sim/sim.h"

namespace quillon::sim {

namespace fs = std::filesystem;

namespace {

// writer.ini's own rules: names spelled exactly, a section header is a whole "[name]" line.
constexpr ini::Rules kRules{" \t\r", ini::Rules::Sections::WholeLine, false};

bool named(std::string_view name, std::string_view expected) { return ini::SameName(name, expected, kRules); }

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

ChipId parseChip(std::string_view key, std::string_view text) {
  const Chip* chip = chipByIdOrRow(text);
  if (chip == nullptr) {
    throw std::runtime_error("bad " + std::string(key) + " " + quotedText(text) + ": expected " + chipFormsText(false));
  }
  return chip->id;
}

// One line of [card].
void readCardLine(WriterConfig& config, const ini::Line& line) {
  // A line without '=' is a key without a value.
  const std::string_view key = line.kind == ini::LineKind::Entry ? line.name : line.trimmed;
  const std::string_view value = line.kind == ini::LineKind::Entry ? line.value : std::string_view();
  if (named(key, "kind")) {
    bool known = false;
    for (CardKind kind : {CardKind::None, CardKind::GbFlash, CardKind::GbCart, CardKind::WsFlash}) {
      if (value == kindName(kind)) config.kind = kind, known = true;
    }
    if (!known) {
      throw std::runtime_error("unknown card kind " + quotedText(value) +
                               ": expected none, gb-flash, gb-cart or ws-flash");
    }
  } else if (named(key, "bios-chip") || named(key, "flash-chip")) {
    (named(key, "bios-chip") ? config.biosChip : config.flashChip) = parseChip(key, value);
  } else {
    throw std::runtime_error("unknown key " + quotedText(key) + " in [card]: expected kind, bios-chip or flash-chip");
  }
}

}  // namespace

WriterConfig readConfig(const fs::path& dir) {
  WriterConfig config;
  const fs::path path = dir / kWriterIni;
  std::error_code error;
  if (!fs::exists(path, error)) return config;  // a folder without writer.ini: a writer with an empty slot
  std::ifstream in(path, std::ios::binary);
  if (!in || fs::is_directory(path, error)) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  std::string_view section;
  for (const ini::RawLine& raw : ini::SplitLines(text)) {
    const ini::Line line = ini::ReadLine(raw.text, kRules);
    if (line.kind == ini::LineKind::Blank || line.kind == ini::LineKind::Comment) continue;
    try {
      if (line.kind == ini::LineKind::Section) {
        section = line.name;
        if (!named(section, "card") && !named(section, "faults")) {
          throw std::runtime_error("unknown section " + quotedText("[" + std::string(section) + "]") +
                                   ": expected [card] or [faults]");
        }
      } else if (named(section, "faults")) {
        armFault(config.faults, line.trimmed);
      } else if (named(section, "card")) {
        readCardLine(config, line);
      } else {
        throw std::runtime_error(quotedText(line.trimmed) + " is outside a [card] or [faults] section");
      }
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(path.string() + ":" + std::to_string(raw.number) + ": " + e.what());
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
      out << "bios-chip=" << chipIdText(config.biosChip) << "\nflash-chip=" << chipIdText(config.flashChip) << '\n';
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

}  // namespace quillon::sim
