// The file that read and backup-ram write, end to end against simulated writers: a target
// that cannot be used ends the command before the card is read and stays as it was; a new
// file gets the user's umask, a replaced one keeps its mode.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

using support::Bytes;

enum class Target { Folder, Fifo, ReadOnly };

class OutputCli : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    const auto rom = dir_ / "cart.gb", sav = dir_ / "cart.sav";
    support::writeFile(rom, support::makeGbImage({"SAVER", 0x13, 0, 2, false}));
    support::writeFile(sav, Bytes(0x8000, 0x5C));
    ASSERT_EQ(run("sim insert " + quote(writerOf("gb")) + " gb-cart " + quote(rom) + " --sav " + quote(sav)).status, 0);
    ASSERT_EQ(run("sim insert " + quote(writerOf("ws")) + " ws-flash").status, 0);
    // A run as nobody must still use the writers and make files here.
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
      fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(dir_, fs::perms::all);
  }
  std::string writerOf(const std::string& type) const { return (dir_ / (type + "-writer")).string(); }
  std::string trace() const { return (dir_ / "trace.txt").string(); }
  RunResult command(const std::string& type, const std::string& what, const std::string& as = "") {
    fs::remove(trace());
    return run("--port sim:" + quote(writerOf(type)) + " --writer " + type + " --trace " + quote(trace()) + " " + what,
               as);
  }

  // read and backup-ram of both writer types into a target that cannot be used: the message
  // at once, exit 1, the target as it was, and nothing read from the card after the probe.
  void ExpectRefusedBeforeReading(Target target, const std::string& as) {
    struct Case {
      const char* type;
      const char* command;
      std::string message;  // "{out}": the target's path
    };
    const Case cases[] = {
        {"gb", "read", "Opening File Error"},
        {"gb", "backup-ram", "Opening File Error"},
        {"ws", "read", "Open {out} Error"},
        {"ws", "backup-ram", "Open File {out} Error"},
    };
    const Bytes before(100, 0xA7);
    // The GB commands probe the card first, as the main window does: the header is read.
    const RunResult info = command("gb", "info");
    ASSERT_EQ(info.status, 0) << info.err;
    const auto probe = traceCommands(slurp(trace()));
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.type) + " " + c.command);
      const auto out = dir_ / "out.bin";
      fs::remove_all(out);
      switch (target) {
        case Target::Folder:
          fs::create_directory(out);
          support::writeFile(out / "inside", before);
          break;
        case Target::Fifo:
          ASSERT_EQ(::mkfifo(out.c_str(), 0644), 0);
          break;
        case Target::ReadOnly:
          support::writeFile(out, before);
          fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
          break;
      }
      const RunResult r = command(c.type, std::string(c.command) + " " + quote(out.string()), as);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      std::string message = c.message;
      if (const auto at = message.find("{out}"); at != std::string::npos) message.replace(at, 5, out.string());
      EXPECT_NE(r.err.find(message + "\n"), std::string::npos) << r.err;

      switch (target) {
        case Target::Folder:
          EXPECT_TRUE(fs::is_directory(out));
          EXPECT_TRUE(support::readFile(out / "inside") == before);
          break;
        case Target::Fifo:
          EXPECT_TRUE(fs::is_fifo(out));
          break;
        case Target::ReadOnly:
          EXPECT_TRUE(fs::is_regular_file(out));
          EXPECT_TRUE(support::readFile(out) == before);
          EXPECT_EQ(fs::status(out).permissions() & fs::perms::mask, fs::perms(0444));
          break;
      }
      for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".quillon-"), std::string::npos) << entry.path();
      const auto sent = traceCommands(slurp(trace()));
      const auto& expectedStart = std::string(c.type) == "gb" ? probe : std::vector<std::string>{};
      ASSERT_GE(sent.size(), expectedStart.size());
      EXPECT_TRUE(std::equal(expectedStart.begin(), expectedStart.end(), sent.begin()));
      EXPECT_EQ(std::count(sent.begin() + static_cast<long>(expectedStart.size()), sent.end(), "ReadBlock"), 0);
    }
  }
};

TEST_F(OutputCli, ReadAndBackup_TargetIsAFolderOrAFifo_CannotOpenBeforeTheCardIsRead) {
  ExpectRefusedBeforeReading(Target::Folder, "");
  ExpectRefusedBeforeReading(Target::Fifo, "");
}

TEST_F(OutputCli, ReadAndBackup_TargetIsAReadOnlyFile_CannotOpenBeforeTheCardIsRead) {
  const auto as = unprivileged();
  if (!as) GTEST_SKIP() << "file permissions do not stop the superuser";
  ExpectRefusedBeforeReading(Target::ReadOnly, *as);
}

TEST_F(OutputCli, Backup_NewFileTakesTheUmask_ReplacedFileKeepsItsMode) {
  struct Case {
    ::mode_t umask;
    int existing;  // mode of the file there before; -1: none
    int mode;
  };
  const Case cases[] = {{027, -1, 0640}, {002, -1, 0664}, {022, 0600, 0600}, {077, 0664, 0664}};
  const Bytes save = support::readFile(fs::path(writerOf("ws")) / "ws-sram.bin");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const auto out = dir_ / "out.sav";
    fs::remove(out);
    if (c.existing >= 0) {
      support::writeFile(out, Bytes(10, 1));
      fs::permissions(out, fs::perms(c.existing));
    }
    const ::mode_t before = ::umask(c.umask);
    const RunResult r = command("ws", "backup-ram " + quote(out.string()));
    ::umask(before);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(support::readFile(out) == save);
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::mask, fs::perms(c.mode));
  }
}

}  // namespace
}  // namespace quillon::test
