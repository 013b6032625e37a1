// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli when it is stopped, when its output goes nowhere, and when its files are not
// what they should be: signals at a chosen command (the simulated writer's sig...-after
// faults), a closed progress pipe, inputs that are not regular files, a trace file that is
// one of the command's own files, a trace or OUT that leads to the writer's or the copies'
// files, a folder that cannot be listed, names that would break a progress line.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "cli_run.h"
#include "gb_images.h"

extern char** environ;

namespace quillon::test {
namespace {

using support::Bytes;

class StopCli : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    support::writeFile(dir_ / "cart.gb", support::makeGbImage({"CART", 0x1B, 2, 3, false}));
    support::writeFile(dir_ / "game.gb", support::makeGbImage({"GAME", 0x19, 1, 0, false}));
    support::writeFile(dir_ / "save.sav", Bytes(0x8000, 0x5C));
    support::writeFile(dir_ / "game.ws", Bytes(0x80000, 0x3A));
  }
  // The command with "{dir}" replaced by the test folder.
  std::string inDir(std::string command) const {
    for (std::size_t at; (at = command.find("{dir}")) != std::string::npos;) command.replace(at, 5, dir_.string());
    return command;
  }
  void insert(const std::string& what) { ASSERT_EQ(run("sim insert " + quote(writer()) + " " + what).status, 0); }
  void arm(const std::string& fault) { ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear " + fault).status, 0); }
  std::string traced() const { return " --trace " + quote(dir_ / "trace.txt"); }
  // The commands the trace lists (its "# Name" lines, not its remarks).
  std::size_t commandsSent() const {
    const auto names = traceCommands(slurp(dir_ / "trace.txt"));
    return static_cast<std::size_t>(std::count_if(
        names.begin(), names.end(), [](const std::string& n) { return !n.empty() && std::isupper(n[0]); }));
  }
  bool temporaryLeft() const {
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().filename().string().rfind(".quillon-", 0) == 0) return true;
    return false;
  }
};

// --- stop requests --------------------------------------------------------------------------

struct SignalCase {
  const char* name;
  const char* fault;  // armed with the command number below
  int after;          // the signal comes after the writer's command of this number
  const char* card;   // what `sim insert` puts in
  const char* command;
  int status;
  int closing = 0;  // commands after the signal that switch off what the command switched on
};

class Stopping : public StopCli, public ::testing::WithParamInterface<SignalCase> {};

// A stop request ends the command after the packet under way: nothing more is sent but the
// closing commands (a cartridge's save memory disabled), the file it was writing is not left
// behind (neither the temporary nor OUT), the card keeps what it had; the exit status is
// 128 + the signal.
TEST_P(Stopping, SignalAtCommandN_nothingSentAfterItAndNoFileLeft) {
  const SignalCase& c = GetParam();
  insert(std::string(c.card) + (std::string(c.card) == "gb-cart" ? " " + quote(dir_ / "cart.gb") : ""));
  arm(std::string(c.fault) + "=" + std::to_string(c.after));
  const auto out = dir_ / "out.bin";
  const RunResult r = run(port() + traced() + " " + c.command + " " + quote(out));
  EXPECT_EQ(r.status, c.status) << r.out << r.err;
  EXPECT_NE(r.err.find("interrupted: Stopped\n"), std::string::npos) << r.err;
  EXPECT_EQ(commandsSent(), static_cast<std::size_t>(c.after + c.closing))
      << "the command under way, and nothing after it but closing commands";
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(temporaryLeft());
}

INSTANTIATE_TEST_SUITE_P(Signals, Stopping,
                         ::testing::Values(
                             // A cartridge read sends its probe (eight commands) and then reads bank by bank.
                             SignalCase{"readSigint", "sigint-after", 20, "gb-cart", "read", 130},
                             SignalCase{"readSigintInTheProbe", "sigint-after", 3, "gb-cart", "read", 130},
                             SignalCase{"readSigterm", "sigterm-after", 20, "gb-cart", "read", 143},
                             SignalCase{"readSighup", "sighup-after", 20, "gb-cart", "read", 129},
                             SignalCase{"backupSigterm", "sigterm-after", 10, "gb-cart", "backup-ram", 143, 1},
                             SignalCase{"wsReadSigterm", "sigterm-after", 12, "ws-flash", "--writer ws read", 143}),
                         [](const auto& param) { return std::string(param.param.name); });

