#include "ui/file_dialogs.h"

#include <QFileDialog>

#include <vector>

#include "ui/text_look.h"

namespace quillon::ui {
namespace {

QString Trimmed(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
}

}  // namespace

QStringList NameFiltersOf(std::string_view filter) {
  std::vector<std::string_view> parts;
  while (!filter.empty()) {
    const std::size_t bar = filter.find('|');
    parts.push_back(filter.substr(0, bar));
    if (bar == std::string_view::npos) break;
    filter.remove_prefix(bar + 1);
  }
  QStringList filters;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    QString description = Trimmed(parts[i]);
    const QString raw = i + 1 < parts.size() ? Trimmed(parts[i + 1]) : QStringLiteral("*");
    QStringList patterns = raw.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    const QString joined = patterns.isEmpty() ? QStringLiteral("*") : patterns.join(QLatin1Char(' '));
    // A description that names its patterns in brackets already gets Qt's form of them.
    const QString named = QLatin1Char('(') + raw + QLatin1Char(')');
    if (description.endsWith(named)) description.chop(named.size());
    description = description.trimmed();
    if (description.isEmpty()) description = joined;
    filters.append(description + QStringLiteral(" (") + joined + QLatin1Char(')'));
  }
  return filters;
}

FileDialogRequest FileDialogRequestOf(FileDialogMode mode, const ops::FileQuestion& question) {
  FileDialogRequest request;
  request.mode = mode;
  request.nameFilters = NameFiltersOf(question.filter);
  request.defaultSuffix = QString::fromStdString(question.defaultExtension);
  request.directory = FromFileName(question.startDirectory);
  return request;
}

QString ExecFileDialog(QWidget* parent, const FileDialogRequest& request) {
  const bool save = request.mode == FileDialogMode::Save;
  QFileDialog dialog(parent);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters(request.nameFilters);
  if (!request.nameFilters.isEmpty()) dialog.selectNameFilter(request.nameFilters.front());
  dialog.setDefaultSuffix(request.defaultSuffix);
  dialog.setDirectory(request.directory);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

QString AskFile(QWidget* parent, const FileDialogHook& hook, const FileDialogRequest& request) {
  return hook ? hook(request) : ExecFileDialog(parent, request);
}

}  // namespace quillon::ui
