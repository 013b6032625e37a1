// SPDX-License-Identifier: GPL-3.0-or-later
// A stop after each command of a save backup, a save restore (with its copy), and a GB write
// and erase on a FLASH ROM that needs the programming voltage: nothing is sent after the stop
// but what switches off what the command switched on (an MBC1's RAM banking mode, a
// cartridge's save memory, the programming voltage); a stop once the work is done ends as a
// success with the whole file.
#include <sstream>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

// One command of a trace: its name and the opcode, parameters and first data byte it sent.
struct Sent {
  std::string name;
  std::vector<unsigned> bytes;  // the frame from the opcode on, then the data
  bool operator==(const Sent&) const = default;
  bool is(unsigned op, unsigned p1, unsigned p2, int data = -1) const {
    return bytes.size() >= 3 && bytes[0] == op && bytes[1] == p1 && bytes[2] == p2 &&
           (data < 0 || (bytes.size() > 6 && bytes[6] == static_cast<unsigned>(data)));
  }
};

std::vector<Sent> commands(const std::string& trace) {
  std::vector<Sent> all;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 2 && line[0] == '#' && std::isupper(static_cast<unsigned char>(line[2]))) {
      all.push_back({line.substr(2), {}});
    } else if (line.rfind("> ", 0) == 0 && !all.empty() && all.back().bytes.empty()) {
      std::istringstream hex(line.substr(2));
      for (unsigned b = 0; hex >> std::hex >> b;) all.back().bytes.push_back(b);
      if (all.back().bytes.size() > 5) all.back().bytes.erase(all.back().bytes.begin(), all.back().bytes.begin() + 5);
    }
  }
  return all;
}

// What a stop after `done` commands must still send: what those commands left switched on.
// A banked MBC1's save memory goes back to ROM banking mode first, unless that was the last
// write to its mode register since the save memory was enabled.
std::vector<Sent> closingAfter(const std::vector<Sent>& done, bool cartridge, bool banked) {
  bool saveMemory = false, romMode = false, voltage = false;
  for (const Sent& c : done) {
    if (c.is(0, 0x00, 0x60)) romMode = c.is(0, 0x00, 0x60, 0x00);
    if (cartridge && c.is(0, 0x00, 0x00)) {
      saveMemory = c.is(0, 0x00, 0x00, 0x0A);
      romMode = false;
    }
    if (c.is(6, 2, 9) || c.is(6, 2, 10)) voltage = c.is(6, 2, 9);
  }
  const bool banking = banked && saveMemory && !romMode;
  // WriteByte(address, 0x00) and SetControl(2, 10, 0, 0) as they go on the wire.
  const auto writeZero = [](unsigned high) { return Sent{"WriteByte", {0, 0, high, 1, 0, 0x80 ^ high, 0x00, 0x81}}; };
  std::vector<Sent> closing;
  if (banking) closing.push_back(writeZero(0x60));
  if (saveMemory) closing.push_back(writeZero(0x00));
  if (voltage) closing.push_back({"SetControl", {6, 2, 10, 0, 0, 0x81 ^ 6 ^ 2 ^ 10}});
  return closing;
}

struct StopCase {
  const char* name;
  const char* card;     // sim insert; {dir} is the test's folder
  const char* command;  // {out}: the file made; {dir} as above
  const char* doneAt;   // the work is complete once the last command of this name came
  bool cartridge;
  bool banked = false;  // an MBC1 with more than one save memory bank
};

