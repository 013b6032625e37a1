// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/about_window.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include "quillon_version.h"
#include "ui/widgets.h"

namespace quillon::ui {
namespace {

constexpr QSize kClientSize(266, 181);
// The licence, two lines centred across the window below the address.
constexpr QRect kLicenceRect(8, 110, 250, 34);

// Our README opens with the program's name.
bool IsOurReadme(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && file.readLine().startsWith("# Quillon");
}

// A flash card with its label and contacts, 33 x 33.
QPixmap CardPicture() {
  QPixmap picture(33, 33);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);

  QPainterPath body;  // the shell, its top right corner cut off
  body.moveTo(4.5, 1.5);
  body.lineTo(23.5, 1.5);
  body.lineTo(28.5, 6.5);
  body.lineTo(28.5, 31.5);
  body.lineTo(4.5, 31.5);
  body.closeSubpath();
  p.setPen(QPen(QColor(60, 60, 72), 1));
  p.setBrush(QColor(168, 170, 184));
  p.drawPath(body);

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 84, 170));  // the label
  p.drawRect(8, 5, 17, 15);
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));  // a nib writing a line
  p.drawLine(QPointF(12, 16), QPointF(20, 8));
  p.drawLine(QPointF(11, 17.5), QPointF(21, 17.5));

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(212, 170, 60));  // the contacts
  for (int x = 8; x <= 24; x += 4) p.drawRect(x, 25, 2, 5);
  return picture;
}

}  // namespace

QString VersionText() { return QStringLiteral("Version ") + QString::fromLatin1(kVersion); }

QString LicenceText() { return QStringLiteral("Licensed under the GNU General Public License, version 3 or later"); }

QUrl DocumentationUrl(const QString& programDir) {
  QDir dir(programDir);
  const QString beside = dir.absoluteFilePath(QStringLiteral("README.md"));
  for (QDir up = dir;;) {
    const QString readme = up.absoluteFilePath(QStringLiteral("README.md"));
    if (IsOurReadme(readme)) return QUrl::fromLocalFile(QDir::cleanPath(readme));
    if (!up.cdUp()) break;
  }
  return QUrl::fromLocalFile(QDir::cleanPath(beside));
}

TfmAbout::TfmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  SetUpDialog(this, "fmAbout", QStringLiteral("About"), kClientSize);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(8, 4, 33, 33);
  Image1->setPixmap(CardPicture());

  Label1 = MakeLabel(this, "Label1", QStringLiteral("Quillon Writing System"), {48, 8});
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->adjustSize();
  Label2 = MakeLabel(this, "Label2", VersionText(), {96, 28});
  Label3 = MakeLabel(this, "Label3", QStringLiteral("Cartridge writer for GB and WS"), {56, 48});
  Label6 = MakeLabel(this, "Label6", QStringLiteral("on the PC parallel port"), {80, 68});
  Label5 = MakeLabel(this, "Label5", QStringLiteral("Web :"), {44, 88});

  url_ = DocumentationUrl(QCoreApplication::applicationDirPath());
  // A local file is shown by its path, which says the same in fewer letters.
  const QString address = url_.isLocalFile() ? url_.toLocalFile() : url_.toString();
  Label4 = MakeLabel(this, "Label4", QString(), {84, 88});
  QFont link = Label4->font();
  link.setUnderline(true);
  Label4->setFont(link);
  Label4->setText(QFontMetrics(link).elidedText(address, Qt::ElideMiddle, kClientSize.width() - 84 - 4));
  Label4->setToolTip(url_.toString());
  QPalette blue = Label4->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  Label4->setPalette(blue);
  Label4->setCursor(Qt::PointingHandCursor);
  Label4->adjustSize();
  Label4->installEventFilter(this);

  Label7 = MakeLabel(this, "Label7", kLicenceRect, Qt::AlignHCenter);
  Label7->setWordWrap(true);
  Label7->setText(LicenceText());

  Button6 = MakeButton(this, "Button6", QStringLiteral("OK"), {96, 150, 77, 25});
  Button6->setDefault(true);
  connect(Button6, &QPushButton::clicked, this, &TfmAbout::Button6Click);
  hide();
}

void TfmAbout::Button6Click() { accept(); }

void TfmAbout::Label4Click() {
  if (opener_) {
    opener_(url_);
  } else {
    QDesktopServices::openUrl(url_);  // what the handler makes of it is its own affair
  }
}

bool TfmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label4 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
      Label4->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
    Label4Click();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace quillon::ui
