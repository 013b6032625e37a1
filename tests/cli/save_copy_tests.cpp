// SPDX-License-Identifier: GPL-3.0-or-later
// The copy of save memory that restore-ram, erase and write keep before they overwrite it:
// what it holds, where its traffic lies, and that the command's own traffic is unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "gb_images.h"
#include "tests/cli/cli_run.h"

namespace quillon::test {
namespace {

using support::Bytes;
using support::makeGbImage;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> all;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  return all;
}

Bytes pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
  return bytes;
}

class SaveCopy : public Cli {
 protected:
  std::string put(const std::string& name, const Bytes& bytes) {
    support::writeFile(dir_ / name, bytes);
    return (dir_ / name).string();
  }
  // The copies in the backups folder.
  std::vector<fs::path> copies() const {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(backups(), error)) found.push_back(entry.path());
    std::erase(found, backups() / "copies.index");  // the folder's record
    std::sort(found.begin(), found.end());
    return found;
  }
  // The card's memories as the simulated writer keeps them.
  std::string card(const std::string& folder) const {
    std::string all;
    for (const char* file :
         {"gb-flash.bin", "gb-bios.bin", "gb-sram.bin", "gb-cart.sav", "ws-flash.bin", "ws-sram.bin"})
      all += slurp(fs::path(folder) / file);
    return all;
  }
};

struct CopyCase {
  const char* name;
  const char* writer;   // --writer
  const char* command;  // after the global options; {dir} is the test's folder
  const char* title;    // in the copy's name
  int banks;            // ReadBlock commands of the copy
  // The save memory before the command: "sram" (the whole device file) or "backup" (what
  // backup-ram with `area` reads).
  const char* before;
  // The backup-ram arguments reading the same area, whose traffic the copy's must be; null
  // for the whole GB flash card, which no backup-ram command reads at once.
  const char* area;
};

const CopyCase kCases[] = {
    {"gbCartridgeRestore", "gb", "restore-ram {dir}/new.sav", "SAVES", 4, "backup", ""},
    // A title of 15 characters, one the file system would not like, and the colour flag.
    {"gbImageRestore", "gb", "restore-ram --image 2 {dir}/new.sav", "PKMN_R_B_ADVENT", 1, "backup", "--image 2"},
    {"gbPasswordRestore", "gb-password", "restore-ram --password {dir}/new.sav", "Password", 1, "backup", "--password"},
    {"gbErase", "gb", "erase --size 16", "card", 16, "sram", nullptr},
    {"gbWrite", "gb", "write {dir}/third.gb", "card", 16, "sram", nullptr},
    {"wsRestore", "ws", "restore-ram {dir}/new.sav", "card", 1, "sram", ""},
    {"wsErase", "ws", "erase", "card", 1, "sram", ""},
    {"wsWrite", "ws", "write {dir}/game.ws", "card", 1, "sram", ""},
};

std::string withDir(std::string text, const std::string& dir) {
  for (auto at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}")) text.replace(at, 5, dir);
  return text;
}

class SaveCopyCommands : public SaveCopy, public ::testing::WithParamInterface<CopyCase> {
 protected:
  // Two writers holding the same card, its save memory full of a pattern.
  void insertCards(const CopyCase& c, const std::string& twin) {
    const std::string dir = dir_.string();
    for (const std::string& folder : {writer(), twin}) {
      const bool ws = std::string(c.writer) == "ws";
      const bool cartridge = std::string(c.name) == "gbCartridgeRestore";
      ASSERT_EQ(run("sim insert " + quote(folder) +
                    (ws          ? " ws-flash"
                     : cartridge ? " gb-cart " + quote(dir + "/cart.gb")
                                 : " gb-flash"))
                    .status,
                0);
      if (!ws && !cartridge) {
        ASSERT_EQ(run("--no-backup --writer " + std::string(c.writer) + " --port sim:" + quote(folder) + " write " +
                      quote(dir + "/first.gbc") + " " + quote(dir + "/second.gbc"))
                      .status,
                  0);
      }
      const char* sram = ws ? "ws-sram.bin" : cartridge ? "gb-cart.sav" : "gb-sram.bin";
      const auto size = fs::file_size(fs::path(folder) / sram);
      support::writeFile(fs::path(folder) / sram, pattern(size, 0x21));
    }
  }
};

