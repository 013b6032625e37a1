// SPDX-License-Identifier: GPL-3.0-or-later
// Reading cards, backing up and restoring save memory, and erasing, against the simulated
// writer: what reaches the file and the card, and what is refused.
#include <algorithm>
#include <numeric>

#include "bench.h"
#include "chips.h"
#include "gb/gb_operations.h"
#include "sim/sim.h"

namespace quillon::gbtest {
namespace {

using namespace support::chips;

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed + (i >> 11));
  return bytes;
}

bool AllAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](auto b) { return b == value; });
}

// --- erasing ------------------------------------------------------------------------------

struct EraseCase {
  sim::ChipId bios;
  sim::ChipId flash;
  int cardSize;
};

class Erasing : public ::testing::TestWithParam<EraseCase> {};

TEST_P(Erasing, EraseCard_chosenSize_flashUpToSizeBiosAndRamCleared) {
  const EraseCase& c = GetParam();
  Bench bench(sim::emptyGbFlashCard(c.bios, c.flash));
  auto flash = bench.writer->memory(sim::Memory::GbFlash);
  auto bios = bench.writer->memory(sim::Memory::GbBios);
  auto sram = bench.writer->memory(sim::Memory::GbSram);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  std::fill(bios.begin(), bios.end(), std::uint8_t{0x00});
  std::fill(sram.begin(), sram.end(), std::uint8_t{0x11});

  const ops::Result result = gb::EraseGbCard(bench.op, c.cardSize);
  ASSERT_EQ(result.text, "Earsing Success");
  const std::size_t erased = c.cardSize == 0 ? 0x200000 : 0x400000;
  EXPECT_TRUE(AllAre(flash.first(erased), 0xFF));
  EXPECT_TRUE(AllAre(flash.subspan(erased), 0x00)) << "above the chosen size the card keeps its bytes";
  EXPECT_TRUE(AllAre(bios, 0xFF));
  EXPECT_TRUE(AllAre(sram, 0x00));
  const auto& work = bench.window.work;
  EXPECT_EQ(work.front(), "Earsing ROM : 0x000000 - 0x00FFFF");
  const std::string last = c.cardSize == 0 ? "Earsing ROM : 0x1F0000 - 0x1FFFFF" : "Earsing ROM : 0x3F0000 - 0x3FFFFF";
  EXPECT_NE(std::find(work.begin(), work.end(), last), work.end());
  EXPECT_EQ(std::count_if(work.begin(), work.end(), [](const auto& t) { return t.starts_with("Earsing ROM : "); }),
            c.cardSize == 0 ? 32 : 64);
  const auto bios_ = std::find(work.begin(), work.end(), "Earsing BIOS");
  const auto ram = std::find(work.begin(), work.end(), "Earsing RAM");
  EXPECT_LT(bios_, ram);
  EXPECT_NE(ram, work.end());
  // Save memory banks 0 to 15, each written whole with zeros.
  std::vector<int> banks;
  const auto& log = bench.writer->commands();
  for (std::size_t i = 0; i + 1 < log.size(); ++i)
    if (log[i].op == 0 && log[i].address() == 0x4000 && log[i + 1].op == 0 && log[i + 1].address() == 0xA000 &&
        log[i + 1].count() == 0x2000)
      banks.push_back(static_cast<int>(banks.size()));
  EXPECT_EQ(banks.size(), 16u);
  EXPECT_TRUE(bench.writer->unexpected().empty()) << bench.writer->unexpected().front();
}

INSTANTIATE_TEST_SUITE_P(
    AllMethods, Erasing,
    ::testing::Values(EraseCase{kIntel28F010, kIntel28F016SV, 0}, EraseCase{kSst29EE010, kFuji28F016, 1},
                      EraseCase{kAmd29F010, kIntel28F016SA, 0}, EraseCase{kSst29EE010, kIntel28F016SA, 0},
                      EraseCase{kAmd29F010, kIntel28F016SV, 1}, EraseCase{kIntel28F010, kFuji28F016, 1}),
    [](const auto& param) {
      return "bios_" + support::chipLabel(param.param.bios) + "_flash_" + support::chipLabel(param.param.flash) +
             "_size" + std::to_string(param.param.cardSize);
    });

// --- save memory --------------------------------------------------------------------------

enum class Holder { Cartridge, FlashImage, Password };

