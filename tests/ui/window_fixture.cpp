// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_fixture.h"

#include <QTest>

#include "image_files.h"

namespace quillon::uitest {

WindowFixture::WindowFixture() : root_(dir_.path().toStdString()) {}

void WindowFixture::writeSettings(const std::string& text) const { WriteText(settingsFile(), text); }

ui::Tform_ZEP& WindowFixture::open(link::Link* link, link::Port* port) {
  if (link == nullptr) {
    if (!silentLink_) {
      link::LinkOptions options;
      options.diagnostics = &silentDiagnostics_;
      silentLink_ = std::make_unique<link::Link>(silentPort_, options);
    }
    link = silentLink_.get();
  }
  window_ = std::make_unique<ui::Tform_ZEP>(paths(), *link, port);
  window_->setMessageHook(
      [this](const QString& caption, const QString& text) { messages.append(caption + QLatin1Char('|') + text); });
  window_->show();
  (void)QTest::qWaitForWindowExposed(window_.get());
  return *window_;
}

QStringList ColumnTexts(const QTreeWidget* view, int column) {
  QStringList texts;
  for (int i = 0; i < view->topLevelItemCount(); ++i) texts.append(view->topLevelItem(i)->text(column));
  return texts;
}

QStringList RowTexts(const QTreeWidget* view, int row) {
  QStringList texts;
  const QTreeWidgetItem* item = view->topLevelItem(row);
  if (item == nullptr) return texts;
  for (int column = 0; column < view->columnCount(); ++column) texts.append(item->text(column));
  return texts;
}

namespace {

QTreeWidgetItem* FindRow(QTreeWidget* view, const QString& file) {
  for (int i = 0; i < view->topLevelItemCount(); ++i) {
    if (view->topLevelItem(i)->text(0) == file) return view->topLevelItem(i);
  }
  return nullptr;
}

}  // namespace

bool ClickRow(QTreeWidget* view, const QString& file, Qt::KeyboardModifiers modifiers) {
  QTreeWidgetItem* item = FindRow(view, file);
  if (item == nullptr) return false;
  view->scrollToItem(item);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualItemRect(item).center());
  return true;
}

bool DoubleClickRow(QTreeWidget* view, const QString& file) {
  QTreeWidgetItem* item = FindRow(view, file);
  if (item == nullptr) return false;
  view->scrollToItem(item);
  // What a mouse sends: press and release, then the second press as a double click.
  const QPoint at = view->visualItemRect(item).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
  return true;
}

void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

QString Caption(const QAbstractButton* button) { return button->text().remove(QLatin1Char('&')); }

}  // namespace quillon::uitest
