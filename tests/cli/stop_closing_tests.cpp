// SPDX-License-Identifier: GPL-3.0-or-later
// A stop after each command of a save backup, a save restore (with its copy), and a GB write
// and erase on a FLASH ROM that needs the programming voltage: nothing is sent after the stop
// but what switches off what the command switched on; a stop once the work is done ends as a
// success with the whole file.
#include <sstream>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

// The frames that switch things on and off, as the trace shows them.
const std::string kSaveOn = "> 00 00 D5 AA 96 00 00 00 01 00 80 0A 8B",
                  kSaveOff = "> 00 00 D5 AA 96 00 00 00 01 00 80 00 81";
const std::string kRomMode = "> 00 00 D5 AA 96 00 00 60 01 00 E0 00 81";  // an MBC1 back in ROM banking mode
const std::string kVoltageOn = "> 00 00 D5 AA 96 06 02 09 00 00 8C", kVoltageOff = "> 00 00 D5 AA 96 06 02 0A 00 00 8F";

// Each command of a trace: its name line and the line of bytes it sent.
std::vector<std::string> commands(const std::string& trace) {
  std::vector<std::string> all;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 2 && line[0] == '#' && std::isupper(static_cast<unsigned char>(line[2]))) all.push_back(line);
    if (line.rfind("> ", 0) == 0 && !all.empty() && all.back().find('\n') == std::string::npos)
      all.back() += "\n" + line;
  }
  return all;
}

// What a stop after `done` commands must still send: a cartridge's save memory left enabled is
// disabled (a banked MBC1's first put back in ROM banking mode, unless that came last), the
// programming voltage left on goes off.
std::vector<std::string> closingAfter(const std::vector<std::string>& done, bool cartridge, bool banked) {
  bool saveMemory = false, romMode = false, voltage = false;
  for (const std::string& c : done) {
    const std::string bytes = c.substr(c.find('\n') + 1);
    if (cartridge && (bytes == kSaveOn || bytes == kSaveOff)) {
      saveMemory = bytes == kSaveOn;
      romMode = false;
    }
    if (bytes.rfind("> 00 00 D5 AA 96 00 00 60", 0) == 0) romMode = bytes == kRomMode;
    if (bytes == kVoltageOn || bytes == kVoltageOff) voltage = bytes == kVoltageOn;
  }
  std::vector<std::string> closing;
  if (banked && saveMemory && !romMode) closing.push_back("# WriteByte\n" + kRomMode);
  if (saveMemory) closing.push_back("# WriteByte\n" + kSaveOff);
  if (voltage) closing.push_back("# SetControl\n" + kVoltageOff);
  return closing;
}

struct StopCase {
  const char* name;
  const char* card;     // sim insert; {dir} is the test's folder
  const char* command;  // {dir} as above
  const char* doneAt;   // the work is complete once the last command of this name came
  bool cartridge, banked;
};

class StopClosing : public Cli, public ::testing::WithParamInterface<StopCase> {
 protected:
  std::string expand(std::string text) const {
    for (auto at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}"))
      text.replace(at, 5, dir_.string());
    return text;
  }
  // The writer as it was first (a flash card with an image written), and the command run.
  RunResult command(const std::string& fault) {
    const fs::path first = dir_ / "first";
    if (!fs::exists(first)) {
      run("sim insert " + quote(first) + " " + expand(GetParam().card));
      if (!GetParam().cartridge) run("--no-backup --port sim:" + quote(first) + " write " + quote(dir_ / "game.gb"));
    }
    fs::remove_all(writer());
    fs::copy(first, writer(), fs::copy_options::recursive);
    fs::remove(dir_ / "out.sav");
    if (!fault.empty()) run("sim fault " + quote(writer()) + " " + fault);
    return run(port() + " --trace " + quote(dir_ / "trace.txt") + " " + expand(GetParam().command));
  }
};

