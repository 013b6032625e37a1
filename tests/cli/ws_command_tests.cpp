// SPDX-License-Identifier: GPL-3.0-or-later
// The writer type ws and the patch command, end to end against a simulated WS flash card:
// files compared, exit statuses, messages and the link traffic in traces.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

using support::Bytes;

constexpr std::size_t kImage = 0x80000;  // 512 KiB, the smallest WS image
constexpr std::size_t kSave = 0x8000;

// A WS image: a byte pattern ending in a footer whose flags byte (size - 4) has high bits
// set, so that the size code writing ORs in and reading masks off shows up. `header`: 512
// bytes of file header before it.
Bytes wsImage(unsigned seed, bool header = false) {
  Bytes bytes(kImage + (header ? 512 : 0));
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>((i * 13 + seed * 29 + (i >> 10)) & 0xFF);
  const std::uint8_t footer[] = {0x01, 0x01, 0x27, 0x00, 0x02, 0x10, 0xC5, 0x00, 0x5A, 0xA5};
  std::copy(std::begin(footer), std::end(footer), bytes.end() - 10);
  return bytes;
}

// What reading gives back after an image of these bytes was written (header dropped,
// patched): the size code cleared from the flags byte.
Bytes readBack(const Bytes& image) {
  Bytes card = image;
  card[kImage - 4] &= 0x07;
  return card;
}

// The image as the card holds it: without its file header.
Bytes body(const Bytes& file) { return Bytes(file.end() - static_cast<long>(kImage), file.end()); }

// An IPS patch: "PATCH", records (offset, data), "EOF".
Bytes ips(const std::vector<std::pair<std::size_t, std::string>>& records, const Bytes& tail = {'E', 'O', 'F'}) {
  Bytes patch{'P', 'A', 'T', 'C', 'H'};
  for (const auto& [offset, data] : records) {
    for (const unsigned shift : {16u, 8u, 0u}) patch.push_back(static_cast<std::uint8_t>(offset >> shift));
    patch.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    patch.push_back(static_cast<std::uint8_t>(data.size()));
    patch.insert(patch.end(), data.begin(), data.end());
  }
  patch.insert(patch.end(), tail.begin(), tail.end());
  return patch;
}

void apply(Bytes& image, const std::vector<std::pair<std::size_t, std::string>>& records) {
  for (const auto& [offset, data] : records)
    std::copy(data.begin(), data.end(), image.begin() + static_cast<long>(offset));
}

class WsCli : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    ASSERT_EQ(run("sim insert " + quote(writer()) + " ws-flash").status, 0);
  }
  std::string put(const std::string& name, const Bytes& bytes) {
    support::writeFile(dir_ / name, bytes);
    return quote((dir_ / name).string());
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  RunResult ws(const std::string& command, const std::string& writerType = "ws", const std::string& as = "") {
    fs::remove(dir_ / "trace.txt");
    return run(port() + " --writer " + writerType + " --trace " + quote(path("trace.txt")) + " " + command, as);
  }
  std::vector<std::string> traffic() const { return traceCommands(slurp(dir_ / "trace.txt")); }
};

TEST_F(WsCli, WriteThenRead_TheCardGivesBackTheImageAsPatched) {
  // The second record changes the flags byte, into which writing then ORs the size code.
  const std::vector<std::pair<std::size_t, std::string>> records = {{0x40000, "QUILLON"}, {kImage - 4, "\x8E"}};
  struct Case {
    const char* name;
    bool header;
    Bytes patch;  // empty: no --patch
  };
  const Case cases[] = {
      {"plain", false, {}},
      {"header, patch counted after it", true, ips(records)},
  };
  ASSERT_EQ(ws("info").status, 0);
  const auto probe = traffic();
  ASSERT_FALSE(probe.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes image = wsImage(c.header ? 2 : 1, c.header);
    const std::string patch = c.patch.empty() ? "" : " --patch " + put("p.ips", c.patch);
    const RunResult w = ws("write" + patch + " " + put("game.wsc", image));
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(w.out, "Writing Success\n");
    // No probe of the command's own: the operation checks the link, then probes.
    const auto names = traffic();
    ASSERT_GT(names.size(), probe.size() + 1);
    EXPECT_EQ(names[0], "CheckDevice");
    EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.begin() + 1 + static_cast<long>(probe.size())), probe);

    const RunResult r = ws("read " + quote(path("back.wsc")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Downloading Success\n");
    Bytes expected = body(image);
    if (!c.patch.empty()) apply(expected, records);
    EXPECT_TRUE(support::readFile(dir_ / "back.wsc") == readBack(expected));
  }
}

