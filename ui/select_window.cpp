#include "ui/select_window.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>

#include "ui/text_look.h"

namespace quillon::ui {
namespace {

constexpr QSize kClientSize(235, 242);
constexpr int kNameColumnWidth = 200;

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect rect) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFont(ControlFont());
  button->setGeometry(rect);
  return button;
}

}  // namespace

TfmSelect::TfmSelect(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("fmSelect"));
  setWindowTitle(QStringLiteral("Selecting Items"));
  setFont(ControlFont());
  setModal(true);
  setFixedSize(kClientSize);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, kClientSize,
                             screen->availableGeometry())
             .topLeft());
  }

  lvSelect = new QTreeWidget(this);
  lvSelect->setObjectName(QStringLiteral("lvSelect"));
  lvSelect->setFont(ChineseFont(13));
  lvSelect->setColumnCount(1);
  lvSelect->setHeaderLabels({QStringLiteral("Name")});
  lvSelect->setColumnWidth(0, kNameColumnWidth);
  lvSelect->setRootIsDecorated(false);
  lvSelect->setItemsExpandable(false);
  lvSelect->setUniformRowHeights(true);
  lvSelect->setAllColumnsShowFocus(true);
  lvSelect->setSelectionMode(QAbstractItemView::SingleSelection);
  lvSelect->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvSelect->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvSelect->setSortingEnabled(false);
  lvSelect->header()->setStretchLastSection(false);
  lvSelect->header()->setSectionsMovable(false);
  lvSelect->setGeometry(8, 8, 217, 185);

  Button1 = MakeButton(this, "Button1", "OK", {14, 200, 97, 33});
  Button2 = MakeButton(this, "Button2", "Cancel", {126, 200, 97, 33});
  Button1->setDefault(true);
  setTabOrder(lvSelect, Button1);
  setTabOrder(Button1, Button2);
  connect(Button1, &QPushButton::clicked, this, &TfmSelect::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfmSelect::Button2Click);
  hide();
}

void TfmSelect::SetItems(const QStringList& texts) {
  lvSelect->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(texts.size());
  for (const QString& text : texts) items.append(new QTreeWidgetItem(QStringList{text}));
  lvSelect->addTopLevelItems(items);
  lvSelect->clearSelection();
  lvSelect->setCurrentItem(nullptr);
}

std::optional<int> TfmSelect::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = lvSelect->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  const int row = lvSelect->indexOfTopLevelItem(selected.front());
  if (row < 0) return std::nullopt;
  return row;
}

void TfmSelect::Button1Click() { done(kOk); }

void TfmSelect::Button2Click() { done(kCancel); }

void TfmSelect::reject() { done(kCancel); }

}  // namespace quillon::ui