struct SaveCase {
  const char* name;
  Holder holder;
  std::uint8_t ramCode;
  std::uint8_t cartType;
  std::size_t fileBytes;
  std::size_t cardOffset;  // where the bytes are in the card's save memory
  std::string modeWrites;  // the writes to 0x0000 and 0x6000 of one backup, in order
};

// "0000=0A 6000=01 ..." for the WriteByte commands to 0x0000 and 0x6000 in `log` from `from` on.
std::string ModeWrites(const std::vector<sim::CommandRecord>& log, std::size_t from) {
  std::string out;
  for (std::size_t i = from; i < log.size(); ++i) {
    const auto& c = log[i];
    if (c.op != 0 || c.count() != 1 || (c.address() != 0x0000 && c.address() != 0x6000)) continue;
    char text[16];
    std::snprintf(text, sizeof text, "%s%04X=%02X", out.empty() ? "" : " ", c.address(), c.value);
    out += text;
  }
  return out;
}

class SaveMemoryRoundTrip : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveMemoryRoundTrip, BackupThenRestore_fileIsTheSaveMemory) {
  const SaveCase& c = GetParam();
  const Bytes old = Pattern(0x20000, 3);
  std::unique_ptr<Bench> bench;
  int selected = 0;
  if (c.holder == Holder::Cartridge) {
    const Bytes rom = support::makeGbImage({"CART", c.cartType, 2, c.ramCode, false});
    bench = std::make_unique<Bench>(sim::gbCartridge(rom, Bytes(old.begin(), old.begin() + 0x8000)));
  } else {
    bench = std::make_unique<Bench>(sim::emptyGbFlashCard());
    bench->state.setWriterType(c.holder == Holder::Password ? library::WriterType::GbPassword
                                                            : library::WriterType::Gb);
    auto bios = bench->writer->memory(sim::Memory::GbBios);
    const Bytes menu = support::makeMenuImage(0x8000);
    std::copy(menu.begin(), menu.end(), bios.begin());
    support::placeOnFlashCard(bios, bench->writer->memory(sim::Memory::GbFlash),
                              {{support::makeGbImage({"FIRST", 0x19, 0, 2, false}), 0, 1},
                               {support::makeGbImage({"SECOND", 0x1B, 0, c.ramCode, false}), 1, 3}},
                              static_cast<int>(bench->state.writerType()));
    auto sram = bench->writer->memory(sim::Memory::GbSram);
    std::copy(old.begin(), old.end(), sram.begin());
    selected = c.holder == Holder::Password ? 2 : 1;
  }
  ASSERT_EQ(bench->Probe(), detect::ProbeOutcome::Probed);
  bench->writer->clearCommands();

  const fs::path backup = bench->dir / "game.sav";
  bench->window.fileAnswer = backup.string();
  ASSERT_EQ(gb::BackupGbRam(bench->op, selected).text, "Downloading Success");
  EXPECT_EQ(support::readFile(backup), Slice(old, c.cardOffset, c.fileBytes));
  EXPECT_EQ(bench->state.settings.ramDir, bench->dir.path().string() + "/");
  EXPECT_EQ(bench->window.questions.back().filter, "RAM File (*.sav)|*.sav");
  EXPECT_EQ(bench->window.questions.back().defaultExtension, "SAV");
  const auto& log = bench->writer->commands();
  const bool disabledAtEnd = IsCommand(log.back(), 0, 0x00, 0x00);
  EXPECT_EQ(disabledAtEnd, c.holder == Holder::Cartridge) << "only a cartridge's RAM is disabled again";
  const std::size_t restoreFrom = log.size();
  EXPECT_EQ(ModeWrites(log, 0), c.modeWrites) << "backup";

