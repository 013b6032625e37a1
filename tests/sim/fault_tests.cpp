// SPDX-License-Identifier: GPL-3.0-or-later
// Armed faults: each one shows up where the program would see it, and nowhere else.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "chips.h"
#include "detect/chips.h"

#include "sequences.h"
#include "sim/fault_table.h"
#include "sim/sim.h"
#include "sim/sim_writer.h"
#include "sim/writer_ini.h"

namespace quillon::sim {
// A fault entry in a test's name and messages: its name.
void PrintTo(const FaultEntry& entry, std::ostream* out) { *out << entry.name; }
}  // namespace quillon::sim

namespace quillon::simtest {
namespace {

namespace fs = std::filesystem;
using sim::Faults;
using sim::Memory;
using sim::SimWriter;

using namespace support::chips;
using support::chipId;

Faults armed(std::initializer_list<const char*> names) {
  Faults faults;
  for (const char* name : names) sim::armFault(faults, name);
  return faults;
}

bool allAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

TEST(Absent, NeverReady_nothingCrosses) {
  SimWriter writer(sim::emptyGbFlashCard(), armed({"absent"}));
  Host host(writer);
  EXPECT_FALSE(host.checkDevice());
  EXPECT_EQ(writer.readStatus() & 0x80, 0);
  EXPECT_EQ(writer.bytesCrossed(), 0u);
  EXPECT_TRUE(writer.commands().empty());
}

// CheckDevice moves 14 bytes: 11 of frame, the 0x00, the answer byte and its check.
class DropAfter : public ::testing::TestWithParam<int> {};

TEST_P(DropAfter, StopsAnsweringAfterNBytes) {
  const int n = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(), armed({("drop-after=" + std::to_string(n)).c_str()}));
  Host host(writer);
  EXPECT_EQ(host.checkDevice(), n >= 14);
  EXPECT_EQ(writer.bytesCrossed(), static_cast<std::uint64_t>(std::min(n, 14)));
  if (n <= 14) {
    EXPECT_FALSE(host.checkDevice()) << "silent from then on";
    EXPECT_EQ(writer.readStatus() & 0x80, 0);
  } else {
    EXPECT_TRUE(writer.answering());
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, DropAfter, ::testing::Values(0, 5, 11, 12, 13, 14, 15));

class BadCheck : public ::testing::TestWithParam<int> {};

TEST_P(BadCheck, NthAnswerOnly_hasWrongCheck) {
  const int n = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(), armed({("bad-check=" + std::to_string(n)).c_str()}));
  Host host(writer);
  for (int answer = 1; answer <= 4; ++answer) {
    const Answer a = host.readBlock(0x0100, 16);
    EXPECT_TRUE(a.complete);
    EXPECT_EQ(a.checkOk(), answer != n) << "answer " << answer;
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, BadCheck, ::testing::Values(1, 2, 4));

class GbFlashFaults : public ::testing::TestWithParam<sim::ChipId> {};

TEST_P(GbFlashFaults, EraseFailBlock_thatBlockOnlyNeverErases) {
  const sim::ChipId chip = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, chip), armed({"erase-fail-block=5"}));
  auto flash = writer.memory(Memory::GbFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  Host host(writer);
  const ChipMethod method = methodOf(chip);
  prepareFlashCard(host, method);
  EXPECT_FALSE(eraseFlashBlock(host, method, 5, 100));
  if (method == ChipMethod::WriterStatus) {
    EXPECT_EQ(host.queryState3(), 2);
  } else {
    EXPECT_EQ(host.readByte(0x4000), 0xA0) << "status byte: erase error";
    host.writeByte(0x4000, 0xFF);
  }
  EXPECT_TRUE(allAre(flash.subspan(5 * 0x10000, 0x10000), 0x00));
  EXPECT_TRUE(eraseFlashBlock(host, method, 6));
  EXPECT_TRUE(allAre(flash.subspan(6 * 0x10000, 0x10000), 0xFF));
}

TEST_P(GbFlashFaults, ProgramFailBank_thatBankOnlyFails_unchanged) {
  const sim::ChipId chip = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, chip), armed({"program-fail-bank=37"}));
  auto flash = writer.memory(Memory::GbFlash);
  Host host(writer);
  const ChipMethod method = methodOf(chip);
  prepareFlashCard(host, method);
  EXPECT_FALSE(programFlashBank(host, method, 37, Bytes(0x4000, 0x00)));
  EXPECT_TRUE(allAre(flash.subspan(37 * 0x4000, 0x4000), 0xFF));
  EXPECT_TRUE(programFlashBank(host, method, 38, Bytes(0x4000, 0x00)));
  EXPECT_TRUE(allAre(flash.subspan(38 * 0x4000, 0x4000), 0x00));
}

