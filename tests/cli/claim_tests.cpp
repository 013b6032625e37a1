// SPDX-License-Identifier: GPL-3.0-or-later
// Two programs on one simulated writer: one operation owns the writer from its start to its
// end, as ppdev claims a real port, and the other waits for it or gives up naming the folder.
// The order is driven by the test, not by time: the first command writes its step lines into
// a pipe the test has filled, so it stops at its first line, in the middle of its operation
// and holding the writer, until the test reads the pipe.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "cli_run.h"
#include "gb_images.h"
#include "sim/sim.h"

extern char** environ;

namespace quillon::test {
namespace {

using support::Bytes;
using support::makeGbImage;

constexpr auto kWatchdog = std::chrono::seconds(120);  // only keeps a broken test from hanging

// Polls `ready` until it holds; false when the watchdog ran out first.
bool waitFor(const std::function<bool()>& ready) {
  const auto end = std::chrono::steady_clock::now() + kWatchdog;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Whether some process holds an exclusive flock on `path`, as a claim does (opening a port
// holds it shared for a moment). Linux lists every lock in /proc/locks.
bool claimHeld(const fs::path& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return false;
  const std::string inode = ":" + std::to_string(file.st_ino) + " ";
  std::istringstream locks(slurp("/proc/locks"));
  for (std::string line; std::getline(locks, line);) {
    if (line.find("FLOCK") != std::string::npos && line.find("WRITE") != std::string::npos &&
        line.find(inode) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// A pipe whose buffer the test has filled: a program that writes to it stops there until
// the test reads.
class FullPipe {
 public:
  FullPipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    read_ = fds[0];
    write_ = fds[1];
    ::fcntl(write_, F_SETFL, O_NONBLOCK);
    const char chunk[4096] = {};
    for (std::size_t size : {sizeof chunk, std::size_t{1}}) {
      for (ssize_t n; (n = ::write(write_, chunk, size)) > 0;) filled_ += static_cast<std::size_t>(n);
    }
    ::fcntl(write_, F_SETFL, 0);
  }
  ~FullPipe() {
    closeWriteEnd();
    if (read_ >= 0) ::close(read_);
  }
  FullPipe(const FullPipe&) = delete;
  FullPipe& operator=(const FullPipe&) = delete;

  int writeEnd() const { return write_; }
  void closeWriteEnd() {
    if (write_ >= 0) ::close(write_);
    write_ = -1;
  }
  // Reads until every writer has closed it; what was written after the filling.
  std::string drain() {
    std::string text;
    char buffer[4096];
    for (;;) {
      pollfd ready{read_, POLLIN, 0};
      if (::poll(&ready, 1, static_cast<int>(std::chrono::milliseconds(kWatchdog).count())) <= 0) break;
      const ssize_t n = ::read(read_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text.size() > filled_ ? text.substr(filled_) : std::string();
  }

 private:
  int read_ = -1;
  int write_ = -1;
  std::size_t filled_ = 0;
};

// quillon-cli running beside the test. Its standard output goes to `out`, its standard error
// to `errFd` or, when that is -1, to the file `err`. `simWait`: QUILLON_SIM_WAIT, or empty for
// the program's own wait.
class Started {
 public:
  Started(const std::vector<std::string>& args, const fs::path& out, const fs::path& err, int errFd,
          const std::string& simWait) {
    std::vector<std::string> words = {"/usr/bin/env", "-u", "QUILLON_PORT", "-u", "QUILLON_TRACE"};
    if (simWait.empty()) {
      words.insert(words.end(), {"-u", "QUILLON_SIM_WAIT"});
    } else {
      words.push_back("QUILLON_SIM_WAIT=" + simWait);
    }
    words.push_back("XDG_STATE_HOME=" + (out.parent_path() / "state").string());  // the journal: the test's own
    words.push_back(QUILLON_CLI);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errFd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    } else {
      posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Started() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);  // a test that failed half-way leaves nothing running
    ::waitpid(pid_, nullptr, 0);
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int number) {
    if (pid_ > 0) ::kill(pid_, number);
  }
  bool running() {
    if (pid_ <= 0 || status_) return false;
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) != pid_) return true;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    pid_ = -1;
    return false;
  }
  // The exit status, once it has ended.
  int wait() {
    if (pid_ > 0) {
      int raw = 0;
      ::waitpid(pid_, &raw, 0);
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      pid_ = -1;
    }
    return status_.value_or(-1);
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

constexpr const char* kWaitNotice = "is in use by another program; waiting for it";
constexpr const char* kRefusal = "is in use by another program: it was not free within";

class ClaimCli : public Cli {
 protected:
  fs::path file(const std::string& name) const { return dir_ / name; }
  fs::path memory(const char* name) const { return fs::path(writer()) / name; }
  std::string put(const std::string& name, const Bytes& bytes) {
    support::writeFile(file(name), bytes);
    return file(name).string();
  }
  void insert(const std::string& what) {
    const RunResult r = run("sim insert " + quote(writer()) + " " + what);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  // A fresh GB flash card, holding the image file `image` when it is not empty.
  void freshCard(const std::string& image) {
    insert("gb-flash");
    if (image.empty()) return;
    const RunResult w = run(port() + " write " + quote(image));
    ASSERT_EQ(w.status, 0) << w.err;
  }
  // The card's image `n`, read by a command of its own.
  Bytes readImage(int n) {
    const std::string out = file("back" + std::to_string(n) + ".gb").string();
    const RunResult r = run(port() + " read --image " + std::to_string(n) + " " + quote(out));
    EXPECT_EQ(r.status, 0) << r.err;
    return support::readFile(out);
  }
  std::vector<std::string> withPort(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--port", "sim:" + writer()});
    return args;
  }

  // Starts `args` and waits until it holds the writer, stopped at its first step line in
  // `pipe`. False (and a failure) when it ended first.
  bool startHolding(std::unique_ptr<Started>& first, FullPipe& pipe, const std::vector<std::string>& args) {
    first = std::make_unique<Started>(args, file("first.out"), fs::path(), pipe.writeEnd(), "");
    pipe.closeWriteEnd();
    if (!first->started()) {
      ADD_FAILURE() << "cannot start quillon-cli";
      return false;
    }
    const fs::path lock = memory(sim::kWriterLock);
    if (!waitFor([&] { return claimHeld(lock) || !first->running(); }) || !claimHeld(lock)) {
      const std::string err = pipe.drain();  // lets it go on to its end
      ADD_FAILURE() << "the first command did not hold the writer while it ran (exit " << first->wait() << "): " << err;
      return false;
    }
    return true;
  }
};

const Bytes& imageA() {
  static const Bytes image = makeGbImage({"ALPHA", 0x1B, 2, 1, false});  // 128 KiB, MBC5 + RAM
  return image;
}
const Bytes& imageB() {
  static const Bytes image = makeGbImage({"BRAVO", 0x19, 0, 0, false});  // 32 KiB
  return image;
}

bool blank(const Bytes& bytes) {
  return !bytes.empty() && std::all_of(bytes.begin(), bytes.end(), [](auto v) { return v == 0xFF; });
}

// ---------------------------------------------------------------------------------------
// The second program waits for the first; the card holds what finished last, never a mix.

// The words of a command with A, B, OUT and DIR put in for the files and the writer folder.
std::vector<std::string> expand(std::vector<std::string> words, const std::string& a, const std::string& b,
                                const std::string& out, const std::string& dir) {
  for (std::string& word : words) {
    if (word == "A") word = a;
    if (word == "B") word = b;
    if (word == "OUT") word = out;
    if (word == "DIR") word = dir;
  }
  return words;
}

TEST_F(ClaimCli, SecondWaitsForFirst_CardHoldsWhatFinishedLast) {
  // What the card holds after both.
  enum class Holds { OnlyB, Blank, OnlyAAndFault };
  struct Case {
    const char* name;
    bool cardHoldsA;
    std::vector<std::string> first, second;
    const char *firstOut, *secondOut;
    Holds holds;
  };
  const Case cases[] = {
      {"write then write",
       false,
       {"write", "A"},
       {"write", "B"},
       "Writing Success\n",
       "Writing Success\n",
       Holds::OnlyB},
      {"write then erase",
       false,
       {"write", "A"},
       {"erase", "--size", "32"},
       "Writing Success\n",
       "Earsing Success\n",
       Holds::Blank},
      {"erase then write",
       true,
       {"erase", "--size", "32"},
       {"write", "B"},
       "Earsing Success\n",
       "Writing Success\n",
       Holds::OnlyB},
      {"read then write",
       true,
       {"read", "--image", "1", "OUT"},
       {"write", "B"},
       "Downloading Success\n",
       "Writing Success\n",
       Holds::OnlyB},
      {"write then sim insert",
       false,
       {"write", "A"},
       {"sim", "insert", "DIR", "gb-flash"},
       "Writing Success\n",
       "",
       Holds::Blank},
      {"write then sim fault",
       false,
       {"write", "A"},
       {"sim", "fault", "DIR", "program-fail-bank=1"},
       "Writing Success\n",
       "",
       Holds::OnlyAAndFault},
  };
  const std::string a = put("alpha.gb", imageA());
  const std::string b = put("bravo.gb", imageB());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(freshCard(c.cardHoldsA ? a : ""));
    const std::string out = file("first-read.gb").string();
    fs::remove(out);
    const auto first = expand(withPort(c.first), a, b, out, writer());
    auto second = expand(c.second, a, b, out, writer());
    if (second.front() != "sim") second = expand(withPort(c.second), a, b, out, writer());

    FullPipe pipe;
    std::unique_ptr<Started> one;
    ASSERT_TRUE(startHolding(one, pipe, first));
    Started two(second, file("second.out"), file("second.err"), -1, "120000");
    ASSERT_TRUE(two.started());
    ASSERT_TRUE(
        waitFor([&] { return slurp(file("second.err")).find(kWaitNotice) != std::string::npos || !two.running(); }));
    ASSERT_NE(slurp(file("second.err")).find(kWaitNotice), std::string::npos)
        << "the second did not wait for the first: " << slurp(file("second.err"));
    const std::string firstErr = pipe.drain();  // the first goes on to its end

    EXPECT_EQ(one->wait(), 0) << firstErr;
    EXPECT_EQ(slurp(file("first.out")), c.firstOut) << firstErr;
    EXPECT_EQ(two.wait(), 0) << slurp(file("second.err"));
    EXPECT_EQ(slurp(file("second.out")), c.secondOut) << slurp(file("second.err"));
    if (c.first.front() == "read") {
      EXPECT_TRUE(support::readFile(out) == imageA()) << "the read is the card as it was before the write";
    }
    switch (c.holds) {
      case Holds::OnlyB:
        EXPECT_TRUE(readImage(1) == imageB());
        EXPECT_EQ(run(port() + " read --image 2 " + quote(file("none.gb").string())).status, 1)
            << "a second image is on the card";
        break;
      case Holds::Blank:
        EXPECT_TRUE(blank(support::readFile(memory("gb-flash.bin"))));
        break;
      case Holds::OnlyAAndFault:
        EXPECT_TRUE(readImage(1) == imageA());
        EXPECT_NE(run("sim show " + quote(writer())).out.find("Faults: program-fail-bank=1"), std::string::npos);
        ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear").status, 0);
        break;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Another program keeps the writer longer than a claim waits: the command gives up naming
// the folder, and nothing reaches the writer.

TEST_F(ClaimCli, WriterKeptLongerThanTheWait_FailsNamingFolder_NothingSent) {
  const std::string a = put("alpha.gb", imageA());
  ASSERT_NO_FATAL_FAILURE(freshCard(a));
  const std::string b = put("bravo.gb", imageB());
  const std::string trace = file("trace.txt").string();
  const std::string out = file("out.bin").string();
  const std::vector<std::string> commands = {
      port() + " --trace " + quote(trace) + " write " + quote(b),
      port() + " --trace " + quote(trace) + " erase --size 16",
      port() + " --trace " + quote(trace) + " read --image 1 " + quote(out),
      port() + " --trace " + quote(trace) + " backup-ram --image 1 " + quote(out),
      port() + " --trace " + quote(trace) + " restore-ram --image 1 " + quote(a),
      port() + " --trace " + quote(trace) + " info",
      "sim insert " + quote(writer()) + " ws-flash",
      "sim fault " + quote(writer()) + " absent",
      "sim fault " + quote(writer()) + " --clear",
  };
  const std::vector<std::string> files = {"gb-flash.bin", "gb-bios.bin", "gb-sram.bin", "writer.ini", "writer.lock"};
  std::vector<std::string> before;
  for (const auto& name : files) before.push_back(slurp(memory(name.c_str())));

  auto holder = sim::openSimPort(writer());
  const link::PortClaim held(holder.get());
  ASSERT_TRUE(held.held()) << held.why();
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    fs::remove(trace);
    const RunResult r = run(command, "QUILLON_SIM_WAIT=200 ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the simulated writer in " + writer() + " " + kRefusal + " 200 ms"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(traceCommands(slurp(trace)).empty()) << slurp(trace);
    EXPECT_FALSE(fs::exists(out));
    for (std::size_t i = 0; i < files.size(); ++i) {
      EXPECT_TRUE(slurp(memory(files[i].c_str())) == before[i]) << files[i] << " changed";
    }
  }
  // sim show only reads: it does not wait, and says why the card may be about to change.
  const RunResult show = run("sim show " + quote(writer()));
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("In use: another program is using the writer now\nInserted: GB flash card\n"),
            std::string::npos)
      << show.out;
}

// Without QUILLON_SIM_WAIT a command waits 10 s, says so once, and runs when the writer is
// free again.
TEST_F(ClaimCli, DefaultWait_SaysTenSeconds_RunsOnceTheHolderLetsGo) {
  insert("gb-flash");
  const std::string b = put("bravo.gb", imageB());
  auto holder = sim::openSimPort(writer());
  auto held = std::make_unique<link::PortClaim>(holder.get());
  ASSERT_TRUE(held->held()) << held->why();
  Started second(withPort({"write", b}), file("second.out"), file("second.err"), -1, "");
  ASSERT_TRUE(second.started());
  ASSERT_TRUE(
      waitFor([&] { return slurp(file("second.err")).find(kWaitNotice) != std::string::npos || !second.running(); }));
  EXPECT_NE(
      slurp(file("second.err")).find("the simulated writer in " + writer() + " " + kWaitNotice + " (at most 10 s)\n"),
      std::string::npos)
      << slurp(file("second.err"));
  held.reset();
  EXPECT_EQ(second.wait(), 0) << slurp(file("second.err"));
  EXPECT_EQ(slurp(file("second.out")), "Writing Success\n");
  EXPECT_TRUE(readImage(1) == imageB());
}

// A stop request ends the wait for the writer at once (long before its 10 s), with 128 + the
// signal and nothing sent.
TEST_F(ClaimCli, StopWhileWaitingForTheWriter_endsTheWaitAtOnce) {
  insert("gb-flash");
  const std::string b = put("bravo.gb", imageB());
  const Bytes flash = support::readFile(memory("gb-flash.bin"));
  auto holder = sim::openSimPort(writer());
  const link::PortClaim held(holder.get());
  ASSERT_TRUE(held.held()) << held.why();
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(status);
    const std::vector<std::vector<std::string>> commands = {withPort({"write", b}),
                                                            {"sim", "fault", writer(), "busy-polls=3"}};
    for (const auto& command : commands) {
      Started waiting(command, file("second.out"), file("second.err"), -1, "");
      ASSERT_TRUE(waiting.started());
      ASSERT_TRUE(waitFor([&] { return slurp(file("second.err")).find(kWaitNotice) != std::string::npos; }))
          << slurp(file("second.err"));
      waiting.signal(signal);
      // The holder never lets go: the wait ends by the stop request, not by running out.
      EXPECT_EQ(waiting.wait(), status) << slurp(file("second.err"));
      EXPECT_NE(slurp(file("second.err")).find("stopped while waiting for the simulated writer in " + writer()),
                std::string::npos)
          << slurp(file("second.err"));
    }
  }
  EXPECT_TRUE(support::readFile(memory("gb-flash.bin")) == flash);
  EXPECT_EQ(slurp(memory("writer.ini")).find("busy-polls"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// A memory file removed or cut short while an operation runs: the operation fails naming the
// file, and the file is not made again.

TEST_F(ClaimCli, MemoryFileSpoiledMidOperation_FailsNamingIt_NotMadeAgain) {
  struct Case {
    const char* name;
    bool cardHoldsA;
    std::vector<std::string> command;
    const char* memoryFile;
    bool removed;  // else cut to 1 MiB
  };
  const Case cases[] = {
      {"write, flash removed", false, {"write", "A"}, "gb-flash.bin", true},
      {"write, flash cut short", false, {"write", "A"}, "gb-flash.bin", false},
      {"read, flash removed", true, {"read", "--image", "1", "OUT"}, "gb-flash.bin", true},
      {"restore, save memory cut short", true, {"restore-ram", "--image", "1", "SAV"}, "gb-sram.bin", false},
  };
  const std::string a = put("alpha.gb", imageA());
  const std::string sav = put("alpha.sav", Bytes(0x2000, 0x5A));
  const std::string out = file("out.gb").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(freshCard(c.cardHoldsA ? a : ""));
    auto command = expand(withPort(c.command), a, a, out, writer());
    std::replace(command.begin(), command.end(), std::string("SAV"), sav);
    const fs::path spoiled = memory(c.memoryFile);

    FullPipe pipe;
    std::unique_ptr<Started> one;
    ASSERT_TRUE(startHolding(one, pipe, command));
    if (c.removed) {
      fs::remove(spoiled);
    } else {
      fs::resize_file(spoiled, 0x100000);
    }
    const std::string err = pipe.drain();
    EXPECT_EQ(one->wait(), 1) << err;
    EXPECT_EQ(slurp(file("first.out")), "") << err;
    EXPECT_NE(err.find(spoiled.string()), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(out)) << "a failed read left its file";
    if (c.removed) {
      EXPECT_FALSE(fs::exists(spoiled)) << "made again";
    } else {
      EXPECT_EQ(fs::file_size(spoiled), 0x100000u);
    }
    // The folder no longer makes a writer, and says so naming the file.
    const RunResult show = run("sim show " + quote(writer()));
    EXPECT_EQ(show.status, 1);
    EXPECT_NE(show.err.find(spoiled.string()), std::string::npos) << show.err;
  }
}

}  // namespace
}  // namespace quillon::test
