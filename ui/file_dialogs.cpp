// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_dialogs.h"

#include <QDir>
#include <QFileDialog>

#include <algorithm>
#include <vector>

#include "ui/text_look.h"

namespace quillon::ui {
namespace {

QString Trimmed(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
}

// One filter of a "description|patterns|..." list: Qt's name filter and its patterns.
struct NameFilter {
  QString text;  // "Mono GameBoy File (*.gb)"
  QStringList patterns;
};

std::vector<NameFilter> ParseFilter(std::string_view filter) {
  std::vector<std::string_view> parts;
  while (!filter.empty()) {
    const std::size_t bar = filter.find('|');
    parts.push_back(filter.substr(0, bar));
    if (bar == std::string_view::npos) break;
    filter.remove_prefix(bar + 1);
  }
  std::vector<NameFilter> filters;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    QString description = Trimmed(parts[i]);
    const QString raw = i + 1 < parts.size() ? Trimmed(parts[i + 1]) : QStringLiteral("*");
    QStringList patterns = raw.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    if (patterns.isEmpty()) patterns.append(QStringLiteral("*"));
    const QString joined = patterns.join(QLatin1Char(' '));
    // A description that names its patterns in brackets already gets Qt's form of them.
    const QString named = QLatin1Char('(') + raw + QLatin1Char(')');
    if (description.endsWith(named)) description.chop(named.size());
    description = description.trimmed();
    if (description.isEmpty()) description = joined;
    filters.push_back({description + QStringLiteral(" (") + joined + QLatin1Char(')'), patterns});
  }
  return filters;
}

}  // namespace

QStringList NameFiltersOf(std::string_view filter) {
  QStringList filters;
  for (const NameFilter& each : ParseFilter(filter)) filters.append(each.text);
  return filters;
}

FileDialogRequest FileDialogRequestOf(FileDialogMode mode, const ops::FileQuestion& question) {
  FileDialogRequest request;
  request.mode = mode;
  request.defaultSuffix = QString::fromStdString(question.defaultExtension);
  request.directory = FromFileName(question.startDirectory);
  request.suggestedName = FromFileName(question.suggestedName);
  for (const NameFilter& each : ParseFilter(question.filter)) {
    request.nameFilters.append(each.text);
    const bool matches = std::any_of(each.patterns.begin(), each.patterns.end(), [&request](const QString& pattern) {
      return QDir::match(pattern, request.suggestedName);
    });
    if (request.selectedFilter.isEmpty() && !request.suggestedName.isEmpty() && matches) {
      request.selectedFilter = each.text;
    }
  }
  return request;
}

void ConfigureFileDialog(QFileDialog& dialog, const FileDialogRequest& request) {
  const bool save = request.mode == FileDialogMode::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters(request.nameFilters);
  if (!request.selectedFilter.isEmpty()) {
    dialog.selectNameFilter(request.selectedFilter);
  } else if (!request.nameFilters.isEmpty()) {
    dialog.selectNameFilter(request.nameFilters.front());
  }
  dialog.setDefaultSuffix(request.defaultSuffix);
  dialog.setDirectory(request.directory);
  // After the filter: a save dialog gives the name in its box the selected filter's extension.
  if (!request.suggestedName.isEmpty()) dialog.selectFile(request.suggestedName);
}

QString ExecFileDialog(QWidget* parent, const FileDialogRequest& request) {
  QFileDialog dialog(parent);
  ConfigureFileDialog(dialog, request);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

QString AskFile(QWidget* parent, const FileDialogHook& hook, const FileDialogRequest& request) {
  return hook ? hook(request) : ExecFileDialog(parent, request);
}

}  // namespace quillon::ui
