// SPDX-License-Identifier: GPL-3.0-or-later
// Every card command against a simulated writer that stops answering part way: the command
// ends with its own failure message, tries a handful of commands after the last byte that
// crossed (eight at most, then the writer is given up; in a wait for an erase or programming,
// until the writer was silent for 30 s of its clock), and says so once.
#include <algorithm>
#include <cctype>
#include <sstream>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

using support::Bytes;

// The bytes a trace lists as crossed, up to the `occurrence`-th comment `name` (all of them
// when there is no such comment).
std::size_t bytesBefore(const std::string& trace, const std::string& name = "", int occurrence = 0) {
  std::istringstream in(trace);
  std::size_t bytes = 0;
  int seen = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("> ", 0) == 0 || line.rfind("< ", 0) == 0) bytes += line.size() / 3;
    if (line == "# " + name && ++seen == occurrence) break;
  }
  return bytes;
}

// The comment lines that are commands, after the last line of bytes: commands in which no
// byte crossed.
int deadCommands(const std::string& trace) {
  std::istringstream in(trace);
  int dead = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("> ", 0) == 0 || line.rfind("< ", 0) == 0) dead = 0;
    if (line.rfind("# ", 0) == 0 && line != "# time-out" && line != "# writer gone") ++dead;
  }
  return dead;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// A link line said three times in a row on standard error (progress lines come in between):
// a line that comes again is said once more, and from then on counted.
std::string sameLinkLineThrice(const std::string& err) {
  static const char* const kLinkLines[] = {"Device ...........",           "Checksum error", "Receiver checksum error",
                                           "The writer stopped answering", "(repeated ",     "Port failure"};
  std::istringstream in(err);
  std::string previous;
  int times = 0;
  for (std::string line; std::getline(in, line);) {
    bool link = false;
    for (const char* start : kLinkLines) link = link || line.rfind(start, 0) == 0;
    if (!link) continue;
    times = line == previous ? times + 1 : 1;
    if (times == 3) return line;
    previous = line;
  }
  return {};
}

std::string withDir(std::string text, const std::string& dir) {
  for (auto at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}", at)) text.replace(at, 5, dir);
  return text;
}

struct SilentCase {
  const char* name;
  const char* writerType;
  const char* card;     // what `sim insert` puts into the writer; {dir} is the test's folder
  const char* faults;   // armed on both writers besides the drop
  const char* command;  // {dir} as above
  const char* dropAt;   // the writer goes silent three bytes into this command ...
  int occurrence;       // ... counting the comments of that name in the trace
  const char* message;
  bool givesUp;  // the command waits long enough for the writer to be given up
};

void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.name; }

