// SPDX-License-Identifier: GPL-3.0-or-later
// The journal of unfinished work through whole commands against a simulated writer: what a
// write, an erase and a save restore leave in it when they fail or are stopped before or after
// their first change to the card, what takes an entry out, and what `info` in a later process
// says of it, through either name of the writer's folder.
#include <regex>
#include <sstream>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

const std::string kWrite = "Last write did not finish: images may be damaged";
const std::string kErase = "Last erase did not finish";
const std::string kRestore = "Last save restore did not finish: save memory may be damaged";
const std::string kDamaged = "The journal [^ ]+/state/quillon/journal is damaged \\(line 1\\): it is taken as empty";
const std::string kNotWritten = "The journal cannot be written \\(cannot make [^)]+: Not a directory\\): ";
const std::string kLinked = "The journal cannot be written \\([^ ]+/journal: is a symbolic link\\): ";

// The journal as the row finds it: not there, damaged, under a state folder that is a file, a link.
enum class Before { Nothing, Damaged, NoFolder, Link };

struct Command {
  std::string fault;  // armed for this command alone ("": none)
  std::string args;   // after the port; {gb}, {ws} and {sav} are files of the test folder
  int status;
  std::vector<std::string> notices;  // the patterns of its lines about the journal on standard error
};

struct JournalCase {
  const char* name;
  const char* card;
  std::vector<Command> commands;
  std::vector<std::string> said;  // the first lines `info` then says of the writer's unfinished work
  std::string infoNotice = "";    // and the pattern of its line about the journal before them
  Before before = Before::Nothing;
};

// A stop right after the first erase of a GB write (the writer's 51st command) or right before
// it, after the first block of a WS write, right after the first save memory block of a WS
// restore (its 8th) or right before it.
const Command kGbWriteStopped{"sigint-after=51", "write {gb}", 130, {}};
const Command kWsWriteStopped{"sigint-after=12", "--writer ws write {ws}", 130, {}};
const Command kWsRestoreStopped{"sigint-after=8", "--writer ws restore-ram {sav}", 130, {}};

const JournalCase kCases[] = {
    {"gbWriteStoppedRightAfterItsFirstErase", "gb-flash", {kGbWriteStopped}, {kWrite}},
    {"gbWriteStoppedRightBeforeIt", "gb-flash", {{"sigint-after=50", "write {gb}", 130, {}}}, {}},
    {"gbWriteOfAMissingImage", "gb-flash", {{"", "write {gb}.missing", 1, {}}}, {}},
    {"gbWriteLinkingFail", "gb-flash", {{"absent", "write {gb}", 1, {}}}, {}},
    {"gbWriteThenOneThatSucceeds", "gb-flash", {kGbWriteStopped, {"", "write {gb}", 0, {}}}, {}},
    {"gbWriteWhoseVerifyPasses", "gb-flash", {kGbWriteStopped, {"", "write --verify {gb}", 0, {}}}, {}},
    {"gbWriteWhoseVerifyFails", "gb-flash", {{"flip-bit=0x4010", "write --verify {gb}", 1, {}}}, {kWrite}},
    {"gbEraseStopped", "gb-flash", {{"sigint-after=95", "erase --size 32", 130, {}}}, {kErase}},
    {"gbEraseFailsAfterAStoppedWrite",
     "gb-flash",
     {kGbWriteStopped, {"erase-fail-block=1", "erase --size 32", 1, {}}},
     {kErase}},
    {"wsRestoreStoppedBesideAStoppedWrite", "ws-flash", {kWsWriteStopped, kWsRestoreStopped}, {kWrite, kRestore}},
    {"wsRestoreTakesOutOnlyItsOwn",
     "ws-flash",
     {kWsWriteStopped, kWsRestoreStopped, {"", "--writer ws restore-ram {sav}", 0, {}}},
     {kWrite}},
    {"wsRestoreStoppedRightBeforeIt", "ws-flash", {{"sigint-after=7", "--writer ws restore-ram {sav}", 130, {}}}, {}},
    // A stop after the last block read back (command 347) or a WS save sent whole (9): complete.
    {"gbVerifyStoppedAfterItsLastBlock", "gb-flash", {{"sigint-after=347", "write --verify {gb}", 0, {}}}, {}},
    {"wsRestoreStoppedAfterItsLastBlock", "ws-flash", {{"sigint-after=9", "--writer ws restore-ram {sav}", 0, {}}}, {}},
    {"damagedJournal", "gb-flash", {}, {}, kDamaged, Before::Damaged},
    {"damagedJournalReplaced",
     "gb-flash",
     {{"sigint-after=51", "write {gb}", 130, {kDamaged}}},
     {kWrite},
     "",
     Before::Damaged},
    {"noFolderForTheJournal",
     "gb-flash",
     {{"",
       "write {gb}",
       0,
       {kNotWritten + "an interrupted write will not be remembered",
        kNotWritten + "the card information will still say that the last write did not finish"}}},
     {},
     "",
     Before::NoFolder},
    {"journalIsALink",
     "gb-flash",
     {{"", "erase --size 16", 0, {kLinked + "an interrupted erase will not be remembered"}}},
     {},
     "The journal [^ ]+/journal cannot be read \\(is a symbolic link\\): it is taken as empty",
     Before::Link},
};

