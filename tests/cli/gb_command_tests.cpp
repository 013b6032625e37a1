// SPDX-License-Identifier: GPL-3.0-or-later
// write, read, backup-ram, restore-ram and erase of the GB writer types, run end to end
// against simulated writers: files compared, exit statuses, and the link traffic in traces.
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli_run.h"
#include "gb_images.h"
#include "library/card_list.h"

extern char** environ;

namespace quillon::test {
namespace {

using support::Bytes;
using support::GbImageSpec;
using support::makeGbImage;

Bytes pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 31 + seed * 17 + (i >> 8)) & 0xFF);
  return bytes;
}

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

class GbCli : public Cli {
 protected:
  // Writes a file into the test folder and gives its path.
  std::string put(const std::string& name, const Bytes& bytes) {
    const auto path = dir_ / name;
    fs::create_directories(path.parent_path());
    support::writeFile(path, bytes);
    return path.string();
  }
  std::string traceFile(const std::string& name = "trace.txt") const { return (dir_ / name).string(); }
  std::string traced(const std::string& name = "trace.txt") const { return " --trace " + quote(traceFile(name)); }
  std::string traceOf(const std::string& name = "trace.txt") const { return slurp(traceFile(name)); }
  fs::path memory(const char* file) const { return fs::path(writer()) / file; }

  void insert(const std::string& what) {
    const RunResult r = run("sim insert " + quote(writer()) + " " + what);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  // The commands of the probe alone, as `info` sends them to this writer.
  std::vector<std::string> probeCommands(const std::string& writerFlag) {
    const RunResult r = run(port() + " " + writerFlag + traced("probe.txt") + " info");
    EXPECT_EQ(r.status, 0) << r.err;
    return traceCommands(traceOf("probe.txt"));
  }
};

// ---------------------------------------------------------------------------------------
// Writing, then reading every image back.

struct CardCase {
  const char* name;
  const char* writerFlag;
  const char *biosChip, *flashChip;  // their methods decide the flash sequences
  std::vector<GbImageSpec> images;
};

TEST_F(GbCli, WriteThenReadEachImage_FilesComeBackEqual) {
  const CardCase cases[] = {
      {"gb-password, BIOS method 1, FLASH method 0",
       "--writer gb-password",
       "SST 29EE010",
       "INTEL 28F016SV",
       {{"ONE", 0x01, 0, 1, false}, {"TWO", 0x13, 1, 2, false}}},
      {"whole card, BIOS method 2, FLASH method 1", "", "AMD 29F010", "AMD 28F016", {{"WHOLE", 0x1B, 7, 3, true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    insert("gb-flash --bios-chip " + quote(c.biosChip) + " --flash-chip " + quote(c.flashChip));
    std::vector<Bytes> images;
    std::string files;
    for (std::size_t i = 0; i < c.images.size(); ++i) {
      images.push_back(makeGbImage(c.images[i]));
      files += " " + quote(put("roms/game" + std::to_string(i) + (i % 2 ? ".gbc" : ".gb"), images.back()));
    }
    const RunResult w = run(port() + " " + c.writerFlag + " write" + files);
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(w.out, "Writing Success\n");

    for (std::size_t i = 0; i < images.size(); ++i) {
      const auto out = dir_ / ("back" + std::to_string(i) + ".gb");
      const RunResult r =
          run(port() + " " + c.writerFlag + " read --image " + std::to_string(i + 1) + " " + quote(out.string()));
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, "Downloading Success\n");
      EXPECT_TRUE(support::readFile(out) == images[i]) << "image " << i + 1;
      EXPECT_NE(r.err.find("Checksums: header " + hex(images[i][0x14D], 2) + " right, global "), std::string::npos)
          << r.err;
    }
  }
}

TEST_F(GbCli, Write_SendsNoProbeOfItsOwnBeforeTheOperation) {
  insert("gb-flash");
  const auto probe = probeCommands("");
  const RunResult w = run(port() + traced() + " write " + quote(put("a.gb", makeGbImage({"A", 0x19, 0, 0, false}))));
  ASSERT_EQ(w.status, 0) << w.err;
  // The operation checks the link, then probes; nothing comes before that.
  const auto names = traceCommands(traceOf());
  ASSERT_GT(names.size(), probe.size() + 1);
  EXPECT_EQ(names[0], "CheckDevice");
  EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.begin() + 1 + static_cast<long>(probe.size())), probe);
}

TEST_F(GbCli, WriteVerify_AfterTheSameWriteReadsBackAndSaysVerifyOk) {
  const std::string a = put("roms/a.gb", makeGbImage({"FIRST", 0x1B, 1, 2, true}));
  const std::string b = put("roms/b.gbc", makeGbImage({"SECOND", 0x19, 0, 0, true}));
  insert("gb-flash");
  const RunResult plain = run(port() + traced("plain.txt") + " write " + quote(a) + " " + quote(b));
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out, "Writing Success\n");

