// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/escape.h"

namespace quillon::text {

namespace {

// \xHH for one byte.
void AppendHexEscape(unsigned char byte, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0x0F]);
}

// Length of the well-formed UTF-8 sequence `text` starts with (1 to 4), or 0 when it starts
// with none: a stray continuation byte, an overlong form, a surrogate, a code point above
// U+10FFFF or a sequence cut short.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || at(1) < low || at(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (at(k) < 0x80 || at(k) > 0xBF) return 0;
  }
  return length;
}

// The bytes `text` starts with, from a byte 0x80..0xFF on, as `high` writes them; returns
// how many it took.
std::size_t AppendHigh(std::string_view text, HighBytes high, std::string& out) {
  if (high == HighBytes::AsIs) {
    out.push_back(text[0]);
    return 1;
  }
  const std::size_t length = high == HighBytes::Utf8 ? Utf8SequenceLength(text) : 0;
  const bool c1 =
      length == 2 && static_cast<unsigned char>(text[0]) == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0;
  const std::string_view sequence = text.substr(0, length == 0 ? 1 : length);
  if (length == 0 || c1) {
    for (const char c : sequence) AppendHexEscape(static_cast<unsigned char>(c), out);
  } else {
    out.append(sequence);
  }
  return sequence.size();
}

}  // namespace

std::string EscapeBytes(std::string_view bytes, const EscapeStyle& style) {
  const bool quoted = !style.quote.empty();
  std::string out(style.quote);
  out.reserve(bytes.size() + 2 * style.quote.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x80) {
      i += AppendHigh(bytes.substr(i), style.high, out);
      continue;
    }
    switch (byte) {
      case '\\':
        out += "\\\\";
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
      case '\'':
        out += quoted ? "\\'" : "'";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          AppendHexEscape(byte, out);
        } else {
          out.push_back(static_cast<char>(byte));
        }
    }
    ++i;
  }
  if (quoted) out.push_back('\'');
  return out;
}

}  // namespace quillon::text
