// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialogs the operations and the patch question ask for, in Qt's terms.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>

#include "ops/progress_window.h"

class QFileDialog;
class QWidget;

namespace quillon::ui {

enum class FileDialogMode { Save, Open };
struct FileDialogRequest {
  FileDialogMode mode = FileDialogMode::Save;
  QStringList nameFilters;  // one of them is selected: selectedFilter, else the first
  QString selectedFilter;   // the filter whose patterns match suggestedName; empty: none does
  QString defaultSuffix;    // added when the chosen name has none
  QString directory;        // where the dialog opens
  QString suggestedName;    // the file name offered in the dialog; empty: none
};

// "Text (*.x)|*.x|Other|*.y;*.z" -> {"Text (*.x)", "Other (*.y *.z)"}: one name filter per
// pair of description and patterns.
QStringList NameFiltersOf(std::string_view filter);
FileDialogRequest FileDialogRequestOf(FileDialogMode mode, const ops::FileQuestion& question);

// Sets `dialog` up for `request`: mode, filters (the selected one), suffix, folder, name.
void ConfigureFileDialog(QFileDialog& dialog, const FileDialogRequest& request);

// Shows the file dialog of `request` modally over `parent`: the chosen path, empty when
// the user cancelled.
QString ExecFileDialog(QWidget* parent, const FileDialogRequest& request);

// Answers a file dialog instead of showing one (tests): the chosen path, empty = cancelled.
using FileDialogHook = std::function<QString(const FileDialogRequest&)>;

// The hook's answer when there is one, else the dialog's.
QString AskFile(QWidget* parent, const FileDialogHook& hook, const FileDialogRequest& request);

}  // namespace quillon::ui