TEST_P(SaveCopyCommands, KeepTheSaveMemoryBeforeTheirOwnUnchangedTraffic) {
  const auto& c = GetParam();
  const std::string dir = dir_.string();
  put("cart.gb", makeGbImage({"SAVES", 0x1B, 2, 3, false}));
  put("first.gbc", makeGbImage({"FIRST", 0x1B, 1, 2, true}));
  put("second.gbc", makeGbImage({"PKMN:R/B*ADVENT", 0x1B, 1, 2, true}));
  put("third.gb", makeGbImage({"THIRD", 0x19, 0, 0, false}));
  put("new.sav", pattern(0x8000, 0x77));
  Bytes ws(0x80000, 0x3C);
  ws[ws.size() - 4] = 0x04;
  put("game.ws", ws);
  const std::string twin = (dir_ / "twin").string();
  insertCards(c, twin);

  const std::string global = std::string("--writer ") + c.writer + " ";
  if (c.area) {
    ASSERT_EQ(run("--no-backup " + global + port() + " --trace " + quote(dir + "/backup.txt") + " backup-ram " +
                  c.area + " " + quote(dir + "/before.sav"))
                  .status,
              0);
  }
  const std::string before =
      std::string(c.before) == "backup"
          ? slurp(dir_ / "before.sav")
          : slurp(fs::path(writer()) / (std::string(c.writer) == "ws" ? "ws-sram.bin" : "gb-sram.bin"));

  const RunResult kept = run(global + port() + " --trace " + quote(dir + "/kept.txt") + " " + withDir(c.command, dir));
  const RunResult plain = run("--no-backup " + global + "--port sim:" + quote(twin) + " --trace " +
                              quote(dir + "/plain.txt") + " " + withDir(c.command, dir));
  ASSERT_EQ(kept.status, 0) << kept.err;
  ASSERT_EQ(plain.status, 0) << plain.err;

  // One copy, named for the writer type and the title, holding the save memory as it was.
  const auto found = copies();
  ASSERT_EQ(found.size(), 1u);
  const std::regex name(std::string(R"(\d{8}-\d{6}_)") + c.writer + "_" + c.title + R"(\.sav)");
  EXPECT_TRUE(std::regex_match(found[0].filename().string(), name)) << found[0];
  EXPECT_TRUE(slurp(found[0]) == before) << "the copy differs from the save memory before the command";
  EXPECT_NE(kept.err.find("save memory copied to " + found[0].string()), std::string::npos) << kept.err;
  EXPECT_EQ(kept.out, plain.out);

  // The traffic: the command's own checks, the copy, then exactly the traffic the command
  // sends without a copy, from the start of its operation on (the link checked and the card
  // probed again).
  const auto a = lines(slurp(dir_ / "kept.txt")), b = lines(slurp(dir_ / "plain.txt"));
  if (c.area) {
    // The copy's traffic is backup-ram's reading the same area (the same card check, then
    // the read), and the operation then starts over.
    std::vector<std::string> expected = lines(slurp(dir_ / "backup.txt"));
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_TRUE(a == expected) << "not backup-ram's traffic followed by the command's own";
  } else {
    const auto i = std::mismatch(b.begin(), b.end(), a.begin()).first - b.begin();
    const auto tail = std::mismatch(b.rbegin(), b.rend(), a.rbegin()).first - b.rbegin();  // the same last lines
    ASSERT_TRUE(b.end() - tail <= b.begin() + i && b.end()[-tail] == "# CheckDevice")
        << "not the whole operation after the copy";
    const std::vector<std::string> copy(a.begin() + i, a.end() - tail);
    EXPECT_EQ(std::count(copy.begin(), copy.end(), "# ReadBlock"), c.banks);
    for (const char* changing : {"# WriteBlock", "# EraseBlock"})
      EXPECT_EQ(std::count(copy.begin(), copy.end(), changing), 0) << "the copy changed the card";
  }

  // Both cards end alike.
  EXPECT_TRUE(card(writer()) == card(twin)) << "the card differs from one written without the copy";
}