TEST_P(GbFlashFaults, ReadFailBank_statusAfterReadingThatBankFails) {
  const sim::ChipId chip = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(kIntel28F010, chip), armed({"read-fail-bank=96"}));
  Host host(writer);
  host.setControl(2, 15, 0, 0);
  host.writeByte(0xA000, 0x80);
  host.writeByte(0x0000, 0x0A);
  for (int bank : {95, 96, 97}) {
    host.setBank(static_cast<std::uint8_t>(bank));
    EXPECT_TRUE(host.readBlock(0x4000, 0x4000).checkOk());
    EXPECT_EQ(host.queryState3(), bank == 96 ? 2 : 0) << "bank " << bank;
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, GbFlashFaults, ::testing::Values(kSharp28F016SUT, kFuji28F016, kIntel28F016SA));

class BiosFaults : public ::testing::TestWithParam<sim::ChipId> {};

TEST_P(BiosFaults, BiosEraseFail_eraseReportsFailure_unchanged) {
  const sim::ChipId chip = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(chip, kIntel28F016SA), armed({"bios-erase-fail"}));
  auto bios = writer.memory(Memory::GbBios);
  std::fill(bios.begin(), bios.end(), std::uint8_t{0x00});
  Host host(writer);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  host.writeByte(0x0000, 0x00);
  EXPECT_FALSE(eraseBios(host, methodOf(chip)));
  EXPECT_TRUE(allAre(bios, 0x00));
}

TEST_P(BiosFaults, BiosProgramFail_programmingReportsFailure_unchanged) {
  const sim::ChipId chip = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(chip, kIntel28F016SA), armed({"bios-program-fail"}));
  Host host(writer);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  host.writeByte(0x0000, 0x00);
  EXPECT_TRUE(eraseBios(host, methodOf(chip)) || methodOf(chip) == ChipMethod::WriterStatus);
  if (methodOf(chip) == ChipMethod::ChipStatus) host.setControl(2, 9, 0, 0);
  EXPECT_FALSE(programBios(host, methodOf(chip), Bytes(0x4000, 0x12)));
  EXPECT_TRUE(allAre(writer.memory(Memory::GbBios), 0xFF));
}

INSTANTIATE_TEST_SUITE_P(Methods, BiosFaults, ::testing::Values(kIntel28F010, kSst29EE010, kAmd29F010));

TEST(SramWriteFail, GbFlashCard_writeIgnored_statusFails) {
  SimWriter writer(sim::emptyGbFlashCard(), armed({"sram-write-fail"}));
  Host host(writer);
  host.setControl(2, 15, 0, 0);
  host.writeByte(0x0000, 0x0A);
  host.writeByte(0x1000, 0x0C);
  host.writeByte(0x4000, 2);
  host.writeBlock(0, 0xA000, Bytes(0x2000, 0x99));
  EXPECT_EQ(host.queryState3(), 2);
  EXPECT_TRUE(allAre(writer.memory(Memory::GbSram), 0x00));
}

TEST(SramWriteFail, Cartridge_writeIgnored_statusFails) {
  Bytes rom(0x8000, 0);
  rom[0x147] = 0x03;
  rom[0x149] = 0x02;
  SimWriter writer(sim::gbCartridge(rom), armed({"sram-write-fail"}));
  Host host(writer);
  host.writeByte(0x0000, 0x0A);
  host.writeBlock(0, 0xA000, Bytes(0x2000, 0x99));
  EXPECT_EQ(host.queryState3(), 2);
  EXPECT_TRUE(allAre(writer.memory(Memory::CartSav), 0x00));
}

TEST(SramWriteFail, WsFlashCard_writeIgnored_statusFails) {
  SimWriter writer(sim::emptyWsFlashCard(), armed({"sram-write-fail"}));
  Host host(writer);
  wsSelectSave(host);
  host.writeBlock(0, 0x8000, Bytes(0x8000, 0x99));
  host.writeBlock(19, 0x8000, Bytes(0x8000, 0x99));
  EXPECT_NE(host.queryState6(), 0);
  EXPECT_TRUE(allAre(writer.memory(Memory::WsSram), 0x00));
}

TEST(CartReadFailBank, StatusAfterReadingThatBankFails) {
  Bytes rom(8 * 0x4000, 0);
  rom[0x147] = 0x19;
  SimWriter writer(sim::gbCartridge(rom), armed({"read-fail-bank=0"}));
  Host host(writer);
  host.readBlock(0x0000, 0x4000);
  EXPECT_EQ(host.queryState3(), 2) << "bank 0 through the fixed window";
  host.setBank(1);
  host.readBlock(0x4000, 0x4000);
  EXPECT_EQ(host.queryState3(), 0);
}

