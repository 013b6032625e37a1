// SPDX-License-Identifier: GPL-3.0-or-later
// The GB flash card: chip identification, erase and programming by chip method, busy
// periods, the 0xFE register pattern, save memory banks and the card's windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "chips.h"
#include "sequences.h"
#include "sim/chips.h"
#include "sim/sim_writer.h"

namespace quillon::simtest {
namespace {

using sim::IdWay;
using sim::Memory;
using sim::SimWriter;

using namespace support::chips;
using support::chipId;
using support::chipLabel;

bool allAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + seed + (i >> 8));
  return bytes;
}

TEST(ChipTable, IdBytes_unique_soEachRowCanBeFound) {
  std::set<std::array<std::uint8_t, 3>> seen;
  for (const auto& row : sim::kChips) EXPECT_TRUE(seen.insert(row.id).second) << row.name;
}

TEST(ChipTable, IdWays_allFourUsed) {
  std::set<IdWay> used;
  for (const auto& row : sim::kChips) used.insert(row.way);
  EXPECT_EQ(used.size(), 4u);
}

// Every chip, as BIOS ROM and as FLASH ROM, answers exactly its own way of the probe's four.
struct IdCase {
  sim::ChipId chip;
  bool asFlash;
};

class Identification : public ::testing::TestWithParam<IdCase> {};

TEST_P(Identification, ProbeAttempts_onlyOwnWayShowsIdBytes_othersShowArray) {
  const auto [chip, asFlash] = GetParam();
  SimWriter writer(asFlash ? sim::emptyGbFlashCard(kIntel28F010, chip) : sim::emptyGbFlashCard(chip, kIntel28F016SA));
  std::fill_n(writer.memory(asFlash ? Memory::GbFlash : Memory::GbBios).begin(), 0x4000, std::uint8_t{0x11});
  Host host(writer);
  const auto reads = identificationReads(host, asFlash ? 0x0A : 0x00);
  const Bytes idRead = {chip[0], chip[1], chip[2], 0, 0, 0, 0, 0};
  const int own = static_cast<int>(sim::chipWithId(chip)->way) - 1;
  for (int attempt = 0; attempt < 4; ++attempt) {
    EXPECT_EQ(reads[static_cast<std::size_t>(attempt)], attempt == own ? idRead : Bytes(8, 0x11))
        << chipLabel(chip) << " attempt " << attempt + 1;
  }
}

std::vector<IdCase> allIdCases() {
  std::vector<IdCase> cases;
  for (const sim::Chip& chip : sim::kChips) {
    cases.push_back({chip.id, false});
    cases.push_back({chip.id, true});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(AllRows, Identification, ::testing::ValuesIn(allIdCases()), [](const auto& p) {
  return (p.param.asFlash ? std::string("flash_") : std::string("bios_")) + chipLabel(p.param.chip);
});

// Entering and leaving each way without the probe's reset in between.
struct WayCase {
  const char* name;
  sim::ChipId chip;
  std::function<void(Host&)> enter;
  std::function<void(Host&)> leave;
};

class IdModeExit : public ::testing::TestWithParam<WayCase> {};

TEST_P(IdModeExit, OwnExitCommand_or_Control15_returnsToArray) {
  const WayCase& c = GetParam();
  for (bool useControl15 : {false, true}) {
    SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, c.chip));
    writer.memory(Memory::GbFlash)[0] = 0x42;
    Host host(writer);
    host.writeByte(0x0000, 0x0A);
    c.enter(host);
    EXPECT_EQ(host.readByte(0x4000), c.chip[0]) << c.name;
    if (useControl15) {
      host.setControl(2, 15, 0, 0);
    } else {
      c.leave(host);
    }
    EXPECT_EQ(host.readByte(0x4000), 0x42) << c.name << (useControl15 ? " (2,15)" : " own exit");
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, IdModeExit,
                         ::testing::Values(WayCase{"command90", kIntel28F016SA,
                                                   [](Host& h) { h.writeByte(0x4000, 0x90); },
                                                   [](Host& h) { h.writeByte(0x4000, 0xFF); }},
                                           WayCase{"sequence3", kAmd29F010, [](Host& h) { h.setControl(2, 3, 0, 0); },
                                                   [](Host& h) { h.setControl(2, 5, 0, 0); }},
                                           WayCase{"sequence4", kSst29EE010, [](Host& h) { h.setControl(2, 4, 0, 0); },
                                                   [](Host& h) { h.setControl(2, 5, 0, 0); }},
                                           WayCase{"voltage90", kIntel28F010,
                                                   [](Host& h) {
                                                     h.setControl(2, 9, 0, 0);
                                                     h.writeByte(0x4000, 0x90);
                                                   },
                                                   [](Host& h) {
                                                     h.writeByte(0x4000, 0x00);
                                                     h.setControl(2, 10, 0, 0);
                                                   }}),
                         [](const auto& p) { return std::string(p.param.name); });

// FLASH ROM: erase a block and program a bank by each method; without the erase the old
// bits stay cleared.
struct FlashCase {
  sim::ChipId chip;
  bool erase;
};

class FlashRom : public ::testing::TestWithParam<FlashCase> {};

TEST_P(FlashRom, EraseThenProgram_bankReadsBack_missingEraseCorrupts) {
  const auto [chip, erase] = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, chip));
  auto flash = writer.memory(Memory::GbFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x0F});
  Host host(writer);
  const ChipMethod method = methodOf(chip);
  prepareFlashCard(host, method);
  if (erase) {
    ASSERT_TRUE(eraseFlashBlock(host, method, 2));
    EXPECT_TRUE(allAre(flash.subspan(0x20000, 0x10000), 0xFF));
    EXPECT_EQ(flash[0x1FFFF], 0x0F) << "block before untouched";
    EXPECT_EQ(flash[0x30000], 0x0F) << "block after untouched";
  }
  const Bytes data = pattern(0x4000, 5);
  ASSERT_TRUE(programFlashBank(host, method, 9, data));
  const Answer back = host.readBlock(0x4000, 0x4000);
  ASSERT_TRUE(back.checkOk());
  EXPECT_EQ(host.queryState3(), 0) << "status after reading a bank";
  Bytes expected = data;
  if (!erase) {
    for (auto& b : expected) b &= 0x0F;  // programming only clears bits
  }
  EXPECT_EQ(back.bytes, expected);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), flash.begin() + 9 * 0x4000));
}

