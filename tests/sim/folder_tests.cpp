// SPDX-License-Identifier: GPL-3.0-or-later
// Writer folders: inserting cards, arming faults, describing, and memories that reach their
// files at the end of every command.
#include <gtest/gtest.h>

#include <fstream>

#include "chips.h"
#include "sequences.h"
#include "sim/sim.h"

namespace quillon::simtest {
namespace {

namespace fs = std::filesystem;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes(fs::exists(path) ? fs::file_size(path) : 0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string readText(const fs::path& path) {
  const Bytes bytes = readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

bool allAre(const Bytes& bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

class WriterFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("quillon-sim-" + std::string(info->test_suite_name()) + "-" + info->name() +
                                        "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path file(const char* name) const { return dir_ / name; }
  fs::path dir_;
};

TEST_F(WriterFolder, InsertGbFlash_erasedChipsClearedSave_iniNamesChipsById) {
  sim::insertGbFlash(dir_, support::chipId("AMD 28F010"), support::chipId("INTEL 28F016SV"));
  const Bytes flash = readFile(file("gb-flash.bin"));
  const Bytes bios = readFile(file("gb-bios.bin"));
  const Bytes sram = readFile(file("gb-sram.bin"));
  EXPECT_EQ(flash.size(), 0x400000u);
  EXPECT_EQ(bios.size(), 0x20000u);
  EXPECT_EQ(sram.size(), 0x20000u);
  EXPECT_TRUE(allAre(flash, 0xFF));
  EXPECT_TRUE(allAre(bios, 0xFF));
  EXPECT_TRUE(allAre(sram, 0x00));
  const std::string ini = readText(file("writer.ini"));
  EXPECT_NE(ini.find("kind=gb-flash"), std::string::npos) << ini;
  EXPECT_NE(ini.find("bios-chip=01:A7:00"), std::string::npos) << ini;
  EXPECT_NE(ini.find("flash-chip=89:A0:04"), std::string::npos) << ini;
  const std::string text = sim::describeWriter(dir_);
  EXPECT_NE(text.find("AMD 28F010"), std::string::npos) << text;
  EXPECT_NE(text.find("INTEL 28F016SV"), std::string::npos) << text;
  EXPECT_NE(text.find("Faults: none"), std::string::npos) << text;
  // An earlier version's writer.ini names the same chips by their rows in the program's table.
  std::ofstream(file("writer.ini")) << "[card]\nkind=gb-flash\nbios-chip=" << support::chipRow("AMD 28F010")
                                    << "\nflash-chip=" << support::chipRow("INTEL 28F016SV") << '\n';
  EXPECT_EQ(sim::describeWriter(dir_), text);
}

TEST_F(WriterFolder, GbFlashCommands_reachFilesAtOnce_andSurviveReopening) {
  sim::insertGbFlash(dir_);
  const Bytes bank = [] {
    Bytes b(0x4000);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 3 + 1);
    return b;
  }();
  {
    auto port = sim::openSimPort(dir_);
    Host host(*port);
    ASSERT_TRUE(host.checkDevice());
    prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
    ASSERT_TRUE(programFlashBank(host, ChipMethod::ChipStatusWithVoltage, 130, bank));
    // The port is still open: the file must already hold the bank.
    const Bytes flash = readFile(file("gb-flash.bin"));
    EXPECT_TRUE(std::equal(bank.begin(), bank.end(), flash.begin() + 130 * 0x4000));
    host.writeByte(0x1000, 0x0C);
    host.writeByte(0x4000, 9);
    host.writeBlock(0, 0xA000, Bytes(0x2000, 0x6D));
    ASSERT_EQ(host.queryState3(), 0);
    const Bytes sram = readFile(file("gb-sram.bin"));
    EXPECT_TRUE(allAre(Bytes(sram.begin() + 9 * 0x2000, sram.begin() + 10 * 0x2000), 0x6D));
    EXPECT_EQ(sram[8 * 0x2000], 0x00);
  }
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  host.writeByte(0x0000, 0x0A);
  host.setBank(130);
  EXPECT_EQ(host.readBlock(0x4000, 0x4000).bytes, bank);
  host.writeByte(0x1000, 0x0C);
  host.writeByte(0x4000, 9);
  EXPECT_TRUE(allAre(host.readBlock(0xA000, 0x2000).bytes, 0x6D));
}

TEST_F(WriterFolder, WsFlashCommands_reachFiles) {
  sim::insertWsFlash(dir_);
  EXPECT_EQ(readFile(file("ws-flash.bin")).size(), 0x400000u);
  EXPECT_TRUE(allAre(readFile(file("ws-sram.bin")), 0x00));
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  ASSERT_EQ(wsEraseBank(host, 63), 0);
  ASSERT_EQ(wsProgramBlock(host, 127, Bytes(0x8000, 0x30)), 0);
  wsSelectSave(host);
  host.writeBlock(19, 0x8000, Bytes(0x8000, 0x44));
  ASSERT_EQ(host.queryState6(), 0);
  const Bytes flash = readFile(file("ws-flash.bin"));
  EXPECT_EQ(flash[0x3FFFFC], 0x30);
  EXPECT_EQ(flash[0x3F7FFF], 0xFF);
  EXPECT_TRUE(allAre(readFile(file("ws-sram.bin")), 0x44));
}

TEST_F(WriterFolder, GbCart_romCopied_saveWritesReachSavFile) {
  fs::create_directories(dir_ / "in");
  Bytes rom(0x10000, 0x00);
  rom[0x147] = 0x1B;
  rom[0x149] = 0x03;
  rom[0x4000 * 3] = 0x33;
  writeFile(dir_ / "in" / "game.gb", rom);
  writeFile(dir_ / "in" / "game.sav", Bytes(0x8000, 0x21));
  sim::insertGbCart(dir_, dir_ / "in" / "game.gb", dir_ / "in" / "game.sav");
  EXPECT_EQ(readFile(file("gb-cart.gb")), rom);
  EXPECT_TRUE(allAre(readFile(file("gb-cart.sav")), 0x21));
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  host.setBank(3);
  EXPECT_EQ(host.readByte(0x4000), 0x33);
  host.writeByte(0x0000, 0x0A);
  host.writeByte(0x4000, 2);
  host.writeBlock(0, 0xA000, Bytes(0x2000, 0x5E));
  EXPECT_EQ(host.queryState3(), 0);
  const Bytes sav = readFile(file("gb-cart.sav"));
  EXPECT_EQ(sav[2 * 0x2000], 0x5E);
  EXPECT_EQ(sav[1 * 0x2000], 0x21);
  EXPECT_EQ(readFile(file("gb-cart.gb")), rom);
  EXPECT_NE(sim::describeWriter(dir_).find("ordinary GB cartridge"), std::string::npos);
}

TEST_F(WriterFolder, InsertGbCart_badImage_refusedNamingTheFile) {
  fs::create_directories(dir_);
  writeFile(dir_ / "short.gb", Bytes(100, 0));
  try {
    sim::insertGbCart(dir_, dir_ / "short.gb");
    FAIL() << "accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("short.gb"), std::string::npos) << e.what();
  }
  EXPECT_THROW(sim::insertGbCart(dir_, dir_ / "missing.gb"), std::runtime_error);
}

TEST_F(WriterFolder, MissingFolder_writerNeverReady_managementRefuses) {
  auto port = sim::openSimPort(dir_);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(port->readStatus() & 0x80, 0);
  Host host(*port);
  EXPECT_FALSE(host.checkDevice());
  EXPECT_FALSE(fs::exists(dir_)) << "opening must not create the folder";
  EXPECT_THROW(sim::armFaults(dir_, {"absent"}), std::runtime_error);
  EXPECT_THROW(sim::describeWriter(dir_), std::runtime_error);
}

TEST_F(WriterFolder, Faults_persistedUsedAndCleared) {
  sim::insertWsFlash(dir_);
  sim::armFaults(dir_, {"ws-id=1234", "busy-polls=3"});
  EXPECT_NE(sim::describeWriter(dir_).find("busy-polls=3, ws-id=0x1234"), std::string::npos)
      << sim::describeWriter(dir_);
  {
    auto port = sim::openSimPort(dir_);
    Host host(*port);
    EXPECT_EQ(wsIdentify(host), (Bytes{0x34, 0x12, 0x81 ^ 0x34 ^ 0x12}));
  }
  EXPECT_THROW(sim::armFaults(dir_, {"absent", "bogus"}), std::runtime_error);
  EXPECT_EQ(sim::describeWriter(dir_).find("absent"), std::string::npos) << "all or nothing";
  sim::insertGbFlash(dir_);
  EXPECT_NE(sim::describeWriter(dir_).find("ws-id=0x1234"), std::string::npos) << "insert keeps faults";
  sim::armFaults(dir_, {"absent"});
  {
    auto port = sim::openSimPort(dir_);
    Host host(*port);
    EXPECT_FALSE(host.checkDevice());
  }
  sim::clearFaults(dir_);
  EXPECT_NE(sim::describeWriter(dir_).find("Faults: none"), std::string::npos);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  EXPECT_TRUE(host.checkDevice());
}

TEST_F(WriterFolder, Insert_replacesCardAndRemovesItsFiles) {
  sim::insertGbFlash(dir_);
  sim::insertWsFlash(dir_);
  EXPECT_FALSE(fs::exists(file("gb-flash.bin")));
  EXPECT_FALSE(fs::exists(file("gb-bios.bin")));
  EXPECT_FALSE(fs::exists(file("gb-sram.bin")));
  EXPECT_TRUE(fs::exists(file("ws-flash.bin")));
  sim::insertNone(dir_);
  EXPECT_FALSE(fs::exists(file("ws-flash.bin")));
  EXPECT_NE(sim::describeWriter(dir_).find("Inserted: nothing"), std::string::npos);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  EXPECT_TRUE(host.checkDevice());
  EXPECT_EQ(host.readByte(0x4000), 0xFF);
}

TEST_F(WriterFolder, UnknownChip_refusedNamingIt) {
  try {
    sim::insertGbFlash(dir_, sim::kDefaultBiosChip, {0x5A, 0x5A, 0x00});
    FAIL() << "accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("5A:5A:00"), std::string::npos) << e.what();
  }
  EXPECT_THROW(sim::insertGbFlash(dir_, {0xFF, 0xFF, 0xFF}, sim::kDefaultFlashChip), std::runtime_error);
}

TEST_F(WriterFolder, BrokenFolder_openRefusedWithReason) {
  sim::insertGbFlash(dir_);
  writeFile(file("gb-bios.bin"), Bytes(0x1000, 0xFF));
  try {
    sim::openSimPort(dir_);
    FAIL() << "opened";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("gb-bios.bin"), std::string::npos) << e.what();
  }
  sim::insertGbFlash(dir_);
  std::ofstream(file("writer.ini"), std::ios::app) << "wobble=1\n";
  try {
    sim::openSimPort(dir_);
    FAIL() << "opened";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("writer.ini:"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace quillon::simtest
