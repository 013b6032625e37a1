// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextOption>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <ostream>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "cards/families.h"
#include "detect/probe.h"
#include "link/link.h"
#include "ops/journal.h"
#include "ops/save_backups.h"
#include "quillon_version.h"
#include "ui/text_look.h"
#include "ui/widgets.h"

namespace quillon::ui {
namespace {

constexpr int kColumnCount = 6;
constexpr std::array<int, kColumnCount> kGbColumnWidths{90, 120, 40, 55, 55, 50};
constexpr std::array<int, kColumnCount> kWsColumnWidths{260, 0, 0, 60, 90, 0};

// Buttons of a plain window: Enter presses only the one with the focus (MakeButton).
QPushButton* MakeMainButton(QWidget* parent, const char* name, const char* caption, QRect rect) {
  QPushButton* button = MakeButton(parent, name, QString::fromLatin1(caption), rect);
  button->setAutoDefault(false);
  return button;
}

// The file list and the card list.
QTreeWidget* MakeRomListView(QWidget* parent, const char* name, QRect rect) {
  QTreeWidget* view = MakeListView(parent, name,
                                   {QStringLiteral("Files"), QStringLiteral("Name"), QStringLiteral("Type"),
                                    QStringLiteral("Rom"), QStringLiteral("Ram"), QStringLiteral("Color")},
                                   rect);
  // A long file name or title shows its start and end (its row's tooltip holds all of it);
  // the narrow columns ("Type" is 40 pixels) clip their text rather than replace it by "...".
  ElideColumnsBefore(view, 2);
  return view;
}

std::filesystem::path ExecutablePath() {
  const QString path = QCoreApplication::applicationFilePath();
  if (!path.isEmpty()) return std::filesystem::path(QFile::encodeName(path).toStdString());
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec);
}

}  // namespace

