// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's file list and card list: the images of the ROM directory, and the card
// composed from them with the card list's checks.
#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cards/families.h"
#include "library/card_list.h"
#include "library/rom_scan.h"
#include "ui/main_window.h"
#include "ui/text_look.h"

namespace quillon::ui {
namespace {

constexpr int kFileNameRole = Qt::UserRole;  // the file name's bytes, as the scan gave them

QTreeWidgetItem* MakeRow(const library::ListRow& row) {
  auto* item = new QTreeWidgetItem(QStringList{FromFileName(row.file), FromBig5(row.name),
                                               QString::fromStdString(row.type), QString::fromStdString(row.rom),
                                               QString::fromStdString(row.ram), QString::fromStdString(row.color)});
  // The whole name and title, which a narrow column shows shortened.
  for (int column : {0, 1}) item->setToolTip(column, item->text(column));
  item->setData(0, kFileNameRole, QByteArray(row.file.data(), static_cast<qsizetype>(row.file.size())));
  return item;
}

}  // namespace

void Tform_ZEP::ScanRomDir() {
  if (!IsKnownWriter(state_.writerType())) return;
  std::string reason;
  const std::vector<library::ListRow> rows =
      library::ScanRomDir(std::filesystem::path(state_.settings.romDir), state_.writerType(), &reason);
  lvFiles->clear();
  // A folder that cannot be listed says why, as quillon-cli list does; the list stays empty.
  // (A folder that is gone, say since the settings were saved, just lists nothing.)
  std::error_code gone;
  if (!reason.empty() && std::filesystem::exists(std::filesystem::path(state_.settings.romDir), gone)) {
    ShowMessage(QStringLiteral("Error"), FromFileName(state_.settings.romDir) + QStringLiteral(": cannot be listed: ") +
                                             QString::fromStdString(reason));
  }
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (const library::ListRow& row : rows) items.append(MakeRow(row));
  lvFiles->addTopLevelItems(items);
}

void Tform_ZEP::FillCardListView() {
  lvDown->clear();
  QList<QTreeWidgetItem*> items;
  for (const library::ListRow& row : state_.cardList.rows()) items.append(MakeRow(row));
  lvDown->addTopLevelItems(items);
}

void Tform_ZEP::Button3Click() {
  Guarded([this] {
    const QList<QTreeWidgetItem*> selected = lvFiles->selectedItems();
    if (selected.isEmpty()) {
      ShowStatus("select an image in the file list first");
      return;
    }
    const QByteArray name = selected.front()->data(0, kFileNameRole).toByteArray();
    if (name.isEmpty()) return;
    const std::string fileName = name.toStdString();
    const std::filesystem::path romDir(state_.settings.romDir);

    const ops::CardFamily* family = cards::FamilyOf(state_.writerType());
    if (family == nullptr) return;
    const library::AddResult result = family->AddImage(state_.cardList, romDir, fileName, state_.writerType());
    if (!result.added) {
      ShowMessage(QStringLiteral("Error"), QString::fromStdString(result.message));
      return;
    }
    FillCardListView();
  });
}

void Tform_ZEP::lvFilesDblClick() { Button3Click(); }

void Tform_ZEP::Button4Click() {
  Guarded([this] {
    const QList<QTreeWidgetItem*> selected = lvDown->selectedItems();
    if (selected.isEmpty() || selected.front()->text(0).isEmpty()) {
      ShowStatus("select an image in the card list first");
      return;
    }
    state_.cardList.RemoveEntry(lvDown->indexOfTopLevelItem(selected.front()));
    FillCardListView();
  });
}

void Tform_ZEP::lvDownDblClick() { Button4Click(); }

void Tform_ZEP::Button5Click() {
  Guarded([this] {
    state_.cardList.clear();
    lvDown->clear();
  });
}

}  // namespace quillon::ui
