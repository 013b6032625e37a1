// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/select_window.h"

#include <QPushButton>
#include <QTreeWidget>

#include "ui/widgets.h"

namespace quillon::ui {
namespace {

constexpr QSize kClientSize(235, 242);
constexpr int kNameColumnWidth = 200;

}  // namespace

TfmSelect::TfmSelect(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  SetUpDialog(this, "fmSelect", QStringLiteral("Selecting Items"), kClientSize);

  lvSelect = MakeListView(this, "lvSelect", {QStringLiteral("Name")}, QRect(8, 8, 217, 185));
  lvSelect->setColumnWidth(0, kNameColumnWidth);

  Button1 = MakeButton(this, "Button1", QStringLiteral("OK"), {14, 200, 97, 33});
  Button2 = MakeButton(this, "Button2", QStringLiteral("Cancel"), {126, 200, 97, 33});
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
