// SPDX-License-Identifier: GPL-3.0-or-later
// The file that read, backup-ram and patch write, end to end against simulated writers: a
// target that cannot be used ends the command before the card is read and stays as it was;
// a FIFO or a device is written directly, a link's file is replaced and the link kept; a new
// file gets the user's umask, a replaced one keeps its mode.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

using support::Bytes;

enum class Target { Folder, ReadOnly };

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
    return run("--port sim:" + quote(writerOf(type)) + " --writer " + type + " --trace " + quote(dir_ / "trace.txt") +
                   " " + what,
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
      if (target == Target::Folder) fs::create_directory(out);
      support::writeFile(target == Target::Folder ? out / "inside" : out, before);
      if (target == Target::ReadOnly) fs::permissions(out, fs::perms(0444));

      const RunResult r = command(type, what + " " + quote(out), as);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find(message + "\n"), std::string::npos) << r.err;
      EXPECT_EQ(fs::is_directory(out), target == Target::Folder);
      EXPECT_TRUE(support::readFile(target == Target::Folder ? out / "inside" : out) == before);
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

TEST_F(OutputCli, ReadAndBackup_TargetIsAFolder_CannotOpenBeforeTheCardIsRead) {
  ExpectRefusedBeforeReading(Target::Folder, "");
}

// Targets that are not a plain file in a plain place: what each command writes reaches the
// right place, and nothing but a regular file is ever replaced.
enum class Special { Fifo, DevNull, LinkToFile, LinkToNothing, LongName };

struct SpecialCase {
  const char* name;
  Special target;
  std::string command;  // "gb read", "ws backup-ram" or "patch"
};

class SpecialTarget : public OutputCli, public ::testing::WithParamInterface<SpecialCase> {};

// Everything a FIFO's writer sends, read on a thread of its own; a writer that never came is
// let go by opening the FIFO for writing once ourselves.
class FifoReader {
 public:
  explicit FifoReader(fs::path fifo) : fifo_(std::move(fifo)), thread_([this] { Read(); }) {}
  Bytes Finish() {
    const int fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    thread_.join();
    return bytes_;
  }

 private:
  void Read() {
    const int fd = ::open(fifo_.c_str(), O_RDONLY);
    if (fd < 0) return;
    std::uint8_t buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) bytes_.insert(bytes_.end(), buffer, buffer + got);
    ::close(fd);
  }
  fs::path fifo_;
  Bytes bytes_;
  std::thread thread_;
};

TEST_P(SpecialTarget, Output_writtenThroughOrRefused_nothingElseReplaced) {
  const SpecialCase& c = GetParam();
  const Bytes image = support::readFile(dir_ / "cart.gb");
  Bytes expected = c.command == "gb read" ? image : support::readFile(fs::path(writerOf("ws")) / "ws-sram.bin");
  std::string what = c.command;
  if (c.command == "patch") {
    // PATCH: one record of three bytes at offset 0x10.
    support::writeFile(dir_ / "p.ips", Bytes{'P', 'A', 'T', 'C', 'H', 0, 0, 0x10, 0, 3, 7, 8, 9, 'E', 'O', 'F'});
    expected = image;
    std::copy_n(Bytes{7, 8, 9}.begin(), 3, expected.begin() + 0x10);
  }
  fs::path out = dir_ / "out.bin";
  const fs::path file = dir_ / "file.bin";
  std::optional<FifoReader> reader;
  switch (c.target) {
    case Special::Fifo:
      ASSERT_EQ(::mkfifo(out.c_str(), 0644), 0);
      reader.emplace(out);
      break;
    case Special::DevNull:
      out = "/dev/null";
      break;
    case Special::LinkToFile:
      support::writeFile(file, Bytes(10, 1));
      fs::create_symlink(file, out);
      break;
    case Special::LinkToNothing:
      fs::create_symlink(dir_ / "nowhere" / "x.bin", out);
      break;
    case Special::LongName:
      out = dir_ / (std::string(250, 'n') + ".bin");
      break;
  }
  const std::string type = c.command.substr(0, 2);
  const RunResult r = c.command == "patch"
                          ? run("patch " + quote(dir_ / "cart.gb") + " " + quote(dir_ / "p.ips") + " " + quote(out))
                          : command(type, c.command.substr(3) + " " + quote(out));
  const Bytes piped = reader ? reader->Finish() : Bytes{};
  if (c.target == Special::LinkToNothing) {
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::is_symlink(out)) << "the link stays";
    EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
  } else {
    ASSERT_EQ(r.status, 0) << r.err;
  }
  switch (c.target) {
    case Special::Fifo:
      EXPECT_TRUE(fs::is_fifo(out));
      EXPECT_TRUE(piped == expected);
      break;
    case Special::DevNull:
      EXPECT_TRUE(fs::is_character_file("/dev/null"));
      break;
    case Special::LinkToFile:
      EXPECT_TRUE(fs::is_symlink(out)) << "the link stays";
      EXPECT_TRUE(support::readFile(file) == expected) << "the file it names is replaced";
      break;
    case Special::LinkToNothing:
      break;
    case Special::LongName:
      EXPECT_TRUE(support::readFile(out) == expected);
      break;
  }
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find(".quillon-"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Targets, SpecialTarget,
                         ::testing::Values(SpecialCase{"gbReadFifo", Special::Fifo, "gb read"},
                                           SpecialCase{"wsBackupFifo", Special::Fifo, "ws backup-ram"},
                                           SpecialCase{"patchFifo", Special::Fifo, "patch"},
                                           SpecialCase{"gbReadDevNull", Special::DevNull, "gb read"},
                                           SpecialCase{"patchDevNull", Special::DevNull, "patch"},
                                           SpecialCase{"wsBackupLink", Special::LinkToFile, "ws backup-ram"},
                                           SpecialCase{"patchLink", Special::LinkToFile, "patch"},
                                           SpecialCase{"gbReadLinkToNothing", Special::LinkToNothing, "gb read"},
                                           SpecialCase{"gbReadLongName", Special::LongName, "gb read"},
                                           SpecialCase{"patchLongName", Special::LongName, "patch"}),
                         [](const auto& param) { return std::string(param.param.name); });

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
