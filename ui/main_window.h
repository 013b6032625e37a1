// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its controls, layout, writer type and card information (main_window.cpp),
// its settings and place on the screen (main_window_settings.cpp), the ROM directory listing
// and the card composition (main_window_lists.cpp), and the buttons that show other windows,
// the card commands among them (main_window_commands.cpp).
#pragma once

#include <QRect>
#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "library/card_list.h"
#include "library/rom_header.h"
#include "library/writer_type.h"
#include "ops/card_info_box.h"
#include "ops/command_plan.h"
#include "ops/operation.h"
#include "ops/program_state.h"
#include "ui/secondary_windows.h"
#include "ui/settings.h"
#include "ui/widgets.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QResizeEvent;
class QTreeWidget;

namespace quillon::link {
class Link;
class Port;
}  // namespace quillon::link

namespace quillon::ui {

// Where the program lives and where its settings are kept.
struct StartupPaths {
  std::string programDir;              // the executable's directory, ending in '/'
  std::filesystem::path settingsPath;  // the settings file
  // Where copies of save memory go before a command overwrites it; empty when no folder was
  // found, and every copy then fails ("Backup Fail").
  std::string backupFolder;
  // False: the window keeps no copies, whatever AutoBackup (0 turns them off) says.
  bool saveCopies = true;
  // The simulated writer's folder (port sim:DIR; empty for a real port). No save dialog's
  // answer may name a file of it or of backupFolder (ops::ProtectedFileReason).
  std::string writerFolder{};
  // The journal of unfinished work (ops::DefaultJournalFile), and the writer the window's
  // port reaches (connect::WriterIdentity; empty: the journal is neither read nor written).
  std::string journalFile{};
  std::string writer{};
};

// The paths of the running executable (no writer folder: the port is chosen apart). When its
// directory cannot be written, the settings go to the user's configuration folder, which is
// said once on `notes`.
StartupPaths StartupPathsForProgram(std::ostream& notes);

class Tform_ZEP : public QWidget {
  Q_OBJECT

 public:
  // Client size the layout of the controls is designed for; the resize rules count from it.
  static constexpr int kDesignWidth = 632;
  static constexpr int kDesignHeight = 418;
  // The status line below the controls: room for two lines of the control font, and at its
  // right end the check box "Verify after writing". The window is never smaller than the
  // controls' design size and this line.
  static constexpr int kStatusHeight = 40;
  static constexpr int kMinimumHeight = kDesignHeight + kStatusHeight;
  // The question asked before a card is erased.
  static constexpr const char* kEraseQuestionCaption = "Earse Card";
  static constexpr const char* kEraseQuestionText = "All images and saves on the card will be erased.";
  // Ends the status line when the writer did not answer.
  static constexpr const char* kDoctorHint = " (run quillon-cli doctor for more)";

  // Shows one message box; tests replace it to answer or record the boxes.
  using MessageHook = std::function<void(const QString& caption, const QString& text)>;

  // Stands in for the showing of a secondary window: `show` shows `window` modally and
  // returns its result. Tests use it to answer the item chooser, the directory chooser, the
  // patch question, the erase question ("EraseQuestion", a QMessageBox whose result is
  // QMessageBox::Yes to erase) and About (before or instead of calling `show`).
  using ModalHook = std::function<int(QDialog& window, const std::function<int()>& show)>;

  // `link` reaches the writer (a port that never answers when there is none) and must
  // outlive the window. `port`, the port under `link` (null: nothing to claim), is claimed
  // for each card probe and each operation, as ppdev claims a real port, and held by nothing
  // in between. The window makes its fourteen secondary windows, hidden.
  Tform_ZEP(StartupPaths paths, link::Link& link, link::Port* port = nullptr, QWidget* parent = nullptr);
  ~Tform_ZEP() override;