  insert("gb-flash");
  const RunResult verified = run(port() + traced("verified.txt") + " write --verify " + quote(a) + " " + quote(b));
  ASSERT_EQ(verified.status, 0) << verified.err;
  EXPECT_EQ(verified.out, "Writing Success\nVerify OK\n");
  // The write itself is the same; the reading comes after it.
  const std::string plainTrace = traceOf("plain.txt"), verifiedTrace = traceOf("verified.txt");
  EXPECT_GT(verifiedTrace.size(), plainTrace.size());
  EXPECT_EQ(verifiedTrace.substr(0, plainTrace.size()), plainTrace);
  EXPECT_NE(traceCommands(verifiedTrace.substr(plainTrace.size())), std::vector<std::string>{});
}

// An image file longer than its header declares: the declared part is written, the rest named.
TEST_F(GbCli, WriteOfAFileLongerThanItsHeader_SaysWhatWasLeftOut) {
  Bytes image = makeGbImage({"LONG", 0x00, 0, 0, false});
  image.resize(0x10000, 0x77);
  const std::string a = put("long.gb", image), said = "Only the first 32768 of 65536 bytes of " + a + " were used";
  insert("gb-flash");
  const RunResult r = run(port() + " write " + quote(a));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(said + " (its header declares 32768)\n"), std::string::npos) << r.err;
}

TEST_F(GbCli, WriteVerify_ReadingFails_ExitOneWithTheMessageAfterWritingSuccess) {
  insert("gb-flash");
  ASSERT_EQ(run("sim fault " + quote(writer()) + " read-fail-bank=1").status, 0);
  const RunResult r = run(port() + " write --verify " + quote(put("a.gb", makeGbImage({"A", 0x19, 1, 0, false}))));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Writing Success\nReading Error\n");
  EXPECT_NE(r.err.find("Reading Error\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Verify OK"), std::string::npos);
}

