// The simulated writer kept in a folder (`--port sim:DIR`), and the management of such a
// folder (`quillon-cli sim insert|fault|show`).
//
// The folder holds the card's memories as raw files (gb-flash.bin, gb-bios.bin, gb-sram.bin,
// gb-cart.gb, gb-cart.sav, ws-flash.bin, ws-sram.bin) and writer.ini, which says what is
// inserted, which chip rows a GB flash card carries and which faults are armed. Every command
// that changes a memory reaches its file before the writer takes the next byte.
//
// Several programs may use one folder at once (the desktop program, quillon-cli). writer.lock
// is taken (flock, exclusive) around every command a port carries out and around every change
// made by insert / fault; it holds two counters, one raised by every change of the folder and
// one by every inserted card. At each command a port compares them with what it saw last and,
// when another program changed the folder, loads writer.ini and the memories again first (a
// newly inserted card comes in fresh; a changed memory or fault list is taken over by the card
// in the slot). unexpected.txt lists the commands the card did not expect, one per line.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/port.h"
#include "sim/sim_writer.h"

namespace quillon::sim {

struct SimPortOptions {
  // How long a command waits for another program's hold on writer.lock. When it cannot have
  // the lock in time, the writer does not take that command: it is not carried out and the
  // ready bit stays clear until the PC gives the handshake up.
  std::chrono::milliseconds lockWait{3000};
};

// The writer kept in `dir`. A folder that does not exist is a writer that never answers (so is
// one removed while the port is open). Throws std::runtime_error when the folder's files do not
// make a writer (bad writer.ini, a memory file missing or of the wrong size), naming the file.
// The port's register calls throw std::runtime_error, naming the file, when a change cannot be
// saved or the folder was changed into one that does not make a writer.
std::unique_ptr<link::Port> openSimPort(const std::filesystem::path& dir, const SimPortOptions& options = {});

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
// Several lines: what is inserted, the chips by row and name, the armed faults, the commands
// the card did not expect ("Unexpected commands: none", or that title and one line each).
std::string describeWriter(const std::filesystem::path& dir);

// File names of the memories inside a writer folder.
const char* memoryFileName(Memory m);
inline constexpr const char* kWriterIni = "writer.ini";
inline constexpr const char* kWriterLock = "writer.lock";
inline constexpr const char* kUnexpectedFile = "unexpected.txt";

}  // namespace quillon::sim
