// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated writer kept in a folder (`--port sim:DIR`), and the management of such a
// folder (`quillon-cli sim insert|fault|show`).
//
// The folder holds the card's memories as raw files (gb-flash.bin, gb-bios.bin, gb-sram.bin,
// gb-cart.gb, gb-cart.sav, ws-flash.bin, ws-sram.bin) and writer.ini, which says what is
// inserted, which chips (by ID bytes) a GB flash card carries and which faults are armed. Every command
// that changes a memory reaches its file before the writer takes the next byte.
//
// Several programs may use one folder at once (the desktop program, quillon-cli). One operation
// at a time owns the writer, as ppdev claims a real port: Port::claim holds writer.lock (flock,
// exclusive) from the start of an operation to its end, and insert / fault take it for their
// change; another program's claim or change waits for it (SimPortOptions::claimWait). A port
// that has not claimed the writer takes the lock around every single command it carries out;
// opening a port and describeWriter only read, holding it shared for a moment.
// writer.lock holds two counters, one raised by every change of the folder and one by every
// inserted card. At each command a port compares them with what it saw last and, when another
// program changed the folder, loads writer.ini and the memories again first (a newly inserted
// card comes in fresh; a changed memory or fault list is taken over by the card in the slot).
// A memory file that is removed, or no longer of its size, under a port is an error naming
// the file, never made again. unexpected.txt lists the commands the card did not expect, one
// per line.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/port.h"
#include "sim/sim_writer.h"

namespace quillon::sim {

inline constexpr std::chrono::milliseconds kDefaultClaimWait{10000};

struct SimPortOptions {
  // How long a command of a port that has not claimed the writer waits for another program's
  // hold on writer.lock. When it cannot have the lock in time, the writer does not take that
  // command: it is not carried out and the ready bit stays clear until the PC gives the
  // handshake up.
  std::chrono::milliseconds lockWait{3000};
  // How long a claim of the writer (Port::claim) and a change by insert / fault wait for
  // another program's claim before they give up with a message naming the folder.
  std::chrono::milliseconds claimWait = kDefaultClaimWait;
  // Told once, in one line, when a claim or a change has to wait for another program
  // (nullptr: nobody).
  std::ostream* notices = nullptr;
  // A stop request (the program's Ctrl-C) that ends such a wait at once: the claim or the
  // change then fails as if the wait had run out (nullptr: none).
  const std::atomic<bool>* stop = nullptr;
};

// The writer kept in `dir`. A folder that does not exist is a writer that never answers (so is
// one removed while the port is open). Throws std::runtime_error when the folder's files do not
// make a writer (bad writer.ini, a memory file missing or of the wrong size), naming the file;
// while another program's operation holds the writer, they are read when this port first has
// it, and a register call throws instead.
// The port's register calls throw std::runtime_error, naming the file, when a change cannot be
// saved or the folder was changed into one that does not make a writer.
std::unique_ptr<link::Port> openSimPort(const std::filesystem::path& dir, const SimPortOptions& options = {});

// Management. Each throws std::runtime_error with a message for the user on bad input, and
// naming the folder when another program's claim did not end within options.claimWait (then
// nothing is changed). Inserting creates `dir` when needed, replaces whatever card was inserted
// (its files are removed) and keeps the armed faults.
void insertGbFlash(const std::filesystem::path& dir, ChipId biosChip = kDefaultBiosChip,
                   ChipId flashChip = kDefaultFlashChip, const SimPortOptions& options = {});
void insertGbCart(const std::filesystem::path& dir, const std::filesystem::path& romPath,
                  const std::optional<std::filesystem::path>& savPath = std::nullopt,
                  const SimPortOptions& options = {});
void insertWsFlash(const std::filesystem::path& dir, const SimPortOptions& options = {});
void insertNone(const std::filesystem::path& dir, const SimPortOptions& options = {});
// Arms faults given as "name" or "name=value" (all or none: a bad one changes nothing).
void armFaults(const std::filesystem::path& dir, const std::vector<std::string>& nameValues,
               const SimPortOptions& options = {});
void clearFaults(const std::filesystem::path& dir, const SimPortOptions& options = {});
// Several lines: what is inserted, the chips by row and name, the armed faults, the commands
// the card did not expect ("Unexpected commands: none", or that title and one line each).
// It only reads, so it does not wait for an operation under way: writer.ini is only ever
// replaced whole, and an operation changes no more than the bytes of the memories, so what
// it shows is whole. It then says first that another program is using the writer.
std::string describeWriter(const std::filesystem::path& dir);

// File names of the memories inside a writer folder.
const char* memoryFileName(Memory m);
inline constexpr const char* kWriterIni = "writer.ini";
inline constexpr const char* kWriterLock = "writer.lock";
inline constexpr const char* kUnexpectedFile = "unexpected.txt";

}  // namespace quillon::sim
