// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/text_look.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

#include <string>

#include "library/rom_header.h"

namespace quillon::ui {
namespace {

QString FirstInstalled(const QStringList& wanted, const QStringList& installed) {
  for (const QString& family : wanted) {
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  }
  return {};
}

}  // namespace

QFont ControlFont() {
  const QString family = FirstInstalled(
      {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans"),
       QStringLiteral("Liberation Sans"), QStringLiteral("Noto Sans"), QStringLiteral("Nimbus Sans")},
      QFontDatabase::families());
  QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  return font;
}

QFont ChineseFont(int pixelSize) {
  const QStringList chinese = QFontDatabase::families(QFontDatabase::TraditionalChinese);
  QString family =
      FirstInstalled({QStringLiteral("MingLiU"), QStringLiteral("PMingLiU"), QStringLiteral("Noto Sans CJK TC"),
                      QStringLiteral("Noto Sans Mono CJK TC"), QStringLiteral("Source Han Sans TC"),
                      QStringLiteral("AR PL UMing TW"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Droid Sans Fallback")},
                     chinese);
  if (family.isEmpty() && !chinese.isEmpty()) family = chinese.front();
  QFont font = family.isEmpty() ? ControlFont() : QFont(family);
  font.setPixelSize(pixelSize);
  return font;
}

QString FromBig5(std::string_view bytes) { return QString::fromStdString(library::ShownBig5(bytes)); }

QString FromFileName(std::string_view bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace quillon::ui