INSTANTIATE_TEST_SUITE_P(Methods, FlashRom,
                         ::testing::Values(FlashCase{kSharp28F016SUT, true}, FlashCase{kSharp28F016SUT, false},
                                           FlashCase{kFuji28F016, true}, FlashCase{kFuji28F016, false},
                                           FlashCase{kIntel28F016SA, true}, FlashCase{kIntel28F016SA, false}),
                         [](const auto& p) { return chipLabel(p.param.chip) + (p.param.erase ? "" : "_noErase"); });

// BIOS ROM: erase by its method and program a 32 KiB menu image.
struct BiosCase {
  sim::ChipId chip;
  bool erase;
  bool intact;  // the menu image reads back unchanged
};

class BiosRom : public ::testing::TestWithParam<BiosCase> {};

TEST_P(BiosRom, EraseAndProgramByMethod_menuReadsBack) {
  const auto [chip, erase, intact] = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(chip, kIntel28F016SA));
  auto bios = writer.memory(Memory::GbBios);
  std::fill(bios.begin(), bios.end(), std::uint8_t{0x00});  // an old menu everywhere
  Host host(writer);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  host.writeByte(0x0000, 0x00);
  const ChipMethod method = methodOf(chip);
  if (erase) {
    ASSERT_TRUE(eraseBios(host, method));
    EXPECT_TRUE(allAre(bios, 0xFF));
  }
  if (method == ChipMethod::ChipStatus) host.setControl(2, 9, 0, 0);
  const Bytes menu = pattern(0x8000, 0x21);
  const bool programmed = programBios(host, method, menu);
  EXPECT_EQ(programmed, intact || method != ChipMethod::WriterStatus);  // only method 1 reads back
  const bool same = std::equal(menu.begin(), menu.end(), bios.begin());
  EXPECT_EQ(same, intact);
  if (intact) {
    host.setBank(1);
    EXPECT_EQ(host.readBlock(0x4000, 0x4000).bytes, Bytes(menu.begin() + 0x4000, menu.end()));
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, BiosRom,
                         ::testing::Values(BiosCase{kIntel28F010, true, true}, BiosCase{kIntel28F010, false, false},
                                           BiosCase{kSst29EE010, true, true}, BiosCase{kSst29EE010, false, true},
                                           BiosCase{kAmd29F010, true, true}, BiosCase{kAmd29F010, false, false}),
                         [](const auto& p) { return chipLabel(p.param.chip) + (p.param.erase ? "" : "_noErase"); });

