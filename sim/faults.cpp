// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/faults.h"

#include <charconv>
#include <csignal>
#include <limits>
#include <stdexcept>

namespace quillon::sim {

namespace {

enum class Kind { Flag, Number, Hex16 };

struct FaultEntry {
  std::string_view name;
  Kind kind;
  std::uint64_t min = 0;
  std::uint64_t max = 0;
  std::string_view valueHint;  // how the value is spelled in messages
};

constexpr FaultEntry kFaultEntries[] = {
    {"absent", Kind::Flag, 0, 0, ""},
    {"drop-after", Kind::Number, 0, std::numeric_limits<std::uint32_t>::max(), "N"},
    {"bad-check", Kind::Number, 1, std::numeric_limits<std::uint32_t>::max(), "N"},
    {"erase-fail-block", Kind::Number, 0, 63, "B"},
    {"extra-erase-fail", Kind::Flag, 0, 0, ""},
    {"program-fail-bank", Kind::Number, 0, 255, "B"},
    {"bios-erase-fail", Kind::Flag, 0, 0, ""},
    {"bios-program-fail", Kind::Flag, 0, 0, ""},
    {"sram-write-fail", Kind::Flag, 0, 0, ""},
    {"busy-polls", Kind::Number, 0, 1000000, "K"},
    {"ws-id", Kind::Hex16, 0, 0xFFFF, "HEX"},
    {"ws-size-bad-check", Kind::Flag, 0, 0, ""},
    {"read-fail-bank", Kind::Number, 0, 255, "B"},
    {"bios-verify-differ", Kind::Flag, 0, 0, ""},
    {"sram-read-fail", Kind::Flag, 0, 0, ""},
    {"flip-bit", Kind::Number, 0, 0x3FFFFF, "A"},
    {"unknown-bios-chip", Kind::Flag, 0, 0, ""},
    {"unknown-flash-chip", Kind::Flag, 0, 0, ""},
    {"byte-delay", Kind::Number, 0, 100000, "US"},
    {"deaf-erase-ms", Kind::Number, 0, 600000, "MS"},
    {"access-us", Kind::Number, 0, 1000, "US"},
    {"port-fail-at", Kind::Number, 0, std::numeric_limits<std::uint32_t>::max(), "N"},
    {"sigint-after", Kind::Number, 1, std::numeric_limits<std::uint32_t>::max(), "N"},
    {"sigterm-after", Kind::Number, 1, std::numeric_limits<std::uint32_t>::max(), "N"},
    {"sighup-after", Kind::Number, 1, std::numeric_limits<std::uint32_t>::max(), "N"},
};

// The signals of the sig...-after faults, by name.
struct SignalFault {
  std::string_view name;
  int signal;
};
constexpr SignalFault kSignalFaults[] = {
    {"sigint-after", SIGINT}, {"sigterm-after", SIGTERM}, {"sighup-after", SIGHUP}};

std::optional<std::uint64_t> parseNumber(std::string_view text, int base) {
  if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
  if (base == 10 && (text.starts_with("0x") || text.starts_with("0X"))) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string hex16(std::uint16_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

}  // namespace

std::string quotedText(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\'':
        out += "\\'";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte >= 0x20 && byte < 0x7F) {
          out += c;
        } else {
          out += "\\x";
          out += kDigits[byte >> 4];
          out += kDigits[byte & 0x0F];
        }
    }
  }
  return out + "'";
}

std::string knownFaultsText() {
  std::string text;
  for (const FaultEntry& entry : kFaultEntries) {
    if (!text.empty()) text += ", ";
    text += entry.name;
    if (entry.kind != Kind::Flag) {
      text += '=';
      text += entry.valueHint;
    }
  }
  return text;
}

