// SPDX-License-Identifier: GPL-3.0-or-later
// Writing composed cards onto the simulated GB flash card with every chip method, and
// reading every image back.
#include <algorithm>

#include "bench.h"
#include "chips.h"
#include "gb/gb_operations.h"
#include "gb/placement.h"
#include "library/names.h"
#include "sim/chips.h"
#include "sim/sim.h"

namespace quillon::gbtest {
namespace {

using namespace support::chips;

library::RomEntry Entry(int romClass, int ramClass) {
  library::RomEntry entry;
  entry.romClass = romClass;
  entry.ramClass = ramClass;
  return entry;
}

struct PlacementCase {
  const char* name;
  std::vector<std::pair<int, int>> classes;  // romClass, ramClass per card list entry
  std::vector<int> romOrder;
  std::vector<int> romStartBank;
  std::vector<int> ramStartUnit;
};

class Placing : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placing, PlaceImages_cardList_regionsAndSaveUnits) {
  const PlacementCase& c = GetParam();
  std::vector<library::RomEntry> entries;
  for (auto [rom, ram] : c.classes) entries.push_back(Entry(rom, ram));
  const gb::Placement placement = gb::PlaceImages(entries);
  EXPECT_EQ(placement.romOrder, c.romOrder);
  EXPECT_EQ(placement.romStartBank, c.romStartBank);
  EXPECT_EQ(placement.ramStartUnit, c.ramStartUnit);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, Placing,
    ::testing::Values(
        // 1 MiB with 32 KiB save, 256 KiB with 8 KiB save, 2 MiB without save.
        PlacementCase{"mixed", {{2, 2}, {3, 1}, {1, 0}}, {2, 0, 1}, {0x80, 0xC0, 0x00}, {4, 0, 0}},
        // Equal classes do not keep the card list's order.
        PlacementCase{"equalClasses", {{3, 0}, {3, 0}, {1, 0}}, {2, 1, 0}, {0xA0, 0x80, 0x00}, {0, 0, 0}},
        PlacementCase{"smallLargeSmall", {{3, 0}, {1, 0}, {3, 0}}, {1, 0, 2}, {0x80, 0x00, 0xA0}, {0, 0, 0}},
        PlacementCase{"eightSmall",
                      {{3, 1}, {3, 1}, {3, 1}, {3, 1}, {3, 1}, {3, 1}, {3, 1}, {3, 1}},
                      {0, 1, 2, 3, 4, 5, 6, 7},
                      {0, 32, 64, 96, 128, 160, 192, 224},
                      {0, 1, 2, 3, 4, 5, 6, 7}},
        // A 32 KiB save after an 8 KiB one starts on the next multiple of four units.
        PlacementCase{"alignedSave", {{3, 2}, {3, 1}, {3, 2}}, {0, 1, 2}, {0, 32, 64}, {4, 0, 8}},
        PlacementCase{"wholeCard", {{0, 2}}, {0}, {0}, {0}}),
    [](const auto& param) { return std::string(param.param.name); });

// --- writing and reading back -------------------------------------------------------------

struct ChipCase {
  sim::ChipId bios;
  sim::ChipId flash;
  int writerType;
};

std::string ChipCaseName(const ::testing::TestParamInfo<ChipCase>& param) {
  const auto method = [](const sim::ChipId& chip) {
    return std::to_string(sim::methodNumber(sim::chipWithId(chip)->method));
  };
  return "bios" + method(param.param.bios) + "_flash" + method(param.param.flash) +
         (param.param.writerType == 0 ? "_gb" : "_password");
}

class WritingCard : public ::testing::TestWithParam<ChipCase> {};

// Three real images of 32 KiB, 256 KiB and 32 KiB, one of them with a 15-character title.
const std::vector<std::string> kMonoImages = {"adjustris.gb", "tobu.gb", "2048.gb"};

TEST_P(WritingCard, WriteThenRead_everyImageBackAndMenuAsBuilt) {
  const ChipCase& c = GetParam();
  Bench bench(sim::emptyGbFlashCard(c.bios, c.flash));
  bench.state.setWriterType(static_cast<library::WriterType>(c.writerType));
  const fs::path images = fs::path(QUILLON_TEST_DATA) / "gb";
  bench.Compose(images, kMonoImages);
  // Old contents in the BIOS ROM beyond the menu image show which erase ran.
  std::fill(bench.writer->memory(sim::Memory::GbBios).begin(), bench.writer->memory(sim::Memory::GbBios).end(),
            std::uint8_t{0x5A});

  const ops::Result written = gb::WriteGbCard(bench.op);
  ASSERT_EQ(written.text, "Writing Success");
  EXPECT_EQ(written.outcome, ops::Outcome::Success);
  EXPECT_EQ(bench.window.beeps, 1);
  EXPECT_EQ(bench.window.probes, 1);
  EXPECT_EQ(bench.window.probed.biosChip, support::chipRow(c.bios));
  EXPECT_EQ(bench.window.probed.flashChip, support::chipRow(c.flash));
  EXPECT_EQ(bench.window.lastDone, bench.window.lastTotal);

  // Images in regions 0, 1 and 2 of the FLASH ROM, in card list order (one class).
  const auto flash = bench.writer->memory(sim::Memory::GbFlash);
  for (std::size_t i = 0; i < kMonoImages.size(); ++i) {
    const Bytes image = TestImage(kMonoImages[i]);
    EXPECT_EQ(Slice(flash, i * 0x80000, image.size()), image) << kMonoImages[i];
    EXPECT_EQ(bench.state.cardList.entries()[i].romStartBank, static_cast<int>(32 * i));
    EXPECT_EQ(bench.state.cardList.entries()[i].ramStartUnit, static_cast<int>(i));
  }

  // The menu image on the BIOS ROM: the file's bytes except for the directory and the
  // header changes.
  const bool password = c.writerType == 1;
  const std::size_t menuSize = password ? 0x8000 : 0x4000;
  const Bytes menuFile = support::readFile(bench.dir / (password ? "chtbios.bin" : "cgbbios.bin"));
  const Bytes menu = Slice(bench.writer->memory(sim::Memory::GbBios), 0, menuSize);
  const std::size_t directory = password ? 0x200 : 0x3C00;
  const std::vector<std::uint8_t> placements = {0x00, 0x11, 0x22};
  for (std::size_t i = 0; i < kMonoImages.size(); ++i) {
    const Bytes image = TestImage(kMonoImages[i]);
    const std::size_t slot = directory + 32 * i;
    EXPECT_EQ(menu[slot], i + 1);
    EXPECT_EQ(menu[slot + 1], placements[i]);
    const int mapper = library::MapperClass(image[0x147]);
    const int ram = image[0x149] == 3 ? 2 : image[0x149] == 0 ? 0 : 1;
    EXPECT_EQ(menu[slot + 2], 0x80 | mapper << 4 | ram << 2 | 3) << kMonoImages[i];
    const std::string title(reinterpret_cast<const char*>(&image[0x134]),
                            strnlen(reinterpret_cast<const char*>(&image[0x134]), 15));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&menu[slot + 16])), title);
    EXPECT_TRUE(std::equal(menu.begin() + static_cast<std::ptrdiff_t>(slot + 3),
                           menu.begin() + static_cast<std::ptrdiff_t>(slot + 16),
                           menuFile.begin() + static_cast<std::ptrdiff_t>(slot + 3)))
        << "slot bytes 3-15 are the menu image's";
  }
  // "ADJUSTRIS V1.00" has 15 characters: its zero is byte 31 of the slot.
  EXPECT_EQ(menu[directory + 31], 0);
  EXPECT_EQ(menu[directory + 32 * 3], password ? 0 : menuFile[directory + 32 * 3]) << "no end marker is written";
  EXPECT_EQ(menu[0x143], 0x00) << "mono images";
  std::uint8_t sum = 0;
  for (std::size_t i = 0x134; i <= 0x14C; ++i) sum = static_cast<std::uint8_t>(sum + menu[i]);
  EXPECT_EQ(menu[0x14D], static_cast<std::uint8_t>(0xE7 - sum));
  if (password) {
    const Bytes header = {0x30, 0x31, 0x03, 0x00, 0x00, 0x00, 0x01, 0x33, 0x2C};
    EXPECT_EQ(Slice(menu, 0x144, 9), header);
    EXPECT_EQ(menu[0x14E], 0);
    EXPECT_EQ(menu[0x14F], 0);
    EXPECT_TRUE(std::all_of(menu.begin() + 0x200 + 32 * 3, menu.begin() + 0x300, [](auto b) { return b == 0; }));
  }
  for (std::size_t i = 0; i < menuSize; ++i) {
    const bool changed = (i >= directory && i < directory + (password ? 0x100 : 32 * 3)) || (i >= 0x134 && i < 0x150);
    if (!changed) {
      ASSERT_EQ(menu[i], menuFile[i]) << "menu byte " << i;
    }
  }
  // Methods 0 and 2 erase the whole BIOS ROM first; method 1 only programs the menu.
  const auto bios = bench.writer->memory(sim::Memory::GbBios);
  const std::uint8_t beyond = sim::chipWithId(c.bios)->method == sim::Method::M1 ? 0x5A : 0xFF;
  EXPECT_TRUE(std::all_of(bios.begin() + static_cast<std::ptrdiff_t>(menuSize), bios.end(),
                          [beyond](auto b) { return b == beyond; }));

  // The card as the probe sees it now, and every image read back into a file.
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  ASSERT_EQ(bench.state.cardInfo.count, 3);
  for (int i = 0; i < 3; ++i) {
    const fs::path out = bench.dir / ("read-" + std::to_string(i) + ".gb");
    bench.window.fileAnswer = out.string();
    const ops::Result read = gb::ReadGbCard(bench.op, i, false);
    ASSERT_EQ(read.text, "Downloading Success") << i;
    EXPECT_EQ(support::readFile(out), TestImage(kMonoImages[static_cast<std::size_t>(i)])) << i;
  }
  EXPECT_EQ(bench.state.settings.saveRomDir, bench.dir.path().string() + "/");
  EXPECT_EQ(bench.writer->framesIgnored(), 0u);
  EXPECT_TRUE(bench.writer->unexpected().empty()) << bench.writer->unexpected().front();
}

