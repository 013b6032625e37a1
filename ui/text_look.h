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

// Title bytes and card information lines: Big5 (bytes below 0x80 are ASCII). Without a
// Big5 converter in Qt, the library's own conversion is used.
QString FromBig5(std::string_view bytes);

// A file name as the file system holds it.
QString FromFileName(std::string_view bytes);

}  // namespace quillon::ui