StartupPaths StartupPathsForProgram(std::ostream& notes) {
  const std::filesystem::path exe = ExecutablePath();
  const SettingsLocation location = ChooseSettingsLocation(
      exe, IsWritableDirectory(exe.parent_path()), UserConfigDir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
  if (location.inUserConfig) {
    notes << "quillon: cannot write to " << exe.parent_path().string() << "; the settings are kept in "
          << location.path.string() << '\n';
    if (SeedUserSettings(location, SettingsFileFor(exe)))
      notes << "quillon: starting from the settings in " << SettingsFileFor(exe).string() << '\n';
  }
  return {ProgramDirOf(exe), location.path, ops::DefaultBackupFolder(), true, {}, ops::DefaultJournalFile(), {}};
}

Tform_ZEP::Tform_ZEP(StartupPaths paths, link::Link& link, link::Port* port, QWidget* parent)
    : QWidget(parent), link_(&link), port_(port) {
  // Nothing is known about the writer until a probe answers.
  state_.cardInfo.kind = detect::kNoAnswer;
  state_.cardInfo.flashChip = -1;
  state_.cardInfo.biosChip = -1;

  setObjectName(QStringLiteral("form_ZEP"));
  setWindowTitle(QStringLiteral("Quillon Writing System ") + QString::fromLatin1(kVersion));
  CreateControls();
  setMinimumSize(kDesignWidth, kMinimumHeight);
  setGeometry(CentredOnDesktop(QSize(kDesignWidth, kMinimumHeight)));

  settingsPath_ = std::move(paths.settingsPath);
  backupFolder_ = std::move(paths.backupFolder);
  saveCopies_ = paths.saveCopies;
  state_.programDir = std::move(paths.programDir);
  state_.journal = {std::move(paths.journalFile), std::move(paths.writer), "quillon", {}};
  state_.settings.romDir = state_.programDir;
  LoadSettings();
  SetColumnWidths();
  // Hidden until a command shows one; their card probes reach this window.
  windows_ = CreateSecondaryWindows(this);
  // The copies' folder is kept whether or not AutoBackup makes new copies.
  for (OperationWindow* window : windows_.operationWindows()) window->setOwnFolders(paths.writerFolder, backupFolder_);
  windows_.fmDirect->setStartDirectory(state_.settings.romDir);
  ShowRomDir();
  lvFiles->clear();
  lvDown->clear();
  state_.cardList.clear();
  ScanRomDir();
  ProbeCard();
}

Tform_ZEP::~Tform_ZEP() {
  // An operation window still running a worker stops and waits for it; the worker uses this
  // window's state, so the windows go before it does.
  const SecondaryWindows windows = std::exchange(windows_, SecondaryWindows{});
  for (QDialog* window : windows.all()) delete window;
  SaveSettings();
}

void Tform_ZEP::CreateControls() {
  Label1 = MakeLabel(this, "Label1", QStringLiteral("ROM directory"), {4, 4});
  lbDirect = new PathLabel(this);
  lbDirect->setObjectName(QStringLiteral("lbDirect"));
  lbDirect->setFont(ControlFont());
  lbDirect->move(4, 20);
  Label2 = MakeLabel(this, "Label2", QStringLiteral("Writer Type"), {228, 204});
  // Below the controls, out of their way: it wraps a long reason onto its second line.
  lbStatus = MakeLabel(this, "lbStatus", {4, kDesignHeight, kDesignWidth - 8, kStatusHeight - 4}, Qt::AlignLeft);
  lbStatus->setWordWrap(true);
  lbStatus->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  lbStatus->setTextFormat(Qt::PlainText);
  // Every place among the controls is taken: the check box shares the status line's row.
  cbVerify = new QCheckBox(QStringLiteral("&Verify after writing"), this);
  cbVerify->setObjectName(QStringLiteral("cbVerify"));
  cbVerify->setFont(ControlFont());
  cbVerify->resize(cbVerify->sizeHint());
  cbReadTwice = new QCheckBox(QStringLiteral("Read &twice"), this);
  cbReadTwice->setObjectName(QStringLiteral("cbReadTwice"));
  cbReadTwice->setFont(ControlFont());
  cbReadTwice->resize(cbReadTwice->sizeHint());
  PlaceStatusRow(kDesignWidth, kDesignHeight);

  // Each caption underlines a letter of its own: Alt and that letter press the button.
  Button2 = MakeMainButton(this, "Button2", "&Select Directory", {220, 12, 109, 25});
  Button1 = MakeMainButton(this, "Button1", "Research &Files", {328, 12, 109, 25});
  lvFiles = MakeRomListView(this, "lvFiles", {4, 40, 433, 157});
  lvFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);  // "Add" takes every row selected
  Button3 = MakeMainButton(this, "Button3", "&Add", {4, 200, 73, 25});
  Button4 = MakeMainButton(this, "Button4", "&Delete", {76, 200, 73, 25});
  Button5 = MakeMainButton(this, "Button5", "Delete A&ll", {148, 200, 73, 25});

  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setFont(ControlFont());
  ComboBox1->setEditable(false);
  ComboBox1->addItems({QStringLiteral("GB"), QStringLiteral("GB+Password"), QStringLiteral("WS")});
  ComboBox1->setGeometry(304, 200, 133, 21);

  lvDown = MakeRomListView(this, "lvDown", {4, 228, 433, 157});
  Button6 = MakeMainButton(this, "Button6", "Start &Writing", {4, 388, 93, 25});
  Button9 = MakeMainButton(this, "Button9", "Download &Card", {96, 388, 105, 25});
  Button11 = MakeMainButton(this, "Button11", "Download &RAM", {200, 388, 101, 25});
  Button10 = MakeMainButton(this, "Button10", "&Upload RAM", {300, 388, 93, 25});
  Button13 = MakeMainButton(this, "Button13", "&Earse Card", {392, 388, 85, 25});
  Button8 = MakeMainButton(this, "Button8", "Reread Card &Information", {452, 12, 165, 25});

  ROMINFO = new QPlainTextEdit(this);
  ROMINFO->setObjectName(QStringLiteral("ROMINFO"));
  ROMINFO->setFont(ChineseFont(12));
  ROMINFO->setReadOnly(true);
  // A line wider than the box (a note above the card information, a long title) goes on in
  // the next line rather than out of sight.
  ROMINFO->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  ROMINFO->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  ROMINFO->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  ROMINFO->setFocusPolicy(Qt::StrongFocus);
  ROMINFO->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ROMINFO->setGeometry(440, 40, 189, 345);

  Button7 = MakeMainButton(this, "Button7", "E&xit", {476, 388, 77, 25});
  Button12 = MakeMainButton(this, "Button12", "A&bout", {552, 388, 77, 25});

  const std::vector<QWidget*> tabOrder{Button2, Button1, lvFiles,  Button3,     Button4,  Button5,  ComboBox1,
                                       lvDown,  Button6, Button9,  Button11,    Button10, Button13, Button8,
                                       ROMINFO, Button7, Button12, cbReadTwice, cbVerify};
  for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  ShowFocusRing(this);
  AcceptCardDrops();

  connect(Button1, &QPushButton::clicked, this, &Tform_ZEP::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &Tform_ZEP::Button2Click);
  connect(Button6, &QPushButton::clicked, this, &Tform_ZEP::Button6Click);
  connect(Button9, &QPushButton::clicked, this, &Tform_ZEP::Button9Click);
  connect(Button10, &QPushButton::clicked, this, &Tform_ZEP::Button10Click);
  connect(Button11, &QPushButton::clicked, this, &Tform_ZEP::Button11Click);
  connect(Button12, &QPushButton::clicked, this, &Tform_ZEP::Button12Click);
  connect(Button13, &QPushButton::clicked, this, &Tform_ZEP::Button13Click);
  connect(Button3, &QPushButton::clicked, this, &Tform_ZEP::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &Tform_ZEP::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &Tform_ZEP::Button5Click);
  connect(Button7, &QPushButton::clicked, this, &Tform_ZEP::Button7Click);
  connect(Button8, &QPushButton::clicked, this, &Tform_ZEP::Button8Click);
  connect(ComboBox1, &QComboBox::activated, this, &Tform_ZEP::ComboBox1Change);
  connect(cbVerify, &QCheckBox::toggled, this, [this](bool on) { state_.settings.verifyAfterWrite = on; });
  connect(cbReadTwice, &QCheckBox::toggled, this, [this](bool on) { state_.settings.readTwice = on; });
  connect(lvFiles, &QTreeWidget::itemDoubleClicked, this, &Tform_ZEP::lvFilesDblClick);
  connect(lvDown, &QTreeWidget::itemDoubleClicked, this, &Tform_ZEP::lvDownDblClick);
}

