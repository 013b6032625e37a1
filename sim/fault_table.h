// SPDX-License-Identifier: GPL-3.0-or-later
// Every fault of the simulated writer, one entry each: its name, the value it takes, where
// Faults keeps it and its line of help. Arming, listing (sim show, writer.ini's [faults]),
// the list of known faults in messages and the help of `quillon-cli sim fault` all come from
// here, in this order; README.md lists the same lines (a test compares them). A new fault is
// an entry here, its field in Faults and its effect in the card model or sim_writer.cpp.
#pragma once

#include <csignal>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <variant>

#include "sim/faults.h"

namespace quillon::sim {

enum class FaultValue {
  None,    // "name"
  Number,  // "name=N": decimal, or hexadecimal after 0x
  Hex16,   // "name=HEX": hexadecimal, with or without 0x; listed as 0x and four digits
};

// The field of Faults that keeps a fault. A bool is set by arming; a number without
// std::optional counts as armed when it is not 0 (busy-polls=0 is not listed).
using FaultField = std::variant<bool Faults::*, int Faults::*, std::uint32_t Faults::*, std::optional<int> Faults::*,
                                std::optional<std::uint16_t> Faults::*, std::optional<std::uint32_t> Faults::*,
                                std::optional<std::uint64_t> Faults::*>;

struct FaultEntry {
  std::string_view name;
  FaultValue value;
  std::string_view hint;  // how the value is spelled in messages and help ("N", "B", ...)
  std::uint64_t min;      // the values it takes
  std::uint64_t max;
  FaultField field;
  // The sig...-after faults share Faults::signalAfter; the signal beside it in Faults::signal
  // says which of them is armed. 0 for every other fault.
  int signal;
  std::string_view help;
};

inline constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint32_t>::max();

inline constexpr FaultEntry kFaultTable[] = {
    {"absent", FaultValue::None, "", 0, 0, &Faults::absent, 0, "the ready bit is never set, as with no writer"},
    {"drop-after", FaultValue::Number, "N", 0, kMaxCount, &Faults::dropAfter, 0,
     "the writer falls silent once N bytes have crossed the link"},
    {"bad-check", FaultValue::Number, "N", 1, kMaxCount, &Faults::badCheck, 0,
     "the N-th answer (counted from 1) has a wrong check byte"},
    {"erase-fail-block", FaultValue::Number, "B", 0, 63, &Faults::eraseFailBlock, 0,
     "erasing fails in GB FLASH ROM 64 KiB block B, in WS 64 KiB bank B"},
    {"extra-erase-fail", FaultValue::None, "", 0, 0, &Faults::extraEraseFail, 0,
     "WS: erasing the small sectors in the upper 32 KiB of banks 31 and 63 fails"},
    {"program-fail-bank", FaultValue::Number, "B", 0, 255, &Faults::programFailBank, 0,
     "programming fails in GB FLASH ROM 16 KiB bank B, in WS bank B"},
    {"bios-erase-fail", FaultValue::None, "", 0, 0, &Faults::biosEraseFail, 0, "erasing the BIOS ROM fails"},
    {"bios-program-fail", FaultValue::None, "", 0, 0, &Faults::biosProgramFail, 0, "programming the BIOS ROM fails"},
    {"sram-write-fail", FaultValue::None, "", 0, 0, &Faults::sramWriteFail, 0,
     "writing the save memory fails and stores nothing"},
    {"busy-polls", FaultValue::Number, "K", 0, 1000000, &Faults::busyPolls, 0,
     "after an erase or a programming, K more status polls than needed answer busy"},
    {"ws-id", FaultValue::Hex16, "HEX", 0, 0xFFFF, &Faults::wsId, 0, "the WS card identifies as HEX"},
    {"ws-size-bad-check", FaultValue::None, "", 0, 0, &Faults::wsSizeBadCheck, 0,
     "the WS card's answer to the size query has a wrong check byte"},
    {"read-fail-bank", FaultValue::Number, "B", 0, 255, &Faults::readFailBank, 0,
     "reading GB ROM bank B fails (status); WS 32 KiB block B: wrong check byte"},
    {"bios-verify-differ", FaultValue::None, "", 0, 0, &Faults::biosVerifyDiffer, 0,
     "a method-1 BIOS ROM reads one bit wrong after a page write (it stores right)"},
    {"sram-read-fail", FaultValue::None, "", 0, 0, &Faults::sramReadFail, 0,
     "reading the save memory fails: GB in the status, WS with a wrong check byte"},
    {"flip-bit", FaultValue::Number, "A", 0, 0x3FFFFF, &Faults::flipBit, 0,
     "programming flips bit 0 of byte A (GB FLASH ROM, WS card) without a failure"},
    {"unknown-bios-chip", FaultValue::None, "", 0, 0, &Faults::unknownBiosChip, 0,
     "the BIOS ROM identifies as 5A 5A 00, no known chip"},
    {"unknown-flash-chip", FaultValue::None, "", 0, 0, &Faults::unknownFlashChip, 0,
     "the FLASH ROM identifies as 5A 5A 00, no known chip"},
    {"byte-delay", FaultValue::Number, "US", 0, 100000, &Faults::byteDelay, 0,
     "every byte crossing the link takes US microseconds more: a slow port"},
    {"deaf-erase-ms", FaultValue::Number, "MS", 0, 600000, &Faults::deafEraseMs, 0,
     "while an erase runs, the writer answers no handshake for MS ms of its clock"},
    {"access-us", FaultValue::Number, "US", 0, 1000, &Faults::accessUs, 0,
     "the writer's clock: US microseconds a register access, not the wall clock"},
    {"port-fail-at", FaultValue::Number, "N", 0, kMaxCount, &Faults::portFailAt, 0,
     "once N bytes have crossed, the port fails once, as a pulled adapter does"},
    {"sigint-after", FaultValue::Number, "N", 1, kMaxCount, &Faults::signalAfter, SIGINT,
     "the program driving the writer gets SIGINT after the writer's N-th command"},
    {"sigterm-after", FaultValue::Number, "N", 1, kMaxCount, &Faults::signalAfter, SIGTERM,
     "the program driving the writer gets SIGTERM after the writer's N-th command"},
    {"sighup-after", FaultValue::Number, "N", 1, kMaxCount, &Faults::signalAfter, SIGHUP,
     "the program driving the writer gets SIGHUP after the writer's N-th command"},
    {"flaky-bank", FaultValue::Number, "B", 0, 255, &Faults::flakyBank, 0,
     "reads of GB ROM bank B or WS 32 KiB block B alter a few bytes, differently each time"},
    {"flaky-reads", FaultValue::Number, "K", 1, kMaxCount, &Faults::flakyReads, 0,
     "with flaky-bank, only the first K reads of that bank or block are altered"},
};

}  // namespace quillon::sim