  const Bytes fresh = Pattern(c.fileBytes + 100, 99);  // longer than needed: the rest is not used
  const fs::path restore = bench->dir / "new.sav";
  support::writeFile(restore, fresh);
  bench->window.fileAnswer = restore.string();
  ASSERT_EQ(gb::RestoreGbRam(bench->op, selected).text, "Uploading Success");
  EXPECT_EQ(ModeWrites(bench->writer->commands(), restoreFrom), c.modeWrites) << "restore";
  const auto card = bench->writer->memory(c.holder == Holder::Cartridge ? sim::Memory::CartSav : sim::Memory::GbSram);
  EXPECT_EQ(Slice(card, c.cardOffset, c.fileBytes), Slice(fresh, 0, c.fileBytes));
  if (c.holder != Holder::Cartridge) {
    EXPECT_EQ(Slice(card, 0, c.cardOffset), Slice(old, 0, c.cardOffset)) << "other save areas untouched";
    EXPECT_EQ(Slice(card, c.cardOffset + c.fileBytes, 0x20000 - c.cardOffset - c.fileBytes),
              Slice(old, c.cardOffset + c.fileBytes, 0x20000 - c.cardOffset - c.fileBytes));
  }
  EXPECT_TRUE(bench->writer->unexpected().empty()) << bench->writer->unexpected().front();
}

INSTANTIATE_TEST_SUITE_P(
    Holders, SaveMemoryRoundTrip,
    ::testing::Values(SaveCase{"cartridge2KiB", Holder::Cartridge, 1, 0x03, 0x800, 0, "0000=0A 0000=00"},
                      SaveCase{"cartridge8KiB", Holder::Cartridge, 2, 0x13, 0x2000, 0, "0000=0A 0000=00"},
                      SaveCase{"cartridge32KiB", Holder::Cartridge, 3, 0x1B, 0x8000, 0, "0000=0A 0000=00"},
                      // An MBC1 shows its four save banks only in its RAM banking mode.
                      SaveCase{"mbc1Cartridge32KiB", Holder::Cartridge, 3, 0x03, 0x8000, 0,
                               "0000=0A 6000=01 6000=00 0000=00"},
                      SaveCase{"mbc1Cartridge8KiB", Holder::Cartridge, 2, 0x01, 0x2000, 0, "0000=0A 0000=00"},
                      // The second image's save area starts at unit 3: banks 3 to 6.
                      SaveCase{"flashImage32KiB", Holder::FlashImage, 3, 0, 0x8000, 0x6000, "0000=0A"},
                      SaveCase{"flashImage2KiB", Holder::FlashImage, 1, 0, 0x800, 0x6000, "0000=0A"},
                      SaveCase{"password", Holder::Password, 2, 0, 0x2000, 0x1C000, "0000=0A"}),
    [](const auto& param) { return std::string(param.param.name); });

// A cancelled dialog still ends with the cartridge's RAM disabled, an MBC1 with several save
// banks put back into its ROM banking mode just before.
struct CancelCase {
  const char* name;
  std::uint8_t cartType;
  std::uint8_t ramCode;
  bool restore;
  std::string modeWrites;
};

class CartridgeSaveCancelled : public ::testing::TestWithParam<CancelCase> {};

TEST_P(CartridgeSaveCancelled, DialogCancelled_onlyTheDisablingWrites) {
  const CancelCase& c = GetParam();
  Bench bench(sim::gbCartridge(support::makeGbImage({"CART", c.cartType, 2, c.ramCode, false})));
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  bench.writer->clearCommands();
  bench.window.fileAnswer.clear();
  const ops::Result result = c.restore ? gb::RestoreGbRam(bench.op, 0) : gb::BackupGbRam(bench.op, 0);
  EXPECT_EQ(result.outcome, ops::Outcome::Cancelled);
  EXPECT_EQ(ModeWrites(bench.writer->commands(), 0), c.modeWrites);
  EXPECT_EQ(bench.writer->commands().size(), c.modeWrites.size() / 8 + 1) << "nothing but those writes";
}

INSTANTIATE_TEST_SUITE_P(Cartridges, CartridgeSaveCancelled,
                         ::testing::Values(CancelCase{"mbc1Backup", 0x03, 3, false, "6000=00 0000=00"},
                                           CancelCase{"mbc1Restore", 0x03, 3, true, "6000=00 0000=00"},
                                           CancelCase{"mbc1OneBank", 0x03, 2, false, "0000=00"},
                                           CancelCase{"mbc5Backup", 0x1B, 3, false, "0000=00"}),
                         [](const auto& param) { return std::string(param.param.name); });

// What is refused before anything reaches the writer or a file.
struct RefusalCase {
  const char* name;
  bool restore;
  std::uint8_t ramCode;  // of the flash card's image
  Bytes file;            // the restore file
  bool cancelDialog;
  std::string message;
  ops::Outcome outcome;
};