// --- layout -------------------------------------------------------------------------------

void Tform_ZEP::SetColumnWidths() {
  const library::WriterType type = state_.writerType();
  if (!IsKnownWriter(type)) return;
  const auto& widths = type == library::WriterType::Ws ? kWsColumnWidths : kGbColumnWidths;
  for (QTreeWidget* view : {lvFiles, lvDown}) {
    for (int column = 0; column < kColumnCount; ++column) {
      const int width = widths[static_cast<std::size_t>(column)];
      view->setColumnHidden(column, width == 0);
      if (width > 0) view->setColumnWidth(column, width);
    }
  }
}

void Tform_ZEP::FormResize() {
  // The rules place the controls in the client area above the status line.
  const int w = width();
  const int h = height() - kStatusHeight;

  const bool wide = w > kDesignWidth;
  const int listWidth = wide ? w - 199 : 433;
  auto moveX = [](QWidget* control, int left) { control->move(left, control->y()); };
  moveX(ROMINFO, wide ? w - 192 : 440);
  moveX(Button2, wide ? w - 412 : 220);
  moveX(Button1, wide ? w - 304 : 328);
  moveX(Button8, wide ? w - 180 : 452);

  const bool tall = h > kDesignHeight;
  const int d = tall ? (h - kDesignHeight) / 2 : 0;
  const int listHeight = tall ? (h - 104) / 2 : 157;
  lvFiles->setGeometry(lvFiles->x(), lvFiles->y(), listWidth, listHeight);
  lvDown->setGeometry(lvDown->x(), d + 228, listWidth, listHeight);
  ROMINFO->resize(ROMINFO->width(), tall ? h - 73 : 345);
  for (QWidget* control : std::initializer_list<QWidget*>{Button3, Button4, Button5, ComboBox1}) {
    control->move(control->x(), d + 200);
  }
  Label2->move(Label2->x(), d + 204);
  for (QWidget* control :
       std::initializer_list<QWidget*>{Button6, Button9, Button11, Button10, Button13, Button7, Button12}) {
    control->move(control->x(), tall ? h - 30 : 388);
  }
  PlaceStatusRow(std::max(w, kDesignWidth), std::max(h, kDesignHeight));
  ShowRomDir();
}

