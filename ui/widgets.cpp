#include "ui/widgets.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>

#include "ui/text_look.h"

namespace quillon::ui {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect rect) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFont(ControlFont());
  button->setGeometry(rect);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(ControlFont());
  label->move(at);
  label->adjustSize();
  return label;
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect rect, Qt::Alignment alignment) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(ControlFont());
  label->setAlignment(alignment | Qt::AlignTop);
  label->setGeometry(rect);
  return label;
}

QTreeWidget* MakeListView(QWidget* parent, const char* name, const QStringList& columns, QRect rect) {
  auto* view = new QTreeWidget(parent);
  view->setObjectName(QString::fromLatin1(name));
  view->setFont(ChineseFont(13));
  view->setColumnCount(static_cast<int>(columns.size()));
  view->setHeaderLabels(columns);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSortingEnabled(false);
  view->header()->setStretchLastSection(false);
  view->header()->setSectionsMovable(false);
  view->setGeometry(rect);
  return view;
}

QRect CentredOnDesktop(QSize size) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {QPoint(0, 0), size};
  return QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, screen->availableGeometry());
}

void SetUpDialog(QDialog* dialog, const char* objectName, const QString& caption, QSize size) {
  dialog->setObjectName(QString::fromLatin1(objectName));
  dialog->setWindowTitle(caption);
  dialog->setFont(ControlFont());
  dialog->setModal(true);
  dialog->setFixedSize(size);
  if (QGuiApplication::primaryScreen() != nullptr) dialog->move(CentredOnDesktop(size).topLeft());
}

void PathLabel::setPath(const QString& path) {
  setText(path);
  setToolTip(path);
}

bool PathLabel::elided() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }

void PathLabel::paintEvent(QPaintEvent* event) {
  if (!elided()) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  const QRect room = contentsRect();
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(room, static_cast<int>(alignment()),
                   fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
}

std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* parent, const char* name, const QString& caption,
                                             const QString& text) {
  auto box =
      std::make_unique<QMessageBox>(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setFont(ControlFont());
  box->button(QMessageBox::Yes)->setText(QStringLiteral("&Yes"));
  box->button(QMessageBox::No)->setText(QStringLiteral("&No"));
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box;
}

}  // namespace quillon::ui