// A stop request that comes after the result does not take it back: exit 0, the result
// printed, the file there.
TEST_F(StopCli, SignalAfterTheResult_exitZeroWithTheResult) {
  insert("gb-cart " + quote(dir_ / "cart.gb"));
  for (const char* fault : {"sigint-after", "sigterm-after", "sighup-after"}) {
    SCOPED_TRACE(fault);
    arm(std::string(fault) + "=100000");  // more than the command sends: when it lets the writer go
    const auto out = dir_ / "out.gb";
    fs::remove(out);
    const RunResult r = run(port() + " read " + quote(out));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Downloading Success\n");
    EXPECT_TRUE(support::readFile(out) == support::readFile(dir_ / "cart.gb"));
  }
}

// A reader of the progress output that went away ends that output, not the operation: the
// card is written and the exit status says so.
TEST_F(StopCli, ProgressPipeClosed_operationFinishes) {
  insert("gb-flash");
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ::close(pipeEnds[0]);  // nobody will read the progress
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  // Through env: the journal goes into the test's folder.
  const std::string env = "/usr/bin/env", state = "XDG_STATE_HOME=" + (dir_ / "state").string(), cli = QUILLON_CLI,
                    portArg = "--port", portSpec = "sim:" + writer(), write = "write",
                    image = (dir_ / "game.gb").string();
  char* argv[] = {const_cast<char*>(env.c_str()),      const_cast<char*>(state.c_str()),
                  const_cast<char*>(cli.c_str()),      const_cast<char*>(portArg.c_str()),
                  const_cast<char*>(portSpec.c_str()), const_cast<char*>(write.c_str()),
                  const_cast<char*>(image.c_str()),    nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, env.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  int raw = 0;
  ASSERT_EQ(::waitpid(child, &raw, 0), child);
  ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  EXPECT_EQ(slurp(dir_ / "stdout"), "Writing Success\n");
  const Bytes flash = support::readFile(fs::path(writer()) / "gb-flash.bin");
  const Bytes written = support::readFile(dir_ / "game.gb");
  EXPECT_TRUE(std::equal(written.begin(), written.end(), flash.begin()));
}

// --- inputs -------------------------------------------------------------------------------

struct InputCase {
  const char* name;
  const char* card;
  std::string command;  // "{in}" stands for the input
  std::string says;     // a piece of what standard error says
};

class OddInput : public StopCli, public ::testing::WithParamInterface<InputCase> {};

// An input that is a FIFO or a folder is refused at once, named, never waited on; nothing
// reaches the card.
TEST_P(OddInput, FifoOrFolder_refusedWithItsName_nothingWritten) {
  const InputCase& c = GetParam();
  insert(c.card);
  for (const bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "FIFO" : "folder");
    const auto in = dir_ / (fifo ? "in.fifo" : "in.dir");
    if (fifo) {
      ASSERT_EQ(::mkfifo(in.c_str(), 0644), 0);
    } else {
      fs::create_directory(in);
    }
    std::string command = inDir(c.command);
    command.replace(command.find("{in}"), 4, quote(in));
    fs::remove(dir_ / "trace.txt");
    // `timeout` only keeps a command that waits on the FIFO from hanging the test.
    const RunResult r = run(port() + traced() + " " + command, "timeout 60 ");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(in.filename().string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(fifo ? "FIFO" : c.says), std::string::npos) << r.err;
    EXPECT_EQ(traceCommands(slurp(dir_ / "trace.txt")), std::vector<std::string>{}) << "refused before the port";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, OddInput,
    ::testing::Values(InputCase{"gbImage", "gb-flash", "write {in}", "not added to the card"},
                      InputCase{"wsImage", "ws-flash", "--writer ws write {in}", "not added to the card"},
                      InputCase{"wsPatch", "ws-flash", "--writer ws write --patch {in} {dir}/game.ws", "Opening"},
                      InputCase{"gbRestore", "gb-flash", "restore-ram --image 1 {in}", "folder"},
                      InputCase{"wsRestore", "ws-flash", "--writer ws restore-ram {in}", "folder"},
                      InputCase{"patchImage", "none", "patch {in} {dir}/p.ips {dir}/out.gb", "folder"}),
    [](const auto& param) { return std::string(param.param.name); });

// --- the trace file -----------------------------------------------------------------------

struct TraceCase {
  const char* name;
  const char* card;
  std::string command;  // "{t}" stands for the trace file, which is also a file of the command
  std::string file;     // the file that must stay as it was, relative to the test folder
  bool exists = true;   // there before the command
};

class TraceFile : public StopCli, public ::testing::WithParamInterface<TraceCase> {};

// The trace never overwrites a file the command reads or writes, a menu image or the
// simulated writer's memory: the command stops before anything is sent.
TEST_P(TraceFile, NamesAFileOfTheCommand_refusedBeforeAnythingIsSent) {
  const TraceCase& c = GetParam();
  insert(c.card);
  fs::create_directories(dir_ / "menus");
  support::writeFile(dir_ / "menus" / "cgbbios.bin", support::makeMenuImage(0x4000));
  const fs::path kept = c.file.rfind("writer/", 0) == 0 ? fs::path(writer()) / c.file.substr(7) : dir_ / c.file;
  if (c.exists && !fs::exists(kept)) support::writeFile(kept, Bytes(100, 0x42));
  const Bytes before = c.exists ? support::readFile(kept) : Bytes{};
  const Bytes flash = support::readFile(fs::path(writer()) / "gb-flash.bin");
  std::string command = inDir(c.command);
  for (std::size_t at; (at = command.find("{t}")) != std::string::npos;) command.replace(at, 3, quote(kept));
  const RunResult r = run(port() + " --menu-dir " + quote(dir_ / "menus") + " --trace " + quote(kept) + " " + command);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("the trace file"), std::string::npos) << r.err;
  EXPECT_EQ(fs::exists(kept), c.exists);
  if (c.exists) {
    EXPECT_TRUE(support::readFile(kept) == before);
  }
  EXPECT_TRUE(support::readFile(fs::path(writer()) / "gb-flash.bin") == flash);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TraceFile,
    ::testing::Values(TraceCase{"writtenImage", "gb-flash", "write {t}", "game.gb"},
                      TraceCase{"readTarget", "gb-flash", "read --image 1 {t}", "out.gb"},
                      TraceCase{"newReadTarget", "gb-flash", "read --image 1 {t}", "new.gb", false},
                      TraceCase{"restoredSave", "gb-flash", "restore-ram --image 1 {t}", "save.sav"},
                      TraceCase{"menuImage", "gb-flash", "write {dir}/game.gb", "menus/cgbbios.bin"},
                      TraceCase{"writerMemory", "gb-flash", "info", "writer/gb-flash.bin"}),
    [](const auto& param) { return std::string(param.param.name); });