TEST_P(StopClosing, StopAfterEachCommand_onlyClosingCommandsFollow) {
  const StopCase& c = GetParam();
  support::writeFile(dir_ / "mbc1.gb", support::makeGbImage({"MBC1 SAVE", 0x03, 2, 3, false}));
  support::writeFile(dir_ / "mbc5.gb", support::makeGbImage({"MBC5 SAVE", 0x1B, 2, 3, false}));
  support::writeFile(dir_ / "game.gb", support::makeGbImage({"GAME", 0x1B, 0, 3, false}));
  support::Bytes save(0x8000);
  for (std::size_t i = 0; i < save.size(); ++i) save[i] = static_cast<std::uint8_t>(i * 5 + (i >> 8));
  support::writeFile(dir_ / "in.sav", save);

  ASSERT_EQ(command("").status, 0);
  const std::vector<std::string> healthy = commands(slurp(dir_ / "trace.txt"));
  const std::string wholeFile = slurp(dir_ / "out.sav");
  std::size_t doneAt = 0;
  for (std::size_t i = 0; i < healthy.size(); ++i)
    if (healthy[i].rfind(std::string("# ") + c.doneAt + "\n", 0) == 0) doneAt = i + 1;
  ASSERT_GT(doneAt, 0u);

  // Every command of short runs; of long ones a spread, and every one near the end.
  const std::size_t step = healthy.size() > 120 ? healthy.size() / 60 : 1;
  for (std::size_t n = 1; n <= healthy.size(); n += (n + 25 < healthy.size() ? step : 1)) {
    SCOPED_TRACE("stop after command " + std::to_string(n) + " of " + std::to_string(healthy.size()));
    const RunResult r = command("sigint-after=" + std::to_string(n));
    std::vector<std::string> expected(healthy.begin(), healthy.begin() + static_cast<std::ptrdiff_t>(n));
    for (const std::string& closing : closingAfter(expected, c.cartridge, c.banked)) expected.push_back(closing);
    EXPECT_TRUE(commands(slurp(dir_ / "trace.txt")) == expected) << slurp(dir_ / "trace.txt");
    EXPECT_EQ(r.status, n >= doneAt ? 0 : 130) << r.err;
    EXPECT_EQ(slurp(dir_ / "out.sav"), n >= doneAt ? wholeFile : "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stops, StopClosing,
    ::testing::Values(
        StopCase{"mbc1Backup", "gb-cart {dir}/mbc1.gb --sav {dir}/in.sav", "--no-backup backup-ram {dir}/out.sav",
                 "ReadBlock", true, true},
        StopCase{"mbc1RestoreAndCopy", "gb-cart {dir}/mbc1.gb", "restore-ram {dir}/in.sav", "QueryState3", true, true},
        StopCase{"mbc5Backup", "gb-cart {dir}/mbc5.gb --sav {dir}/in.sav", "--no-backup backup-ram {dir}/out.sav",
                 "ReadBlock", true, false},
        StopCase{"mbc5RestoreAndCopy", "gb-cart {dir}/mbc5.gb", "restore-ram {dir}/in.sav", "QueryState3", true, false},
        StopCase{"flashImageBackup", "gb-flash --bios-chip 12 --flash-chip 21",
                 "--no-backup backup-ram --image 1 {dir}/out.sav", "ReadBlock", false, false},
        StopCase{"flashImageRestoreAndCopy", "gb-flash --bios-chip 12 --flash-chip 21",
                 "restore-ram --image 1 {dir}/in.sav", "QueryState3", false, false},
        // A FLASH ROM programmed and erased with the programming voltage on.
        StopCase{"flashWrite", "gb-flash --bios-chip 12 --flash-chip 21", "--no-backup write {dir}/game.gb",
                 "QueryState3", false, false},
        StopCase{"flashErase", "gb-flash --bios-chip 12 --flash-chip 21", "--no-backup erase --size 16", "QueryState3",
                 false, false}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
