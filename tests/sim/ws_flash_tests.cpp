// SPDX-License-Identifier: GPL-3.0-or-later
// The WS flash card: identification, size answer, sector erase with the boot sectors,
// buffered programming, the read mapping of an image at the top of the card, save memory.
#include <gtest/gtest.h>

#include <algorithm>

#include "sequences.h"
#include "sim/sim_writer.h"

namespace quillon::simtest {
namespace {

using sim::Memory;
using sim::SimWriter;

constexpr std::size_t kBank = 0x10000;

bool allAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

struct IdCase {
  const char* name;
  sim::CardKind kind;
  std::optional<std::uint16_t> wsId;
  std::uint8_t a, b;
};

class WsIdentification : public ::testing::TestWithParam<IdCase> {};

TEST_P(WsIdentification, ProbeExchange_twoBytesAndCheck) {
  const IdCase& c = GetParam();
  sim::Faults faults;
  faults.wsId = c.wsId;
  SimWriter writer(c.kind == sim::CardKind::WsFlash   ? sim::emptyWsFlashCard()
                   : c.kind == sim::CardKind::GbFlash ? sim::emptyGbFlashCard()
                                                      : sim::noCard(),
                   faults);
  Host host(writer);
  EXPECT_EQ(wsIdentify(host), (Bytes{c.a, c.b, static_cast<std::uint8_t>(0x81 ^ c.a ^ c.b)})) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cards, WsIdentification,
                         ::testing::Values(IdCase{"wsFlash", sim::CardKind::WsFlash, std::nullopt, 0x82, 0x23},
                                           IdCase{"noCard", sim::CardKind::None, std::nullopt, 0x00, 0x00},
                                           IdCase{"gbCard", sim::CardKind::GbFlash, std::nullopt, 0x00, 0x00},
                                           IdCase{"wsIdFault", sim::CardKind::WsFlash, 0x1234, 0x34, 0x12}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WsIdentificationOrder, AnswerWithoutReadingTheIdFirst_isZero) {
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  host.header(6, 5, 0, 0, 0);
  host.sendByte(0);
  const Answer a = host.collect(2);
  EXPECT_EQ(a.bytes, (Bytes{0, 0}));
  EXPECT_TRUE(a.checkOk());
}

struct SizeCase {
  std::uint8_t sizeByte;
  std::uint8_t code;
};

class WsSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(WsSize, SizeQuery_codeFromSizeByteOfLastBlock) {
  const auto [sizeByte, code] = GetParam();
  SimWriter writer(sim::emptyWsFlashCard());
  writer.memory(Memory::WsFlash)[0x3FFFFC] = sizeByte;
  Host host(writer);
  EXPECT_EQ(wsSizeQuery(host), (Bytes{code, static_cast<std::uint8_t>(code ^ 0x81)}));
}

INSTANTIATE_TEST_SUITE_P(Codes, WsSize,
                         ::testing::Values(SizeCase{0x00, 7}, SizeCase{0x10, 6}, SizeCase{0x20, 5}, SizeCase{0x30, 4},
                                           SizeCase{0x1F, 6}, SizeCase{0xC0, 7}, SizeCase{0xFF, 4}));

TEST(WsErase, BankSector_erasesOnlyThatBank_readyHeldWhileErasing) {
  SimWriter writer(sim::emptyWsFlashCard());
  auto flash = writer.memory(Memory::WsFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  Host host(writer);
  host.setControl(0, 0xC2, 5, 0);
  host.setMode(0x24);
  host.setControl(2, 0x12, 0x24, 0x80);
  int notReady = 0;
  while (!(writer.readStatus() & 0x80) && notReady < 1000000) ++notReady;
  EXPECT_GT(notReady, 40000) << "the ready bit is clear for longer than a wait with the usual limit";
  EXPECT_LT(notReady, 1000000);
  host.sendClock();
  host.sendClock();
  EXPECT_EQ(host.queryState6(), 0);
  EXPECT_TRUE(allAre(flash.subspan(5 * kBank, kBank), 0xFF));
  EXPECT_EQ(flash[5 * kBank - 1], 0x00);
  EXPECT_EQ(flash[6 * kBank], 0x00);
}

// The top bank of each 2 MiB chip: the bank erase takes only the lower 32 KiB; the three
// boot sector erases take 8, 8 and 16 KiB of the upper half.
struct BootCase {
  const char* name;
  int bank;
  std::vector<std::uint8_t> sectorsAt;                      // second parameter byte of each (2, 0x12, 0x25, x)
  std::vector<std::pair<std::size_t, std::size_t>> erased;  // within the bank
};

class WsBootSectors : public ::testing::TestWithParam<BootCase> {};

TEST_P(WsBootSectors, EraseCommands_eraseExactlyTheirSectors) {
  const BootCase& c = GetParam();
  SimWriter writer(sim::emptyWsFlashCard());
  auto flash = writer.memory(Memory::WsFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  Host host(writer);
  EXPECT_EQ(wsEraseBank(host, c.bank), 0);
  host.setMode(0x25);
  for (std::uint8_t at : c.sectorsAt) {
    host.setControl(2, 0x12, 0x25, at);
    host.sendClock();
    host.sendClock();
    EXPECT_EQ(host.queryState6(), 0);
  }
  const std::size_t base = static_cast<std::size_t>(c.bank) * kBank;
  for (std::size_t at = 0; at < kBank; at += 0x1000) {
    const bool expected =
        std::any_of(c.erased.begin(), c.erased.end(), [at](const auto& r) { return at >= r.first && at < r.second; });
    EXPECT_EQ(flash[base + at] == 0xFF, expected) << c.name << " offset 0x" << std::hex << at;
  }
}

INSTANTIATE_TEST_SUITE_P(Sectors, WsBootSectors,
                         ::testing::Values(BootCase{"bank31_noExtraErase_upperHalfKept", 31, {}, {{0, 0x8000}}},
                                           BootCase{"bank31_allSectors", 31, {0x80, 0xA0, 0xC0}, {{0, 0x10000}}},
                                           BootCase{
                                               "bank63_missingA0", 63, {0x80, 0xC0}, {{0, 0xA000}, {0xC000, 0x10000}}},
                                           BootCase{"bank63_only16K", 63, {0xC0}, {{0, 0x8000}, {0xC000, 0x10000}}},
                                           BootCase{"bank30_wholeBank", 30, {}, {{0, 0x10000}}},
                                           BootCase{"bank32_wholeBank", 32, {}, {{0, 0x10000}}}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WsErase, CommandForAnotherMode_fails_nothingErased) {
  SimWriter writer(sim::emptyWsFlashCard());
  auto flash = writer.memory(Memory::WsFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  Host host(writer);
  host.setControl(0, 0xC2, 2, 0);
  host.setMode(0x26);
  host.setControl(2, 0x12, 0x24, 0x80);
  host.sendClock();
  host.sendClock();
  EXPECT_NE(host.queryState6(), 0);
  EXPECT_TRUE(allAre(flash, 0x00));
}

TEST(WsProgram, BufferThenProgram_andsIntoSelectedHalf) {
  SimWriter writer(sim::emptyWsFlashCard());
  auto flash = writer.memory(Memory::WsFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0xF0});
  Host host(writer);
  EXPECT_EQ(wsProgramBlock(host, 2 * 7 + 1, Bytes(0x8000, 0x3C)), 0);
  EXPECT_TRUE(allAre(flash.subspan(7 * kBank + 0x8000, 0x8000), 0x30));
  EXPECT_TRUE(allAre(flash.subspan(7 * kBank, 0x8000), 0xF0)) << "lower half untouched";
}

TEST(WsProgram, DataDifferFromBuffer_fails_nothingProgrammed) {
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  host.setControl(0, 0xC2, 3, 0);
  host.setMode(0x24);
  host.writeBlock(16, 0x8000, Bytes(0x8000, 0x11));
  Bytes other(0x8000, 0x11);
  other[0x1234] = 0x10;
  host.writeBlock(7, 0x8000, other);
  EXPECT_NE(host.queryState6(), 0);
  EXPECT_TRUE(allAre(writer.memory(Memory::WsFlash), 0xFF));
}

// Reading through bank register 0xC3 shows the image at the top of the card from bank 0 on.
struct MappingCase {
  std::uint8_t sizeByte;
  int imageBanks;
};

class WsReadMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(WsReadMapping, ReadBankN_isPhysicalTopMinusImagePlusN_wrapping) {
  const auto [sizeByte, imageBanks] = GetParam();
  SimWriter writer(sim::emptyWsFlashCard());
  auto flash = writer.memory(Memory::WsFlash);
  for (std::size_t bank = 0; bank < 64; ++bank) {
    flash[bank * kBank] = static_cast<std::uint8_t>(bank);
    flash[bank * kBank + 0x8000] = static_cast<std::uint8_t>(0x80 | bank);
  }
  flash[0x3FFFFC] = sizeByte;
  Host host(writer);
  const int first = 64 - imageBanks;
  for (int n : {0, 1, imageBanks - 1, imageBanks, imageBanks + 3}) {
    host.setControl(0, 0xC3, static_cast<std::uint8_t>(n), 0);
    const int physical = first + n % imageBanks;
    host.setMode(0x26);
    EXPECT_EQ(host.readByte(0x8000), physical) << "read bank " << n;
    host.setMode(0x27);
    EXPECT_EQ(host.readByte(0x8000), 0x80 | physical) << "read bank " << n << " upper half";
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, WsReadMapping,
                         ::testing::Values(MappingCase{0x30, 8}, MappingCase{0x20, 16}, MappingCase{0x10, 32},
                                           MappingCase{0x00, 64}));

TEST(WsSave, SelectedThenWritten_bothOpsStore_statusZero_readsBack) {
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  wsSelectSave(host);
  Bytes data(0x8000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i ^ (i >> 7));
  host.writeBlock(0, 0x8000, data);
  host.writeBlock(19, 0x8000, data);
  EXPECT_EQ(host.queryState6(), 0);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), writer.memory(Memory::WsSram).begin()));
  const Answer back = host.readBlock(0x8000, 0x8000);
  EXPECT_TRUE(back.checkOk());
  EXPECT_EQ(back.bytes, data);
}

TEST(WsSave, WithoutControl9_writeRefused) {
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  host.setControl(0, 0xC1, 0, 0);
  host.setMode(0x22);
  host.writeBlock(0, 0x8000, Bytes(0x8000, 0x77));
  EXPECT_NE(host.queryState6(), 0);
  EXPECT_TRUE(allAre(writer.memory(Memory::WsSram), 0x00));
}

Bytes patternImage(std::size_t size, unsigned seed) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 15));
  image[size - 4] &= 0x07;
  return image;
}

// The program's WS sequences one after another on a card that held an old image: writing a
// 512 KiB image, reading it back, save memory backup and restore, writing again over the
// written card, erasing. Everything agrees with the image and no command is noted.
TEST(WsCard, ProgramSequences_agree_noNotes) {
  SimWriter writer(sim::emptyWsFlashCard());
  auto flash = writer.memory(Memory::WsFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  Host host(writer);
  const Bytes image = patternImage(0x80000, 0);
  ASSERT_TRUE(wsWriteCard(host, image));
  EXPECT_EQ(wsSizeQuery(host), (Bytes{4, 4 ^ 0x81}));
  EXPECT_EQ(wsReadCard(host), image);
  EXPECT_TRUE(allAre(flash.subspan(0, 56 * kBank), 0x00)) << "banks below the image untouched";

  const Bytes save = patternImage(0x8000, 7);
  ASSERT_TRUE(wsRestoreSave(host, save));
  EXPECT_EQ(wsBackupSave(host), save);

  const Bytes second = patternImage(0x80000, 99);
  ASSERT_TRUE(wsWriteCard(host, second));
  EXPECT_EQ(wsReadCard(host), second);
  EXPECT_TRUE(allAre(writer.memory(Memory::WsSram), 0x00)) << "writing clears the save memory";

  ASSERT_TRUE(wsEraseCard(host));
  EXPECT_TRUE(allAre(flash, 0xFF));
  EXPECT_EQ(wsBackupSave(host), Bytes(0x8000, 0x00));
  EXPECT_TRUE(writer.unexpected().empty()) << writer.unexpected().front();
}

// The last block as writing sends it for each image size: the size query then answers that
// size, and reading finds the block where the image of that size ends.
struct LastBlockCase {
  std::size_t imageSize;
  std::uint8_t code;  // of the size query
};

class WsLastBlock : public ::testing::TestWithParam<LastBlockCase> {};

TEST_P(WsLastBlock, SizeAnswerAndReadPosition_followTheWrittenSizeCode) {
  const auto [imageSize, code] = GetParam();
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  Bytes block = patternImage(0x8000, 5);
  host.setControl(0, 0xC2, 63, 0);
  ASSERT_TRUE(wsEraseBeforeBlock(host, 127));
  host.setMode(0x25);
  block[0x7FFC] |= wsSizeCode(imageSize);
  host.writeBlock(16, 0x8000, block);
  host.writeBlock(7, 0x8000, block);
  ASSERT_EQ(host.queryState6(), 0);
  EXPECT_EQ(wsSizeQuery(host), (Bytes{code, static_cast<std::uint8_t>(code ^ 0x81)}));
  const auto lastBank = static_cast<std::uint8_t>(imageSize / kBank - 1);
  host.setControl(0, 0xC3, lastBank, 0);
  host.setMode(0x27);
  const Answer read = host.readBlock(0x8000, 0x8000);
  EXPECT_TRUE(read.checkOk());
  EXPECT_EQ(read.bytes, block);
  EXPECT_TRUE(writer.unexpected().empty()) << writer.unexpected().front();
}

INSTANTIATE_TEST_SUITE_P(Sizes, WsLastBlock,
                         ::testing::Values(LastBlockCase{0x80000, 4}, LastBlockCase{0x100000, 5},
                                           LastBlockCase{0x200000, 6}, LastBlockCase{0x400000, 7}));

}  // namespace
}  // namespace quillon::simtest