struct OwnFileCase {
  const char* name;
  const char* target;   // "copy" (a copy of save memory) or a file of the writer's folder
  char via;             // 's', 'h' a symbolic or hard link, 'b' a bind mount, '.' a path through "..", 0 none
  const char* command;  // {p}: the path; a command without it finds the path in QUILLON_TRACE
};

class OwnFiles : public StopCli, public ::testing::WithParamInterface<OwnFileCase> {};

// Neither the trace nor OUT replaces the writer's memories or a copy of save memory, by any name.
TEST_P(OwnFiles, RefusedBeforeThePortOpens_filesUnchanged) {
  const OwnFileCase& c = GetParam();
  insert("gb-flash");
  ASSERT_EQ(run("--no-backup " + port() + " write " + quote(dir_ / "game.gb")).status, 0);
  const fs::path copy = backups() / "20260101-120000_gb_GAME.sav",
                 file = c.target[0] == 'c' ? copy : writer() / fs::path(c.target);
  fs::create_directories(backups());
  support::writeFile(copy, Bytes(0x2000, 0x5C));
  const auto contents = [this] {
    std::map<fs::path, std::string> all;
    for (const fs::path& folder : {fs::path(writer()), backups()})
      for (const auto& entry : fs::directory_iterator(folder)) all[entry.path()] = slurp(entry.path());
    return all;
  };
  const auto before = contents();
  fs::path path = c.via == '.' ? backups() / "../../.." / fs::relative(file, dir_) : c.via ? dir_ / "name" : file;
  if (c.via == 's') fs::create_symlink(file, path);
  if (c.via == 'h') fs::create_hard_link(file, path);
  if (c.via == 'b') path = dir_ / "m" / file.filename();
  const std::string bind =
      c.via != 'b' ? ""
                   : "unshare -m sh -c 'mkdir -p \"$1\" && mount --bind \"$0\" \"$1\" && shift && exec \"$@\"' " +
                         quote(file.parent_path()) + " " + quote(dir_ / "m") + " ";
  if (c.via == 'b' && std::system((bind + "true").c_str()) != 0) GTEST_SKIP() << "no bind mount (needs root, unshare)";
  support::writeFile(dir_ / "p", Bytes{'P', 'A', 'T', 'C', 'H', 'E', 'O', 'F'});  // patched with itself: 8 bytes
  const auto at = inDir(c.command).find("{p}");
  const bool inCommand = at != std::string::npos;
  const RunResult r = run(port() + " " + (inCommand ? inDir(c.command).replace(at, 3, quote(path)) : c.command),
                          inCommand ? bind : "QUILLON_TRACE=" + quote(path) + " ");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(path.string()), std::string::npos) << "names the file: " << r.err;
  EXPECT_NE(r.err.find(c.target[0] == 'c' ? backups().string() : writer()), std::string::npos) << "and why: " << r.err;
  EXPECT_TRUE(contents() == before) << "a file of the writer or a copy changed";
}

