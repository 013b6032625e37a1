// Making the controls of the program's windows: names, places and fonts as every window
// sets them.
#pragma once

#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <Qt>

#include <memory>

class QDialog;
class QMessageBox;
class QPaintEvent;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace quillon::ui {

// A button with the control font at `rect`.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect rect);

// A label with the control font at `at`, as large as its text.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at);

// An empty label with the control font filling `rect`, its text at the top.
QLabel* MakeLabel(QWidget* parent, const char* name, QRect rect, Qt::Alignment alignment);

// A list view in report style with the given column captions: Big5 font, one whole row
// selected at a time, no editing, no sorting, columns fixed in their order.
QTreeWidget* MakeListView(QWidget* parent, const char* name, const QStringList& columns, QRect rect);

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

// A question box over `parent` with the control font: `caption`, `text`, a question icon and
// the buttons "Yes" and "No" ("&Yes", "&No": Alt+Y, Alt+N), "No" being the default and the
// answer of Escape and of closing the box. exec() returns QMessageBox::Yes or QMessageBox::No.
std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* parent, const char* name, const QString& caption,
                                             const QString& text);

}  // namespace quillon::ui