class SilentWriterCli : public Cli, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentWriterCli, Command_writerGoesSilent_failsWithItsMessageAfterFewDeadCommands) {
  const SilentCase& c = GetParam();
  const std::string dir = dir_.string();
  support::writeFile(dir_ / "cart.gb", support::makeGbImage({"SAVES", 0x1B, 2, 3, false}));
  support::writeFile(dir_ / "game.gb", support::makeGbImage({"GAME", 0x19, 0, 0, false}));
  Bytes save(0x8000);
  for (std::size_t i = 0; i < save.size(); ++i) save[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
  support::writeFile(dir_ / "save.sav", save);
  support::writeFile(dir_ / "game.ws", Bytes(0x80000, 0x3C));

  // A twin of the writer, healthy, shows where the chosen command lies in the traffic.
  const std::string twin = (dir_ / "twin").string();
  // The commands counted are the operation's own: no copy of the save memory before them.
  const std::string options = std::string(" --no-backup --writer ") + c.writerType + " --trace ";
  // The writer's clock counts port accesses as a real port takes them: 30 s of silence in a
  // wait for the writer pass in a moment.
  const std::string faults = std::string(c.faults) + " access-us=1";
  for (const std::string& folder : {twin, writer()}) {
    ASSERT_EQ(run("sim insert " + quote(folder) + " " + withDir(c.card, dir)).status, 0);
  }
  ASSERT_EQ(run("sim fault " + quote(twin) + " " + faults).status, 0);
  const RunResult healthy =
      run("--port sim:" + quote(twin) + options + quote(dir + "/twin.txt") + " " + withDir(c.command, dir));
  ASSERT_EQ(healthy.status, 0) << healthy.err;
  const std::string healthyTrace = slurp(dir_ / "twin.txt");
  ASSERT_GE(occurrences(healthyTrace, std::string("# ") + c.dropAt + "\n"), static_cast<std::size_t>(c.occurrence));
  const std::size_t dropAfter = bytesBefore(healthyTrace, c.dropAt, c.occurrence) + 3;
  ASSERT_EQ(run("sim fault " + quote(writer()) + " " + faults + " drop-after=" + std::to_string(dropAfter)).status, 0);

  // The watchdog only keeps a broken link from holding the test for hours.
  const RunResult r = run(port() + options + quote(dir + "/trace.txt") + " " + withDir(c.command, dir), "timeout 900 ");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(std::string(c.message) + "\n"), std::string::npos) << r.err;
  const std::string trace = slurp(dir_ / "trace.txt");
  EXPECT_EQ(bytesBefore(trace), dropAfter) << "only the bytes that crossed are listed";
  const int dead = deadCommands(trace);
  if (c.givesUp) {
    EXPECT_GE(dead, 1);
    EXPECT_EQ(occurrences(trace, "# writer gone\n"), 1u);
    EXPECT_EQ(occurrences(r.err, "The writer stopped answering\n"), 1u) << r.err;
    EXPECT_LT(r.err.find(c.message + std::string("\n")), r.err.find("The writer stopped answering")) << "after it";
  } else {
    EXPECT_LT(dead, 8);
    EXPECT_EQ(occurrences(trace, "# writer gone\n"), 0u);
    EXPECT_EQ(occurrences(r.err, "The writer stopped answering"), 0u) << r.err;
  }
  EXPECT_EQ(sameLinkLineThrice(r.err), "") << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, SilentWriterCli,
    ::testing::Values(
        // A block erase polls the chip's status byte (ReadByte) or the writer's (QueryState3)
        // up to 18000 times; a BIOS erase polls after rounds of delay or on its own.
        SilentCase{"gbEraseBlockStatusByte", "gb", "gb-flash --bios-chip 'INTEL 28F010' --flash-chip 'INTEL 28F016SV'",
                   "busy-polls=20", "erase --size 16", "ReadByte", 30, "Earsing ROM Fail", true},
        SilentCase{"gbEraseBlockWriterStatus", "gb", "gb-flash --bios-chip 'INTEL 28F010' --flash-chip 'FUJI 28F016'",
                   "busy-polls=20", "erase --size 16", "QueryState3", 30, "Earsing ROM Fail", true},
        SilentCase{"gbEraseBiosRounds", "gb", "gb-flash --bios-chip 'INTEL 28F010' --flash-chip 'INTEL 28F016SA'",
                   "busy-polls=20", "erase --size 16", "QueryState3", 3, "Earsing BIOS Fail", true},
        SilentCase{"gbEraseBiosWriterStatus", "gb", "gb-flash --bios-chip 'AMD 29F010' --flash-chip 'INTEL 28F016SA'",
                   "busy-polls=20", "erase --size 16", "QueryState3", 3, "Earsing BIOS Fail", true},
        // A menu piece is polled up to 500 times.
        SilentCase{"gbWriteMenuPiece", "gb", "gb-flash --bios-chip 'INTEL 28F010' --flash-chip 'INTEL 28F016SA'",
                   "busy-polls=20", "write {dir}/game.gb", "QueryState3", 60, "Updating BIOS Fail", true},
        SilentCase{"gbRead", "gb", "gb-cart {dir}/cart.gb --sav {dir}/save.sav", "", "read {dir}/out.gb", "ReadBlock",
                   5, "Reading Error", false},
        SilentCase{"gbBackupRam", "gb", "gb-cart {dir}/cart.gb --sav {dir}/save.sav", "", "backup-ram {dir}/out.sav",
                   "ReadBlock", 4, "Reading Fail", false},
        SilentCase{"gbRestoreRam", "gb", "gb-cart {dir}/cart.gb", "", "restore-ram {dir}/save.sav", "WriteBlock", 2,
                   "Uploading Fail", false},
        // WS erasing and writing wait for the writer by clocks, as long as a busy writer may be
        // silent: the erase gets there; the write stops at the block that went unanswered.
        SilentCase{"wsWrite", "ws", "ws-flash", "", "write {dir}/game.ws", "WriteBlock", 3, "Writing game.ws Fail",
                   false},
        SilentCase{"wsErase", "ws", "ws-flash", "", "erase", "SetMode", 3, "Earsing Flash ROM Fail", true},
        SilentCase{"wsRead", "ws", "ws-flash", "", "read {dir}/out.ws", "ReadBlock", 3, "Reading Error", false},
        SilentCase{"wsBackupRam", "ws", "ws-flash", "", "backup-ram {dir}/out.sav", "ReadBlock", 1, "Reading Error",
                   false},
        SilentCase{"wsRestoreRam", "ws", "ws-flash", "", "restore-ram {dir}/save.sav", "WriteBlock", 1,
                   "Uploading Fail", false}),
    [](const auto& param) { return std::string(param.param.name); });

