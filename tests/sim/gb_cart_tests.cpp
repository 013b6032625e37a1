// SPDX-License-Identifier: GPL-3.0-or-later
// Ordinary GB cartridges: mapper banking, save RAM sizes, enabling and the status answers.
#include <gtest/gtest.h>

#include <utility>

#include "host.h"
#include "sim/sim_writer.h"

namespace quillon::simtest {
namespace {

using sim::Memory;
using sim::SimWriter;

// A ROM whose 16 KiB bank k starts with k (low byte, high byte).
Bytes makeRom(std::uint8_t type, std::size_t banks, std::uint8_t ramCode) {
  Bytes rom(banks * 0x4000, 0x00);
  for (std::size_t k = 0; k < banks; ++k) {
    rom[k * 0x4000] = static_cast<std::uint8_t>(k & 0xFF);
    rom[k * 0x4000 + 1] = static_cast<std::uint8_t>(k >> 8);
  }
  rom[0x147] = type;
  rom[0x149] = ramCode;
  return rom;
}

int bankShown(Host& host) {
  const Answer a = host.readBlock(0x4000, 2);
  return a.bytes[0] | a.bytes[1] << 8;
}

struct MapperCase {
  const char* name;
  std::uint8_t type;
  std::size_t banks;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> writes;
  int expected;
};

class Mapper : public ::testing::TestWithParam<MapperCase> {};

TEST_P(Mapper, BankRegisterWrites_selectRomBankAt4000) {
  const MapperCase& c = GetParam();
  SimWriter writer(sim::gbCartridge(makeRom(c.type, c.banks, 0)));
  Host host(writer);
  for (const auto& [address, value] : c.writes) host.writeByte(address, value);
  EXPECT_EQ(bankShown(host), c.expected) << c.name;
  EXPECT_EQ(host.readBlock(0x0000, 2).bytes, (Bytes{0, 0})) << "bank 0 stays at 0x0000";
}

INSTANTIATE_TEST_SUITE_P(Mappers, Mapper,
                         ::testing::Values(MapperCase{"romOnly", 0x00, 2, {{0x2000, 0}}, 1},
                                           MapperCase{"mbc1_zeroMeansOne", 0x01, 64, {{0x2000, 0}}, 1},
                                           MapperCase{"mbc1_fiveBits", 0x03, 64, {{0x2000, 0x3F}}, 31},
                                           MapperCase{"mbc1_0x20IsZeroIsOne", 0x01, 64, {{0x2000, 0x20}}, 1},
                                           MapperCase{"mbc1_wrapsAtBankCount", 0x01, 8, {{0x3FFF, 0x0A}}, 2},
                                           MapperCase{"mbc3_zeroMeansOne", 0x13, 128, {{0x2000, 0}}, 1},
                                           MapperCase{"mbc3_sevenBits", 0x0F, 128, {{0x2000, 0xFF}}, 127},
                                           MapperCase{"mbc5_zeroAllowed", 0x19, 256, {{0x2000, 0}}, 0},
                                           MapperCase{"mbc5_eightBits", 0x1B, 256, {{0x2000, 0xC5}}, 0xC5},
                                           MapperCase{
                                               "mbc5_ninthBit", 0x1E, 512, {{0x2000, 0x05}, {0x3000, 0x01}}, 0x105}),
                         [](const auto& p) { return std::string(p.param.name); });

struct SetBankCase {
  std::size_t banks;
  std::uint8_t bank;
  int expected;
};

class CartSetBank : public ::testing::TestWithParam<SetBankCase> {};

TEST_P(CartSetBank, SetBank_showsBankModuloBankCount) {
  const auto [banks, bank, expected] = GetParam();
  SimWriter writer(sim::gbCartridge(makeRom(0x01, banks, 0)));
  Host host(writer);
  host.setBank(bank);
  EXPECT_EQ(bankShown(host), expected);
  EXPECT_EQ(host.queryState3(), 0);
}

INSTANTIATE_TEST_SUITE_P(Banks, CartSetBank,
                         ::testing::Values(SetBankCase{8, 3, 3}, SetBankCase{8, 10, 2}, SetBankCase{64, 0, 0},
                                           SetBankCase{2, 1, 1}, SetBankCase{128, 127, 127}));

struct RamCase {
  const char* name;
  std::uint8_t type;
  std::uint8_t ramCode;
  std::size_t size;
  int banks;
};

class CartRam : public ::testing::TestWithParam<RamCase> {};

TEST_P(CartRam, SizeFromHeader_banksThroughWindow) {
  const RamCase& c = GetParam();
  SimWriter writer(sim::gbCartridge(makeRom(c.type, 4, c.ramCode)));
  ASSERT_EQ(writer.memory(Memory::CartSav).size(), c.size) << c.name;
  Host host(writer);
  host.writeByte(0x0000, 0x0A);
  if (c.type <= 0x03) host.writeByte(0x6000, 0x01);  // an MBC1 switches RAM banks only in this mode
  const std::size_t perBank = std::min<std::size_t>(c.size, 0x2000);
  for (int bank = 0; bank < c.banks; ++bank) {
    host.writeByte(0x4000, static_cast<std::uint8_t>(bank));
    host.writeBlock(0, 0xA000, Bytes(perBank, static_cast<std::uint8_t>(0x40 + bank)));
    EXPECT_EQ(host.queryState3(), 0);
  }
  const auto ram = writer.memory(Memory::CartSav);
  for (int bank = 0; bank < c.banks; ++bank) {
    EXPECT_EQ(ram[static_cast<std::size_t>(bank) * perBank], 0x40 + bank) << c.name << " bank " << bank;
    EXPECT_EQ(ram[static_cast<std::size_t>(bank) * perBank + perBank - 1], 0x40 + bank) << c.name;
  }
  host.writeByte(0x4000, 0);
  EXPECT_EQ(host.readBlock(0xA000, static_cast<std::uint16_t>(perBank)).bytes, Bytes(perBank, 0x40));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CartRam,
    ::testing::Values(RamCase{"code1_2KiB", 0x03, 1, 0x800, 1}, RamCase{"code2_8KiB", 0x03, 2, 0x2000, 1},
                      RamCase{"code3_32KiB", 0x03, 3, 0x8000, 4}, RamCase{"code3_mbc3", 0x13, 3, 0x8000, 4},
                      RamCase{"code4_128KiB", 0x1B, 4, 0x20000, 16}, RamCase{"code5_64KiB", 0x1B, 5, 0x10000, 8}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CartRam, TwoKiB_repeatsInsideWindow) {
  SimWriter writer(sim::gbCartridge(makeRom(0x03, 2, 1)));
  Host host(writer);
  host.writeByte(0x0000, 0x0A);
  host.writeByte(0xA000, 0x11);
  host.writeByte(0xB803, 0x22);  // 0x1803 within the window is 0x003 of the 2 KiB
  EXPECT_EQ(host.readByte(0xA800), 0x11);
  EXPECT_EQ(host.readByte(0xB000), 0x11);
  EXPECT_EQ(host.readByte(0xA003), 0x22);
  EXPECT_EQ(writer.memory(Memory::CartSav)[3], 0x22);
}

struct EnableCase {
  std::uint8_t value;
  bool enabled;
};

class CartRamEnable : public ::testing::TestWithParam<EnableCase> {};

TEST_P(CartRamEnable, LowNibble0A_enables_elseReadsFFAndIgnoresWrites) {
  const auto [value, enabled] = GetParam();
  SimWriter writer(sim::gbCartridge(makeRom(0x1B, 4, 2)));
  Host host(writer);
  host.writeByte(0x1FFF, value);
  host.writeByte(0xA010, 0x5A);
  EXPECT_EQ(writer.memory(Memory::CartSav)[0x10], enabled ? 0x5A : 0x00);
  EXPECT_EQ(host.readByte(0xA010), enabled ? 0x5A : 0xFF);
}

INSTANTIATE_TEST_SUITE_P(Values, CartRamEnable,
                         ::testing::Values(EnableCase{0x0A, true}, EnableCase{0x3A, true}, EnableCase{0x00, false},
                                           EnableCase{0x0B, false}, EnableCase{0xA0, false}));

TEST(CartRam, NoRam_readsFF) {
  SimWriter writer(sim::gbCartridge(makeRom(0x19, 4, 0)));
  Host host(writer);
  host.writeByte(0x0000, 0x0A);
  host.writeByte(0xA000, 0x00);
  EXPECT_EQ(host.readByte(0xA000), 0xFF);
}

TEST(CartImage, BadImages_rejectedWithMessage) {
  EXPECT_THROW(sim::gbCartridge(Bytes(0x100, 0)), std::runtime_error);
  EXPECT_THROW(sim::gbCartridge(makeRom(0x22, 2, 0)), std::runtime_error);
  EXPECT_THROW(sim::gbCartridge(makeRom(0x01, 2, 0), Bytes(0x2000, 0)), std::runtime_error);
  try {
    sim::gbCartridge(makeRom(0xFC, 2, 0));
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("0xFC"), std::string::npos) << e.what();
  }
}

TEST(CartImage, SaveFile_loadedIntoRam_paddedWithZeros) {
  SimWriter writer(sim::gbCartridge(makeRom(0x03, 2, 2), Bytes{1, 2, 3}));
  const auto ram = writer.memory(Memory::CartSav);
  ASSERT_EQ(ram.size(), 0x2000u);
  EXPECT_EQ(ram[2], 3);
  EXPECT_EQ(ram[3], 0);
}

}  // namespace
}  // namespace quillon::simtest
