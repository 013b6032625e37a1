// The file that read and backup-ram write, end to end against simulated writers: a target
// that cannot be used ends the command before the card is read and stays as it was; a new
// file gets the user's umask, a replaced one keeps its mode.
#include <sys/stat.h>

#include <algorithm>

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
    support::writeFile(dir_ / "cart.gb", support::makeGbImage({"SAVER", 0x13, 0, 2, false}));
    ASSERT_EQ(run("sim insert " + quote(writerOf("gb")) + " gb-cart " + quote(dir_ / "cart.gb")).status, 0);
    ASSERT_EQ(run("sim insert " + quote(writerOf("ws")) + " ws-flash").status, 0);
    // A run as nobody must still use the writers and make files here.
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
      fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(dir_, fs::perms::all);
  }
  void TearDown() override {
    for (const char* type : {"gb", "ws"})
      EXPECT_EQ(slurp(fs::path(writerOf(type)) / "unexpected.txt"), "") << "the " << type << " writer noted commands";
    Cli::TearDown();
  }
  std::string writerOf(const std::string& type) const { return (dir_ / (type + "-writer")).string(); }
  RunResult command(const std::string& type, const std::string& what, const std::string& as = "") {
    fs::remove(dir_ / "trace.txt");
    return run("--port sim:" + quote(writerOf(type)) + " --writer " + type + " --trace " +
                   quote(dir_ / "trace.txt") + " " + what,
               as);
  }
  std::vector<std::string> sent() const { return traceCommands(slurp(dir_ / "trace.txt")); }

  // read and backup-ram of both writer types: the message at once, exit 1, the target as it
  // was, and nothing read from the card after the probe that the GB commands make first.
  void ExpectRefusedBeforeReading(Target target, const std::string& as) {
    ASSERT_EQ(command("gb", "info").status, 0);
    const auto probe = sent();
    const auto out = dir_ / "out.bin";
    const Bytes before(100, 0xA7);
    for (const auto& [type, what, message] : {std::array<std::string, 3>{"gb", "read", "Opening File Error"},
                                              {"gb", "backup-ram", "Opening File Error"},
                                              {"ws", "read", "Open " + out.string() + " Error"},
                                              {"ws", "backup-ram", "Open File " + out.string() + " Error"}}) {
      SCOPED_TRACE(type + " " + what);
      fs::remove_all(out);
      if (target == Target::Fifo) {
        ASSERT_EQ(::mkfifo(out.c_str(), 0644), 0);
      } else {
        if (target == Target::Folder) fs::create_directory(out);
        support::writeFile(target == Target::Folder ? out / "inside" : out, before);
        if (target == Target::ReadOnly) fs::permissions(out, fs::perms(0444));
      }

      const RunResult r = command(type, what + " " + quote(out), as);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find(message + "\n"), std::string::npos) << r.err;
      EXPECT_EQ(fs::is_directory(out), target == Target::Folder);
      EXPECT_EQ(fs::is_fifo(out), target == Target::Fifo);
      if (target != Target::Fifo) {
        EXPECT_TRUE(support::readFile(target == Target::Folder ? out / "inside" : out) == before);
      }
      if (target == Target::ReadOnly) {
        EXPECT_EQ(fs::status(out).permissions(), fs::perms(0444));
      }
      for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".quillon-"), std::string::npos) << entry.path();
      const auto names = sent();
      const auto start = type == "gb" ? probe : std::vector<std::string>{};
      ASSERT_GE(names.size(), start.size());
      EXPECT_TRUE(std::equal(start.begin(), start.end(), names.begin()));
      EXPECT_EQ(std::count(names.begin() + static_cast<long>(start.size()), names.end(), "ReadBlock"), 0);
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
  const Bytes save = support::readFile(fs::path(writerOf("ws")) / "ws-sram.bin");
  const auto out = dir_ / "out.sav";
  for (const Case& c : {Case{027, -1, 0640}, Case{002, -1, 0664}, Case{022, 0600, 0600}, Case{077, 0664, 0664}}) {
    SCOPED_TRACE(c.mode);
    fs::remove(out);
    if (c.existing >= 0) {
      support::writeFile(out, Bytes(10, 1));
      fs::permissions(out, fs::perms(c.existing));
    }
    const ::mode_t before = ::umask(c.umask);
    const RunResult r = command("ws", "backup-ram " + quote(out));
    ::umask(before);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(support::readFile(out) == save);
    EXPECT_EQ(fs::status(out).permissions(), fs::perms(c.mode));
  }
}

}  // namespace
}  // namespace quillon::test