INSTANTIATE_TEST_SUITE_P(Names, OwnFiles,
                         ::testing::Values(OwnFileCase{"traceLinkToCard", "gb-flash.bin", 's', "--trace {p} info"},
                                           OwnFileCase{"traceHardLinkToSave", "gb-sram.bin", 'h', "--trace {p} info"},
                                           OwnFileCase{"traceDotDotToIni", "writer.ini", '.', "--trace {p} info"},
                                           OwnFileCase{"environmentTraceCopy", "copy", 0, "info"},
                                           OwnFileCase{"readOverCard", "gb-flash.bin", 0, "read --image 1 {p}"},
                                           OwnFileCase{"backupLinkToCopy", "copy", 's', "backup-ram --image 1 {p}"},
                                           OwnFileCase{"readBindMountSave", "gb-sram.bin", 'b', "read --image 1 {p}"},
                                           OwnFileCase{"backupBindNew", "new.sav", 'b', "backup-ram --image 1 {p}"},
                                           OwnFileCase{"traceBindMountCopy", "copy", 'b', "--trace {p} info"},
                                           OwnFileCase{"patchSave", "gb-sram.bin", 0, "patch {dir}/p {dir}/p {p}"},
                                           OwnFileCase{"patchCopy", "copy", 0, "patch {dir}/p {dir}/p {p}"}),
                         [](const auto& param) { return std::string(param.param.name); });