void Tform_ZEP::PlaceStatusRow(int clientWidth, int top) {
  const int height = kStatusHeight - 4;
  // The two check boxes one above the other, so that the status line keeps its width.
  const int boxes = clientWidth - 4 - std::max(cbVerify->width(), cbReadTwice->width());
  cbVerify->move(boxes, top + height / 2 - cbVerify->height());
  cbReadTwice->move(boxes, top + height / 2);
  lbStatus->setGeometry(4, top, boxes - 8 - 4, height);
  FitStatus();
}

void Tform_ZEP::ShowRomDir() {
  lbDirect->setPath(FromFileName(state_.settings.romDir));
  // As wide as the room left of "Select Directory", which moves right in a wider window.
  lbDirect->resize(Button2->x() - 4 - lbDirect->x(), lbDirect->sizeHint().height());
}

void Tform_ZEP::SetWriterReason(std::string reason) {
  writerReason_ = std::move(reason);
  if (writerSilent_) ShowStatus(WriterSilentStatus());
}

std::string Tform_ZEP::WriterSilentStatus() const {
  const std::string& why = !claimReason_.empty() ? claimReason_ : writerReason_;
  // The reason as the command line prints it, its lines run together into one paragraph.
  std::string paragraph;
  std::istringstream lines(why.empty() ? std::string("Linking Fail") : why);
  for (std::string line; std::getline(lines, line);) {
    const auto text = line.find_first_not_of(' ');
    if (text == std::string::npos) continue;
    if (!paragraph.empty()) paragraph += ' ';
    paragraph.append(line, text);
  }
  return paragraph + std::string(kDoctorHint);
}

void Tform_ZEP::ShowStatus(const std::string& why) {
  status_ = why;
  std::string shown = why;
  if (!journalNotice_.empty()) shown += (shown.empty() ? "" : "\n") + journalNotice_;
  QString text = QString::fromStdString(shown);
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  lbStatus->setToolTip(text);
  FitStatus();
}

void Tform_ZEP::FitStatus() {
  // A message longer than the status line has room for loses the end of its body, never the
  // hint at its end; the whole of it is the line's tooltip.
  const QString text = lbStatus->toolTip();
  const QString hint = QString::fromLatin1(kDoctorHint);
  const QString tail = text.endsWith(hint) ? hint : QString();
  const QString body = text.left(text.size() - tail.size());
  // As many lines as the label shows whole, measured as the label itself lays text out.
  const int lines = std::max(1, lbStatus->contentsRect().height() / lbStatus->fontMetrics().lineSpacing());
  lbStatus->setText(QStringList(lines, QStringLiteral("X")).join(QLatin1Char('\n')));
  const int allowed = lbStatus->heightForWidth(lbStatus->width());
  const auto fits = [this, allowed](const QString& candidate) {
    lbStatus->setText(candidate);
    return lbStatus->heightForWidth(lbStatus->width()) <= allowed;
  };
  qsizetype kept = body.size();
  if (!fits(text)) {
    // The longest start of the body that fits with an ellipsis and the tail.
    qsizetype low = 0;
    for (qsizetype high = body.size(); low < high;) {
      const qsizetype middle = (low + high + 1) / 2;
      if (fits(body.left(middle) + QChar(0x2026) + tail)) {
        low = middle;
      } else {
        high = middle - 1;
      }
    }
    kept = low;
  }
  lbStatus->setText(kept == body.size() ? text : body.left(kept) + QChar(0x2026) + tail);
}