TEST(BiosRom, Method1PageWrite_replacesOnlyItsPage) {
  SimWriter writer(sim::emptyGbFlashCard(kSst29EE010, kIntel28F016SA));
  auto bios = writer.memory(Memory::GbBios);
  std::fill(bios.begin(), bios.end(), std::uint8_t{0x00});
  Host host(writer);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  host.writeByte(0x0000, 0x00);
  host.setBank(2);
  const Bytes piece = pattern(0x80, 1);
  host.writeBlock(8, 0x4100, piece);
  EXPECT_TRUE(pollDone(host));
  EXPECT_TRUE(std::equal(piece.begin(), piece.end(), bios.begin() + 0x8100));
  EXPECT_EQ(bios[0x80FF], 0x00);
  EXPECT_EQ(bios[0x8180], 0x00);
}

// A command that does not fit the addressed chip's method does nothing and reports failure.
struct ForeignCase {
  const char* name;
  sim::ChipId bios;
  sim::ChipId flash;
  std::uint8_t select;  // 0x0A FLASH ROM, 0x00 BIOS ROM
  std::function<void(Host&)> command;
};

class ForeignCommand : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignCommand, NotTheChipsMethod_nothingChanges_statusFails) {
  const ForeignCase& c = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(c.bios, c.flash));
  for (Memory m : {Memory::GbBios, Memory::GbFlash}) {
    auto mem = writer.memory(m);
    std::fill(mem.begin(), mem.end(), std::uint8_t{0x5A});
  }
  Host host(writer);
  host.writeByte(0xC080, 1);
  host.writeByte(0xA000, 0x80);
  host.writeByte(0x0000, c.select);
  c.command(host);
  EXPECT_EQ(host.queryState3(), 2) << c.name;
  EXPECT_TRUE(allAre(writer.memory(Memory::GbBios), 0x5A)) << c.name;
  EXPECT_TRUE(allAre(writer.memory(Memory::GbFlash), 0x5A)) << c.name;
}

const Bytes kZeros(0x4000, 0x00);

