// SPDX-License-Identifier: GPL-3.0-or-later
// Logiqx XML through pugixml. Its parser expands no entity but the five predefined ones and
// character references, and loads nothing external; a DOCTYPE that declares entities is
// refused, so that a name never holds an entity reference read as text.
#include <pugixml.hpp>

#include "dat/dat_file.h"

namespace quillon::dat::detail {

namespace {

// pugixml's own words for why a document is not well-formed.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_doctype;

std::string SerialOfGame(const pugi::xml_node& game) {
  if (const auto attribute = game.attribute("serial")) return attribute.value();
  return game.child_value("serial");
}

// The rom's fields, or the reason one cannot be read (with its line).
std::optional<std::string> ReadRom(std::string_view text, const pugi::xml_node& node, RomEntry& rom) {
  for (const auto& attribute : node.attributes()) {
    if (auto error = SetRomField(rom, attribute.name(), attribute.value()))
      return LineError(text, static_cast<std::size_t>(node.offset_debug()), *error);
  }
  return std::nullopt;
}

std::optional<std::string> ReadGame(std::string_view text, const pugi::xml_node& game, Dat& dat) {
  const std::string name = game.attribute("name").value();
  const std::string serial = SerialOfGame(game);
  for (const auto& node : game.children("rom")) {
    RomEntry rom;
    rom.game = name;
    rom.serial = serial;
    if (auto error = ReadRom(text, node, rom)) return error;
    dat.roms.push_back(std::move(rom));
  }
  return std::nullopt;
}

std::optional<std::string> RefusedDoctype(std::string_view text, const pugi::xml_document& document) {
  for (const auto& node : document.children()) {
    if (node.type() == pugi::node_doctype && std::string_view(node.value()).find("<!ENTITY") != std::string_view::npos)
      return LineError(text, static_cast<std::size_t>(node.offset_debug()),
                       "the DOCTYPE declares entities; a DAT with entities is not read");
  }
  return std::nullopt;
}

}  // namespace

DatRead ReadLogiqx(std::string_view text) {
  pugi::xml_document document;
  const auto parsed = document.load_buffer(text.data(), text.size(), kParseOptions);
  if (!parsed)
    return {std::nullopt,
            LineError(text, static_cast<std::size_t>(parsed.offset), std::string("not XML: ") + parsed.description())};
  if (auto error = RefusedDoctype(text, document)) return {std::nullopt, *error};
  const auto root = document.child("datafile");
  if (!root) return {std::nullopt, LineError(text, 0, "no <datafile> element")};
  Dat dat;
  dat.name = root.child("header").child_value("name");
  dat.version = root.child("header").child_value("version");
  for (const auto& game : root.children()) {
    const std::string_view kind = game.name();
    if (kind != "game" && kind != "machine") continue;
    if (auto error = ReadGame(text, game, dat)) return {std::nullopt, *error};
  }
  return {std::move(dat), {}};
}

}  // namespace quillon::dat::detail