class SaveMemoryRefused : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SaveMemoryRefused, FlashImage_refusal_messageAndNothingSent) {
  const RefusalCase& c = GetParam();
  Bench bench(sim::emptyGbFlashCard());
  support::placeOnFlashCard(bench.writer->memory(sim::Memory::GbBios), bench.writer->memory(sim::Memory::GbFlash),
                            {{support::makeGbImage({"ODD", 0x19, 0, c.ramCode, false}), 0, 0}}, 0);
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  bench.writer->clearCommands();
  const fs::path path = bench.dir / "file.sav";
  support::writeFile(path, c.file);
  bench.window.fileAnswer = c.cancelDialog ? std::string() : path.string();
  const auto sramBefore = Slice(bench.writer->memory(sim::Memory::GbSram), 0, 0x20000);
  const ops::Result result = c.restore ? gb::RestoreGbRam(bench.op, 0) : gb::BackupGbRam(bench.op, 0);
  EXPECT_EQ(result.text, c.message);
  EXPECT_EQ(result.outcome, c.outcome);
  EXPECT_TRUE(bench.writer->commands().empty());
  EXPECT_EQ(Slice(bench.writer->memory(sim::Memory::GbSram), 0, 0x20000), sramBefore);
  EXPECT_EQ(support::readFile(path), c.file) << "the file is untouched";
  EXPECT_EQ(bench.window.beeps, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SaveMemoryRefused,
    ::testing::Values(
        RefusalCase{"backupNoRam", false, 0, {}, false, "None RAM", ops::Outcome::Failed},
        RefusalCase{"backupCode4", false, 4, {}, false, "None RAM", ops::Outcome::Failed},
        RefusalCase{"restoreCode5", true, 5, Bytes(0x20000), false, "None RAM", ops::Outcome::Failed},
        RefusalCase{"restoreShort", true, 2, Bytes(8191, 1), false, "Reading File Error", ops::Outcome::Failed},
        RefusalCase{"backupCancelled", false, 2, Bytes{1, 2}, true, "Cancel Download", ops::Outcome::Cancelled},
        RefusalCase{"restoreCancelled", true, 2, Bytes(0x2000), true, "Cancel Upload", ops::Outcome::Cancelled}),
    [](const auto& param) { return std::string(param.param.name); });

// A cancelled dialog on a cartridge still disables its save memory, and nothing else.
TEST(SaveMemoryCancelled, Cartridge_onlyTheRamDisableWrite) {
  Bench bench(sim::gbCartridge(support::makeGbImage({"CART", 0x1B, 1, 3, false}), Bytes(0x8000, 5)));
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  bench.writer->clearCommands();
  EXPECT_EQ(gb::BackupGbRam(bench.op, 0).text, "Cancel Download");
  ASSERT_EQ(bench.writer->commands().size(), 1u);
  EXPECT_TRUE(IsCommand(bench.writer->commands()[0], 0, 0x00, 0x00));
}

// --- transfer failures: nothing corrupted is reported as read, no file is left ----------

struct TransferFailure {
  const char* name;
  int run;  // 0 read, 1 backup, 2 restore
  void (*arm)(sim::SimWriter&);
  std::string message;
};

class TransferFailing : public ::testing::TestWithParam<TransferFailure> {};

TEST_P(TransferFailing, Cartridge_fault_messageAndTargetUntouched) {
  const TransferFailure& c = GetParam();
  Bench bench(sim::gbCartridge(support::makeGbImage({"CART", 0x1B, 2, 3, false}), Bytes(0x8000, 5)));
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  const fs::path path = bench.dir / "target";
  const Bytes old(0x8000, 0x42);
  support::writeFile(path, old);
  bench.window.fileAnswer = path.string();
  c.arm(*bench.writer);
  const ops::Result result = c.run == 0   ? gb::ReadGbCard(bench.op, 0, false)
                             : c.run == 1 ? gb::BackupGbRam(bench.op, 0)
                                          : gb::RestoreGbRam(bench.op, 0);
  EXPECT_EQ(result.text, c.message);
  EXPECT_EQ(result.outcome, ops::Outcome::Failed);
  EXPECT_EQ(support::readFile(path), old);
  for (const auto& entry : fs::directory_iterator(bench.dir.path()))
    EXPECT_EQ(entry.path().string().find(".quillon-"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TransferFailing,
    ::testing::Values(
        TransferFailure{"readStatus", 0, [](sim::SimWriter& w) { w.faults().readFailBank = 3; }, "Reading Error"},
        TransferFailure{"readCheckByte", 0, [](sim::SimWriter& w) { w.faults().badCheck = w.answersGiven() + 2; },
                        "Reading Error"},
        TransferFailure{"backupStatus", 1, [](sim::SimWriter& w) { w.faults().sramReadFail = true; }, "Reading Fail"},
        TransferFailure{"backupCheckByte", 1, [](sim::SimWriter& w) { w.faults().badCheck = w.answersGiven() + 1; },
                        "Reading Fail"},
        TransferFailure{"restoreStatus", 2, [](sim::SimWriter& w) { w.faults().sramWriteFail = true; },
                        "Uploading Fail"}),
    [](const auto& param) { return std::string(param.param.name); });

// --- reading ------------------------------------------------------------------------------

TEST(ReadingCartridge, SmallestImage_fixedWindowAndBank1) {
  const Bytes rom = support::makeGbImage({"TINY", 0x00, 0, 0, false});
  Bench bench(sim::gbCartridge(rom));
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  bench.writer->clearCommands();
  const fs::path out = bench.dir / "tiny.gb";
  bench.window.fileAnswer = out.string();
  bench.state.settings.saveRomDir = "/start/here/";
  ASSERT_EQ(gb::ReadGbCard(bench.op, 0, false).text, "Downloading Success");
  EXPECT_EQ(support::readFile(out), rom);
  EXPECT_EQ(bench.window.questions.at(0).startDirectory, "/start/here/");
  EXPECT_EQ(bench.window.questions.at(0).defaultExtension, "GBC");
  const auto& log = bench.writer->commands();
  ASSERT_EQ(log.size(), 5u);  // ReadBlock(0), QueryState3, SetBank(1), ReadBlock(0x4000), QueryState3
  EXPECT_EQ(log[0].address(), 0x0000);
  EXPECT_EQ(log[0].count(), 0x4000);
  EXPECT_TRUE(IsCommand(log[2], 6, 0, 1));
  EXPECT_EQ(log[3].address(), 0x4000);
}

TEST(ReadingFlashImage, FourthRegion_banks96To159) {
  Bench bench(sim::emptyGbFlashCard());
  const Bytes image = support::makeGbImage({"THIRD", 0x19, 5, 0, false});
  support::placeOnFlashCard(bench.writer->memory(sim::Memory::GbBios), bench.writer->memory(sim::Memory::GbFlash),
                            {{image, 3, 0}}, 0);
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  ASSERT_EQ(bench.state.cardInfo.images[0].romStart, 0x180000);
  bench.writer->clearCommands();
  const fs::path out = bench.dir / "third.gb";
  bench.window.fileAnswer = out.string();
  ASSERT_EQ(gb::ReadGbCard(bench.op, 0, false).text, "Downloading Success");
  EXPECT_EQ(support::readFile(out), image);
  std::vector<int> banks;
  for (const auto& c : bench.writer->commands())
    if (IsCommand(c, 6, 0, c.p2)) banks.push_back(c.p2);
  std::vector<int> expected(64);
  std::iota(expected.begin(), expected.end(), 96);
  EXPECT_EQ(banks, expected);
}

TEST(ReadingFlashImage, SizeCodeBeyond4MiB_readingErrorNothingSent) {
  Bench bench(sim::emptyGbFlashCard());
  Bytes image = support::makeGbImage({"ODD", 0x19, 0, 0, false});
  image[0x148] = 0x52;
  support::placeOnFlashCard(bench.writer->memory(sim::Memory::GbBios), bench.writer->memory(sim::Memory::GbFlash),
                            {{image, 0, 0}}, 0);
  ASSERT_EQ(bench.Probe(), detect::ProbeOutcome::Probed);
  bench.writer->clearCommands();
  bench.window.fileAnswer = (bench.dir / "odd.gb").string();
  EXPECT_EQ(gb::ReadGbCard(bench.op, 0, false).text, "Reading Error");
  EXPECT_TRUE(bench.writer->commands().empty());
  EXPECT_TRUE(bench.window.questions.empty());
  EXPECT_FALSE(fs::exists(bench.dir / "odd.gb"));
}

}  // namespace
}  // namespace quillon::gbtest