void Tform_ZEP::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

// --- writer type and card information -----------------------------------------------------

void Tform_ZEP::ComboBox1Change() {
  Guarded([this] {
    state_.setWriterType(static_cast<library::WriterType>(ComboBox1->currentIndex()));
    if (state_.writerType() != previousWriterType_) {
      // The emptied card list first: what the probe finds is the newer news.
      state_.cardList.clear();
      FillCardListView();
      infoBox_.Clear();
      ShowCardInfo();
      ProbeCard();
      ScanRomDir();
      SetColumnWidths();
    }
    previousWriterType_ = state_.writerType();
  });
}

detect::ProbeOutcome Tform_ZEP::ProbeCard() {
  // The writer is the probe's alone; another program's claim makes it a writer that does not
  // answer.
  const link::PortClaim claim(port_);
  claimReason_ = claim.held() ? std::string() : claim.why();
  if (!claim.held()) std::cerr << "quillon: " << claim.why() << '\n';
  const detect::ProbeOutcome outcome = cards::ProbeCard(*link_, state_.writerType(), state_.cardInfo);
  infoBox_.Probed(outcome, state_.cardInfo, state_.writerType());
  ReadJournal();
  ShowCardInfo();
  writerSilent_ = outcome == detect::ProbeOutcome::DeviceError;
  if (writerSilent_) ShowStatus(WriterSilentStatus());
  return outcome;
}

void Tform_ZEP::ReadJournal() {
  if (state_.journal.writer.empty()) return;
  const ops::JournalReading reading = ops::ReadJournal(state_.journal.file);
  infoBox_.SetUnfinished(ops::UnfinishedLines(reading.entries, state_.journal.writer));
  if (reading.problem.empty()) return;
  if (reading.problem != journalProblem_) std::cerr << "quillon: " << reading.problem << '\n';
  journalProblem_ = reading.problem;
  TakeJournalNotice(reading.problem);
}

void Tform_ZEP::TakeJournalNotice(const std::string& text) {
  journalNotice_ = text;
  ShowStatus(status_);
}

void Tform_ZEP::TakeCardInfo(const detect::CardInfo& info, detect::ProbeOutcome outcome) {
  state_.cardInfo = info;
  infoBox_.Probed(outcome, state_.cardInfo, state_.writerType());
  ShowCardInfo();
}

void Tform_ZEP::ShowCardInfo() {
  QStringList lines;
  for (const std::string& line : infoBox_.Lines()) lines.append(FromBig5(line));
  ROMINFO->setPlainText(lines.join(QLatin1Char('\n')));
}

// --- message boxes ------------------------------------------------------------------------

void Tform_ZEP::Guarded(const std::function<void()>& body) {
  try {
    journalNotice_.clear();
    ShowStatus({});
    body();
  } catch (const std::exception& e) {
    ShowUnexpected(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ShowUnexpected(QStringLiteral("An unexpected error stopped the command."));
  }
}

void Tform_ZEP::ShowUnexpected(const QString& text) noexcept {
  try {
    ShowMessage(QStringLiteral("Error"), text);
  } catch (...) {
    std::cerr << "quillon: " << text.toLocal8Bit().constData() << '\n';
  }
}

std::unique_ptr<QMessageBox> Tform_ZEP::MakeErrorBox(const QString& text, QWidget* parent) {
  return std::make_unique<QMessageBox>(QMessageBox::NoIcon, QStringLiteral("Error"), text, QMessageBox::Ok, parent);
}

void Tform_ZEP::ShowMessage(const QString& caption, const QString& text) {
  if (messageHook_) {
    messageHook_(caption, text);
    return;
  }
  std::unique_ptr<QMessageBox> box = MakeErrorBox(text, this);
  box->setWindowTitle(caption);
  box->exec();
}

}  // namespace quillon::ui