INSTANTIATE_TEST_SUITE_P(
    AllMethods, WritingCard,
    ::testing::Values(ChipCase{kIntel28F010, kIntel28F016SV, 0}, ChipCase{kIntel28F010, kFuji28F016, 1},
                      ChipCase{kIntel28F010, kIntel28F016SA, 0}, ChipCase{kSst29EE010, kIntel28F016SV, 1},
                      ChipCase{kSst29EE010, kFuji28F016, 0}, ChipCase{kSst29EE010, kIntel28F016SA, 1},
                      ChipCase{kAmd29F010, kIntel28F016SV, 0}, ChipCase{kAmd29F010, kFuji28F016, 1},
                      ChipCase{kAmd29F010, kIntel28F016SA, 0}, ChipCase{kIntel28F010, kIntel28F016SV, 1},
                      ChipCase{kSst29EE010, kIntel28F016SA, 0}, ChipCase{kAmd29F010, kFuji28F016, 0}),
    ChipCaseName);

// Every chip the writer knows, as the BIOS ROM and as the FLASH ROM: the program finds its
// row by the bytes the chip answers and drives it with the commands the chip takes. (The
// writer keeps its own description of the chips: a wrong row in the program's table fails
// here.)
class WritingEveryChip : public ::testing::TestWithParam<sim::Chip> {};

