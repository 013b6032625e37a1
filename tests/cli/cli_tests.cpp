// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli run as a user runs it, against simulated writers in temporary folders.
#include "cli_run.h"
#include "gb_images.h"

namespace quillon::test {
namespace {

using support::GbImageSpec;
using support::makeGbImage;

TEST_F(Cli, Info_FlashCardWithTwoImages_PrintsCardInformationAndTracesTheProbe) {
  ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-flash --bios-chip BF:07:00 --flash-chip 89:A0:04").status, 0);
  auto bios = support::readFile(fs::path(writer()) / "gb-bios.bin");
  auto flash = support::readFile(fs::path(writer()) / "gb-flash.bin");
  const auto menu = support::makeMenuImage(0x4000);
  std::copy(menu.begin(), menu.end(), bios.begin());
  support::placeOnFlashCard(
      bios, flash, {{makeGbImage({"RACER", 0x1B, 5, 3, true}), 0, 4}, {makeGbImage({"MAZE", 0x01, 0, 0, true}), 2, 0}},
      0);
  support::writeFile(fs::path(writer()) / "gb-bios.bin", bios);
  support::writeFile(fs::path(writer()) / "gb-flash.bin", flash);

  const auto trace = dir_ / "trace.txt";
  const RunResult r = run(port() + " --trace " + quote(trace) + " info");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Emulator Card\nBIOS ROM Type:SST 29EE010\nFLASH ROM Type:INTEL 28F016SV\nTotal 2 ROM\n"
            "ROM -> 1\nName:RACER\nType:MBC5\nROM Starting Address:0x000000 bytes\nROM Size:8M bits\n"
            "RAM Starting Address:0x008000\nRAM Size:256K bits\nColor\n"
            "ROM -> 2\nName:MAZE\nType:MBC1\nROM Starting Address:0x100000 bytes\nROM Size:256K bits\n"
            "RAM Size:None bits\nColor\n");
  const auto names = traceCommands(slurp(trace));
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
            (std::vector<std::string>{"CheckDevice", "WriteByte", "SetControl", "ReadBlock"}));
  EXPECT_EQ(names.back(), "SetControl");
  EXPECT_NE(slurp(trace).find("> 00 00 D5 AA 96 06 00 40 00 00 C7\n"), std::string::npos)
      << "SetBank(64) for the second image's header";
}

TEST_F(Cli, Info_OrdinaryCartridge) {
  const auto rom = dir_ / "game.gb";
  support::writeFile(rom, makeGbImage({"POCKET", 0x13, 1, 2, false}));
  ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-cart " + quote(rom)).status, 0);
  const RunResult r = run(port() + " info");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Standard Card\nName:POCKET\nType:MBC3\nROM Size:512K bits\nRAM Size:64K bits\nMono\n");
}

TEST_F(Cli, Info_EmptyWriter_PrintsNothingAndSucceeds) {
  ASSERT_EQ(run("sim insert " + quote(writer()) + " none").status, 0);
  const RunResult r = run(port() + " info");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err, "");
}

TEST_F(Cli, Info_NoWriter_LinkingFailAndExitOne) {
  const auto trace = dir_ / "trace.txt";
  const RunResult r = run("--port sim:" + quote((dir_ / "missing").string()) + " --trace " + quote(trace) + " info");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Linking Fail\n"), std::string::npos);
  EXPECT_EQ(traceCommands(slurp(trace)), (std::vector<std::string>{"CheckDevice", "time-out"}));
}

TEST_F(Cli, Info_AbsentFault_LinkingFail) {
  ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-flash").status, 0);
  ASSERT_EQ(run("sim fault " + quote(writer()) + " absent").status, 0);
  EXPECT_EQ(run(port() + " info").status, 1);
  ASSERT_EQ(run("sim fault " + quote(writer()) + " --clear").status, 0);
  EXPECT_EQ(run(port() + " info").status, 0);
}

TEST_F(Cli, Info_WsCard) {
  ASSERT_EQ(run("sim insert " + quote(writer()) + " ws-flash").status, 0);
  const auto trace = dir_ / "trace.txt";
  const RunResult r = run(port() + " --writer ws --trace " + quote(trace) + " info");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Emulator Card\n");
  // Identification: the writer is told to read the card, two clock bytes, then the answer.
  EXPECT_NE(slurp(trace).find("> 00 00 D5 AA 96 06 02 11 24 00 B0 00 00\n"
                              "# SetControl\n"
                              "> 00 00 D5 AA 96 06 05 00 00 00 82 00\n"
                              "< 82 23 20\n"),
            std::string::npos)
      << slurp(trace);
}

TEST_F(Cli, List_PrintsTabSeparatedRowsSorted) {
  const auto roms = dir_ / "roms";
  fs::create_directories(roms);
  support::writeFile(roms / "b.GBC", makeGbImage({"BETA", 0x13, 6, 3, true}));
  support::writeFile(roms / "a.gb", makeGbImage({"ALPHA", 0x04, 2, 1, false}));
  support::writeFile(roms / "c.ws", std::vector<std::uint8_t>(16, 0));
  const RunResult r = run("list " + quote(roms.string()));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "a.gb\tALPHA\tUnknown\t1M\t16K\tM\nb.GBC\tBETA\tMBC3\t16M\t256K\tC\n");
  EXPECT_EQ(run("--writer ws list " + quote(roms.string())).out, "c.ws\t\t\tError\tNone\t\n");
}

