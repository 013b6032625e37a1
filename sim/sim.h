// The simulated writer kept in a folder (`--port sim:DIR`), and the management of such a
// folder (`quillon-cli sim insert|fault|show`).
//
// The folder holds the card's memories as raw files (gb-flash.bin, gb-bios.bin, gb-sram.bin,
// gb-cart.gb, gb-cart.sav, ws-flash.bin, ws-sram.bin) and writer.ini, which says what is
// inserted, which chip rows a GB flash card carries and which faults are armed. Every command
// that changes a memory reaches its file before the writer takes the next byte.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/port.h"
#include "sim/sim_writer.h"

namespace quillon::sim {

// The writer kept in `dir`. A folder that does not exist is a writer that never answers.
// Throws std::runtime_error when the folder's files do not make a writer (bad writer.ini,
// a memory file missing or of the wrong size).
std::unique_ptr<link::Port> openSimPort(const std::filesystem::path& dir);

// Management. Each throws std::runtime_error with a message for the user on bad input.
// Inserting creates `dir` when needed, replaces whatever card was inserted (its files are
// removed) and keeps the armed faults.
void insertGbFlash(const std::filesystem::path& dir, int biosChip = kDefaultBiosChip,
                   int flashChip = kDefaultFlashChip);
void insertGbCart(const std::filesystem::path& dir, const std::filesystem::path& romPath,
                  const std::optional<std::filesystem::path>& savPath = std::nullopt);
void insertWsFlash(const std::filesystem::path& dir);
void insertNone(const std::filesystem::path& dir);
// Arms faults given as "name" or "name=value" (all or none: a bad one changes nothing).
void armFaults(const std::filesystem::path& dir, const std::vector<std::string>& nameValues);
void clearFaults(const std::filesystem::path& dir);
// Several lines: what is inserted, the chips by row and name, the armed faults.
std::string describeWriter(const std::filesystem::path& dir);

// File names of the memories inside a writer folder.
const char* memoryFileName(Memory m);
inline constexpr const char* kWriterIni = "writer.ini";

}  // namespace quillon::sim