TEST(WsFaults, EraseFailBlock_bankNeverErases) {
  SimWriter writer(sim::emptyWsFlashCard(), armed({"erase-fail-block=31"}));
  auto flash = writer.memory(Memory::WsFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  Host host(writer);
  EXPECT_NE(wsEraseBank(host, 31), 0);
  EXPECT_NE(wsEraseBootSectors(host, 31), 0);
  EXPECT_TRUE(allAre(flash.subspan(31 * 0x10000, 0x10000), 0x00));
  EXPECT_EQ(wsEraseBank(host, 30), 0);
}

TEST(WsFaults, ProgramFailBank_bankNotProgrammed) {
  SimWriter writer(sim::emptyWsFlashCard(), armed({"program-fail-bank=60"}));
  Host host(writer);
  EXPECT_NE(wsProgramBlock(host, 121, Bytes(0x8000, 0x00)), 0);
  EXPECT_TRUE(allAre(writer.memory(Memory::WsFlash), 0xFF));
  EXPECT_EQ(wsProgramBlock(host, 122, Bytes(0x8000, 0x00)), 0);
}

// read-fail-bank=B on a WS card: the block read of 32 KiB block B (bank register 0xC3 and
// mode 0x26/0x27) answers with a wrong check byte; sram-read-fail: so does the save memory
// read in mode 0x22. Other reads, and the status, stay right.
struct WsReadFailCase {
  const char* name;
  const char* fault;
  std::uint8_t bank, mode;
  std::uint16_t address;
  bool checkFails;
};

class WsReadFail : public ::testing::TestWithParam<WsReadFailCase> {};

TEST_P(WsReadFail, BlockReadCheckByte) {
  const WsReadFailCase& c = GetParam();
  SimWriter writer(sim::emptyWsFlashCard(), armed({c.fault}));
  Host host(writer);
  wsSelectSave(host);
  host.setControl(0, 0xC3, c.bank, 0);
  host.setMode(c.mode);
  const Answer answer = host.readBlock(c.address, c.address == 0x8000 ? 0x100 : 1);
  EXPECT_TRUE(answer.complete);
  EXPECT_EQ(answer.checkOk(), !c.checkFails);
  EXPECT_EQ(host.queryState6(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, WsReadFail,
    ::testing::Values(WsReadFailCase{"block3", "read-fail-bank=3", 1, 0x27, 0x8000, true},
                      WsReadFailCase{"block2", "read-fail-bank=3", 1, 0x26, 0x8000, false},
                      WsReadFailCase{"block1", "read-fail-bank=3", 0, 0x27, 0x8000, false},
                      WsReadFailCase{"block200", "read-fail-bank=200", 100, 0x26, 0x8000, true},
                      WsReadFailCase{"sizeByteRead", "read-fail-bank=3", 1, 0x27, 0xFFFC, false},
                      WsReadFailCase{"writeModeBank1", "read-fail-bank=3", 1, 0x25, 0x8000, false},
                      WsReadFailCase{"saveRead", "sram-read-fail", 0, 0x22, 0x8000, true},
                      WsReadFailCase{"flashReadNoSaveFault", "sram-read-fail", 0, 0x26, 0x8000, false},
                      WsReadFailCase{"saveReadBankFault", "read-fail-bank=0", 0, 0x22, 0x8000, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(WsFaults, SizeBadCheck_onlySizeAnswerWrong) {
  SimWriter writer(sim::emptyWsFlashCard(), armed({"ws-size-bad-check"}));
  Host host(writer);
  const Bytes size = wsSizeQuery(host);
  EXPECT_NE(size[1], size[0] ^ 0x81);
  EXPECT_EQ(wsIdentify(host), (Bytes{0x82, 0x23, 0x81 ^ 0x82 ^ 0x23}));
  EXPECT_TRUE(host.checkDevice());
}

// Every fault of the table, armed alone with its largest value (0 is off for some), is listed
// as it was armed, kept in the folder's writer.ini, read back the same and shown by sim show.
class EveryFault : public ::testing::TestWithParam<sim::FaultEntry> {};

TEST_P(EveryFault, ArmedListed_keptInTheFolder_shown) {
  const sim::FaultEntry& entry = GetParam();
  std::string text(entry.name);
  if (entry.value != sim::FaultValue::None) {
    std::ostringstream value;
    if (entry.value == sim::FaultValue::Hex16) value << "0x" << std::hex << std::uppercase << std::setw(4);
    value << entry.max;
    text += '=';
    text += value.str();
  }
  Faults faults;
  sim::armFault(faults, text);
  EXPECT_NE(faults, Faults{});
  EXPECT_EQ(sim::faultList(faults), std::vector<std::string>{text});
  EXPECT_NE(sim::knownFaultsText().find(entry.name), std::string::npos);

  const fs::path dir = fs::temp_directory_path() / ("quillon-fault-" + std::to_string(::getpid())) / entry.name;
  sim::insertNone(dir);
  sim::armFaults(dir, {text});
  EXPECT_EQ(sim::readConfig(dir).faults, faults);
  EXPECT_NE(sim::describeWriter(dir).find("\nFaults: " + text + "\n"), std::string::npos) << sim::describeWriter(dir);
  fs::remove_all(dir.parent_path());
}

INSTANTIATE_TEST_SUITE_P(Table, EveryFault, ::testing::ValuesIn(sim::kFaultTable), [](const auto& test) {
  std::string name(test.param.name);
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
});

// README.md lists the faults as `sim fault --help` does, under this line.
TEST(FaultTable, ReadmeListsTheTable) {
  std::ifstream readme(QUILLON_README);
  ASSERT_TRUE(readme) << QUILLON_README;
  std::string line;
  while (std::getline(readme, line) && line != "Faults, as `quillon-cli sim fault --help` lists them:") {
  }
  std::getline(readme, line);
  EXPECT_EQ(line, "```");
  std::string listed;
  while (std::getline(readme, line) && line != "```") listed.append(line).push_back('\n');
  EXPECT_EQ(listed, sim::faultHelp());
}

TEST(FaultNames, WsIdWithoutPrefix_isHex) {
  Faults faults;
  sim::armFault(faults, "ws-id=abcd");
  EXPECT_EQ(faults.wsId, 0xABCD);
}

struct BadCase {
  const char* text;
  const char* messagePart;
};

class BadFaultNames : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadFaultNames, Rejected_withMessage_faultsUnchanged) {
  Faults faults;
  sim::armFault(faults, "busy-polls=3");
  const Faults before = faults;
  try {
    sim::armFault(faults, GetParam().text);
    FAIL() << GetParam().text << " accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().messagePart), std::string::npos) << e.what();
  }
  EXPECT_EQ(faults, before);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BadFaultNames,
    ::testing::Values(BadCase{"nonsense", "unknown fault 'nonsense'"}, BadCase{"absent=1", "takes no value"},
                      BadCase{"busy-polls", "needs a value"}, BadCase{"erase-fail-block=64", "0 to 63"},
                      BadCase{"bad-check=0", "bad value '0'"}, BadCase{"ws-id=12345", "0 to FFFF"},
                      BadCase{"program-fail-bank=-1", "bad value '-1'"}, BadCase{"read-fail-bank=x", "bad value 'x'"},
                      BadCase{"drop-after=", "bad value ''"}));

// bios-verify-differ: a method-1 BIOS ROM reads back wrong once a page was written, so the
// programming verify and the erase-by-0xFF verify both fail; what it stores stays right.
struct VerifyCase {
  sim::ChipId bios;
  bool differs;
};

class BiosVerifyDiffer : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(BiosVerifyDiffer, Method1Only_verifiesFail_storedBytesRight) {
  const auto [chip, differs] = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(chip, kIntel28F016SA), armed({"bios-verify-differ"}));
  Host host(writer);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  host.writeByte(0x0000, 0x00);
  host.setBank(0);
  EXPECT_EQ(host.readBlock(0x4000, 0x80).bytes, Bytes(0x80, 0xFF)) << "right before any page write";
  const ChipMethod method = methodOf(chip);
  if (method != ChipMethod::WriterStatus) {
    ASSERT_TRUE(eraseBios(host, method));
  }
  if (method == ChipMethod::ChipStatus) host.setControl(2, 9, 0, 0);
  Bytes menu(0x4000);
  for (std::size_t i = 0; i < menu.size(); ++i) menu[i] = static_cast<std::uint8_t>(i * 7 + 3);
  EXPECT_EQ(programBios(host, method, menu), !differs);
  const auto bios = writer.memory(Memory::GbBios);
  EXPECT_TRUE(std::equal(menu.begin(), menu.begin() + 0x80, bios.begin())) << "stored bytes stay right";
  if (method == ChipMethod::WriterStatus) {
    EXPECT_EQ(eraseBios(host, method), !differs);
    EXPECT_TRUE(allAre(bios.first(0x80), 0xFF));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, BiosVerifyDiffer,
                         ::testing::Values(VerifyCase{kSst29EE010, true}, VerifyCase{chipId("ATMEL 29C010A"), true},
                                           VerifyCase{chipId("WIN 29EE011"), true}, VerifyCase{kFuji28F016, true},
                                           VerifyCase{chipId("FUJI 28F008"), true},
                                           VerifyCase{chipId("AMD 28F016"), true},
                                           VerifyCase{chipId("AMD 28F008"), true}, VerifyCase{kIntel28F010, false},
                                           VerifyCase{kAmd29F010, false}),
                         [](const auto& p) { return support::chipLabel(p.param.bios); });

// sram-read-fail: reading the save memory fails; reading ROM and the register pattern do not.
struct SramReadCase {
  const char* name;
  bool flashCard;
};

class SramReadFail : public ::testing::TestWithParam<SramReadCase> {};

TEST_P(SramReadFail, SaveWindowReadFails_romReadDoesNot) {
  Bytes rom(0x8000, 0);
  rom[0x147] = 0x03;
  rom[0x149] = 0x03;
  SimWriter writer(GetParam().flashCard ? sim::emptyGbFlashCard() : sim::gbCartridge(rom), armed({"sram-read-fail"}));
  Host host(writer);
  host.writeByte(0xC080, 1);
  host.setControl(2, 15, 0, 0);
  EXPECT_TRUE(host.readBlock(0xA000, 0x1000).checkOk());
  EXPECT_EQ(host.queryState3(), 0) << "the probe's look at 0xA000 (save memory not enabled) is no save read";
  if (GetParam().flashCard) {
    host.writeByte(0x0000, 0x0A);
    host.writeByte(0x1000, 0x0C);
  } else {
    host.writeByte(0x0000, 0x0A);
  }
  EXPECT_TRUE(host.readBlock(0xA000, 0x2000).checkOk());
  EXPECT_EQ(host.queryState3(), 2);
  EXPECT_TRUE(host.readBlock(0x0000, 0x100).checkOk());
  EXPECT_EQ(host.queryState3(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cards, SramReadFail,
                         ::testing::Values(SramReadCase{"flashCard", true}, SramReadCase{"cartridge", false}),
                         [](const auto& p) { return std::string(p.param.name); });

// unknown-bios-chip / unknown-flash-chip: the chip shows ID bytes of no row in every way the
// probe tries; the other chip still identifies by its own way only.
struct UnknownCase {
  const char* fault;
  sim::ChipId chip;  // the chip that turns unknown; the other is INTEL 28F010 (BIOS) or INTEL 28F016SA (FLASH)
};

class UnknownChip : public ::testing::TestWithParam<UnknownCase> {};

TEST_P(UnknownChip, EveryWayAnswersUnknownId_otherChipStillFound) {
  const bool bios = std::string(GetParam().fault) == "unknown-bios-chip";
  const sim::ChipId chip = GetParam().chip;
  SimWriter writer(bios ? sim::emptyGbFlashCard(chip, kIntel28F016SA) : sim::emptyGbFlashCard(kIntel28F010, chip),
                   armed({GetParam().fault}));
  Host host(writer);
  const Bytes unknown = {0x5A, 0x5A, 0x00};
  ASSERT_EQ(detect::FindChip(unknown), -1);
  for (const Bytes& read : identificationReads(host, bios ? 0x00 : 0x0A)) {
    EXPECT_TRUE(std::equal(unknown.begin(), unknown.end(), read.begin()));
    EXPECT_EQ(detect::FindChip(read), -1);
  }
  int found = 0;
  for (const Bytes& read : identificationReads(host, bios ? 0x0A : 0x00)) {
    if (detect::FindChip(read) == support::chipRow(bios ? "INTEL 28F016SA" : "INTEL 28F010")) ++found;
  }
  EXPECT_EQ(found, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, UnknownChip,
    ::testing::Values(UnknownCase{"unknown-bios-chip", kIntel28F010}, UnknownCase{"unknown-bios-chip", kSst29EE010},
                      UnknownCase{"unknown-bios-chip", kAmd29F010}, UnknownCase{"unknown-bios-chip", kSharp28F016SUT},
                      UnknownCase{"unknown-flash-chip", kIntel28F016SA}, UnknownCase{"unknown-flash-chip", kFuji28F016},
                      UnknownCase{"unknown-flash-chip", kIntel28F010}, UnknownCase{"unknown-flash-chip", kSst29EE010}));

}  // namespace
}  // namespace quillon::simtest
