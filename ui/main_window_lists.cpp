// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's file list and card list: the images of the ROM directory, and the card
// composed from them with the card list's checks.
#include <QByteArray>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QList>
#include <QMimeData>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
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
  ShowStatus(state_.cardList.Fullness(state_.writerType()));
}

void Tform_ZEP::Button3Click() {
  Guarded([this] {
    QList<QTreeWidgetItem*> selected = lvFiles->selectedItems();
    if (selected.isEmpty()) {
      ShowStatus("select an image in the file list first");
      return;
    }
    // The rows in the list's order, whatever order they were selected in.
    std::sort(selected.begin(), selected.end(), [this](QTreeWidgetItem* a, QTreeWidgetItem* b) {
      return lvFiles->indexOfTopLevelItem(a) < lvFiles->indexOfTopLevelItem(b);
    });
    std::vector<std::pair<std::filesystem::path, std::string>> files;
    for (const QTreeWidgetItem* row : selected) {
      const QByteArray name = row->data(0, kFileNameRole).toByteArray();
      if (!name.isEmpty()) files.emplace_back(std::filesystem::path(state_.settings.romDir), name.toStdString());
    }
    AddImages(files);
  });
}

void Tform_ZEP::AddImages(const std::vector<std::pair<std::filesystem::path, std::string>>& files) {
  const ops::CardFamily* family = cards::FamilyOf(state_.writerType());
  if (family == nullptr) return;
  const int before = state_.cardList.count();
  // The card list view when it changed; how full the card is in any case.
  const auto showCard = [this, before] {
    if (state_.cardList.count() != before) {
      FillCardListView();
    } else {
      ShowStatus(state_.cardList.Fullness(state_.writerType()));
    }
  };
  for (const auto& [dir, name] : files) {
    const library::AddResult result = family->AddImage(state_.cardList, dir, name, state_.writerType());
    if (!result.added) {
      showCard();
      ShowMessage(QStringLiteral("Error"), QString::fromStdString(result.message));
      return;
    }
  }
  showCard();
}

void Tform_ZEP::AcceptCardDrops() {
  lvDown->viewport()->setAcceptDrops(true);
  lvDown->viewport()->installEventFilter(this);
}

bool Tform_ZEP::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched != lvDown->viewport() || (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
    return QWidget::eventFilter(watched, event);
  // The local files of the writer type's image kinds, from any folder; other things dropped
  // are left out.
  auto* drop = static_cast<QDropEvent*>(event);
  std::vector<std::pair<std::filesystem::path, std::string>> files;
  for (const QUrl& url : drop->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const std::filesystem::path path(QFile::encodeName(url.toLocalFile()).toStdString());
    if (library::IsImageFileName(path.filename().string(), state_.writerType()))
      files.emplace_back(path.parent_path(), path.filename().string());
  }
  if (files.empty()) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  // Added once the drop is over: a refusal's message box must not hold up the file manager.
  if (type == QEvent::Drop)
    QTimer::singleShot(0, this, [this, files] { Guarded([this, &files] { AddImages(files); }); });
  return true;
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
    FillCardListView();
  });
}

}  // namespace quillon::ui