// A WS write --verify, then read: a bit the card did not take (flip-bit) shows in the verify's
// message and in the read's checksum line; file offsets count the file's header.
TEST_F(GbCli, WsWriteVerifyThenRead_ABitTheCardDidNotTakeShowsInBoth) {
  Bytes ws = pattern(0x80000, 5);
  support::fixWsChecksum(ws);
  const std::string sums = "Checksums: global " + hex(static_cast<unsigned>(ws[0x7FFFF] << 8 | ws[0x7FFFE]), 4);
  ws.insert(ws.begin(), 0x200, 0xEE);
  for (const std::string fault : {"", "flip-bit=0x380010"}) {
    SCOPED_TRACE(fault);
    insert("ws-flash");
    if (!fault.empty()) {
      ASSERT_EQ(run("sim fault " + quote(writer()) + " " + fault).status, 0);
    }
    const RunResult w = run(port() + " --writer ws write --verify " + quote(put("v.ws", ws)));
    EXPECT_EQ(w.status, fault.empty() ? 0 : 1) << w.err;
    EXPECT_EQ(w.out, "Writing Success\n" + std::string(fault.empty() ? "Verify OK\n"
                                                                     : "Verify Error: v.ws differs at card address "
                                                                       "0x380010, file offset 0x000210\n"));
    EXPECT_EQ(
        w.err.find("Verify Error: v.ws differs at card address 0x380010, file offset 0x000210\n") != std::string::npos,
        !fault.empty())
        << w.err;
    const RunResult r = run(port() + " --writer ws read " + quote((dir_ / "back.ws").string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(sums + (fault.empty() ? " right\n" : " wrong (computed ")), std::string::npos) << r.err;
  }
}

// ---------------------------------------------------------------------------------------
// Ordinary cartridges.

struct CartCase {
  const char* name;
  GbImageSpec spec;
  bool fixGlobal;    // give the image a right global checksum
  bool breakHeader;  // spoil its header checksum
};

TEST_F(GbCli, ReadCartridge_FileEqualsTheCartridgeAndTheChecksumLineSaysWhatIsRight) {
  const CartCase cases[] = {
      {"both right", {"POCKET", 0x13, 1, 2, false}, true, false},
      {"global wrong", {"TOWER", 0x19, 0, 0, true}, false, false},
      {"header wrong", {"RIVER", 0x1B, 2, 3, true}, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes image = makeGbImage(c.spec);
    if (c.breakHeader) image[0x14D] = static_cast<std::uint8_t>(image[0x14D] + 1);
    if (c.fixGlobal) support::fixGlobalChecksum(image);
    if (!c.fixGlobal) image[0x14E] = static_cast<std::uint8_t>(image[0x14E] ^ 0x5A);
    insert("gb-cart " + quote(put("cart.gb", image)));

    const auto out = dir_ / "read.gb";
    const RunResult r = run(port() + " read " + quote(out.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Downloading Success\n");
    EXPECT_TRUE(support::readFile(out) == image);

    Bytes right = image;
    support::fixHeaderChecksum(right);
    support::fixGlobalChecksum(right);
    const std::string header = "header " + hex(image[0x14D], 2) +
                               (c.breakHeader ? " wrong (computed " + hex(right[0x14D], 2) + ")" : " right");
    const unsigned stored = static_cast<unsigned>(image[0x14E] << 8 | image[0x14F]);
    const unsigned computed = static_cast<unsigned>(right[0x14E] << 8 | right[0x14F]);
    const std::string global =
        "global " + hex(stored, 4) + (c.fixGlobal ? " right" : " wrong (computed " + hex(computed, 4) + ")");
    EXPECT_NE(r.err.find("Checksums: " + header + ", " + global + "\n"), std::string::npos) << r.err;
  }
}

// read --twice against a dirty contact: a bank read differently is read a third time and the two
// reads that agree go into the file; no two alike fails and leaves OUT as it was; read once, the
// file holds the altered bytes.
TEST_F(GbCli, ReadTwice_KeepsTheBytesTwoReadsAgreeOn) {
  struct Case {
    const char *name, *writer, *faults, *twice;
    int status;
    const char* said;  // after the checksum line, or the failure; empty: the file is wrong
  };
  const Case cases[] = {
      {"third read agrees", "gb", "flaky-bank=2 flaky-reads=1", " --twice", 0, "1 bank needed a third read\n"},
      {"no two alike", "gb", "flaky-bank=2", " --twice", 1,
       "bank 2 read differently each time: clean the contacts and read again\n"},
      {"read once", "gb", "flaky-bank=2", "", 0, ""},
      {"WS block", "ws", "flaky-bank=9 flaky-reads=1", " --twice", 0, "1 block needed a third read\n"},
  };
  const Bytes cart = makeGbImage({"DIRTY", 0x1B, 1, 2, true}), ws = pattern(0x80000, 3), before = pattern(1000, 7);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool isWs = std::string(c.writer) == "ws";
    insert(isWs ? "ws-flash" : "gb-cart " + quote(put("cart.gb", cart)));
    ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear " + c.faults).status, 0);
    if (isWs) {
      ASSERT_EQ(run(port() + " --writer ws write " + quote(put("a.ws", ws))).status, 0);
    }
    const std::string out = put("out.bin", before);
    const RunResult r = run(port() + " --writer " + c.writer + " read" + c.twice + " " + quote(out));
    EXPECT_EQ(r.status, c.status) << r.err;
    Bytes card = isWs ? ws : cart;
    if (isWs) card[card.size() - 4] &= 0x07;  // the size code that writing put in
    const Bytes file = support::readFile(out);
    if (c.status != 0) {
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    } else if (*c.said != 0) {
      EXPECT_EQ(r.err.substr(r.err.find('\n', r.err.find("Checksums: ")) + 1, std::strlen(c.said)), c.said) << r.err;
    }
    EXPECT_EQ(file == (c.status != 0 ? before : card), *c.said != 0);
    for (const auto& entry : fs::directory_iterator(dir_))  // no temporary file left beside OUT
      EXPECT_TRUE(entry.path() == out || entry.path().filename().string().find("out.bin") == std::string::npos);
  }
}

// ---------------------------------------------------------------------------------------
// Save memory.

TEST_F(GbCli, SaveMemoryOfCartridge_BackupGivesTheSaveAndRestoreReplacesIt) {
  struct Case {
    int ramCode;
    std::size_t bytes;  // size of the save file
  };
  for (const auto& c : {Case{1, 2048}, Case{2, 8192}, Case{3, 32768}}) {
    SCOPED_TRACE(c.ramCode);
    const Bytes sav = pattern(32768, 1);
    insert("gb-cart " +
           quote(put("cart.gb", makeGbImage({"SAVER", 0x13, 0, static_cast<std::uint8_t>(c.ramCode), false}))) +
           " --sav " + quote(put("start.sav", sav)));

    const auto backup = dir_ / "backup.sav";
    const RunResult b = run(port() + " backup-ram " + quote(backup.string()));
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(b.out, "Downloading Success\n");
    EXPECT_TRUE(support::readFile(backup) == Bytes(sav.begin(), sav.begin() + static_cast<long>(c.bytes)));

    const Bytes next = pattern(c.bytes, 2);
    const RunResult u = run(port() + " restore-ram " + quote(put("next.sav", next)));
    ASSERT_EQ(u.status, 0) << u.err;
    EXPECT_EQ(u.out, "Uploading Success\n");
    ASSERT_EQ(run(port() + " backup-ram " + quote(backup.string())).status, 0);
    EXPECT_TRUE(support::readFile(backup) == next);
  }
}

TEST_F(GbCli, SaveMemoryOfFlashImage_EachImageHasItsOwnArea) {
  insert("gb-flash");
  ASSERT_EQ(run(port() + " write " + quote(put("a.gb", makeGbImage({"AAA", 0x1B, 0, 2, true}))) + " " +
                quote(put("b.gb", makeGbImage({"BBB", 0x1B, 0, 3, true}))))
                .status,
            0);
  const Bytes forFirst = pattern(8192, 3), forSecond = pattern(32768, 4);
  ASSERT_EQ(run(port() + " restore-ram --image 1 " + quote(put("first.sav", forFirst))).status, 0);
  const RunResult u = run(port() + " restore-ram --image 2 " + quote(put("second.sav", forSecond)));
  ASSERT_EQ(u.status, 0) << u.err;
  EXPECT_EQ(u.out, "Uploading Success\n");

  const auto out = dir_ / "out.sav";
  for (const auto& [image, expected] : {std::pair{1, forFirst}, std::pair{2, forSecond}}) {
    const RunResult b = run(port() + " backup-ram --image " + std::to_string(image) + " " + quote(out.string()));
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(b.out, "Downloading Success\n");
    EXPECT_TRUE(support::readFile(out) == expected) << "image " << image;
  }
}

TEST_F(GbCli, SaveMemoryPassword_GbPasswordUsesRamBankFourteen) {
  insert("gb-flash");
  const std::string pw = "--writer gb-password";
  ASSERT_EQ(run(port() + " " + pw + " write " + quote(put("a.gb", makeGbImage({"PASS", 0x1B, 0, 2, false})))).status,
            0);
  const Bytes password = pattern(8192, 5);
  const RunResult u = run(port() + " " + pw + " restore-ram --password " + quote(put("pw.sav", password)));
  ASSERT_EQ(u.status, 0) << u.err;
  EXPECT_EQ(u.out, "Uploading Success\n");
  const Bytes sram = support::readFile(memory("gb-sram.bin"));
  EXPECT_TRUE(Bytes(sram.begin() + 0x1C000, sram.begin() + 0x1E000) == password);

  const auto out = dir_ / "out.sav";
  const RunResult b = run(port() + " " + pw + " backup-ram --password " + quote(out.string()));
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_TRUE(support::readFile(out) == password);
  // The image's own area is another one.
  ASSERT_EQ(run(port() + " " + pw + " backup-ram --image 1 " + quote(out.string())).status, 0);
  EXPECT_FALSE(support::readFile(out) == password);
}

// ---------------------------------------------------------------------------------------
// Erasing.

TEST_F(GbCli, Erase_SizeChoosesHowMuchFlashGoesAndTheCardHoldsNoImagesAfter) {
  for (const int size : {16, 32}) {
    SCOPED_TRACE(size);
    insert("gb-flash");
    // Images in the first region and in region 5 (2.5 MiB), beyond a "16MB Card".
    Bytes bios = support::readFile(memory("gb-bios.bin"));
    Bytes flash = support::readFile(memory("gb-flash.bin"));
    const Bytes menu = support::makeMenuImage(0x4000);
    std::copy(menu.begin(), menu.end(), bios.begin());
    const Bytes low = makeGbImage({"LOW", 0x1B, 0, 0, true}), high = makeGbImage({"HIGH", 0x1B, 0, 0, true});
    support::placeOnFlashCard(bios, flash, {{low, 0, 0}, {high, 5, 0}}, 0);
    support::writeFile(memory("gb-bios.bin"), bios);
    support::writeFile(memory("gb-flash.bin"), flash);
    ASSERT_NE(run(port() + " info").out.find("Total 2 ROM"), std::string::npos);

    const RunResult e = run(port() + " erase --size " + std::to_string(size));
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.out, "Earsing Success\n");

    const Bytes after = support::readFile(memory("gb-flash.bin"));
    const std::size_t erased = size == 16 ? 0x200000 : 0x400000;
    EXPECT_TRUE(
        std::all_of(after.begin(), after.begin() + static_cast<long>(erased), [](auto b) { return b == 0xFF; }));
    const auto highAt = after.begin() + 5 * 0x80000;
    EXPECT_EQ(std::equal(high.begin(), high.end(), highAt), size == 16) << "region 5 is kept by a 16 only";

    const RunResult info = run(port() + " info");
    EXPECT_NE(info.out.find("Total 0 ROM"), std::string::npos) << info.out;
    const RunResult read = run(port() + " read --image 1 " + quote((dir_ / "x.gb").string()));
    EXPECT_EQ(read.status, 1);
    EXPECT_NE(read.err.find("the flash card holds no images"), std::string::npos) << read.err;
  }
}

// ---------------------------------------------------------------------------------------
// Refusals after the probe: a message, exit 1, nothing sent after the probe, no file.

enum class Card { FlashTwoImages, CartNoRam, CartWithRam, CartRomCodeEight, Empty };

struct RefusalCase {
  const char* name;
  Card card;
  const char* writerFlag;
  const char* command;  // OUT / IN is added for read, backup-ram and restore-ram
  const char* says;     // a piece of the message
};

TEST_F(GbCli, Refusals_SayWhyExitOneAndSendNothingAfterTheProbe) {
  const RefusalCase cases[] = {
      {"read flash card without --image", Card::FlashTwoImages, "", "read", "--image N (1 to 2)"},
      {"read --image out of range", Card::FlashTwoImages, "", "read --image 3", "holds 2 images"},
      // No image 0 or -1 either: the same answer, with the card's images.
      {"read --image 0", Card::FlashTwoImages, "", "read --image 0", "holds 2 images"},
      {"restore --image -1", Card::FlashTwoImages, "", "restore-ram --image -1", "holds 2 images"},
      {"read cartridge with --image", Card::CartNoRam, "", "read --image 1", "ordinary cartridge"},
      {"read cartridge with ROM size code 8", Card::CartRomCodeEight, "", "read", "ROM size code 0x08"},
      {"read empty writer", Card::Empty, "", "read", "ROM size code 0xFF"},
      {"backup flash card without --image", Card::FlashTwoImages, "", "backup-ram", "--image N (1 to 2)"},
      {"backup flash card, --password offered", Card::FlashTwoImages, "--writer gb-password", "backup-ram",
       "or --password"},
      {"backup --password with gb", Card::FlashTwoImages, "", "backup-ram --password", "writer type is gb"},
      {"restore --password with gb", Card::FlashTwoImages, "", "restore-ram --password", "writer type is gb"},
      {"backup --image out of range", Card::FlashTwoImages, "", "backup-ram --image 5", "holds 2 images"},
      {"backup cartridge without RAM", Card::CartNoRam, "", "backup-ram", "no save memory"},
      {"restore cartridge without RAM", Card::CartNoRam, "", "restore-ram", "no save memory"},
      {"backup cartridge with --image", Card::CartWithRam, "", "backup-ram --image 1", "ordinary cartridge"},
      {"erase cartridge", Card::CartWithRam, "", "erase --size 16", "no flash card to erase"},
      {"erase empty writer", Card::Empty, "", "erase --size 32", "no flash card to erase"},
  };
  // A refusal changes nothing on the card, so cases in a row with the same card share it.
  std::string current;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string setup = std::to_string(static_cast<int>(c.card)) + c.writerFlag;
    if (setup != current) {
      switch (c.card) {
        case Card::FlashTwoImages: {
          insert("gb-flash");
          const std::string flag = c.writerFlag;
          ASSERT_EQ(run(port() + " " + flag + " write " + quote(put("a.gb", makeGbImage({"A", 0x1B, 0, 2, true}))) +
                        " " + quote(put("b.gb", makeGbImage({"B", 0x1B, 0, 2, true}))))
                        .status,
                    0);
          break;
        }
        case Card::CartNoRam:
          insert("gb-cart " + quote(put("c.gb", makeGbImage({"NORAM", 0x01, 0, 0, false}))));
          break;
        case Card::CartWithRam:
          insert("gb-cart " + quote(put("c.gb", makeGbImage({"RAM", 0x13, 0, 2, false}))));
          break;
        case Card::CartRomCodeEight: {
          Bytes image = makeGbImage({"ODD", 0x19, 0, 0, false});
          image[0x148] = 0x08;
          support::fixHeaderChecksum(image);
          insert("gb-cart " + quote(put("c.gb", image)));
          break;
        }
        case Card::Empty:
          insert("none");
          break;
      }
      current = setup;
    }
    const auto probe = probeCommands(c.writerFlag);
    ASSERT_FALSE(probe.empty());
    const std::string command = c.command;
    const bool takesFile = command.rfind("erase", 0) != 0;
    const auto file = dir_ / "file.bin";
    fs::remove(file);
    if (command.rfind("restore-ram", 0) == 0) put("file.bin", pattern(8192, 6));
    const RunResult r = run(port() + " " + c.writerFlag + traced() + " " + command +
                            (takesFile ? " " + quote(file.string()) : std::string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(traceCommands(traceOf()), probe);
    if (command.rfind("restore-ram", 0) != 0) {
      EXPECT_FALSE(fs::exists(file));
    }
  }
}

TEST_F(GbCli, Write_ImageRefusedByTheCardList_ItsMessageAndNothingSent) {
  struct Case {
    const char* name;
    const char* writerFlag;
    std::vector<std::string> files;  // in the test folder; a name not made below is missing
    std::string message;
  };
  put("colour.gb", makeGbImage({"COLOUR", 0x1B, 0, 0, true}));
  put("colour2.gb", makeGbImage({"COLOUR2", 0x1B, 0, 0, true}));
  put("mono.gb", makeGbImage({"MONO", 0x1B, 0, 0, false}));
  put("short.gb", Bytes(0x100, 0));
  std::vector<std::string> nine;
  for (int i = 0; i < 9; ++i) {
    nine.push_back("small" + std::to_string(i) + ".gb");
    put(nine.back(), makeGbImage({"SMALL" + std::to_string(i), 0x1B, 0, 0, true}));
  }
  std::vector<std::string> bigSaves;
  for (int i = 0; i < 3; ++i) {
    bigSaves.push_back("save" + std::to_string(i) + ".gb");
    put(bigSaves.back(), makeGbImage({"SAVE" + std::to_string(i), 0x1B, 0, 3, true}));
  }
  const Case cases[] = {
      {"same file twice",
       "",
       {"colour.gb", "colour.gb"},
       std::string(library::VerdictMessage(library::kDuplicateName))},
      {"colour then mono", "", {"colour.gb", "mono.gb"}, std::string(library::VerdictMessage(library::kColorMix))},
      {"nine images", "", nine, std::string(library::VerdictMessage(library::kRomSizeTooBig))},
      {"save memory over eight units", "--writer gb-password", bigSaves,
       std::string(library::VerdictMessage(library::kRamSizeTooBig))},
      {"missing file", "", {"colour.gb", "missing.gb"}, "Opening File missing.gb Error"},
      {"short file", "", {"short.gb"}, "Reading short.gb Error"},
  };
  insert("gb-flash");
  const Bytes flashBefore = support::readFile(memory("gb-flash.bin"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(traceFile());
    std::string args;
    for (const auto& f : c.files) {
      args += ' ';
      args += quote((dir_ / f).string());
    }
    const RunResult r = run(port() + " " + c.writerFlag + traced() + " write" + args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.message) << r.err;
    EXPECT_EQ(traceCommands(traceOf()), std::vector<std::string>{});
  }
  EXPECT_TRUE(support::readFile(memory("gb-flash.bin")) == flashBefore);
  // A colour image after the refused ones goes on: the refusals left nothing behind.
  EXPECT_EQ(run(port() + " write " + quote((dir_ / "colour.gb").string()) + " " + quote((dir_ / "colour2.gb").string()))
                .status,
            0);
}

TEST_F(GbCli, UsageErrors_ExitTwoAndNothingSent) {
  insert("gb-flash");
  for (const std::string command :
       {"write", "read", "read --image x out.gb", "backup-ram --image 1 --password out.sav", "restore-ram",
        "restore-ram --image 1 --password in.sav", "erase", "erase --size 8", "erase --size 16 extra", "write --verify",
        "read ''", "backup-ram --image 1 ''", "restore-ram --image 1 ''", "write ''"}) {
    SCOPED_TRACE(command);
    fs::remove(traceFile());
    const RunResult r = run(port() + traced() + " " + command);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err, "");
    EXPECT_EQ(traceCommands(traceOf()), std::vector<std::string>{});
  }
}

TEST_F(GbCli, Help_EachCommandExplainsItsArguments) {
  struct Case {
    const char* command;
    std::vector<const char*> words;
  };
  const Case cases[] = {
      {"write", {"IMAGE", "--verify", "Writing Success"}},
      {"read", {"OUT", "--image", "checksum"}},
      {"backup-ram", {"OUT", "--image", "--password", "gb-password"}},
      {"restore-ram", {"IN", "--image", "--password", "gb-password"}},
      {"erase", {"--size", "16MB Card", "32MB Card", "required"}},
  };
  for (const auto& c : cases) {
    const RunResult r = run(std::string(c.command) + " --help");
    EXPECT_EQ(r.status, 0) << c.command;
    for (const char* word : c.words) EXPECT_NE(r.out.find(word), std::string::npos) << c.command << ": " << word;
  }
  const RunResult top = run("--help");
  for (const char* word : {"write", "read", "backup-ram", "restore-ram", "erase", "130"})
    EXPECT_NE(top.out.find(word), std::string::npos) << word;
}

// ---------------------------------------------------------------------------------------
// Operations that fail, or find no writer.

struct FailureCase {
  const char* name;
  const char* fault;
  const char* command;  // OUT / IN added when `file` is set
  bool file;            // the command names a file to write (false: none)
  const char* message;
};

TEST_F(GbCli, FailingOperation_ExitOneWithItsMessageAndNoFileLeft) {
  const FailureCase cases[] = {
      {"programming fails", "program-fail-bank=0", "write", false, "Writing a.gb Fail"},
      {"block erase fails", "erase-fail-block=3", "erase --size 16", false, "Earsing ROM Fail"},
      {"reading fails", "read-fail-bank=1", "read --image 1", true, "Reading Error"},
      {"save memory read fails", "sram-read-fail", "backup-ram --image 1", true, "Reading Fail"},
  };
  const std::string a = put("a.gb", makeGbImage({"A", 0x1B, 1, 2, true}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    insert("gb-flash");
    ASSERT_EQ(run(port() + " write " + quote(a)).status, 0);
    ASSERT_EQ(run("sim fault " + quote(writer()) + " " + c.fault).status, 0);
    const auto out = dir_ / "out.bin";
    fs::remove(out);
    const std::string command = std::string(c.command) == "write" ? "write " + quote(a) : c.command;
    const RunResult r = run(port() + " " + command + (c.file ? " " + quote(out.string()) : std::string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(std::string(c.message) + "\n"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    for (const auto& entry : fs::directory_iterator(dir_))
      EXPECT_EQ(entry.path().filename().string().find("out.bin"), std::string::npos) << entry.path();
    ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear").status, 0);
  }
}

TEST_F(GbCli, FailedRead_AnExistingFileOfThatNameIsKept) {
  insert("gb-flash");
  ASSERT_EQ(run(port() + " write " + quote(put("a.gb", makeGbImage({"A", 0x1B, 1, 0, true})))).status, 0);
  ASSERT_EQ(run("sim fault " + quote(writer()) + " read-fail-bank=2").status, 0);
  const Bytes before = pattern(1000, 7);
  const std::string out = put("kept.gb", before);
  const RunResult r = run(port() + " read --image 1 " + quote(out));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(support::readFile(out) == before);
}

TEST_F(GbCli, NoWriter_LinkingFailForEveryCommand) {
  const std::string missing = "--port sim:" + quote((dir_ / "missing").string());
  const std::string a = put("a.gb", makeGbImage({"A", 0x1B, 0, 0, true}));
  for (const std::string& command :
       std::vector<std::string>{"write " + quote(a), "read out.gb", "backup-ram --image 1 out.sav",
                                "restore-ram --image 1 " + quote(a), "erase --size 16"}) {
    SCOPED_TRACE(command);
    const RunResult r = run(missing + " " + command);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Linking Fail\n"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.gb"));
  }
}

// ---------------------------------------------------------------------------------------
// Ctrl-C.

TEST_F(GbCli, Interrupt_DuringErase_ExitsWith130AndSendsNothingMore) {
  insert("gb-flash");
  // Every block erase keeps the writer busy for many polls, so the erase runs long enough
  // to be interrupted in its first blocks.
  ASSERT_EQ(run("sim fault " + quote(writer()) + " busy-polls=17000").status, 0);
  const std::string err = (dir_ / "stderr.txt").string();
  const std::string shell = "exec env -u QUILLON_PORT -u QUILLON_TRACE XDG_STATE_HOME=" + quote(dir_ / "state") + " " +
                            quote(QUILLON_CLI) + " " + port() + traced() + " erase --size 32 >/dev/null 2>" +
                            quote(err) + " </dev/null";
  const char* argv[] = {"/bin/sh", "-c", shell.c_str(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
  // Wait until the erase has begun (the first block's step line), then press Ctrl-C.
  for (int i = 0; i < 6000 && slurp(err).find("Earsing ROM") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_NE(slurp(err).find("Earsing ROM"), std::string::npos);
  ::kill(pid, SIGINT);
  int raw = 0;
  ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 130);
  EXPECT_NE(slurp(err).find("interrupted"), std::string::npos) << slurp(err);
  EXPECT_EQ(slurp(err).find("Earsing BIOS"), std::string::npos) << "the erase went on after the stop";
  const auto names = traceCommands(traceOf());
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(std::count(names.begin(), names.end(), "WriteBlock"), 0) << "the save memory was not reached";
}

}  // namespace
}  // namespace quillon::test
