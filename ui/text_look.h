// SPDX-License-Identifier: GPL-3.0-or-later
// Fonts of the windows and the decoding of the bytes they show.
#pragma once

#include <QFont>
#include <QString>

#include <string_view>

namespace quillon::ui {

// Buttons and labels: a sans font at 13 pixels.
QFont ControlFont();

// The list views (13 pixels) and the card information box (12 pixels): a font that has
// Traditional Chinese characters when the system has one, so that Big5 titles show.
QFont ChineseFont(int pixelSize);

// Title bytes and card information lines: exactly the text quillon-cli prints for them
// (library::ShownBig5): Big5 through the library's decoder, and control characters and
// backslashes as the same backslash escapes. A title sits in a one-line cell, a chooser item
// or a line of the card information box, where a raw line end would split it into a line of
// its own and a tab or another control character shows as nothing; written as "\n", "\t",
// "\x01" it is visible, and it reads the same in the window and on the command line.
QString FromBig5(std::string_view bytes);

// A file name as the file system holds it.
QString FromFileName(std::string_view bytes);

}  // namespace quillon::ui