  // Replaces the modal message box; an empty hook restores it.
  void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
  // Replaces the modal showing of the item chooser, the directory chooser, the patch
  // question, the erase question and About; an empty hook shows them again. The operation windows are always
  // run themselves (their own hooks answer their dialogs).
  void setModalHook(ModalHook hook) { modalHook_ = std::move(hook); }
  // The windows the commands show; the main window owns them.
  const SecondaryWindows& windows() const { return windows_; }
  // The box shown for a refusal: caption "Error", the text, one OK button, no icon.
  static std::unique_ptr<QMessageBox> MakeErrorBox(const QString& text, QWidget* parent);

  // The program state the operations run with: settings, program directory, card list and
  // the last card probe. While an operation window is open its worker owns it.
  ops::ProgramState& state() { return state_; }
  const ops::ProgramState& state() const { return state_; }
  const std::string& programDir() const { return state_.programDir; }
  const std::filesystem::path& settingsPath() const { return settingsPath_; }
  Settings& settings() { return state_.settings; }  // RomDir, the three dialog directories
  const Settings& settings() const { return state_.settings; }
  library::WriterType writerType() const { return state_.writerType(); }
  library::WriterType previousWriterType() const { return previousWriterType_; }
  library::CardList& cardList() { return state_.cardList; }
  const library::CardList& cardList() const { return state_.cardList; }
  detect::CardInfo& cardInfo() { return state_.cardInfo; }
  const detect::CardInfo& cardInfo() const { return state_.cardInfo; }
  link::Link& portLink() const { return *link_; }
  link::Port* port() const { return port_; }

  // A probe made by an operation: the card information takes its result, and the card
  // information box is rebuilt unless the writer did not answer.
  void TakeCardInfo(const detect::CardInfo& info, detect::ProbeOutcome outcome);
  // A notice about the journal (an operation's, or a damaged journal's): the status line says
  // it under its own text until the next command.
  void TakeJournalNotice(const std::string& text);

  // Fills lvFiles from the ROM directory for the current writer type.
  void ScanRomDir();
  // Asks the writer what it holds and rebuilds ROMINFO: the card information when it
  // answered, the old text under "The writer does not answer" when it did not.
  detect::ProbeOutcome ProbeCard();
  void SetColumnWidths();
  // Places the controls for the current client size.
  void FormResize();
  void LoadSettings();
  void SaveSettings();
  // The status line under the controls: why a command did nothing, or a note from the start
  // of the program (a trace it refused); empty clears it. The next command clears it too.
  void ShowStatus(const std::string& why);
  // Why no port could be opened, as quillon-cli says it on standard error: whenever the
  // writer does not answer, the status line names it.
  void SetWriterReason(std::string reason);

 public slots:
  void ComboBox1Change();
  void Button1Click();   // "Research Files"
  void Button2Click();   // "Select Directory"
  void Button3Click();   // "Add"
  void Button4Click();   // "Delete"
  void Button5Click();   // "Delete All"
  void Button6Click();   // "Start Writing"
  void Button7Click();   // "Exit"
  void Button8Click();   // "Reread Card Information"
  void Button9Click();   // "Download Card"
  void Button10Click();  // "Upload RAM"
  void Button11Click();  // "Download RAM"
  void Button12Click();  // "About"
  void Button13Click();  // "Earse Card"
  void lvFilesDblClick();
  void lvDownDblClick();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // Image files dropped on the card list (its viewport) are added as "Add" adds them.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Shows a message box with a single OK button and waits until it is closed.
  virtual void ShowMessage(const QString& caption, const QString& text);