TEST_F(WsCli, SaveMemory_RestoreBackupRoundTripAndWritingClearsIt) {
  Bytes save(kSave + 100);
  for (std::size_t i = 0; i < save.size(); ++i) save[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
  const RunResult u = ws("restore-ram " + put("in.sav", save));
  ASSERT_EQ(u.status, 0) << u.err;
  EXPECT_EQ(u.out, "Uploading Success\n");
  const RunResult b = ws("backup-ram " + quote(path("out.sav")));
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.out, "Downloading Success\n");
  EXPECT_TRUE(support::readFile(dir_ / "out.sav") == Bytes(save.begin(), save.begin() + kSave));

  ASSERT_EQ(ws("write " + put("a.ws", wsImage(3))).status, 0);
  ASSERT_EQ(ws("backup-ram " + quote(path("out.sav"))).status, 0);
  EXPECT_TRUE(support::readFile(dir_ / "out.sav") == Bytes(kSave, 0));
}

TEST_F(WsCli, Erase_ThenReadGivesAnEmptyCardAndTheSaveMemoryIsCleared) {
  ASSERT_EQ(ws("write " + put("a.ws", wsImage(4))).status, 0);
  ASSERT_EQ(ws("restore-ram " + put("in.sav", Bytes(kSave, 0x5A))).status, 0);
  const RunResult e = ws("erase");
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(e.out, "Earsing Success\n");
  // An erased card's size byte reads 0xFF: it then says 512 KiB.
  ASSERT_EQ(ws("read " + quote(path("back.ws"))).status, 0);
  EXPECT_TRUE(support::readFile(dir_ / "back.ws") == readBack(Bytes(kImage, 0xFF)));
  ASSERT_EQ(ws("backup-ram " + quote(path("out.sav"))).status, 0);
  EXPECT_TRUE(support::readFile(dir_ / "out.sav") == Bytes(kSave, 0));
}