TEST_P(WritingEveryChip, OneImage_chipFoundWrittenAndReadBack) {
  const sim::Chip& chip = GetParam();
  Bench bench(sim::emptyGbFlashCard(chip.id, chip.id));
  bench.Compose(fs::path(QUILLON_TEST_DATA) / "gb", {"2048.gb"});
  ASSERT_EQ(gb::WriteGbCard(bench.op).text, "Writing Success") << chip.name;
  EXPECT_EQ(bench.window.probed.biosChip, support::chipRow(chip.id));
  EXPECT_EQ(bench.window.probed.flashChip, support::chipRow(chip.id));
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  ASSERT_EQ(bench.state.cardInfo.count, 1);
  const fs::path out = bench.dir / "back.gb";
  bench.window.fileAnswer = out.string();
  ASSERT_EQ(gb::ReadGbCard(bench.op, 0, false).text, "Downloading Success");
  EXPECT_EQ(support::readFile(out), TestImage("2048.gb"));
}

INSTANTIATE_TEST_SUITE_P(Chips, WritingEveryChip, ::testing::ValuesIn(sim::kChips),
                         [](const auto& param) { return support::chipLabel(param.param.id); });

// A write over a card that held other images: every block an image needs is erased
// first (flash programming only clears bits), blocks it does not need keep their bytes.
TEST(WritingCardOverOld, ErasedBlocksOnly_imageExactRestKept) {
  Bench bench(sim::emptyGbFlashCard(kIntel28F010, kIntel28F016SV));
  auto flash = bench.writer->memory(sim::Memory::GbFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  bench.Compose(fs::path(QUILLON_TEST_DATA) / "gb", {"2048.gb"});
  ASSERT_EQ(gb::WriteGbCard(bench.op).text, "Writing Success");
  EXPECT_EQ(Slice(flash, 0, 0x8000), TestImage("2048.gb"));
  EXPECT_TRUE(std::all_of(flash.begin() + 0x8000, flash.begin() + 0x10000, [](auto b) { return b == 0xFF; }))
      << "the rest of the erased block";
  EXPECT_TRUE(std::all_of(flash.begin() + 0x10000, flash.end(), [](auto b) { return b == 0x00; }))
      << "a 32 KiB image erases one block only";
}

// One image: the menu's title area becomes the image's and its colour byte follows it.
TEST(WritingCardSingle, OneColourImage_menuTakesTitleAreaAndColour) {
  Bench bench(sim::emptyGbFlashCard());
  bench.Compose(fs::path(QUILLON_TEST_DATA) / "gb", {"back-to-color.gbc"});
  ASSERT_EQ(gb::WriteGbCard(bench.op).text, "Writing Success");
  const Bytes image = TestImage("back-to-color.gbc");
  const auto bios = bench.writer->memory(sim::Memory::GbBios);
  Bytes expected = Slice(image, 0x134, 16);
  expected[15] = 0x80;  // colour byte from the first entry
  EXPECT_EQ(Slice(bios, 0x134, 16), expected);
}

// The order on the wire: the card is prepared, each block erased before its banks are
// programmed, the FLASH ROM's programming voltage switched off after the last image, the
// BIOS ROM erased before the menu is programmed.
TEST(WritingCardSequence, Method2Chips_erasesBeforeProgramming_voltageAroundImages) {
  Bench bench(sim::emptyGbFlashCard(kAmd29F010, kIntel28F016SA));
  bench.Compose(fs::path(QUILLON_TEST_DATA) / "gb", {"adjustris.gb", "2048.gb"});
  ASSERT_EQ(gb::WriteGbCard(bench.op).text, "Writing Success");
  const auto& log = bench.writer->commands();
  const auto find = [&log](std::size_t from, auto predicate) {
    return static_cast<std::size_t>(
        std::find_if(log.begin() + static_cast<std::ptrdiff_t>(from), log.end(), predicate) - log.begin());
  };
  const std::size_t prep = find(0, [](const auto& c) { return c.op == 0 && c.address() == 0xC080; });
  // The probe writes 0xC080 too; the card preparation is the last of them.
  std::size_t lastPrep = prep;
  for (std::size_t i = prep; i < log.size(); ++i)
    if (log[i].op == 0 && log[i].address() == 0xC080) lastPrep = i;
  ASSERT_LT(lastPrep + 5, log.size());
  EXPECT_TRUE(IsCommand(log[lastPrep + 1], 0, 0x00, 0x00));  // WriteByte(0x0000, 0x00)
  EXPECT_TRUE(IsCommand(log[lastPrep + 2], 0, 0x00, 0xA0));  // WriteByte(0xA000, 0x80)
  EXPECT_TRUE(IsCommand(log[lastPrep + 3], 0, 0x00, 0x00));  // WriteByte(0x0000, 0x0A)
  EXPECT_TRUE(IsCommand(log[lastPrep + 4], 6, 2, 9));        // programming voltage on
  const std::size_t erase0 = find(lastPrep, [](const auto& c) { return IsCommand(c, 6, 2, 11) && c.p3 == 0; });
  const std::size_t program0 = find(lastPrep, [](const auto& c) { return c.op == 10; });
  const std::size_t erase1 = find(lastPrep, [](const auto& c) { return IsCommand(c, 6, 2, 11) && c.p3 == 32; });
  const std::size_t program1 = find(erase1, [](const auto& c) { return c.op == 10; });
  const std::size_t voltageOff = find(program1, [](const auto& c) { return IsCommand(c, 6, 2, 10); });
  const std::size_t biosErase = find(voltageOff, [](const auto& c) { return IsCommand(c, 6, 2, 6); });
  const std::size_t menu = find(biosErase, [](const auto& c) { return c.op == 7; });
  EXPECT_LT(erase0, program0);
  EXPECT_LT(program0, erase1);
  EXPECT_LT(erase1, program1);
  EXPECT_LT(program1, voltageOff);
  EXPECT_LT(voltageOff, biosErase);
  EXPECT_LT(biosErase, menu);
  EXPECT_LT(menu, log.size());
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& c) { return c.op == 10; }), 4)
      << "two 32 KiB images: one WriteBlock per 16 KiB bank";
}

}  // namespace
}  // namespace quillon::gbtest
