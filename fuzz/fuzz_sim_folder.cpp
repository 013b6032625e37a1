// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated writer's folder loader (sim/folder_port.cpp: openSimPort; sim/folder_commands.cpp:
// describeWriter), fed with any writer.ini and any memory files.
//
// Input: parts separated by the line "@@" ("\n@@\n"):
//   0  writer.ini (an input starting with the separator has no writer.ini at all)
//   1  gb-cart.gb                      (absent when the input has fewer parts)
//   2  gb-cart.sav
//   3  writer.lock (the folder's change counters)
//   4  one byte each for gb-bios.bin, gb-flash.bin, gb-sram.bin, ws-flash.bin, ws-sram.bin:
//      1 the right size, 2 one byte short, 3 one byte over, 4 empty, 5 a folder of that
//      name, anything else absent; the flash memories are megabytes, so they are made as
//      sparse files of zeros
//   5  unexpected.txt
// One scratch folder serves the whole process; every run clears it first.
//
// What must hold:
//  - opening the folder as a port either works or is refused with std::runtime_error whose
//    message names the folder and the file at fault; no other exception, no crash;
//  - describeWriter agrees: it works exactly when the port opened, and refuses the same way;
//  - a loaded folder is within the allowed values: the card kind is the one writer.ini names
//    last (none without one), a GB flash card's chips are the ones it names by ID bytes or by
//    row (INTEL 28F010 and INTEL 28F016SA by default) and in the chip table, the memory files it needs have their exact
//    sizes, a cartridge image is 0x150 bytes to 8 MiB with a simulated mapper and a known RAM size code and a save file
//    of exactly that RAM size when it has RAM; every armed fault as described can be armed again unchanged (which
//    checks its value's range);
//  - the opened port answers status reads and names itself "sim:<folder>".
#include <array>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "sim/chips.h"
#include "sim/faults.h"
#include "sim/sim.h"

namespace fs = std::filesystem;
using namespace quillon::sim;

