// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialogs the operations and the patch question ask for, in Qt's terms.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
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
  QString defaultSuffix;    // the selected filter's extension, in lower case: added to a saved name without one
  QString directory;        // where the dialog opens
  QString suggestedName;    // the file name offered in the dialog; empty: none
};

// "Text (*.x)|*.x|Other|*.y;*.z" -> {"Text (*.x)", "Other (*.y *.z)"}: one name filter per
// pair of description and patterns.
QStringList NameFiltersOf(std::string_view filter);
FileDialogRequest FileDialogRequestOf(FileDialogMode mode, const ops::FileQuestion& question);

// The extension a name filter's first pattern gives ("Mono GameBoy File (*.gb)": "gb"), in
// lower case; empty for one that gives none ("*").
QString ExtensionOf(const QString& nameFilter);

// Where a dialog for files of one kind starts: the folder the settings keep for that kind
// (`setting`) when it exists and is not the program's folder, else the user's home folder.
QString StartFolder(const std::string& setting, const std::string& programDir);

// Sets `dialog` up for `request`: mode, filters (the selected one), suffix, folder, name. A
// filter the user picks then gives the suffix, and the name in the box its extension.
void ConfigureFileDialog(QFileDialog& dialog, const FileDialogRequest& request);

// Shows the file dialog of `request` modally over `parent`: the chosen path, empty when
// the user cancelled; `request.selectedFilter` takes the filter selected at the end.
QString ExecFileDialog(QWidget* parent, FileDialogRequest& request);

// Answers a file dialog instead of showing one (tests): the chosen path, empty = cancelled;
// it may select another filter in the request, as the user may in the dialog.
using FileDialogHook = std::function<QString(FileDialogRequest&)>;

// The hook's answer when there is one, else the dialog's. A name to save without an extension
// gets the selected filter's.
QString AskFile(QWidget* parent, const FileDialogHook& hook, FileDialogRequest request);

}  // namespace quillon::ui
