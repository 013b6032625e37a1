// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/select_window.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

#include "ui/widgets.h"

namespace quillon::ui {
namespace {

constexpr QSize kClientSize(235, 242);
constexpr int kNameColumnWidth = 200;

}  // namespace

QString ImageSizesTip(const detect::CardEntry& image) {
  // Bytes from the header's size codes: ROM 32 KiB << code; save memory 2, 8 or 32 KiB.
  const auto kib = [](int value) {
    return value >= 1024 ? QString::number(value / 1024) + QStringLiteral(" MiB")
                         : QString::number(value) + QStringLiteral(" KiB");
  };
  const QString rom = image.romSize >= 0 && image.romSize <= 7 ? kib(32 << image.romSize) : QStringLiteral("unknown");
  const int saves[] = {0, 2, 8, 32};
  const QString save = image.ramSize >= 1 && image.ramSize <= 3 ? kib(saves[image.ramSize]) : QStringLiteral("none");
  return QStringLiteral("ROM ") + rom + QStringLiteral(", save memory ") + save;
}

TfmSelect::TfmSelect(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  SetUpDialog(this, "fmSelect", QStringLiteral("Selecting Items"), kClientSize);

  lvSelect = MakeListView(this, "lvSelect", {QStringLiteral("Name")}, QRect(8, 8, 217, 185));
  lvSelect->setColumnWidth(0, kNameColumnWidth);

  Button1 = MakeButton(this, "Button1", QStringLiteral("OK"), {14, 200, 97, 33});
  Button2 = MakeButton(this, "Button2", QStringLiteral("Cancel"), {126, 200, 97, 33});
  Button1->setDefault(true);
  lvSelect->installEventFilter(this);
  setTabOrder(lvSelect, Button1);
  setTabOrder(Button1, Button2);
  connect(Button1, &QPushButton::clicked, this, &TfmSelect::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfmSelect::Button2Click);
  hide();
}

void TfmSelect::SetItems(const QStringList& texts, const QStringList& tips) {
  lvSelect->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(texts.size());
  for (qsizetype i = 0; i < texts.size(); ++i) {
    auto* item = new QTreeWidgetItem(QStringList{texts[i]});
    if (!tips.value(i).isEmpty()) item->setToolTip(0, tips[i]);
    items.append(item);
  }
  lvSelect->addTopLevelItems(items);
  lvSelect->clearSelection();
  // Without a current row the first key that moves would land on row 1 whatever it is (End
  // too): row 1 is current, unselected, and the keys move from there.
  if (!items.isEmpty()) {
    lvSelect->selectionModel()->setCurrentIndex(lvSelect->model()->index(0, 0), QItemSelectionModel::NoUpdate);
  }
  lvSelect->setFocus();
}

std::optional<int> TfmSelect::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = lvSelect->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  const int row = lvSelect->indexOfTopLevelItem(selected.front());
  if (row < 0) return std::nullopt;
  return row;
}

bool TfmSelect::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lvSelect && event->type() == QEvent::KeyPress && lvSelect->selectedItems().isEmpty()) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_Home:
      case Qt::Key_End:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
        if (QTreeWidgetItem* current = lvSelect->currentItem()) current->setSelected(true);
        break;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmSelect::Button1Click() { done(kOk); }

void TfmSelect::Button2Click() { done(kCancel); }

void TfmSelect::reject() { done(kCancel); }

}  // namespace quillon::ui
