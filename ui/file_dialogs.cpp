// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>
#include <filesystem>
#include <system_error>
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

QString ExtensionOf(const QString& nameFilter) {
  const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
  const QString patterns = nameFilter.mid(open + 1).chopped(nameFilter.endsWith(QLatin1Char(')')) ? 1 : 0);
  const QString first = patterns.section(QLatin1Char(' '), 0, 0);
  return first.startsWith(QStringLiteral("*.")) && first.count(QLatin1Char('*')) == 1 ? first.mid(2).toLower()
                                                                                      : QString();
}

QString StartFolder(const std::string& setting, const std::string& programDir) {
  std::error_code error;
  const bool usable = !setting.empty() && std::filesystem::is_directory(setting, error) &&
                      !(!programDir.empty() && std::filesystem::equivalent(setting, programDir, error));
  return usable ? FromFileName(setting) : QDir::homePath();
}

FileDialogRequest FileDialogRequestOf(FileDialogMode mode, const ops::FileQuestion& question) {
  FileDialogRequest request;
  request.mode = mode;
  request.defaultSuffix = QString::fromStdString(question.defaultExtension).toLower();
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
  const QString selected = request.selectedFilter.isEmpty() ? request.nameFilters.value(0) : request.selectedFilter;
  if (!ExtensionOf(selected).isEmpty()) request.defaultSuffix = ExtensionOf(selected);
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
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    const QString extension = ExtensionOf(filter);
    if (extension.isEmpty()) return;
    dialog.setDefaultSuffix(extension);
    // The name in the box takes the picked filter's extension in place of another filter's.
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name == nullptr) return;
    const QFileInfo typed(name->text());
    for (const QString& other : dialog.nameFilters()) {
      if (!typed.suffix().isEmpty() && typed.suffix().compare(ExtensionOf(other), Qt::CaseInsensitive) == 0) {
        name->setText(typed.completeBaseName() + QLatin1Char('.') + extension);
        break;
      }
    }
  });
}

QString ExecFileDialog(QWidget* parent, FileDialogRequest& request) {
  QFileDialog dialog(parent);
  ConfigureFileDialog(dialog, request);
  if (dialog.exec() != QDialog::Accepted) return {};
  request.selectedFilter = dialog.selectedNameFilter();
  return dialog.selectedFiles().value(0);
}

QString AskFile(QWidget* parent, const FileDialogHook& hook, FileDialogRequest request) {
  const QString path = hook ? hook(request) : ExecFileDialog(parent, request);
  if (request.mode != FileDialogMode::Save || path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
  const QString selected = request.selectedFilter.isEmpty() ? request.nameFilters.value(0) : request.selectedFilter;
  const QString extension = ExtensionOf(selected).isEmpty() ? request.defaultSuffix : ExtensionOf(selected);
  return extension.isEmpty() ? path : path + QLatin1Char('.') + extension;
}

}  // namespace quillon::ui