INSTANTIATE_TEST_SUITE_P(
    Commands, ForeignCommand,
    ::testing::Values(
        ForeignCase{"flashM0_erase7", kIntel28F010, kSharp28F016SUT, 0x0A, [](Host& h) { h.setControl(2, 7, 0, 0); }},
        ForeignCase{"flashM1_erase11", kIntel28F010, kFuji28F016, 0x0A, [](Host& h) { h.setControl(2, 11, 0, 0); }},
        ForeignCase{"flashM2_erase11_noVoltage", kIntel28F010, kIntel28F016SA, 0x0A,
                    [](Host& h) { h.setControl(2, 11, 0, 0); }},
        ForeignCase{"flashM0_program7", kIntel28F010, kSharp28F016SUT, 0x0A,
                    [](Host& h) { h.writeBlock(7, 0x4000, kZeros); }},
        ForeignCase{"flashM1_program10", kIntel28F010, kFuji28F016, 0x0A,
                    [](Host& h) { h.writeBlock(10, 0x4000, kZeros); }},
        ForeignCase{"flash_program11", kIntel28F010, kSharp28F016SUT, 0x0A,
                    [](Host& h) { h.writeBlock(11, 0x4000, Bytes(0x80, 0)); }},
        ForeignCase{"biosPresented_erase11", kIntel28F010, kSharp28F016SUT, 0x00,
                    [](Host& h) { h.setControl(2, 11, 0, 0); }},
        ForeignCase{"biosM0_erase6", kIntel28F010, kIntel28F016SA, 0x00, [](Host& h) { h.setControl(2, 6, 0, 0); }},
        ForeignCase{"biosM0_program8", kIntel28F010, kIntel28F016SA, 0x00,
                    [](Host& h) { h.writeBlock(8, 0x4000, Bytes(0x80, 0)); }},
        ForeignCase{"biosM1_erase14", kSst29EE010, kIntel28F016SA, 0x00, [](Host& h) { h.setControl(2, 14, 0, 0); }},
        ForeignCase{"biosM1_program11", kSst29EE010, kIntel28F016SA, 0x00,
                    [](Host& h) { h.writeBlock(11, 0x4000, Bytes(0x80, 0)); }},
        ForeignCase{"biosM2_erase14", kAmd29F010, kIntel28F016SA, 0x00, [](Host& h) { h.setControl(2, 14, 0, 0); }},
        ForeignCase{"biosM2_program10", kAmd29F010, kIntel28F016SA, 0x00,
                    [](Host& h) { h.writeBlock(10, 0x4000, kZeros); }},
        ForeignCase{"biosM2_erase6_notBank0", kAmd29F010, kIntel28F016SA, 0x00,
                    [](Host& h) {
                      h.setBank(1);
                      h.setControl(2, 6, 0, 0);
                    }},
        ForeignCase{"flashM1_erase14", kIntel28F010, kFuji28F016, 0x0A, [](Host& h) { h.setControl(2, 14, 0, 0); }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(WriteEnable, Missing_eraseAndProgramFail) {
  SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, kSharp28F016SUT));
  auto flash = writer.memory(Memory::GbFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  Host host(writer);
  host.writeByte(0xC080, 1);
  host.writeByte(0x0000, 0x0A);  // no WriteByte(0xA000, 0x80)
  EXPECT_FALSE(eraseFlashBlock(host, ChipMethod::ChipStatus, 0, 50));
  EXPECT_EQ(host.queryState3(), 2);
  EXPECT_FALSE(programFlashBank(host, ChipMethod::ChipStatus, 0, Bytes(0x4000, 0x00)));
  EXPECT_TRUE(allAre(flash, 0x00));
}

// Busy periods: a block erase lasts two polls, the method-0 BIOS ROM erase a little over
// DelayTicks(65535), a piece is done at once; busy-polls=K makes each answer busy K polls
// longer. A FLASH ROM bank's status is final at once.
class BusyPolls : public ::testing::TestWithParam<int> {};

TEST_P(BusyPolls, AfterEraseOrPiece_ownTimePlusKBusyAnswers) {
  const int k = GetParam();
  sim::Faults faults;
  faults.busyPolls = k;
  SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, kSharp28F016SUT), faults);
  Host host(writer);
  prepareFlashCard(host, ChipMethod::ChipStatus);

  host.setControl(2, 11, 4, 0);
  int busy = 0;
  std::optional<std::uint8_t> status;
  while ((status = host.readByte(0x4000)) == 0x00 && busy <= k + 2) ++busy;
  EXPECT_EQ(busy, k + 2);
  EXPECT_EQ(status, 0x80);
  EXPECT_EQ(host.readByte(0x4000), 0x80) << "status byte until the read-array command";
  host.writeByte(0x4000, 0xFF);
  host.setBank(4);
  EXPECT_EQ(host.readByte(0x4000), 0xFF) << "array again";

  EXPECT_TRUE(programFlashBank(host, ChipMethod::ChipStatus, 4, Bytes(0x4000, 0x12)))
      << "bank programming answers 0 on the first status query";

  host.writeByte(0x0000, 0x00);
  host.port().delayTicks(10000);
  host.setControl(2, 14, 0, 0);
  host.port().delayTicks(65535);
  int rounds = 0;
  for (; rounds < 10; ++rounds) {
    host.port().delayTicks(1000);
    if (host.queryState3() == 0) break;
  }
  EXPECT_EQ(rounds, 1 + k) << "done at the second round of DelayTicks(1000), K polls later";

  host.port().delayTicks(10000);
  host.setControl(2, 9, 0, 0);
  host.writeBlock(11, 0x4000, Bytes(0x80, 0x34));
  busy = 0;
  int answer = 0;
  while ((answer = host.queryState3()) == 1 && busy <= k) ++busy;
  EXPECT_EQ(busy, k);
  EXPECT_EQ(answer, 0);
}

INSTANTIATE_TEST_SUITE_P(Counts, BusyPolls, ::testing::Values(0, 1, 4));

// The 4096 bytes at 0xA000 that tell a writer flash card from a cartridge.
struct PatternCase {
  const char* name;
  sim::CardKind kind;
  std::function<void(Host&)> setup;
  std::uint8_t expected;
};

class RegisterPattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(RegisterPattern, ReadA000_4096Bytes) {
  const PatternCase& c = GetParam();
  SimWriter writer(c.kind == sim::CardKind::GbFlash  ? sim::emptyGbFlashCard()
                   : c.kind == sim::CardKind::GbCart ? sim::gbCartridge(Bytes(0x8000, 0x00))
                                                     : sim::noCard());
  Host host(writer);
  c.setup(host);
  const Answer a = host.readBlock(0xA000, 4096);
  ASSERT_TRUE(a.checkOk());
  EXPECT_TRUE(allAre(a.bytes, c.expected)) << c.name;
}