class StopClosing : public Cli, public ::testing::WithParamInterface<StopCase> {
 protected:
  std::string expand(std::string text) const {
    for (const auto& [key, value] : {std::pair{"{dir}", dir_.string()}, {"{out}", (dir_ / "out.sav").string()}})
      for (auto at = text.find(key); at != std::string::npos; at = text.find(key)) text.replace(at, 5, value);
    return text;
  }
  // The card as it was first: a flash card with an image written.
  void insert() {
    const fs::path first = dir_ / "first";
    if (!fs::exists(first)) {
      ASSERT_EQ(run("sim insert " + quote(first) + " " + expand(GetParam().card)).status, 0);
      if (!GetParam().cartridge) {
        ASSERT_EQ(run("--no-backup --port sim:" + quote(first) + " write " + quote(dir_ / "game.gb")).status, 0);
      }
    }
    fs::remove_all(writer());
    fs::copy(first, writer(), fs::copy_options::recursive);
  }
  RunResult command(const std::string& fault) {
    if (!fault.empty()) {
      EXPECT_EQ(run("sim fault " + quote(writer()) + " " + fault).status, 0);
    }
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

  insert();
  ASSERT_EQ(command("").status, 0);
  const std::vector<Sent> healthy = commands(slurp(dir_ / "trace.txt"));
  const std::string wholeFile = slurp(dir_ / "out.sav");
  std::size_t doneAt = 0;
  for (std::size_t i = 0; i < healthy.size(); ++i)
    if (healthy[i].name == c.doneAt) doneAt = i + 1;
  ASSERT_GT(doneAt, 0u);

  // Every command of short runs; of long ones a spread, and every one near the end.
  const std::size_t step = healthy.size() > 120 ? healthy.size() / 60 : 1;
  for (std::size_t n = 1; n <= healthy.size(); n += (n + 25 < healthy.size() ? step : 1)) {
    SCOPED_TRACE("stop after command " + std::to_string(n) + " of " + std::to_string(healthy.size()));
    insert();
    fs::remove(dir_ / "out.sav");
    const RunResult r = command("sigint-after=" + std::to_string(n));
    std::vector<Sent> expected(healthy.begin(), healthy.begin() + static_cast<std::ptrdiff_t>(n));
    const bool complete = n >= doneAt;
    for (const Sent& closing : closingAfter(expected, c.cartridge, c.banked)) expected.push_back(closing);
    EXPECT_TRUE(commands(slurp(dir_ / "trace.txt")) == expected) << slurp(dir_ / "trace.txt");
    EXPECT_EQ(r.status, complete ? 0 : 130) << r.err;
    if (!wholeFile.empty()) {
      EXPECT_EQ(slurp(dir_ / "out.sav"), complete ? wholeFile : "");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Stops, StopClosing,
                         ::testing::Values(StopCase{"mbc1Backup", "gb-cart {dir}/mbc1.gb --sav {dir}/in.sav",
                                                    "--no-backup backup-ram {out}", "ReadBlock", true, true},
                                           StopCase{"mbc1RestoreAndCopy", "gb-cart {dir}/mbc1.gb",
                                                    "restore-ram {dir}/in.sav", "QueryState3", true, true},
                                           StopCase{"mbc5Backup", "gb-cart {dir}/mbc5.gb --sav {dir}/in.sav",
                                                    "--no-backup backup-ram {out}", "ReadBlock", true},
                                           StopCase{"mbc5RestoreAndCopy", "gb-cart {dir}/mbc5.gb",
                                                    "restore-ram {dir}/in.sav", "QueryState3", true},
                                           StopCase{"flashImageBackup", "gb-flash --bios-chip 12 --flash-chip 21",
                                                    "--no-backup backup-ram --image 1 {out}", "ReadBlock", false},
                                           StopCase{"flashImageRestoreAndCopy",
                                                    "gb-flash --bios-chip 12 --flash-chip 21",
                                                    "restore-ram --image 1 {dir}/in.sav", "QueryState3", false},
                                           // A FLASH ROM programmed and erased with the programming voltage on.
                                           StopCase{"flashWrite", "gb-flash --bios-chip 12 --flash-chip 21",
                                                    "--no-backup write {dir}/game.gb", "QueryState3", false},
                                           StopCase{"flashErase", "gb-flash --bios-chip 12 --flash-chip 21",
                                                    "--no-backup erase --size 16", "QueryState3", false}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