class Journal : public Cli, public ::testing::WithParamInterface<JournalCase> {
 protected:
  // The lines of standard error about the journal, each matched against its pattern.
  static void ExpectLines(const std::string& err, const std::vector<std::string>& patterns) {
    std::istringstream in(err);
    std::size_t i = 0;
    for (std::string line; std::getline(in, line);) {
      if (!std::regex_match(line, std::regex("(Last|Started|The journal) .*"))) continue;
      ASSERT_LT(i, patterns.size()) << err;
      EXPECT_TRUE(std::regex_match(line, std::regex(patterns[i++]))) << line;
    }
    EXPECT_EQ(i, patterns.size()) << err;
  }
};

TEST_P(Journal, LeftByCommandsSaidByInfo) {
  const JournalCase& c = GetParam();
  ASSERT_EQ(run("sim insert " + quote(writer()) + " " + c.card).status, 0);
  support::writeFile(dir_ / "a.gb", support::makeGbImage({"ALPHA", 0x19, 1, 0, false}));
  support::writeFile(dir_ / "a.ws", support::Bytes(0x80000, 0x3A));
  support::writeFile(dir_ / "a.sav", support::Bytes(0x8000, 0x42));
  if (c.before == Before::Damaged && fs::create_directories(journal().parent_path()))
    support::writeFile(journal(), support::Bytes{'x', '\n'});
  if (c.before == Before::NoFolder) support::writeFile(dir_ / "state", {});
  if (c.before == Before::Link && fs::create_directories(journal().parent_path())) {
    std::ofstream(dir_ / "mine") << 'm';
    fs::create_symlink(dir_ / "mine", journal());
  }
  for (const Command& command : c.commands) {
    std::string args = command.args;
    for (const std::string file : {"a.gb", "a.ws", "a.sav"}) {
      const std::string mark = file.substr(1);  // ".gb": {gb}
      if (const auto at = args.find('{' + mark.substr(1) + '}'); at != std::string::npos)
        args.replace(at, mark.size() + 1, quote((dir_ / file).string()));
    }
    if (!command.fault.empty()) {
      ASSERT_EQ(run("sim fault " + quote(writer()) + " " + command.fault).status, 0);
    }
    const RunResult r = run(port() + " --no-backup " + args);
    ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear").status, 0);
    EXPECT_EQ(r.status, command.status) << args << "\n" << r.err;
    ExpectLines(r.err, command.notices);
  }
  EXPECT_TRUE(c.before != Before::Link || (fs::is_symlink(journal()) && slurp(dir_ / "mine") == "m"));
  std::vector<std::string> expected;
  if (!c.infoNotice.empty()) expected.push_back(c.infoNotice);
  for (const std::string& first : c.said)
    expected.insert(expected.end(), {first, "Started \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d by quillon-cli"});
  fs::create_directory_symlink(writer(), dir_ / "link");
  for (const std::string& via : {port(), "--port sim:" + quote((dir_ / "link").string())}) {
    const RunResult info = run(via + " " + (std::string(c.card) == "ws-flash" ? "--writer ws " : "") + "info");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.find("finish"), std::string::npos) << info.out;
    ExpectLines(info.err, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, Journal, ::testing::ValuesIn(kCases), [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace quillon::test
