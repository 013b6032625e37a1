// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets.h"

#include <QApplication>
#include <QDialog>
#include <QFocusFrame>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

#include "ops/progress_figures.h"
#include "ui/text_look.h"

namespace quillon::ui {
namespace {

constexpr int kProgressSteps = 1000;  // the bar's range: tenths of a percent
constexpr int kStripPadding = 8;      // what a style takes of the bar's width around its text
constexpr int kFocusRingWidth = 2;    // pixels, outside the control

// A ring in the highlight colour just outside the control it follows; the control's own
// look is left as the style draws it.
class FocusRing : public QFocusFrame {
 public:
  using QFocusFrame::QFocusFrame;

 protected:
  void paintEvent(QPaintEvent*) override {
    if (widget() == nullptr) return;
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Active, QPalette::Highlight));
    const QRect inner = rect().adjusted(kFocusRingWidth, kFocusRingWidth, -kFocusRingWidth, -kFocusRingWidth);
    painter.setClipRegion(QRegion(rect()) - QRegion(inner));
    painter.drawRect(rect());
  }
};

// A button that Return and Enter press while it has the focus, as Space does, in a plain
// window as in a dialog.
class KeyButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
      click();
      return;
    }
    QPushButton::keyPressEvent(event);
  }
};

// Draws its texts clipped at the column's edge, never ended with "...".
class ClippingDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideNone;
  }
};

}  // namespace

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect rect) {
  auto* button = new KeyButton(caption, parent);
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

int WrappingLabel::heightForWidth(int width) const {
  if (text().isEmpty()) return 0;
  const QMargins margins = contentsMargins();
  const int room = width - margins.left() - margins.right() - 2 * margin();
  QTextLayout layout;
  return LayOut(layout, room) + margins.top() + margins.bottom() + 2 * margin();
}

int WrappingLabel::LayOut(QTextLayout& layout, int width) const {
  QString shown = text();
  shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
  layout.setText(shown);
  layout.setFont(font());
  QTextOption option(alignment());
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  const QFontMetricsF metrics(font());
  const qreal room = std::max(1, width);
  qreal y = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(room);  // the option's alignment places the text in the line
    line.setPosition(QPointF(0, y));
    y += metrics.lineSpacing();
  }
  layout.endLayout();
  return static_cast<int>(std::ceil(y));
}

void WrappingLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  QTextLayout layout;
  LayOut(layout, room.width());
  layout.draw(&painter, room.topLeft());
}

WrappingLabel* MakeWrappingLabel(QWidget* parent, const char* name, QRect rect, Qt::Alignment alignment) {
  auto* label = new WrappingLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(ControlFont());
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment | Qt::AlignTop);
  label->setGeometry(rect);
  return label;
}

QSize GrowingLayout::apply() {
  std::vector<int> more(items_.size(), 0);
  int grown = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    if (item.label == nullptr) continue;
    more[i] = std::max(0, item.label->heightForWidth(item.design.width()) - item.design.height());
    grown += more[i];
  }
  for (const Item& item : items_) {
    int below = 0;  // what the labels above this control need more
    int own = 0;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (&items_[i] == &item) {
        own = more[i];
      } else if (items_[i].label != nullptr && items_[i].design.top() < item.design.top()) {
        below += more[i];
      }
    }
    item.control->setGeometry(item.design.translated(0, below).adjusted(0, 0, 0, own));
  }
  const QSize size(designSize_.width(), designSize_.height() + grown);
  window_->setFixedSize(size);
  return size;
}

ProgressStrip::ProgressStrip(QWidget* parent) : QProgressBar(parent) {
  setRange(0, kProgressSteps);
  setValue(0);
  setAlignment(Qt::AlignCenter);
  setTextVisible(true);
}

void ProgressStrip::Clear() {
  text_.clear();
  setValue(0);
  update();
}

void ProgressStrip::ShowEnd(const QString& text) {
  text_ = text;
  update();
}

void ProgressStrip::SetReport(const ops::ProgressReport& report) {
  QStringList figures;
  for (const auto& figure : ops::ProgressFigures(report)) figures.append(QString::fromStdString(figure));
  const QFontMetrics metrics(font());
  const int room = width() - kStripPadding;
  const auto joined = [&figures] { return figures.join(QStringLiteral("  ")); };
  if (figures.size() == 3 && metrics.horizontalAdvance(joined()) > room) figures.removeAt(1);
  while (figures.size() > 1 && metrics.horizontalAdvance(joined()) > room) figures.removeLast();
  text_ = joined();
  setValue(static_cast<int>(report.fraction * kProgressSteps));
  update();
}

ProgressStrip* MakeProgressStrip(QWidget* parent, const char* name, QRect rect) {
  auto* strip = new ProgressStrip(parent);
  strip->setObjectName(QString::fromLatin1(name));
  strip->setFont(ControlFont());
  strip->setGeometry(rect);
  return strip;
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

void ElideColumnsBefore(QTreeWidget* view, int firstClipped) {
  view->setTextElideMode(Qt::ElideMiddle);
  auto* clipping = new ClippingDelegate(view);
  for (int column = firstClipped; column < view->columnCount(); ++column)
    view->setItemDelegateForColumn(column, clipping);
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

void ShowFocusRing(QWidget* window) {
  auto* ring = new FocusRing(window);
  const auto follow = [ring, window](QWidget* focused) {
    // Only the window's own controls: a dialog over it draws no ring into it.
    const bool own = focused != nullptr && focused != window && focused->window() == window;
    ring->setWidget(own ? focused : nullptr);
  };
  QObject::connect(qApp, &QApplication::focusChanged, ring, [follow](QWidget*, QWidget* now) { follow(now); });
  follow(window->focusWidget());
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
