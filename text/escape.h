// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes written so that they stay on one line and read back to the same bytes: a column of a
// list row or a message on the terminal (library::EscapeField), a name in a simulated
// writer's message (sim::quotedText), a settings value with a control byte in it
// (ui/ini_file.h, form 3).
//
// Every style escapes
//   backslash -> \\      tab -> \t      line feed -> \n      carriage return -> \r
//   any other byte 0x00..0x1F or 0x7F -> \xHH (two upper-case hex digits)
// and leaves printable ASCII as it is. Bytes 0x80..0xFF are written as `high` says. A quoted
// style writes `quote` before the text and ' after it, and a ' inside as \'. Replacing \\,
// \', \t, \n, \r and \xHH by the bytes they stand for gives the bytes back.
#pragma once

#include <string>
#include <string_view>

namespace quillon::text {

enum class HighBytes {
  // A well-formed UTF-8 sequence as it is, except a C1 control character (U+0080..U+009F,
  // C2 80..C2 9F: some terminals act on them); each byte of those, and each byte that is not
  // part of a well-formed sequence, as \xHH.
  Utf8,
  AsIs,     // every byte as it is
  Escaped,  // every byte as \xHH
};

struct EscapeStyle {
  HighBytes high = HighBytes::Utf8;
  std::string_view quote;  // empty: not quoted; otherwise the opening ("'", "$'")
};

std::string EscapeBytes(std::string_view bytes, const EscapeStyle& style);

}  // namespace quillon::text
