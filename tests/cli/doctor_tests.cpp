// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli doctor end to end: the port checks on a made-up system, then the writer itself.
#include <gtest/gtest.h>

#include "tests/cli/cli_run.h"

namespace quillon::test {
namespace {

class Doctor : public Cli {
 protected:
  // A system that knows one port with its node: the checks before the writer all pass.
  std::string madeUpSystem() {
    const fs::path root = dir_ / "system";
    fs::create_directories(root / "sys/class/parport/parport0");
    fs::create_directories(root / "sys/module/ppdev");
    fs::create_directories(root / "proc/sys/dev/parport/parport0/devices");
    std::ofstream(root / "proc/sys/dev/parport/parport0/base-addr") << "888\t1912\n";
    fs::create_directories(root / "dev");
    std::ofstream(root / "dev/parport0") << "";
    return "--system-root " + quote(root.string());
  }
};

struct WriterCase {
  const char* name;
  const char* setup;  // quillon-cli commands on the writer folder W, before the doctor
  const char* port;   // the --port given; W is the writer folder
  int status;
  const char* lastLine;
};

const WriterCase kWriterCases[] = {
    {"FlashCard", "sim insert W gb-flash", "sim:W", 0, "[ ok ] writer: answers on sim:W: "},
    {"EmptyWriter", "sim insert W none", "sim:W", 0, "[ ok ] writer: answers on sim:W: no card"},
    {"WriterSwitchedOff", "sim insert W gb-flash;sim fault W absent", "sim:W", 1,
     "[FAIL] writer: no answer on sim:W -- switch the writer on"},
    {"PortThatCannotOpen", "", "direct:0xZZ", 1, "[FAIL] writer: direct:0xZZ cannot be opened: bad port address"},
};

class DoctorWriter : public Doctor, public ::testing::WithParamInterface<WriterCase> {};

std::string replaced(std::string text, const std::string& word, const std::string& by) {
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + by.size()))
    text.replace(at, word.size(), by);
  return text;
}

TEST_P(DoctorWriter, EndsWithTheWriterAndExitsZeroOnlyWhenItAnswers) {
  const auto& c = GetParam();
  std::istringstream setup(c.setup);
  for (std::string command; std::getline(setup, command, ';');) {
    ASSERT_EQ(run(replaced(command, "W", quote(writer()))).status, 0) << command;
  }
  notesExpected_ = true;  // the doctor probes whatever the writer holds
  const auto result = run("--port " + quote(replaced(c.port, "W", writer())) + " doctor " + madeUpSystem());
  EXPECT_EQ(result.status, c.status) << result.out << result.err;
  const auto lastLineStart = result.out.rfind('\n', result.out.size() - 2);
  const std::string last = result.out.substr(lastLineStart + 1);
  EXPECT_EQ(last.rfind(replaced(c.lastLine, "W", writer()), 0), 0u) << result.out;
  // The port checks come first, every one on its own line.
  EXPECT_EQ(result.out.rfind("[ ok ] parallel ports: parport0 at 0x378\n", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("[ ok ] port: auto opens ppdev:/dev/parport0\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("[skip] direct I/O: not asked on this system\n"), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Writers, DoctorWriter, ::testing::ValuesIn(kWriterCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