void armFault(Faults& faults, std::string_view nameValue) {
  const auto eq = nameValue.find('=');
  const std::string_view name = nameValue.substr(0, eq);
  const std::optional<std::string_view> valueText =
      eq == std::string_view::npos ? std::nullopt : std::optional(nameValue.substr(eq + 1));

  const FaultEntry* entry = nullptr;
  for (const FaultEntry& each : kFaultEntries) {
    if (each.name == name) entry = &each;
  }
  if (!entry) {
    throw std::runtime_error("unknown fault " + quotedText(name) + "; known faults: " + knownFaultsText());
  }
  const std::string shown(entry->name);
  if (entry->kind == Kind::Flag) {
    if (valueText) throw std::runtime_error("fault '" + shown + "' takes no value");
  } else if (!valueText) {
    throw std::runtime_error("fault '" + shown + "' needs a value: " + shown + "=" + std::string(entry->valueHint));
  }

  std::uint64_t value = 0;
  if (entry->kind != Kind::Flag) {
    const auto parsed = parseNumber(*valueText, entry->kind == Kind::Hex16 ? 16 : 10);
    if (!parsed || *parsed < entry->min || *parsed > entry->max) {
      const std::string range = entry->kind == Kind::Hex16
                                    ? "a hexadecimal number 0 to FFFF"
                                    : "a number " + std::to_string(entry->min) + " to " + std::to_string(entry->max);
      throw std::runtime_error("bad value " + quotedText(*valueText) + " for fault '" + shown + "': expected " + range);
    }
    value = *parsed;
  }

  if (name == "absent") faults.absent = true;
  if (name == "drop-after") faults.dropAfter = value;
  if (name == "bad-check") faults.badCheck = value;
  if (name == "erase-fail-block") faults.eraseFailBlock = static_cast<int>(value);
  if (name == "extra-erase-fail") faults.extraEraseFail = true;
  if (name == "program-fail-bank") faults.programFailBank = static_cast<int>(value);
  if (name == "bios-erase-fail") faults.biosEraseFail = true;
  if (name == "bios-program-fail") faults.biosProgramFail = true;
  if (name == "sram-write-fail") faults.sramWriteFail = true;
  if (name == "busy-polls") faults.busyPolls = static_cast<int>(value);
  if (name == "ws-id") faults.wsId = static_cast<std::uint16_t>(value);
  if (name == "ws-size-bad-check") faults.wsSizeBadCheck = true;
  if (name == "read-fail-bank") faults.readFailBank = static_cast<int>(value);
  if (name == "bios-verify-differ") faults.biosVerifyDiffer = true;
  if (name == "sram-read-fail") faults.sramReadFail = true;
  if (name == "flip-bit") faults.flipBit = static_cast<std::uint32_t>(value);
  if (name == "unknown-bios-chip") faults.unknownBiosChip = true;
  if (name == "unknown-flash-chip") faults.unknownFlashChip = true;
  if (name == "byte-delay") faults.byteDelay = static_cast<std::uint32_t>(value);
  if (name == "deaf-erase-ms") faults.deafEraseMs = static_cast<std::uint32_t>(value);
  if (name == "access-us") faults.accessUs = static_cast<std::uint32_t>(value);
  if (name == "port-fail-at") faults.portFailAt = value;
  for (const SignalFault& each : kSignalFaults) {
    if (name == each.name) {
      faults.signalAfter = value;
      faults.signal = each.signal;
    }
  }
}

std::vector<std::string> faultList(const Faults& faults) {
  std::vector<std::string> list;
  const auto add = [&list](std::string_view name, const auto& value) {
    list.push_back(std::string(name) + "=" + std::to_string(value));
  };
  if (faults.absent) list.emplace_back("absent");
  if (faults.dropAfter) add("drop-after", *faults.dropAfter);
  if (faults.badCheck) add("bad-check", *faults.badCheck);
  if (faults.eraseFailBlock) add("erase-fail-block", *faults.eraseFailBlock);
  if (faults.extraEraseFail) list.emplace_back("extra-erase-fail");
  if (faults.programFailBank) add("program-fail-bank", *faults.programFailBank);
  if (faults.biosEraseFail) list.emplace_back("bios-erase-fail");
  if (faults.biosProgramFail) list.emplace_back("bios-program-fail");
  if (faults.sramWriteFail) list.emplace_back("sram-write-fail");
  if (faults.busyPolls != 0) add("busy-polls", faults.busyPolls);
  if (faults.wsId) list.push_back("ws-id=" + hex16(*faults.wsId));
  if (faults.wsSizeBadCheck) list.emplace_back("ws-size-bad-check");
  if (faults.readFailBank) add("read-fail-bank", *faults.readFailBank);
  if (faults.biosVerifyDiffer) list.emplace_back("bios-verify-differ");
  if (faults.sramReadFail) list.emplace_back("sram-read-fail");
  if (faults.flipBit) add("flip-bit", *faults.flipBit);
  if (faults.unknownBiosChip) list.emplace_back("unknown-bios-chip");
  if (faults.unknownFlashChip) list.emplace_back("unknown-flash-chip");
  if (faults.byteDelay != 0) add("byte-delay", faults.byteDelay);
  if (faults.deafEraseMs != 0) add("deaf-erase-ms", faults.deafEraseMs);
  if (faults.accessUs != 0) add("access-us", faults.accessUs);
  if (faults.portFailAt) add("port-fail-at", *faults.portFailAt);
  for (const SignalFault& each : kSignalFaults) {
    if (faults.signalAfter && faults.signal == each.signal) add(each.name, *faults.signalAfter);
  }
  return list;
}

}  // namespace quillon::sim