void probeWrites(Host& h) {
  h.writeByte(0xC080, 1);
  h.setControl(2, 15, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Cards, RegisterPattern,
                         ::testing::Values(PatternCase{"flashCard", sim::CardKind::GbFlash, probeWrites, 0xFE},
                                           PatternCase{"flashCardNoRegisterMode", sim::CardKind::GbFlash, [](Host&) {},
                                                       0xFF},
                                           PatternCase{"flashCardSaveShown", sim::CardKind::GbFlash,
                                                       [](Host& h) {
                                                         probeWrites(h);
                                                         h.writeByte(0x0000, 0x0A);
                                                         h.writeByte(0x1000, 0x0C);
                                                       },
                                                       0x00},
                                           // The save memory is shown but not enabled: nothing answers.
                                           PatternCase{"flashCardSaveNotEnabled", sim::CardKind::GbFlash,
                                                       [](Host& h) {
                                                         probeWrites(h);
                                                         h.writeByte(0x1000, 0x0C);
                                                       },
                                                       0xFF},
                                           PatternCase{"flashCardSaveHiddenAgain", sim::CardKind::GbFlash,
                                                       [](Host& h) {
                                                         probeWrites(h);
                                                         h.writeByte(0x1000, 0x0C);
                                                         probeWrites(h);
                                                       },
                                                       0xFE},
                                           PatternCase{"cartridge", sim::CardKind::GbCart, probeWrites, 0xFF},
                                           PatternCase{"noCard", sim::CardKind::None, probeWrites, 0xFF}),
                         [](const auto& p) { return std::string(p.param.name); });

class SaveBanks : public ::testing::TestWithParam<int> {};

TEST_P(SaveBanks, WriteByte4000PicksBank_blockLandsThere) {
  const int bank = GetParam();
  SimWriter writer(sim::emptyGbFlashCard());
  Host host(writer);
  probeWrites(host);
  host.setControl(2, 15, 0, 0);
  host.writeByte(0x0000, 0x0A);
  host.writeByte(0x1000, 0x0C);
  host.writeByte(0x4000, static_cast<std::uint8_t>(bank));
  const Bytes data = pattern(0x2000, static_cast<std::uint8_t>(bank));
  host.writeBlock(0, 0xA000, data);
  EXPECT_EQ(host.queryState3(), 0);
  const auto sram = writer.memory(Memory::GbSram);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), sram.begin() + bank * 0x2000));
  EXPECT_EQ(std::count(sram.begin(), sram.end(), 0), std::count(data.begin(), data.end(), 0) + 0x20000 - 0x2000)
      << "no other bank written";
  host.writeByte(0x4000, static_cast<std::uint8_t>(bank ^ 1));
  EXPECT_TRUE(allAre(host.readBlock(0xA000, 0x2000).bytes, 0x00));
  host.writeByte(0x4000, static_cast<std::uint8_t>(bank));
  EXPECT_EQ(host.readBlock(0xA000, 0x2000).bytes, data);
  EXPECT_EQ(host.queryState3(), 0);
}

INSTANTIATE_TEST_SUITE_P(Banks, SaveBanks, ::testing::Values(0, 3, 14, 15));

TEST(Windows, FixedWindowShowsBiosBank0_bankWindowShowsPresentedChipsBank) {
  SimWriter writer(sim::emptyGbFlashCard());
  auto bios = writer.memory(Memory::GbBios);
  auto flash = writer.memory(Memory::GbFlash);
  for (std::size_t bank = 0; bank < 8; ++bank) bios[bank * 0x4000 + 0x10] = static_cast<std::uint8_t>(0xB0 + bank);
  for (std::size_t bank = 0; bank < 256; ++bank) flash[bank * 0x4000 + 0x10] = static_cast<std::uint8_t>(bank);
  Host host(writer);
  host.writeByte(0x0000, 0x0A);
  host.setBank(96);
  EXPECT_EQ(host.readByte(0x0010), 0xB0);
  EXPECT_EQ(host.readByte(0x4010), 96);
  host.writeByte(0x0000, 0x00);
  host.setBank(5);
  EXPECT_EQ(host.readByte(0x0010), 0xB0);
  EXPECT_EQ(host.readByte(0x4010), 0xB5);
  host.writeByte(0x0000, 0x0A);
  EXPECT_EQ(host.readByte(0x4010), 5);
}

// An operation stopped with the programming voltage on leaves a card the next probe still
// identifies: going back to reading the arrays switches the voltage off.
TEST(Control15, AfterVoltageOn_command90ChipIdentifiesAgain) {
  SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, kIntel28F016SA));
  Host host(writer);
  host.writeByte(0x0000, 0x0A);
  host.setControl(2, 9, 0, 0);
  host.writeByte(0x4000, 0x90);
  EXPECT_EQ(host.readByte(0x4000), 0xFF) << "with the voltage on this chip does not take 0x90";
  host.setControl(2, 15, 0, 0);
  host.writeByte(0x4000, 0x90);
  EXPECT_EQ(host.readByte(0x4000), 0x89);
}

}  // namespace
}  // namespace quillon::simtest
