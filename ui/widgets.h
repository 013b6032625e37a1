// SPDX-License-Identifier: GPL-3.0-or-later
// Making the controls of the program's windows: names, places and fonts as every window
// sets them.
#pragma once

#include <QLabel>
#include <QPoint>
#include <QProgressBar>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <Qt>

#include <cstdint>
#include <memory>
#include <vector>

#include "ops/progress_plan.h"

class QDialog;
class QMessageBox;
class QPaintEvent;
class QTextLayout;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace quillon::ui {

// A button with the control font at `rect`; Return and Enter press it while it has the focus.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect rect);

// A label with the control font at `at`, as large as its text.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at);

// An empty label with the control font filling `rect`, its text at the top.
QLabel* MakeLabel(QWidget* parent, const char* name, QRect rect, Qt::Alignment alignment);

// A label whose plain text wraps to its width: between words, and inside a word (a path)
// that is wider than the label. heightForWidth() says how high the text needs it.
class WrappingLabel : public QLabel {
 public:
  using QLabel::QLabel;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  // Lays the text out into `layout` in lines of `width` pixels, each placed in its line by
  // the label's alignment; returns the height they take.
  int LayOut(QTextLayout& layout, int width) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// An empty wrapping label with the control font filling `rect`, its text at the top.
WrappingLabel* MakeWrappingLabel(QWidget* parent, const char* name, QRect rect, Qt::Alignment alignment);

// Keeps the controls of a window with a fixed border at their design places, except that a
// wrapping label whose text needs more height than its design rectangle grows, and whatever
// lies below it moves down by as much; the window grows by what all labels need more. A
// label of design height 0 takes room only while it has text.
class GrowingLayout {
 public:
  GrowingLayout(QWidget* window, QSize designSize) : window_(window), designSize_(designSize) {}
  void add(QWidget* control, QRect design) { items_.push_back({control, nullptr, design}); }
  void addGrowing(WrappingLabel* label, QRect design) { items_.push_back({label, label, design}); }
  // Places every control for the texts the labels hold now and gives the window its fixed
  // size, which it returns.
  QSize apply();

 private:
  struct Item {
    QWidget* control;
    WrappingLabel* label;  // the control, when it grows with its text
    QRect design;
  };
  QWidget* window_;
  QSize designSize_;
  std::vector<Item> items_;
};

// A progress bar with its figures written on it (ops::ProgressFigures, as many as fit: the rate
// is left out first, then the time left).
class ProgressStrip : public QProgressBar {
 public:
  explicit ProgressStrip(QWidget* parent);
  // Empty, without figures.
  void Clear();
  void SetReport(const ops::ProgressReport& report);
  // The operation ended: `text` in place of the figures, the bar where it was.
  void ShowEnd(const QString& text);
  QString text() const override { return text_; }

 private:
  QString text_;
};

// A progress strip with the control font at `rect`.
ProgressStrip* MakeProgressStrip(QWidget* parent, const char* name, QRect rect);

// A list view in report style with the given column captions: Big5 font, one whole row
// selected at a time, no editing, no sorting, columns fixed in their order.
QTreeWidget* MakeListView(QWidget* parent, const char* name, const QStringList& columns, QRect rect);

// In the columns before `firstClipped` a text wider than its column shows its start and its
// end with "..." between them (a long file name keeps its extension in view); the columns
// from `firstClipped` on clip their text at their edge.
void ElideColumnsBefore(QTreeWidget* view, int firstClipped);

// A window of `size` centred on the desktop (at the top left corner when there is none).
QRect CentredOnDesktop(QSize size);

// What the program's dialogs share: the object name, the caption, the control font, modal
// showing, and a client area of fixed `size` centred on the desktop.
void SetUpDialog(QDialog* dialog, const char* objectName, const QString& caption, QSize size);

// A one-line label for a path: a text wider than the label shows its start and its end with
// "..." between them, and the label's tool tip holds the whole text. text() is the whole text.
class PathLabel : public QLabel {
 public:
  using QLabel::QLabel;

  // The text, and the tool tip that holds all of it.
  void setPath(const QString& path);
  // True when the label is too narrow for its text.
  bool elided() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Marks whichever control of `window` has the focus (a button, a list, a box, the check box)
// with a ring in the highlight colour around it, over what the style draws.
void ShowFocusRing(QWidget* window);

// A question box over `parent` with the control font: `caption`, `text`, a question icon and
// the buttons "Yes" and "No" ("&Yes", "&No": Alt+Y, Alt+N), "No" being the default and the
// answer of Escape and of closing the box. exec() returns QMessageBox::Yes or QMessageBox::No.
std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* parent, const char* name, const QString& caption,
                                             const QString& text);

}  // namespace quillon::ui