namespace {

constexpr std::string_view kSeparator = "\n@@\n";

struct FlashFile {
  const char* name;
  std::size_t size;
};
constexpr std::array<FlashFile, 5> kFlashFiles = {{{"gb-bios.bin", kGbBiosSize},
                                                   {"gb-flash.bin", kGbFlashSize},
                                                   {"gb-sram.bin", kGbSramSize},
                                                   {"ws-flash.bin", kWsFlashSize},
                                                   {"ws-sram.bin", kWsSramSize}}};
constexpr std::array<const char*, 10> kFolderFiles = {"writer.ini",   "writer.lock", "unexpected.txt", "gb-bios.bin",
                                                      "gb-flash.bin", "gb-sram.bin", "gb-cart.gb",     "gb-cart.sav",
                                                      "ws-flash.bin", "ws-sram.bin"};

void MakeSized(const fs::path& path, std::uint8_t how, std::size_t size) {
  switch (how) {
    case 1:
    case 2:
    case 3: {
      const std::size_t bytes = how == 1 ? size : how == 2 ? size - 1 : size + 1;
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      FUZZ_CHECK(fd >= 0);
      FUZZ_CHECK(::ftruncate(fd, static_cast<off_t>(bytes)) == 0);
      FUZZ_CHECK(::close(fd) == 0);
      break;
    }
    case 4:
      quillon::fuzz::WriteFile(path, std::string_view());
      break;
    case 5:
      fs::create_directory(path);
      break;
    default:
      break;
  }
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

// What a writer.ini that loaded says: the last kind and chips (ID bytes or row) named in [card].
struct Named {
  std::string kind = "none";
  std::string biosChip = chipIdText(kDefaultBiosChip);
  std::string flashChip = chipIdText(kDefaultFlashChip);
};

Named ReadNamed(std::string_view ini) {
  Named named;
  std::string section;
  while (!ini.empty()) {
    const std::size_t end = ini.find('\n');
    const std::string line = Trim(ini.substr(0, end));
    ini.remove_prefix(end == std::string_view::npos ? ini.size() : end + 1);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (section == "card") {
      const std::size_t eq = line.find('=');
      const std::string key = Trim(std::string_view(line).substr(0, eq));
      const std::string value = eq == std::string::npos ? "" : Trim(std::string_view(line).substr(eq + 1));
      if (key == "kind") named.kind = value;
      if (key == "bios-chip") named.biosChip = value;
      if (key == "flash-chip") named.flashChip = value;
    }
  }
  return named;
}

bool NamesAFile(const std::string& message, const fs::path& dir) {
  if (message.find(dir.string()) == std::string::npos) return false;
  for (const char* name : kFolderFiles) {
    if (message.find(name) != std::string::npos) return true;
  }
  return false;
}

bool SimulatedType(std::uint8_t type) {
  return type == 0x00 || (type >= 0x01 && type <= 0x03) || (type >= 0x0F && type <= 0x13) ||
         (type >= 0x19 && type <= 0x1E);
}

std::size_t RamBytes(std::uint8_t code) {
  constexpr std::array<std::size_t, 6> kSizes = {0, 0x800, 0x2000, 0x8000, 0x20000, 0x10000};
  return code < kSizes.size() ? kSizes[code] : 0;
}

std::string LineStarting(const std::string& text, std::string_view start) {
  std::size_t at = text.find(std::string("\n") + std::string(start));
  if (at == std::string::npos) return {};
  ++at;
  return text.substr(at, text.find('\n', at) - at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path dir = quillon::fuzz::ScratchDir() / "writer";
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  fs::create_directory(dir);

  const auto parts = quillon::fuzz::Split({data, size}, kSeparator);
  const auto part = [&](std::size_t i) { return i < parts.size() ? parts[i] : std::span<const std::uint8_t>(); };
  const bool hasIni = !(size >= kSeparator.size() && parts[0].empty());
  if (hasIni) quillon::fuzz::WriteFile(dir / kWriterIni, parts[0]);
  if (parts.size() > 1) quillon::fuzz::WriteFile(dir / "gb-cart.gb", parts[1]);
  if (parts.size() > 2) quillon::fuzz::WriteFile(dir / "gb-cart.sav", parts[2]);
  if (parts.size() > 3) quillon::fuzz::WriteFile(dir / kWriterLock, parts[3]);
  std::array<std::uint8_t, 5> flash{};
  for (std::size_t i = 0; i < flash.size() && i < part(4).size(); ++i) {
    flash[i] = part(4)[i];
    MakeSized(dir / kFlashFiles[i].name, flash[i], kFlashFiles[i].size);
  }
  if (parts.size() > 5) quillon::fuzz::WriteFile(dir / kUnexpectedFile, parts[5]);

  std::unique_ptr<quillon::link::Port> port;
  std::string refusal;
  try {
    port = openSimPort(dir, SimPortOptions{std::chrono::milliseconds(0)});
  } catch (const std::runtime_error& e) {
    refusal = e.what();
    FUZZ_CHECK_MSG(NamesAFile(refusal, dir), refusal);
  } catch (const std::exception& e) {
    FUZZ_CHECK_MSG(false, std::string("not a refusal: ") + e.what());
  }

  std::string description;
  try {
    description = describeWriter(dir);
  } catch (const std::runtime_error& e) {
    FUZZ_CHECK_MSG(!port, std::string("the port opened, describeWriter refused: ") + e.what());
    FUZZ_CHECK_MSG(NamesAFile(e.what(), dir), e.what());
    return 0;
  } catch (const std::exception& e) {
    FUZZ_CHECK_MSG(false, std::string("not a refusal: ") + e.what());
  }
  FUZZ_CHECK_MSG(port, "describeWriter took a folder the port refused: " + refusal);

  // A loaded folder.
  FUZZ_CHECK(port->describe() == "sim:" + dir.string());
  for (int i = 0; i < 3; ++i) (void)port->readStatus();

  const Named named = ReadNamed(hasIni ? quillon::fuzz::AsText(parts[0]) : std::string_view());
  const std::string inserted = LineStarting(description, "Inserted: ");
  if (named.kind == "none") {
    FUZZ_CHECK(inserted.starts_with("Inserted: nothing"));
  } else if (named.kind == "gb-flash") {
    FUZZ_CHECK(inserted == "Inserted: GB flash card");
    FUZZ_CHECK(flash[0] == 1 && flash[1] == 1 && flash[2] == 1);
    const Chip* biosChip = chipByIdOrRow(named.biosChip);
    const Chip* flashChip = chipByIdOrRow(named.flashChip);
    FUZZ_CHECK(biosChip && flashChip);
    const std::string bios = LineStarting(description, "  BIOS ROM:    ");
    const std::string flashRom = LineStarting(description, "  FLASH ROM:   ");
    FUZZ_CHECK_MSG(bios.starts_with("  BIOS ROM:    chip row " + std::to_string(biosChip->tableRow) + ", " +
                                    std::string(biosChip->name) + " "),
                   description);
    FUZZ_CHECK_MSG(flashRom.starts_with("  FLASH ROM:   chip row " + std::to_string(flashChip->tableRow) + ", " +
                                        std::string(flashChip->name) + " "),
                   description);
  } else if (named.kind == "gb-cart") {
    FUZZ_CHECK(inserted.starts_with("Inserted: ordinary GB cartridge"));
    const auto rom = part(1);
    FUZZ_CHECK(parts.size() > 1);
    FUZZ_CHECK(rom.size() >= 0x150 && rom.size() <= 0x800000);
    FUZZ_CHECK(SimulatedType(rom[0x147]));
    FUZZ_CHECK(rom[0x149] <= 5);
    const std::size_t ram = RamBytes(rom[0x149]);
    if (ram > 0) {
      FUZZ_CHECK(parts.size() > 2 && part(2).size() == ram);
      FUZZ_CHECK(LineStarting(description, "  save RAM:  ") != "  save RAM:  none");
    } else {
      FUZZ_CHECK(LineStarting(description, "  save RAM:  ") == "  save RAM:  none");
    }
  } else {
    FUZZ_CHECK_MSG(named.kind == "ws-flash", "kind " + named.kind);
    FUZZ_CHECK(inserted == "Inserted: WS flash card");
    FUZZ_CHECK(flash[3] == 1 && flash[4] == 1);
  }

  // The armed faults, as described, arm again to the same list.
  const std::string faultsText = LineStarting(description, "Faults: ");
  FUZZ_CHECK_MSG(faultsText.starts_with("Faults: "), description);
  const std::string faultsLine = faultsText.substr(8);
  std::vector<std::string> listed;
  if (faultsLine != "none") {
    for (std::size_t start = 0;;) {
      const std::size_t comma = faultsLine.find(", ", start);
      listed.push_back(faultsLine.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 2;
    }
  }
  Faults rearmed;
  for (const std::string& fault : listed) {
    try {
      armFault(rearmed, fault);
    } catch (const std::runtime_error& e) {
      FUZZ_CHECK_MSG(false, "a loaded fault does not arm again: " + fault + ": " + e.what());
    }
  }
  FUZZ_CHECK(faultList(rearmed) == listed);
  return 0;
}