TEST_F(WsCli, FailingOperation_ExitOneWithItsMessageAndNoFileLeft) {
  struct Case {
    const char* fault;  // empty: none
    std::string command;
    const char* message;
  };
  const std::string image = put("a.ws", wsImage(5));
  const Case cases[] = {
      {"program-fail-bank=60", "write " + image, "Writing a.ws Fail"},
      {"erase-fail-block=63", "erase", "Earsing Flash ROM Fail"},
      {"sram-write-fail", "write " + image, "Earsing RAM Fail"},
      {"read-fail-bank=3", "read " + quote(path("out.bin")), "Reading Error"},
      {"sram-read-fail", "backup-ram " + quote(path("out.bin")), "Reading Error"},
      {"ws-id=1234", "erase", "Card is not inserted right or FLASH ROM is not supported"},
      {"", "write " + put("odd.ws", Bytes(kImage + 256, 0)), "File Size Error"},
  };
  ASSERT_EQ(ws("write " + image).status, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear " + c.fault).status, 0);
    const RunResult r = ws(c.command);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(std::string(c.message) + "\n"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
  }
}

TEST_F(WsCli, RefusalsAndUsageErrors_NothingSent) {
  struct Case {
    std::string command;
    int status;
    const char* says;
    const char* writerType = "ws";
  };
  const std::string a = put("a.ws", wsImage(6)), b = put("b.ws", wsImage(7));
  const Case cases[] = {
      {"write " + a + " " + b, 1, "Have selected ROM\n"},
      {"write " + quote(path("missing.ws")), 1, "Opening File missing.ws Error\n"},
      {"write --patch " + quote(path("missing.ips")) + " " + a, 1, "missing.ips Error\n"},
      {"read --image 1 " + quote(path("out.bin")), 2, "--image"},
      {"backup-ram --password " + quote(path("out.bin")), 2, "--password"},
      {"restore-ram --image 1 " + a, 2, "--image"},
      {"erase --size 32", 2, "--size"},
      {"write --patch " + a + " " + a, 2, "--patch", "gb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const RunResult r = ws(c.command, c.writerType);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(traffic(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
  }
}

TEST_F(WsCli, PatchCommand_WritesThePatchedCopyOrNothing) {
  const Bytes image = wsImage(8, true);  // the header counts: offsets are file offsets
  const std::vector<std::pair<std::size_t, std::string>> records = {
      {0x10, "ABCDEF"}, {0x12, "xy"}, {kImage + 508, "Z"}};
  Bytes patched = image;
  apply(patched, records);
  struct Case {
    const char* name;
    Bytes patch;
    const Bytes* out;  // nullptr: OUT is not written
  };
  // A run-length record (length 0, then a count of 4 and the value 0x41) fills four bytes.
  const Bytes runLength = ips({{0x100, ""}}, {0x00, 0x04, 0x41, 'E', 'O', 'F'});
  Bytes filled = image;
  std::fill_n(filled.begin() + 0x100, 4, std::uint8_t{0x41});
  const Case cases[] = {
      {"applied, the later record wins", ips(records), &patched},
      {"record past the end", ips({{image.size() - 1, "ab"}}), nullptr},
      {"run-length record", runLength, &filled},
      {"bytes after EOF", ips({}, {'E', 'O', 'F', 0}), nullptr},
  };
  const std::string in = put("in.wsc", image);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_ / "out.wsc");
    const RunResult r = ws("patch " + in + " " + put("p.ips", c.patch) + " " + quote(path("out.wsc")));
    EXPECT_EQ(r.status, c.out ? 0 : 1) << r.err;
    EXPECT_EQ(r.err.find("Patch File Error\n") != std::string::npos, c.out == nullptr) << r.err;
    EXPECT_EQ(fs::exists(dir_ / "out.wsc"), c.out != nullptr);
    if (c.out) {
      EXPECT_TRUE(support::readFile(dir_ / "out.wsc") == *c.out);
    }
    EXPECT_TRUE(support::readFile(dir_ / "in.wsc") == image);
    EXPECT_EQ(traffic(), std::vector<std::string>{});
  }
  const RunResult missing =
      ws("patch " + quote(path("none.wsc")) + " " + put("p.ips", ips(records)) + " " + quote(path("out.wsc")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.wsc: the image cannot be read"), std::string::npos) << missing.err;
}

enum class PatchFile { Folder, Unreadable, Rejected, Good };

// `write --patch` and `patch`: a patch that cannot be read whole or does not fit gives its
// message first, exit 1, nothing sent (the card as it was) and no OUT; a good one is applied.
class WsPatchCli : public WsCli {
 protected:
  void ExpectPatchHandled(PatchFile kind, const std::string& as = "") {
    const Bytes image = wsImage(9);
    const std::string game = put("game.ws", image), patch = path("p.ips"), out = path("out.ws");
    const std::vector<std::pair<std::size_t, std::string>> records = {{0x100, "PATCHED"}};
    if (kind == PatchFile::Folder) fs::create_directory(patch);
    if (kind == PatchFile::Rejected) support::writeFile(patch, ips({{kImage - 2, "xyz"}}));
    if (kind == PatchFile::Unreadable || kind == PatchFile::Good) support::writeFile(patch, ips(records));
    if (kind == PatchFile::Unreadable) fs::permissions(patch, fs::perms::none);
    const bool good = kind == PatchFile::Good;
    const std::string says = kind == PatchFile::Rejected ? "Patch File Error\n" : "Opening " + patch + " Error\n";
    Bytes patched = image;
    apply(patched, records);
    const fs::path flashFile = fs::path(writer()) / "ws-flash.bin";
    Bytes card = support::readFile(flashFile);
    if (good) {
      std::copy(patched.begin(), patched.end(), card.end() - static_cast<long>(kImage));
      card[card.size() - 4] |= 0x30;  // the size code of 512 KiB
    }

    const RunResult w = ws("write --patch " + quote(patch) + " " + game, "ws", as);
    EXPECT_EQ(w.status, good ? 0 : 1) << w.err;
    EXPECT_TRUE(support::readFile(flashFile) == card);
    if (!good) {
      EXPECT_EQ(w.err.rfind(says, 0), 0u) << w.err;
      EXPECT_EQ(traffic(), std::vector<std::string>{});
    }
    const RunResult p = ws("patch " + game + " " + quote(patch) + " " + quote(out), "ws", as);
    EXPECT_EQ(p.status, good ? 0 : 1) << p.err;
    EXPECT_EQ(good ? support::readFile(out) == patched : p.err.rfind(says, 0) == 0, true) << p.err;
    EXPECT_EQ(fs::exists(out), good);
  }
};

TEST_F(WsPatchCli, Patch_Folder_OpeningErrorAndNothingSent) { ExpectPatchHandled(PatchFile::Folder); }
TEST_F(WsPatchCli, Patch_Rejected_PatchFileErrorAndNothingSent) { ExpectPatchHandled(PatchFile::Rejected); }
TEST_F(WsPatchCli, Patch_Good_PatchedOnTheCardAndInOut) { ExpectPatchHandled(PatchFile::Good); }

TEST_F(WsPatchCli, Patch_Unreadable_OpeningErrorAndNothingSent) {
  const auto as = unprivileged();
  if (!as) GTEST_SKIP() << "file permissions do not stop the superuser";
  ExpectPatchHandled(PatchFile::Unreadable, *as);
}

}  // namespace
}  // namespace quillon::test