// Header byte 0x143 is the 16th title byte of an old header and the colour flag (0x80, 0xC0)
// of a new one: as a flag it is no character of the title.
struct SixteenByteTitle {
  const char* title;  // the 16 bytes from 0x134, with `color` setting bit 7 of the last
  bool color;
  const char* info;  // the name quillon-cli info prints
  const char* list;  // the title quillon-cli list prints: the bytes before byte 0x143
};
constexpr SixteenByteTitle kSixteenByteTitles[] = {
    {"FIFTEEN LETTERS", true, "FIFTEEN LETTERS", "FIFTEEN LETTERS"},      // 0x80
    {"COLOUR ONLY GAM\xC0", true, "COLOUR ONLY GAM", "COLOUR ONLY GAM"},  // 0xC0
    {"SIXTEEN LETTERS!", false, "SIXTEEN LETTERS!", "SIXTEEN LETTERS"},   // a character
};

TEST_F(Cli, Info_SixteenByteTitles_ColourFlagIsNoCharacter) {
  ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-flash --bios-chip BF:07:00 --flash-chip 89:A0:04").status, 0);
  auto bios = support::readFile(fs::path(writer()) / "gb-bios.bin");
  auto flash = support::readFile(fs::path(writer()) / "gb-flash.bin");
  const auto menu = support::makeMenuImage(0x4000);
  std::copy(menu.begin(), menu.end(), bios.begin());
  std::vector<support::PlacedImage> placed;
  int region = 0;
  for (const auto& c : kSixteenByteTitles) placed.push_back({makeGbImage({c.title, 0x01, 0, 0, c.color}), region++, 0});
  support::placeOnFlashCard(bios, flash, placed, 0);
  support::writeFile(fs::path(writer()) / "gb-bios.bin", bios);
  support::writeFile(fs::path(writer()) / "gb-flash.bin", flash);
  const RunResult card = run(port() + " info");
  ASSERT_EQ(card.status, 0) << card.err;
  for (const auto& c : kSixteenByteTitles) {
    EXPECT_NE(card.out.find(std::string("\nName:") + c.info + "\nType:"), std::string::npos) << c.info << "\n"
                                                                                             << card.out;
  }

  // The same for an ordinary cartridge's header.
  for (const auto& c : kSixteenByteTitles) {
    const auto rom = dir_ / "game.gb";
    support::writeFile(rom, makeGbImage({c.title, 0x01, 0, 0, c.color}));
    ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-cart " + quote(rom)).status, 0);
    const RunResult cart = run(port() + " info");
    EXPECT_EQ(cart.status, 0) << cart.err;
    EXPECT_EQ(cart.out, std::string("Standard Card\nName:") + c.info +
                            "\nType:MBC1\nROM Size:256K bits\nRAM Size:None bits\n" + (c.color ? "Color\n" : "Mono\n"));
  }
}

TEST_F(Cli, List_SixteenByteTitles_ColourFlagIsNoCharacter) {
  const auto roms = dir_ / "roms";
  fs::create_directories(roms);
  std::string expected;
  char name = 'a';
  for (const auto& c : kSixteenByteTitles) {
    const std::string file = std::string(1, name++) + ".gb";
    support::writeFile(roms / file, makeGbImage({c.title, 0x01, 0, 0, c.color}));
    expected += file + "\t" + c.list + "\tMBC1\t256K\tNone\t" + (c.color ? "C" : "M") + "\n";
  }
  const RunResult r = run("list " + quote(roms.string()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
}

struct UsageCase {
  const char* args;
  int status;
};

TEST_F(Cli, UsageAndRefusals_ExitStatus) {
  for (auto [args, status] : {UsageCase{"", 2}, UsageCase{"frobnicate", 2}, UsageCase{"--writer nes info", 2},
                              UsageCase{"list", 2}, UsageCase{"--help", 0}, UsageCase{"--port nonsense:1 info", 1}}) {
    EXPECT_EQ(run(args).status, status) << args;
  }
  ASSERT_EQ(run("sim insert " + quote(writer()) + " none").status, 0);
  const RunResult bad = run("sim fault " + quote(writer()) + " melt-down");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("melt-down"), std::string::npos);
  const RunResult chip = run("sim insert " + quote(writer()) + " gb-flash --flash-chip 28F999");
  EXPECT_EQ(chip.status, 2);
  EXPECT_NE(chip.err.find("--flash-chip: unknown chip '28F999'"), std::string::npos) << chip.err;
}

TEST_F(Cli, Version_PrintsTheProjectVersionAndNeedsNoCommand) {
  const RunResult r = run("--version");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string("quillon-cli ") + QUILLON_PROJECT_VERSION + "\n");
  EXPECT_EQ(r.err, "");
  const RunResult help = run("--help");
  EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
}

TEST_F(Cli, SimShow_NamesCardAndFaults) {
  ASSERT_EQ(run("sim insert " + quote(writer()) + " gb-flash --bios-chip 'amd 29f010' --flash-chip 01:AD:00").status,
            0);
  ASSERT_EQ(run("sim fault " + quote(writer()) + " busy-polls=3 erase-fail-block=7").status, 0);
  const RunResult r = run("sim show " + quote(writer()));
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"AMD 29F010", "AMD 28F016", "busy-polls=3", "erase-fail-block=7"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word << "\n" << r.out;
}

}  // namespace
}  // namespace quillon::test
