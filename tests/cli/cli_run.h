// SPDX-License-Identifier: GPL-3.0-or-later
// Running quillon-cli as a user runs it, against simulated writers in a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quillon::test {

namespace fs = std::filesystem;

struct RunResult {
  int status;
  std::string out, err;
};

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string quote(const std::string& s) { return "'" + s + "'"; }

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps runs of the tests side by side (several builds) apart.
    dir_ = fs::temp_directory_path() / ("quillon-cli-" + std::to_string(::getpid()) + "-" +
                                        std::string(test->test_suite_name()) + "-" + std::string(test->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  // Every command the program sent to the simulated writer is one its card expects, unless
  // the test sends some on purpose.
  void TearDown() override {
    const fs::path notes = fs::path(writer()) / "unexpected.txt";
    if (!notesExpected_ && fs::exists(notes)) {
      EXPECT_EQ(slurp(notes), "") << "the writer noted unexpected commands";
    }
    fs::remove_all(dir_);
  }

  // `as`: a command that runs the program under another user (see unprivileged()).
  RunResult run(const std::string& args, const std::string& as = "") {
    const auto out = dir_ / "stdout", err = dir_ / "stderr";
    // The copies of save memory and the journal go into the test's own folder (backups(), journal()).
    const std::string command = "env -u QUILLON_PORT -u QUILLON_TRACE XDG_DATA_HOME=" + quote(dir_ / "data") +
                                " XDG_STATE_HOME=" + quote(dir_ / "state") + " " + as + quote(QUILLON_CLI) + " " +
                                args + " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
  }
  std::string writer() const { return (dir_ / "writer").string(); }
  std::string port() const { return "--port sim:" + quote(writer()); }
  fs::path backups() const { return dir_ / "data/quillon/backups"; }
  fs::path journal() const { return dir_ / "state/quillon/journal"; }

  fs::path dir_;
  bool notesExpected_ = false;
};

// File permissions do not stop the superuser: a test of a file the user may not use then runs
// the program as nobody, through setpriv (util-linux). The command to put before the program,
// or nullopt when that cannot be done.
inline std::optional<std::string> unprivileged() {
  if (::geteuid() != 0) return std::string();
  if (::access("/usr/bin/setpriv", X_OK) != 0) return std::nullopt;
  return std::string("setpriv --reuid=65534 --regid=65534 --clear-groups -- ");
}

// The names of the `#` lines of a trace: the commands sent, time-outs, stops.
inline std::vector<std::string> traceCommands(const std::string& trace) {
  std::vector<std::string> names;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("# ", 0) == 0) names.push_back(line.substr(2));
  return names;
}

}  // namespace quillon::test
