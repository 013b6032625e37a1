// The CLI's progress window, with a clock the test moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/terminal_window.h"

namespace quillon::test {
namespace {

using cli::TerminalWindow;
using namespace std::chrono_literals;

struct FakeClock {
  TerminalWindow::Clock::time_point now{};
};

TerminalWindow::Display barDisplay(FakeClock& clock, int columns = 120) {
  TerminalWindow::Display display;
  display.bar = true;
  display.columns = columns;
  display.now = [&clock] { return clock.now; };
  return display;
}

// The bar lines drawn so far: each redraw starts with '\r' and ends with "erase to end of line".
std::vector<std::string> drawnLines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while ((at = out.find('\r', at)) != std::string::npos) {
    const std::size_t end = out.find("\033[K", at);
    if (end == std::string::npos) break;
    if (end > at + 1) lines.push_back(out.substr(at + 1, end - at - 1));
    at = end;
  }
  return lines;
}

TEST(TerminalWindow, PlainLines_EachStepTextOnceAndNothingForProgress) {
  std::ostringstream out;
  ops::ProgramState state;
  TerminalWindow window(out, {}, state, "file.gb");
  for (const char* text : {"Reading BIOS", "Reading BIOS", "Earsing ROM : 0x000000 - 0x00FFFF", "", "Reading BIOS",
                           "Writing Success"}) {
    window.SetWork(text);
    window.Progress(10, 100);
    window.Progress(10, 100);
  }
  window.SetFile("a.gb");
  window.SetFile("a.gb");
  window.Beep();
  window.Close();
  EXPECT_EQ(out.str(), "Reading BIOS\nEarsing ROM : 0x000000 - 0x00FFFF\nWriting Success\nFile: a.gb\n");
}

TEST(TerminalWindow, FileQuestionsAnswerThePathGivenAndProbesReachTheState) {
  std::ostringstream out;
  ops::ProgramState state;
  TerminalWindow window(out, {}, state, "/tmp/out.sav");
  EXPECT_EQ(window.AskSaveFile({"RAM File (*.sav)|*.sav", "SAV", "/elsewhere/"}), "/tmp/out.sav");
  EXPECT_EQ(window.AskOpenFile({"RAM File (*.sav)|*.sav", "SAV", ""}), "/tmp/out.sav");
  EXPECT_EQ(window.questionsAsked(), 2);
  detect::CardInfo info;
  info.kind = detect::kFlashCard;
  info.count = 3;
  info.flashChip = 21;
  window.CardProbed(info, detect::ProbeOutcome::Probed);
  EXPECT_EQ(state.cardInfo.kind, detect::kFlashCard);
  EXPECT_EQ(state.cardInfo.count, 3);
  EXPECT_EQ(state.cardInfo.flashChip, 21);
}

TEST(TerminalWindow, Bar_RedrawsAtMostTenTimesASecondAndKeepsMovingWhileWaiting) {
  std::ostringstream out;
  FakeClock clock;
  ops::ProgramState state;
  TerminalWindow window(out, barDisplay(clock), state, "");
  window.SetWork("Earsing ROM : 0x000000 - 0x00FFFF");
  window.Progress(0, 0x10000);
  // Fifty calls within 49 ms: only the first draws.
  for (int i = 0; i < 50; ++i) {
    clock.now += 1ms;
    window.Progress(0, 0x10000);
  }
  EXPECT_EQ(drawnLines(out.str()).size(), 1u);
  // The writer is busy: the same numbers, but time goes on.
  clock.now += 100ms;
  window.Progress(0, 0x10000);
  clock.now += 2s;
  window.Progress(0, 0x10000);
  const auto lines = drawnLines(out.str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[1], lines[2]);
  EXPECT_NE(lines[2].find("Earsing ROM : 0x000000 - 0x00FFFF"), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("0%"), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("(0:02)"), std::string::npos) << lines[2];
  EXPECT_NE(lines[1].front(), lines[2].front()) << "the spinner turns";
}

TEST(TerminalWindow, Bar_PercentRateAndTimeLeftFromProgress) {
  std::ostringstream out;
  FakeClock clock;
  ops::ProgramState state;
  TerminalWindow window(out, barDisplay(clock), state, "");
  window.SetFile("game.gbc");
  window.SetWork("Writing : 0x000000 - 0x003FFF");
  window.Progress(0, 4 * 0x100000);
  clock.now += 4s;
  window.Progress(0x100000, 4 * 0x100000);  // 1 MiB in 4 s: 256 KiB/s, 3 MiB left: 12 s
  const auto lines = drawnLines(out.str());
  ASSERT_FALSE(lines.empty());
  const std::string& line = lines.back();
  for (const char* piece : {"game.gbc: Writing : 0x000000 - 0x003FFF", "25%", "256.0 KiB/s", "0:12 left", "(0:04)"})
    EXPECT_NE(line.find(piece), std::string::npos) << piece << " in " << line;
  EXPECT_EQ(std::count(line.begin(), line.end(), '#'), 5) << "a quarter of twenty";
}

TEST(TerminalWindow, Bar_FitsTheTerminalWidthAndCloseClearsIt) {
  for (const int columns : {30, 60, 80}) {
    std::ostringstream out;
    FakeClock clock;
    ops::ProgramState state;
    TerminalWindow window(out, barDisplay(clock, columns), state, "");
    window.SetWork("Earsing ROM : 0x3F0000 - 0x3FFFFF");
    window.Progress(10, 100);
    clock.now += 1s;
    window.Progress(50, 100);
    for (const auto& line : drawnLines(out.str()))
      EXPECT_LT(line.size(), static_cast<std::size_t>(columns)) << line;
    const std::size_t before = out.str().size();
    window.Close();
    EXPECT_EQ(out.str().substr(before), "\r\033[K");
    window.Close();
    EXPECT_EQ(out.str().size(), before + std::string("\r\033[K").size()) << "nothing more to clear";
  }
}

}  // namespace
}  // namespace quillon::test