 private:
  void CreateControls();
  // The card list view from the card list, and how full the card is in the status line.
  void FillCardListView();
  // Adds the image files, each a folder and a name in it, in their order through the card
  // list's checks ("Add" with several rows, a drop): the first one refused says why in an
  // "Error" box and ends the adding, keeping those added before it.
  void AddImages(const std::vector<std::pair<std::filesystem::path, std::string>>& files);
  // The card list takes the image files dropped on it from a file manager.
  void AcceptCardDrops();
  // ROMINFO from the card information box's lines.
  void ShowCardInfo();
  // The card information box takes the journal's entries for the window's writer; a damaged
  // journal is said (on standard error once).
  void ReadJournal();
  // Takes the window's place from the settings when a screen has room for it; the place the
  // window starts at is what SaveSettings compares with.
  void RestorePlace(const std::optional<WindowPlace>& place);
  // lbDirect shows the ROM directory.
  void ShowRomDir();
  // The status line and the check box at its right end, for a client area `clientWidth` wide
  // whose status line starts at `top`.
  void PlaceStatusRow(int clientWidth, int top);
  // lbStatus shows as much of its tooltip, the whole message, as it has room for.
  void FitStatus();

  // Runs a handler's body after clearing the status line; anything it throws ends as an
  // "Error" message box.
  void Guarded(const std::function<void()>& body);
  void ShowUnexpected(const QString& text) noexcept;
  // The modal hook, else `show` (which shows `window` modally).
  int ShowModal(QDialog& window, const std::function<int()>& show);
  // Fills the item chooser with `texts` and shows it: the selected row when it closed with
  // OK and a row was selected; nothing otherwise.
  std::optional<int> Pick(const QStringList& texts, const QStringList& tips = {});
  // A card command: its probe, its plan, the item chooser and the patch question when the
  // plan asks, the operation's window, and the probe after it.
  void RunCommand(ops::Command command);
  // "Using Patch File?": the chosen patch file, empty when none.
  std::string AskPatchFile();
  // The erase question: true when the user answered "Yes".
  bool AskErase();
  // What the status line says after an operation's window closed: its failure message (or
  // why it failed), or how far it got when it was stopped (`endFigures`, the window's); after
  // a success what it left out; nothing after a cancelled file dialog.
  std::string StatusAfter(const ops::Result& result, const std::string& endFigures) const;
  // The status line when the writer did not answer: why, as far as the program knows, and
  // where to learn more.
  std::string WriterSilentStatus() const;

  // Controls, in tab order.
  QPushButton* Button2 = nullptr;
  QPushButton* Button1 = nullptr;
  QTreeWidget* lvFiles = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QTreeWidget* lvDown = nullptr;
  QPushButton* Button6 = nullptr;
  QPushButton* Button9 = nullptr;
  QPushButton* Button11 = nullptr;
  QPushButton* Button10 = nullptr;
  QPushButton* Button13 = nullptr;
  QPushButton* Button8 = nullptr;
  QPlainTextEdit* ROMINFO = nullptr;
  QPushButton* Button7 = nullptr;
  QPushButton* Button12 = nullptr;
  QLabel* Label1 = nullptr;
  PathLabel* lbDirect = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* lbStatus = nullptr;
  std::string writerReason_;         // why no port was opened (SetWriterReason)
  std::string claimReason_;          // why the last probe could not have the writer (another program kept it)
  bool writerSilent_ = false;        // the last probe of the main window found no writer
  QCheckBox* cbVerify = nullptr;     // "Verify after writing": Settings::verifyAfterWrite
  QCheckBox* cbReadTwice = nullptr;  // "Read twice": Settings::readTwice

  std::filesystem::path settingsPath_;
  QRect startPlace_;        // where the window started (RestorePlace)
  bool placeKept_ = false;  // the settings held the window's place
  std::string backupFolder_;
  bool saveCopies_ = true;
  ops::ProgramState state_;
  library::WriterType previousWriterType_ = library::WriterType::Gb;
  ops::CardInfoBox infoBox_;    // what ROMINFO shows
  std::string status_;          // the status line's own text
  std::string journalNotice_;   // said under it
  std::string journalProblem_;  // the damaged journal last said on standard error
  link::Link* link_ = nullptr;  // never null
  link::Port* port_ = nullptr;
  MessageHook messageHook_;
  ModalHook modalHook_;
  SecondaryWindows windows_;
};

}  // namespace quillon::ui