// The byte counts at which the commands of a trace begin, and last the count of all.
std::vector<std::size_t> commandStarts(const std::string& trace) {
  std::istringstream in(trace);
  std::vector<std::size_t> starts;
  std::size_t bytes = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("> ", 0) == 0 || line.rfind("< ", 0) == 0) bytes += line.size() / 3;
    if (line.rfind("# ", 0) == 0 && line.size() > 2 && std::isupper(static_cast<unsigned char>(line[2])))
      starts.push_back(bytes);
  }
  starts.push_back(bytes);
  return starts;
}

class LostInProbe : public Cli {};

// A port that fails in the probe a command runs first (as each command of the probe begins,
// and three bytes into it) is a writer lost, whatever the damaged answers seemed to say:
// "Linking Fail", exit 1, nothing on standard output, no file.
TEST_F(LostInProbe, PortFailsInEachCommandOfTheProbe_linkingFailAndNoFile) {
  support::writeFile(dir_ / "cart.gb", support::makeGbImage({"SAVES", 0x1B, 2, 3, false}));
  const std::string out = " " + quote((dir_ / "out.bin").string()), cart = quote((dir_ / "cart.gb").string());
  const struct {
    const char* writerType;
    std::string card;
    bool filled;  // written with cart.gb first
  } cards[] = {{"gb", "gb-cart " + cart, false}, {"gb", "gb-flash", true}, {"ws", "ws-flash", false}};
  for (const auto& c : cards) {
    const std::string options = std::string(" --no-backup --writer ") + c.writerType + " ";
    ASSERT_EQ(run("sim insert " + quote(writer()) + " " + c.card).status, 0);
    ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear").status, 0);
    ASSERT_EQ(run(port() + options + (c.filled ? "write " + cart : std::string("info"))).status, 0);
    ASSERT_EQ(run(port() + options + "--trace " + quote((dir_ / "probe.txt").string()) + " info").status, 0);
    std::vector<std::string> commands{"info"};
    const std::string image = c.filled ? "--image 1" : "";
    if (std::string(c.writerType) == "gb")
      commands.insert(commands.end(), {"read " + image + out, "backup-ram " + image + out});
    const std::vector<std::size_t> starts = commandStarts(slurp(dir_ / "probe.txt"));
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
      for (const std::size_t at : {starts[i], std::min(starts[i] + 3, starts.back() - 1)}) {
        for (const std::string& command : commands) {
          SCOPED_TRACE(c.card + ": " + command + " with port-fail-at=" + std::to_string(at));
          ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear port-fail-at=" + std::to_string(at)).status, 0);
          const RunResult r = run(port() + options + command);
          EXPECT_EQ(r.status, 1) << r.err;
          EXPECT_NE(r.err.find("Linking Fail\n"), std::string::npos) << r.err;
          EXPECT_EQ(r.out, "");
          EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillon::test
