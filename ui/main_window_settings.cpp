// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's settings: read at start, written at exit, with the window's place.
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <algorithm>
#include <optional>

#include "ui/main_window.h"
#include "ui/settings.h"

namespace quillon::ui {

void Tform_ZEP::LoadSettings() {
  const IniFile ini = IniFile::Load(settingsPath_);
  // A missing key keeps the ROM directory the constructor chose (the program's directory).
  state_.settings = ReadSettings(ini, state_.programDir);
  state_.keepSaveCopies = saveCopies_ && state_.settings.autoBackup;
  state_.backupFolder = backupFolder_;
  previousWriterType_ = state_.writerType();
  ComboBox1->setCurrentIndex(IsKnownWriter(state_.writerType()) ? static_cast<int>(state_.writerType()) : -1);
  cbVerify->setChecked(state_.settings.verifyAfterWrite);
  cbReadTwice->setChecked(state_.settings.readTwice);
  RestorePlace(ReadWindowPlace(ini));
}

void Tform_ZEP::RestorePlace(const std::optional<WindowPlace>& place) {
  placeKept_ = place.has_value();
  if (place) {
    // Never smaller than the controls need; taken only where a screen has room for all of it.
    const QRect rect(place->left, place->top, std::max(place->width, minimumWidth()),
                     std::max(place->height, minimumHeight()));
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (std::any_of(screens.begin(), screens.end(),
                    [&rect](const QScreen* screen) { return screen->availableGeometry().contains(rect); }))
      setGeometry(rect);
  }
  startPlace_ = geometry();
}

void Tform_ZEP::SaveSettings() {
  // The place is written once the window was moved or resized, or when the file holds one,
  // so that a file that never had it stays as it was. A maximised window keeps its normal place.
  const QRect place = normalGeometry();
  std::optional<WindowPlace> kept;
  if (!place.isEmpty() && (placeKept_ || place != startPlace_))
    kept = WindowPlace{place.x(), place.y(), place.width(), place.height()};
  (void)SaveSettingsFile(settingsPath_, state_.settings, kept);
}

}  // namespace quillon::ui