// ulimit -f (512-byte blocks in dash, 1 KiB in bash) fails a file as a full disk does, leaving no temporary file.
struct LimitCase {
  const char *name, *command, *said, *blocks;  // {dir}: the test folder; a write to a flash card, the rest a cartridge
};
class SizeLimit : public StopCli, public ::testing::WithParamInterface<LimitCase> {};
TEST_P(SizeLimit, FailsAsOnAFullDisk_noFileLeft) {
  const LimitCase& c = GetParam();
  const bool write = std::string(c.command).find(" write ") != std::string::npos;
  insert(write ? "gb-flash" : "gb-cart " + quote(dir_ / "cart.gb"));
  const std::string memory = writer() + (write ? "/gb-flash.bin" : "/gb-cart.sav"), before = slurp(memory);
  const auto r =
      run(port() + " " + inDir(c.command), "sh -c 'ulimit -f " + std::string(c.blocks) + "; exec \"$@\"' sh ");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(inDir(c.said)), std::string::npos) << r.err;
  EXPECT_EQ(slurp(memory) == before, !write);
  EXPECT_EQ(slurp(journal()).find("\twrite\t") != std::string::npos, write) << "an unfinished write is remembered";
  for (const auto& entry : fs::recursive_directory_iterator(dir_))
    EXPECT_NE(entry.path().filename().string().rfind(".quillon-", 0), 0u) << entry.path();
}
INSTANTIATE_TEST_SUITE_P(Files, SizeLimit,
                         ::testing::Values(LimitCase{"readOut", "read {dir}/o.gb", "Writing File Error", "24"},
                                           LimitCase{"traceInWrite", "--no-backup --trace {dir}/t write {dir}/game.gb",
                                                     "Writing File Error\n{dir}/t: File too large", "128"},
                                           LimitCase{"copyOfSave", "restore-ram {dir}/save.sav", "Backup Fail", "24"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(StopCli, TraceToStandardOutput_keepsWorking) {
  insert("gb-flash");
  const RunResult r = run(port() + " --trace /dev/stdout info");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("# CheckDevice\n> 00 00 D5 AA 96 01 80 00 01 00 01 00\n"), std::string::npos) << r.out;
}

// --- names and folders ----------------------------------------------------------------------

// A file name that holds a line end is shown escaped in the progress lines, as list shows
// it: one line per step whatever the name.
TEST_F(StopCli, NameWithLineEnd_progressLinesEscapeIt) {
  insert("gb-flash");
  support::writeFile(dir_ / "two\nlines.gb", support::readFile(dir_ / "game.gb"));
  const RunResult r = run(port() + " write " + quote(dir_ / "two\nlines.gb"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("File: two\\nlines.gb\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("\nlines.gb"), std::string::npos) << r.err;
}

// A folder that cannot be read is not an empty list: the reason, exit 1.
TEST_F(StopCli, ListOfAnUnreadableFolder_saysWhyExitOne) {
  const auto as = unprivileged();
  if (!as) GTEST_SKIP() << "file permissions do not stop the superuser";
  const auto folder = dir_ / "closed";
  fs::create_directory(folder);
  support::writeFile(folder / "game.gb", support::readFile(dir_ / "game.gb"));
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(folder, fs::perms(0300));  // may be entered, not listed
  const RunResult r = run("list " + quote(folder), *as);
  fs::permissions(folder, fs::perms::all);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("cannot be listed: Permission denied"), std::string::npos) << r.err;
}

// A save file of the wrong size: a short one sends nothing and says why; of a longer one the
// restore says what it left out, unless that is the clock block emulators append.
struct SaveSizeCase {
  const char* name;
  const char* writer;  // --writer
  std::size_t bytes;   // of the file; the save areas here hold 32768
  int status;
  const char* said;  // on standard error; empty: neither size line
};

class SaveFileSize : public StopCli, public ::testing::WithParamInterface<SaveSizeCase> {};

TEST_P(SaveFileSize, RestoreSaysWhatDoesNotFit) {
  const SaveSizeCase& c = GetParam();
  const bool ws = std::string(c.writer) == "ws";
  insert(ws ? "ws-flash" : "gb-cart " + quote(dir_ / "cart.gb"));
  const fs::path save = fs::path(writer()) / (ws ? "ws-sram.bin" : "gb-cart.sav");
  const std::string before = slurp(save);
  support::writeFile(dir_ / "in.sav", Bytes(c.bytes, 0x3E));
  const RunResult r =
      run("--no-backup --writer " + std::string(c.writer) + " " + port() + " restore-ram " + quote(dir_ / "in.sav"));
  EXPECT_EQ(r.status, c.status) << r.err;
  for (const char* line : {"this save area needs", "Only the first"}) {
    const bool said = std::string(c.said).find(line) != std::string::npos;
    EXPECT_EQ(r.err.find(said ? inDir(c.said) : line) != std::string::npos, said) << r.err;
  }
  EXPECT_EQ(slurp(save) == before, c.status != 0) << "a refused file changes nothing; a used one is written";
}

INSTANTIATE_TEST_SUITE_P(
    Restore, SaveFileSize,
    ::testing::Values(
        SaveSizeCase{"gbShort", "gb", 2048, 1, "{dir}/in.sav holds 2048 bytes; this save area needs 32768 bytes"},
        SaveSizeCase{"gbLonger", "gb", 65536, 0, "Only the first 32768 of 65536 bytes of {dir}/in.sav were used"},
        SaveSizeCase{"gbClockBlock", "gb", 32768 + 48, 0, ""},
        SaveSizeCase{"wsShort", "ws", 16384, 1, "{dir}/in.sav holds 16384 bytes; this save area needs 32768 bytes"},
        SaveSizeCase{"wsLonger", "ws", 32768 + 100, 0, "Only the first 32768 of 32868 bytes of {dir}/in.sav were used"},
        SaveSizeCase{"wsClockBlock", "ws", 32768 + 44, 0, ""}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
