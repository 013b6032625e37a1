// SPDX-License-Identifier: GPL-3.0-or-later
// Faults the simulated writer can be told to show, so that every failure path of the program
// can be driven on purpose. Armed by name ("absent", "busy-polls=3", ...); the names, values
// and help of all of them are the table of sim/fault_table.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::sim {

struct Faults {
  bool absent = false;                     // absent: the ready bit is never set
  std::optional<std::uint64_t> dropAfter;  // drop-after=N: silent once N bytes crossed
  std::optional<std::uint64_t> badCheck;   // bad-check=N: the N-th answer (1-based) has a wrong check
  std::optional<int> eraseFailBlock;       // erase-fail-block=B: GB FLASH 64 KiB block / WS 64 KiB bank
  bool extraEraseFail = false;             // extra-erase-fail: WS, the sectors of the upper 32 KiB of banks 31 and 63
  std::optional<int> programFailBank;      // program-fail-bank=B: GB FLASH 16 KiB bank / WS bank
  bool biosEraseFail = false;              // bios-erase-fail
  bool biosProgramFail = false;            // bios-program-fail
  bool sramWriteFail = false;              // sram-write-fail
  // busy-polls=K: after an erase or a programming command, K more status polls answer busy
  // than the chip needs (GB: QueryState3 or the chip's status byte; WS: QueryState6).
  int busyPolls = 0;
  std::optional<std::uint16_t> wsId;  // ws-id=HEX: the WS card's identification
  bool wsSizeBadCheck = false;        // ws-size-bad-check
  // read-fail-bank=B. GB: reading 16 KiB ROM bank B leaves the status failed. WS: the answer
  // to a block read (from 0x8000) of 32 KiB block B = 2 x bank register 0xC3 + 1 in mode 0x27
  // (+ 0 in mode 0x26) has a wrong check byte.
  std::optional<int> readFailBank;
  bool biosVerifyDiffer = false;  // bios-verify-differ: method-1 BIOS ROM reads back wrong after a page write
  // sram-read-fail. GB: reading the save memory window leaves the status failed. WS: the
  // answer to a block read (from 0x8000) of the save memory, mode 0x22, has a wrong check byte.
  bool sramReadFail = false;
  // flip-bit=A: the byte at offset A of the FLASH ROM (GB) or the WS card comes out of
  // programming with bit 0 the other way round, the writer's status saying all went well.
  std::optional<std::uint32_t> flipBit;
  bool unknownBiosChip = false;   // unknown-bios-chip: the BIOS ROM identifies as no known chip
  bool unknownFlashChip = false;  // unknown-flash-chip: the FLASH ROM identifies as no known chip
  // byte-delay=US: every byte that crosses the link takes US microseconds more, as on a slow
  // port (to watch an operation's progress).
  std::uint32_t byteDelay = 0;
  // deaf-erase-ms=N: while a GB block or chip erase or a WS sector erase runs, the writer
  // answers no handshake for N ms of its clock, as one that does not serve the port then.
  std::uint32_t deafEraseMs = 0;
  // access-us=N: the writer's clock (the one the link measures silence by, and deafness runs
  // on) advances N microseconds per register access and 15 per DelayTicks tick instead of
  // following the wall clock: a port as slow as a real one, without the waiting.
  std::uint32_t accessUs = 0;
  // port-fail-at=N: once N bytes have crossed, the next data register write fails once (the
  // port throws, as a pulled adapter's does); the writer answers again after it.
  std::optional<std::uint64_t> portFailAt;
  // sigint-after=N, sigterm-after=N, sighup-after=N: the program that drives the writer gets
  // that signal right after the writer carried out its N-th command (counted from when that
  // program opened the writer), as if the user pressed Ctrl-C or closed the terminal then;
  // when it sends fewer commands, as it lets the writer go (after its last result).
  std::optional<std::uint64_t> signalAfter;
  int signal = 0;
  // flaky-bank=B: a dirty contact. Every whole read of 16 KiB ROM bank B (GB: the
  // cartridge's, or the FLASH ROM's) or of 32 KiB block B (WS, counted as read-fail-bank
  // counts it) reaches the PC with a few bytes altered, differently each time; the writer's
  // check byte is made over the altered bytes, so the frame is valid.
  std::optional<int> flakyBank;
  // flaky-reads=K: only the first K reads of the flaky bank are altered; without it, all.
  std::optional<std::uint32_t> flakyReads;

  bool operator==(const Faults&) const = default;
};

// Arms one fault given as "name" or "name=value". Throws std::runtime_error with a message
// for the user when the name is unknown or the value does not fit; `faults` is then unchanged.
void armFault(Faults& faults, std::string_view nameValue);

// The armed faults as "name" / "name=value" strings, in the table's order; a fault kept in a
// plain number (busy-polls, byte-delay, deaf-erase-ms, access-us) is not listed at 0.
std::vector<std::string> faultList(const Faults& faults);

// One line naming every fault and its value, for error messages.
std::string knownFaultsText();

// One line a fault, "  name=VALUE   what it does", the names in a column, for help texts.
std::string faultHelp();

// Text from a file, in single quotes for a message: backslash, quote and every byte that is
// not printable ASCII escaped (\\, \', \t, \n, \r, \xHH), so the message stays one line.
std::string quotedText(std::string_view text);

}  // namespace quillon::sim
