// SPDX-License-Identifier: GPL-3.0-or-later
// DAT verdicts through quillon-cli check and read --dat, on images and made-up DATs the tests
// write; the hashes against sha1sum's, md5sum's, sha256sum's and zlib's for made-up bytes.
#include "cli_run.h"
#include "dat/hashes.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

using support::Bytes;

TEST(Hashes, EqualTheStandardToolsOnMadeUpBytes) {
  Bytes sevens(3000);
  for (std::size_t i = 0; i < sevens.size(); ++i) sevens[i] = static_cast<std::uint8_t>(i * 7);
  const struct {
    Bytes bytes;
    dat::Hashes want;
  } cases[] = {
      {{},
       {"00000000", "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
        "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}},
      {{'a', 'b', 'c'},
       {"352441c2", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d",
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}},
      {sevens,
       {"b26b8940", "957a5bf1626328596e72a93e8ca010ad", "082c09359c0438e3930263c933b2de011feb2320",
        "7291514d2492fd7ff49e10ba7df95d19d31d199b89d74bcb62cebdee1bc1a498"}},
  };
  for (const auto& c : cases) EXPECT_EQ(dat::HashBytes(c.bytes), c.want);
}

Bytes twice(Bytes bytes) {
  bytes.insert(bytes.end(), bytes.begin(), bytes.end());
  return bytes;
}

class DatCli : public Cli {
 protected:
  std::string put(const std::string& name, const Bytes& bytes) {
    support::writeFile(dir_ / name, bytes);
    return quote((dir_ / name).string());
  }
  std::string putText(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return quote((dir_ / name).string());
  }
  static std::string entry(const std::string& game, const Bytes& rom, const std::string& extra = "") {
    const auto h = dat::HashBytes(rom);
    return "<game name=\"" + game + "\"><rom name=\"r\" size=\"" + std::to_string(rom.size()) + "\" crc=\"" + h.crc32 +
           "\" sha1=\"" + h.sha1 + "\" " + extra + "/></game>\n";
  }
  static std::string textEntry(const std::string& game, const Bytes& rom, const std::string& extra = "") {
    const auto h = dat::HashBytes(rom);
    return "game (\n\tname \"" + game + "\"\n\trom ( name r size " + std::to_string(rom.size()) + " crc " + h.crc32 +
           " md5 " + h.md5 + " " + extra + " )\n)\n";
  }
};

TEST_F(DatCli, CheckGivesEachImageItsVerdict) {
  const Bytes good = support::makeGbImage({"DAT GAME", 0x00, 0, 0, false});
  const Bytes bad = support::makeGbImage({"BROKEN", 0x00, 0, 0, false});
  const Bytes other = support::makeGbImage({"SHA DECIDES", 0x00, 0, 0, false});
  Bytes noSize = support::makeGbImage({"NOSIZE", 0x00, 0, 0, false}), longer = good, ws(0x20000, 0x3C);
  noSize[0x148] = 0x55;  // no size declared
  longer.resize(0x10000, 0x77);
  ws[ws.size() - 6] = 0;  // 128 KiB
  Bytes wsHeaded(512, 0xEE);
  wsHeaded.insert(wsHeaded.end(), ws.begin(), ws.end());
  const std::string xml = putText(
      "roms.xml",
      "<?xml version=\"1.0\"?>\n<datafile><header><name>Made Up</name></header>\n" + entry("Dat Game (World)", good) +
          entry("No Size (Japan)", noSize) + entry("Broken (Europe)", bad, "status=\"baddump\"") +
          entry("Ws Game (Japan)", ws) + entry("Same  Title (USA) (Rev 1)", Bytes(9, 1)) +
          "<game name=\"Other Sha\"><rom size=\"32768\" crc=\"" + dat::HashBytes(other).crc32 + "\" sha1=\"" +
          std::string(40, '0') + "\"/></game>\n" + "<machine name=\"Coded\"><serial>DMG-QXYE-JPN</serial>" +
          "<rom name=\"c\" size=\"3\" crc=\"2\"/></machine>\n" + "</datafile>\n");
  const std::string text =
      putText("roms.dat", "clrmamepro (\n\tname \"Made \\\"Up\\\"\"\n)\n" + textEntry("Dat Game (World)", good) +
                              textEntry("Broken (Europe)", bad, "status baddump") +
                              "game ( name \"Other\" rom ( name r size 3 crc 00000001 ) )\n");
  std::string big = "clrmamepro ( name \"Big\" )\n";
  for (int i = 0; big.size() < 50'000'000; ++i)
    big += "game ( name \"Filler " + std::to_string(i) + "\" rom ( name x size 32768 crc " +
           std::to_string(10000000 + i) + " md5 00000000000000000000000000000000 ) )\n";
  const std::string bigDat = putText("big.dat", big + textEntry("Dat Game (World)", good));
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [\n<!ENTITY a \"aaaaaaaaaa\">\n";
  for (char c = 'b'; c <= 'k'; ++c) {
    laughs += std::string("<!ENTITY ") + c + " \"";
    for (int i = 0; i < 10; ++i) laughs += std::string("&") + static_cast<char>(c - 1) + ";";
    laughs += "\">\n";
  }
  const std::string entities = putText("laughs.xml", laughs + "]>\n<datafile><game name=\"&k;\"/></datafile>\n");
  const std::string broken = putText("broken.dat", "game (\n\tname \"x\"\n\trom ( name r size twelve )\n)\n");
  const struct {
    const char *name, *writer;
    std::string dat, image, verdict, error;
    int status;
  } cases[] = {
      {"good (XML)", "", xml, put("good.gb", good), "good dump: Dat Game (World)", "", 0},
      {"good (text, MD5)", "", text, put("good.gb", good), "good dump: Dat Game (World)", "", 0},
      {"longer than declared", "", xml, put("long.gb", longer), "good dump: Dat Game (World) (its first 32768 bytes)",
       "", 0},
      {"mirrored", "", xml, put("mirror.gb", twice(twice(noSize))),
       "good dump: No Size (Japan) (its first 32768 bytes)", "", 0},
      {"WS header", "--writer ws", xml, put("h.ws", wsHeaded),
       "good dump: Ws Game (Japan) (without its 512-byte header)", "", 0},
      {"bad dump (XML)", "", xml, put("bad.gb", bad), "bad dump in the DAT: Broken (Europe)", "", 1},
      {"bad dump (text)", "", text, put("bad.gb", bad), "bad dump in the DAT: Broken (Europe)", "", 1},
      {"title", "", xml, put("t.gb", support::makeGbImage({"same  TITLE", 0, 0, 0, false})),
       "not in the DAT (its title matches Same  Title (USA) (Rev 1), whose contents differ)", "", 1},
      {"serial", "", xml, put("s.gb", support::makeGbImage({"CODEGAMEABCQXYE", 0, 0, 0, false})),
       "not in the DAT (its title matches Coded, whose contents differ)", "", 1},
      {"CRC alike, SHA-1 not", "", xml, put("o.gb", other), "not in the DAT", "", 1},
      {"unknown", "", text, put("u.gb", support::makeGbImage({"NOBODY", 0, 0, 0, false})), "not in the DAT", "", 1},
      {"malformed", "", broken, put("good.gb", good),
       "no DAT verdict (" + (dir_ / "broken.dat").string() + " could not be read)",
       "broken.dat line 3: the size \"twelve\" is not a number", 1},
      {"entities", "", entities, put("good.gb", good), "could not be read)",
       "laughs.xml line 2: the DOCTYPE declares entities", 1},
      {"50 MB DAT", "", bigDat, put("good.gb", good), "good dump: Dat Game (World)", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = run(std::string(c.writer) + " check --dat " + c.dat + " " + c.image);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(r.out.ends_with(c.verdict + "\n")) << r.out;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
}

TEST_F(DatCli, ReadWithDatSaysTheVerdictAfterTheChecksums) {
  const Bytes cart = support::makeGbImage({"CARTGAME", 0x00, 0, 0, false});
  ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-cart " + put("cart.gb", cart)).status, 0);
  const std::string dat = putText("roms.dat", textEntry("Cart Game (World)", cart));
  const RunResult r = run(port() + " read " + quote((dir_ / "out.gb").string()), "QUILLON_DAT=" + dat + " ");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Checksums: "), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.ends_with("\ngood dump: Cart Game (World)\n")) << r.err;
}

}  // namespace
}  // namespace quillon::test