INSTANTIATE_TEST_SUITE_P(Commands, SaveCopyCommands, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

struct FailCase {
  const char* name;
  const char* card;    // sim insert
  const char* faults;  // armed on the writer; empty: none
  bool folderIsAFile;  // the backups folder's place holds a file
  const char* command;
  const char *env = "", *reason = "";  // the environment quillon-cli runs in; words of the reason it gives
  bool recordIsALink = false;          // to the writer's menu ROM
};

const FailCase kFailCases[] = {
    {"gbReadFails", "gb-flash", "sram-read-fail", false, "erase --size 32"},
    {"wsReadFails", "ws-flash", "sram-read-fail", false, "--writer ws erase"},
    {"folderCannotBeMade", "gb-flash", "", true, "erase --size 32"},
    {"noFolder", "gb-flash", "", false, "erase --size 32", "env -u HOME -u XDG_DATA_HOME ", "HOME is not set"},
    {"recordIsALink", "gb-flash", "", false, "erase --size 32", "", "copies.index is a symbolic link", true},
};

class SaveCopyFails : public SaveCopy, public ::testing::WithParamInterface<FailCase> {};

TEST_P(SaveCopyFails, StopsTheCommandWithTheCardAsItWas) {
  const auto& c = GetParam();
  ASSERT_EQ(run("sim insert " + quote(writer()) + " " + c.card).status, 0);
  if (*c.faults) {
    ASSERT_EQ(run("sim fault " + quote(writer()) + " " + c.faults).status, 0);
  }
  if (c.folderIsAFile) {
    fs::create_directories(backups().parent_path());
    std::ofstream(backups()) << "not a folder";
  }
  if (c.recordIsALink && fs::create_directories(backups()))
    fs::create_symlink(fs::path(writer()) / "gb-bios.bin", backups() / "copies.index");
  const std::string cardBefore = card(writer());
  const RunResult r = run(port() + " " + c.command, c.env);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Backup Fail"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("; nothing was changed (--no-backup goes on without a copy)"), std::string::npos) << r.err;
  EXPECT_TRUE(card(writer()) == cardBefore) << "the card changed";
  if (!c.folderIsAFile) {
    EXPECT_TRUE(copies().empty());
  }
  EXPECT_EQ(fs::is_symlink(backups() / "copies.index"), c.recordIsALink) << "the link stays";

  // --no-backup goes on without the copy.
  if (!*c.faults) {
    const RunResult without = run("--no-backup " + port() + " " + c.command, c.env);
    EXPECT_EQ(without.status, 0) << without.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Failures, SaveCopyFails, ::testing::ValuesIn(kFailCases),
                         [](const auto& param) { return std::string(param.param.name); });

// Four restores started together on four writers whose cartridges share a title, their copies'
// first names (those of the next minute) already links: each command gets a name of its own,
// says it and keeps its own writer's save memory there; the links' file stays as it was.
TEST_F(SaveCopy, MadeAtOnceEachHaveTheirOwnName) {
  put("cart.gb", makeGbImage({"SAVES", 0x1B, 2, 3, false}));
  put("new.sav", pattern(0x8000, 0x77));
  fs::create_directories(backups());
  const std::string bait = put("bait", {'b'});
  for (std::time_t t = std::time(nullptr) - 1, end = t + 60; t < end; ++t) {
    char stamp[32];
    std::tm local{};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", localtime_r(&t, &local));
    fs::create_symlink(bait, backups() / (std::string(stamp) + "_gb_SAVES.sav"));
  }
  std::string together, saves[4];
  for (int i = 0; i < 4; ++i) {
    const fs::path folder = dir_ / ("w" + std::to_string(i));
    ASSERT_EQ(run("sim insert " + quote(folder) + " gb-cart " + quote(dir_ / "cart.gb")).status, 0);
    support::writeFile(folder / "gb-cart.sav", pattern(0x8000, 16 * i));
    saves[i] = slurp(folder / "gb-cart.sav");
    together += "env -u QUILLON_TRACE XDG_DATA_HOME=" + quote(dir_ / "data") +
                " XDG_STATE_HOME=" + quote(dir_ / "state") + " " + quote(QUILLON_CLI) + " --port sim:" + quote(folder) +
                " restore-ram " + quote(dir_ / "new.sav") + " 2>" + quote(folder / "err") + " >/dev/null </dev/null & ";
  }
  ASSERT_EQ(std::system((together + "wait").c_str()), 0);
  for (int i = 0; i < 4; ++i) {  // each name of its own: no two copies hold the same
    const std::string err = slurp(dir_ / ("w" + std::to_string(i)) / "err");
    std::smatch copied;
    ASSERT_TRUE(std::regex_search(err, copied, std::regex("save memory copied to (.*)\n"))) << err;
    EXPECT_TRUE(slurp(copied[1].str()) == saves[i]) << copied[1] << " is not this writer's save memory";
  }
  EXPECT_EQ(lines(slurp(backups() / "copies.index")).size(), 5u) << "a copy is not recorded";
  EXPECT_EQ(slurp(bait), "b");
}

// Copies made one after another: the newest 50 recorded are kept and listed newest first,
// whatever their names say; a file the record does not hold (the user's, one renamed, any when
// the record is missing or damaged) is never removed and is listed after them.
enum class Recorded { Whole, Damaged, Missing };  // the copies there at first
struct KeptCase {
  const char *name, *handMade;        // handMade: the stem of the copies there at first (".sav", "-2.sav", ...)
  int handMadeCount, runs, lastRuns;  // copies made by erase, and then more in `lastEnv`
  const char *env, *lastEnv;
  bool renameOldestBeforeLast;
  Recorded record;
};
const KeptCase kKeptCases[] = {
    {"timeZones", "", 0, 50, 1, "TZ=Europe/Berlin ", "TZ=Europe/London ", false, Recorded::Missing},
    {"clockSetBack", "20991231-235959_gb_card", 50, 0, 1, "", "", false, Recorded::Whole},
    {"oneSecondAndRenamed", "20240101-120000_gb_card", 45, 1, 10, "", "", true, Recorded::Whole},
    {"damagedRecord", "20240101-120000_gb_card", 50, 0, 1, "", "", false, Recorded::Damaged},
    {"missingRecord", "20240101-120000_gb_card", 50, 0, 1, "", "", false, Recorded::Missing},
};
class SaveCopiesKept : public SaveCopy, public ::testing::WithParamInterface<KeptCase> {};
TEST_P(SaveCopiesKept, AreTheNewestRecorded) {
  const auto& c = GetParam();
  ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-flash").status, 0);
  fs::create_directories(backups());
  std::vector<std::string> made, others;  // recorded, oldest first; the others as listed
  std::string record = c.record == Recorded::Damaged ? "junk\n" : "";
  for (int n = c.handMadeCount; n >= 1; --n) {  // the latest name first
    const std::string name = c.handMade + (n == 1 ? "" : "-" + std::to_string(n)) + ".sav";
    std::ofstream(backups() / name) << 0;
    record.insert(0, name + "\n");
    (c.record == Recorded::Whole ? made : others).push_back(name);
  }
  std::reverse(made.begin(), made.end());
  if (c.record != Recorded::Missing)
    std::ofstream(backups() / "copies.index") << "# quillon: copies of save memory made here, oldest first\n" << record;
  const fs::path renamed = backups() / "20240101-120000_gb_MY GAME keep.sav",
                 own = backups() / "20190101-120000_gb_MY OWN.sav";
  std::ofstream(own) << "mine";
  for (int i = 0; i < c.runs + c.lastRuns; ++i) {
    if (i == c.runs && c.renameOldestBeforeLast) {
      fs::rename(backups() / made.front(), renamed);
      made.erase(made.begin());
      others.push_back(renamed.filename().string());
    }
    const RunResult r = run(port() + " erase --size 16", i < c.runs ? c.env : c.lastEnv);
    std::smatch copied;
    ASSERT_TRUE(std::regex_search(r.err, copied, std::regex("save memory copied to (.*)\n"))) << r.err;
    made.push_back(fs::path(copied[1].str()).filename().string());
    const bool damaged = r.err.find("\nthe record of copies is damaged: nothing was pruned\n") != std::string::npos;
    EXPECT_EQ(damaged, c.record == Recorded::Damaged && i == 0) << r.err;
  }
  others.push_back(own.filename().string());
  made.erase(made.begin(), made.end() - std::min<std::ptrdiff_t>(std::ssize(made), 50));
  EXPECT_EQ(copies().size(), made.size() + others.size());  // and the listing names them all
  std::string listed;
  for (const auto& name : made) listed.insert(0, (backups() / name).string() + "\n");
  for (const auto& name : others) listed += (backups() / name).string() + "\n";
  const std::regex columns(R"(\d{4}(-\d\d){2} \d\d(:\d\d){2}\t\d+\t[^\t]+\t)");  // before the path
  EXPECT_EQ(std::regex_replace(run("backups").out, columns, ""), listed);
}

INSTANTIATE_TEST_SUITE_P(Copies, SaveCopiesKept, ::testing::ValuesIn(kKeptCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
