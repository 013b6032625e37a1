// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/faults.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <type_traits>

#include "sim/fault_table.h"
#include "text/escape.h"

namespace quillon::sim {

namespace {

template <class T>
constexpr bool kIsOptional = false;
template <class T>
constexpr bool kIsOptional<std::optional<T>> = true;

// Arms the field that keeps a fault with the value it was given (0 for a fault without one).
template <class T>
void store(T& field, std::uint64_t value) {
  if constexpr (std::is_same_v<T, bool>) {
    field = true;
  } else if constexpr (kIsOptional<T>) {
    field = static_cast<typename T::value_type>(value);
  } else {
    field = static_cast<T>(value);
  }
}

// The value of an armed fault's field (0 for a bool), nothing when it is not armed.
template <class T>
std::optional<std::uint64_t> armedValue(const T& field) {
  if constexpr (std::is_same_v<T, bool>) {
    return field ? std::optional<std::uint64_t>(0) : std::nullopt;
  } else if constexpr (kIsOptional<T>) {
    return field ? std::optional(static_cast<std::uint64_t>(*field)) : std::nullopt;
  } else {
    return field != 0 ? std::optional(static_cast<std::uint64_t>(field)) : std::nullopt;
  }
}

// "name" or "name=HINT", as messages and help spell a fault.
std::string usage(const FaultEntry& entry) {
  std::string text(entry.name);
  if (entry.value != FaultValue::None) {
    text += '=';
    text += entry.hint;
  }
  return text;
}

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

std::string quotedText(std::string_view text) { return text::EscapeBytes(text, {text::HighBytes::Escaped, "'"}); }

std::string knownFaultsText() {
  std::string text;
  for (const FaultEntry& entry : kFaultTable) {
    if (!text.empty()) text += ", ";
    text += usage(entry);
  }
  return text;
}

std::string faultHelp() {
  std::size_t width = 0;
  for (const FaultEntry& entry : kFaultTable) width = std::max(width, usage(entry).size());
  std::string text;
  for (const FaultEntry& entry : kFaultTable) {
    const std::string shown = usage(entry);
    text += "  ";
    text += shown;
    text.append(width + 2 - shown.size(), ' ');
    text += entry.help;
    text += '\n';
  }
  return text;
}

void armFault(Faults& faults, std::string_view nameValue) {
  const auto eq = nameValue.find('=');
  const std::string_view name = nameValue.substr(0, eq);
  const std::optional<std::string_view> valueText =
      eq == std::string_view::npos ? std::nullopt : std::optional(nameValue.substr(eq + 1));

  const auto entry = std::find_if(std::begin(kFaultTable), std::end(kFaultTable),
                                  [name](const FaultEntry& each) { return each.name == name; });
  if (entry == std::end(kFaultTable)) {
    throw std::runtime_error("unknown fault " + quotedText(name) + "; known faults: " + knownFaultsText());
  }
  const std::string shown(entry->name);
  if (entry->value == FaultValue::None) {
    if (valueText) throw std::runtime_error("fault '" + shown + "' takes no value");
  } else if (!valueText) {
    throw std::runtime_error("fault '" + shown + "' needs a value: " + usage(*entry));
  }

  std::uint64_t value = 0;
  if (entry->value != FaultValue::None) {
    const bool hex = entry->value == FaultValue::Hex16;
    const auto parsed = parseNumber(*valueText, hex ? 16 : 10);
    if (!parsed || *parsed < entry->min || *parsed > entry->max) {
      const std::string range = hex ? "a hexadecimal number 0 to FFFF"
                                    : "a number " + std::to_string(entry->min) + " to " + std::to_string(entry->max);
      throw std::runtime_error("bad value " + quotedText(*valueText) + " for fault '" + shown + "': expected " + range);
    }
    value = *parsed;
  }

  std::visit([&faults, value](auto member) { store(faults.*member, value); }, entry->field);
  if (entry->signal != 0) faults.signal = entry->signal;
}

std::vector<std::string> faultList(const Faults& faults) {
  std::vector<std::string> list;
  for (const FaultEntry& entry : kFaultTable) {
    const auto value = std::visit([&faults](auto member) { return armedValue(faults.*member); }, entry.field);
    if (!value || (entry.signal != 0 && faults.signal != entry.signal)) continue;
    std::string text(entry.name);
    if (entry.value != FaultValue::None) {
      text += '=';
      text += entry.value == FaultValue::Hex16 ? hex16(static_cast<std::uint16_t>(*value)) : std::to_string(*value);
    }
    list.push_back(std::move(text));
  }
  return list;
}

}  // namespace quillon::sim
