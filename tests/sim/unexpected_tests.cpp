// SPDX-License-Identifier: GPL-3.0-or-later
// Commands a card does not expect are noted, one line each; the program's own sequences
// (probe, erases, programming by method, save memory; the WS sequences) leave no note.
#include <gtest/gtest.h>

#include <functional>

#include "chips.h"
#include "sequences.h"
#include "sim/sim_writer.h"

namespace quillon::simtest {
namespace {

using sim::SimWriter;

using namespace support::chips;
using support::chipId;

Bytes cartRom() {
  Bytes rom(0x10000, 0x00);
  rom[0x147] = 0x1B;
  rom[0x149] = 0x03;
  return rom;
}

// The card probe as the program runs it, then a bank read and a save memory round trip
// (a flash card's save memory is shown by 0x0C at 0x1000; on a cartridge that write would
// disable the RAM again).
void probeAndSave(Host& h, bool flashCard = true) {
  ASSERT_TRUE(h.checkDevice());
  h.writeByte(0xC080, 1);
  h.setControl(2, 15, 0, 0);
  h.readBlock(0xA000, 0x1000);
  if (flashCard) {
    for (std::uint8_t select : {std::uint8_t{0x00}, std::uint8_t{0x0A}}) identificationReads(h, select);
    h.setControl(2, 15, 0, 0);
  }
  h.readBlock(0x0000, flashCard ? 0x4000 : 0x200);
  h.writeByte(0x0000, 0x0A);
  if (flashCard) h.writeByte(0x1000, 0x0C);
  h.writeByte(0x4000, 3);
  h.writeBlock(0, 0xA000, Bytes(0x2000, 0x42));
  h.queryState3();
  h.readBlock(0xA000, 0x2000);
  h.queryState3();
}

struct ChipPair {
  sim::ChipId bios;
  sim::ChipId flash;
};

class ExpectedTraffic : public ::testing::TestWithParam<ChipPair> {};

TEST_P(ExpectedTraffic, ProbeEraseProgramSave_noteNothing) {
  const auto [bios, flash] = GetParam();
  SimWriter writer(sim::emptyGbFlashCard(bios, flash));
  Host host(writer);
  probeAndSave(host);
  const ChipMethod flashMethod = methodOf(flash);
  prepareFlashCard(host, flashMethod);
  ASSERT_TRUE(eraseFlashBlock(host, flashMethod, 2));
  ASSERT_TRUE(programFlashBank(host, flashMethod, 9, Bytes(0x4000, 0x3C)));
  host.writeByte(0x0000, 0x00);
  const ChipMethod biosMethod = methodOf(bios);
  if (biosMethod == ChipMethod::ChipStatus) host.setControl(2, 9, 0, 0);
  ASSERT_TRUE(eraseBios(host, biosMethod));
  ASSERT_TRUE(programBios(host, biosMethod, Bytes(0x4000, 0x5D)));
  EXPECT_TRUE(writer.unexpected().empty()) << writer.unexpected().front();
}

INSTANTIATE_TEST_SUITE_P(Chips, ExpectedTraffic,
                         ::testing::Values(ChipPair{kIntel28F010, kIntel28F016SA}, ChipPair{kSst29EE010, kFuji28F016},
                                           ChipPair{kAmd29F010, kSharp28F016SUT}));

TEST(ExpectedTraffic, CartridgeProbeAndSave_noteNothing) {
  SimWriter writer(sim::gbCartridge(cartRom()));
  Host host(writer);
  probeAndSave(host, false);
  host.setBank(3);
  host.readBlock(0x4000, 0x4000);
  EXPECT_TRUE(writer.unexpected().empty()) << writer.unexpected().front();
}

enum class Card { Flash, Method1Flash, Cart };

struct NoteCase {
  const char* name;
  Card card;
  std::function<void(Host&)> send;
  std::string note;  // how the first note starts (all of it where the reason is short)
  std::size_t count;
};

class Unexpected : public ::testing::TestWithParam<NoteCase> {};

TEST_P(Unexpected, Noted_onceWithCommandAndReason) {
  const NoteCase& c = GetParam();
  SimWriter writer(c.card == Card::Cart    ? sim::gbCartridge(cartRom())
                   : c.card == Card::Flash ? sim::emptyGbFlashCard(kIntel28F010, kIntel28F016SA)
                                           : sim::emptyGbFlashCard(kSst29EE010, kFuji28F016));
  Host host(writer);
  c.send(host);
  ASSERT_EQ(writer.unexpected().size(), c.count);
  EXPECT_EQ(writer.unexpected().front().rfind(c.note, 0), 0u) << writer.unexpected().front();
  writer.clearUnexpected();
  EXPECT_TRUE(writer.unexpected().empty());
}

const auto enabledFlash = [](Host& h) { prepareFlashCard(h, ChipMethod::ChipStatusWithVoltage); };

INSTANTIATE_TEST_SUITE_P(
    Commands, Unexpected,
    ::testing::Values(
        NoteCase{"QueryState6", Card::Flash, [](Host& h) { h.queryState6(); },
                 "QueryState6 (06 06 00 00 00): not a GB command", 1},
        NoteCase{"CartQueryState6", Card::Cart, [](Host& h) { h.queryState6(); },
                 "QueryState6 (06 06 00 00 00): not a GB command", 1},
        NoteCase{"SetMode", Card::Flash, [](Host& h) { h.setMode(0x27); }, "SetMode (05 27 00 00 00): not a GB", 1},
        NoteCase{"CartSetMode", Card::Cart, [](Host& h) { h.setMode(0x22); }, "SetMode (05 22 00 00 00)", 1},
        NoteCase{"WsIdentify", Card::Flash, [](Host& h) { wsIdentify(h); }, "SetControl (06 02 11 24 00): a WS", 2},
        NoteCase{"CartWsSize", Card::Cart, [](Host& h) { h.queryState(7); }, "WS size query (06 07 00 00 00)", 1},
        NoteCase{"WsErase", Card::Cart, [](Host& h) { h.setControl(2, 18, 0x24, 0x80); }, "SetControl (06 02 12", 1},
        NoteCase{"WsControl21", Card::Flash, [](Host& h) { h.setControl(2, 21, 0, 0); }, "SetControl (06 02 15", 1},
        NoteCase{"Op16", Card::Flash, [](Host& h) { h.writeBlock(16, 0x8000, Bytes(4, 1)); }, "WriteBlock (10 00 80",
                 1},
        NoteCase{"CartOp19", Card::Cart, [](Host& h) { h.writeBlock(19, 0xA000, Bytes(4, 1)); }, "WriteBlock (13 00 A0",
                 1},
        NoteCase{"CartProgram", Card::Cart, [](Host& h) { h.writeBlock(10, 0x4000, Bytes(4, 1)); },
                 "WriteBlock (0A 00 40 04 00): an ordinary cartridge has no flash to program", 1},
        NoteCase{"WrongMethodProgram", Card::Method1Flash,
                 [](Host& h) {
                   prepareFlashCard(h, ChipMethod::WriterStatus);
                   h.writeBlock(10, 0x4000, Bytes(0x4000, 0));
                 },
                 "WriteBlock (0A 00 40 00 40): opcode 10 does not fit the presented chip, the FLASH ROM FUJI", 1},
        NoteCase{"BiosPageOnMethod0", Card::Flash,
                 [](Host& h) {
                   h.writeByte(0xA000, 0x80);
                   h.writeBlock(8, 0x4000, Bytes(0x80, 0));
                 },
                 "WriteBlock (08 00 40 80 00): opcode 8 does not fit the presented chip, the BIOS ROM", 1},
        NoteCase{"NotEnabled", Card::Flash,
                 [](Host& h) {
                   h.writeByte(0x0000, 0x0A);
                   h.setControl(2, 9, 0, 0);
                   h.writeBlock(10, 0x4000, Bytes(0x4000, 0));
                 },
                 "WriteBlock (0A 00 40 00 40): programming is not enabled", 1},
        NoteCase{"NoVoltage", Card::Flash,
                 [](Host& h) {
                   h.writeByte(0xA000, 0x80);
                   h.writeByte(0x0000, 0x0A);
                   h.writeBlock(10, 0x4000, Bytes(0x4000, 0));
                 },
                 "WriteBlock (0A 00 40 00 40): the method-2 FLASH ROM's programming voltage is off", 1},
        NoteCase{"MissingErase", Card::Flash,
                 [](Host& h) {
                   enabledFlash(h);
                   h.setBank(6);
                   h.writeBlock(10, 0x4000, Bytes(0x4000, 0x0F));
                   h.writeBlock(10, 0x4000, Bytes(0x4000, 0xF0));
                 },
                 "WriteBlock (0A 00 40 00 40): FLASH ROM bank 6 is not erased: byte 0x4000 holds 0x0F, 0xF0", 1},
        NoteCase{"WrongBlockErase", Card::Flash,
                 [](Host& h) {
                   enabledFlash(h);
                   h.setControl(2, 7, 4, 0);
                 },
                 "SetControl (06 02 07 04 00): the method-1 FLASH ROM block erase does not fit", 1},
        NoteCase{"EraseWithoutVoltage", Card::Flash,
                 [](Host& h) {
                   h.writeByte(0xA000, 0x80);
                   h.writeByte(0x0000, 0x0A);
                   h.setControl(2, 11, 4, 0);
                 },
                 "SetControl (06 02 0B 04 00): the method-2 FLASH ROM's programming voltage is off", 1},
        NoteCase{"BiosEraseWrongMethod", Card::Method1Flash,
                 [](Host& h) {
                   h.writeByte(0xA000, 0x80);
                   h.setControl(2, 14, 0, 0);
                 },
                 "SetControl (06 02 0E 00 00): the method-0 BIOS ROM erase does not fit", 1}),
    [](const auto& p) { return std::string(p.param.name); });

// The WS card notes what no WS operation sends: GB commands, a missing erase, a size query
// without its set-up, save memory writes outside their mode.
struct WsNoteCase {
  const char* name;
  std::function<void(Host&)> send;
  std::string note;  // how the first note starts
  std::size_t count;
};

class WsUnexpected : public ::testing::TestWithParam<WsNoteCase> {};

TEST_P(WsUnexpected, Noted_withCommandAndReason) {
  const WsNoteCase& c = GetParam();
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  c.send(host);
  ASSERT_EQ(writer.unexpected().size(), c.count);
  EXPECT_EQ(writer.unexpected().front().rfind(c.note, 0), 0u) << writer.unexpected().front();
}

// Writes block 4 (bank 2, lower half) with its erase first when `erase`.
void wsBlock4(Host& h, bool erase, std::uint8_t value) {
  if (erase) wsEraseBank(h, 2);
  EXPECT_EQ(wsProgramBlock(h, 4, Bytes(0x8000, value)), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, WsUnexpected,
    ::testing::Values(
        WsNoteCase{"QueryState3", [](Host& h) { h.queryState3(); },
                   "QueryState3 (06 03 00 00 00): the GB status query; the WS card answers QueryState6", 1},
        WsNoteCase{"SetBank", [](Host& h) { h.setBank(5); }, "SetBank (06 00 05 00 00): a GB bank selection", 1},
        WsNoteCase{"GbControl3", [](Host& h) { h.setControl(2, 3, 0, 0); },
                   "SetControl (06 02 03 00 00): a GB card control", 1},
        WsNoteCase{"GbOp10", [](Host& h) { h.writeBlock(10, 0x8000, Bytes(4, 0)); },
                   "WriteBlock (0A 00 80 04 00): a GB programming opcode", 1},
        WsNoteCase{"WrittenTwice",
                   [](Host& h) {
                     wsBlock4(h, true, 0x3C);
                     wsBlock4(h, false, 0x3C);
                   },
                   "WriteBlock (07 00 80 00 80): block 4 was written and not erased since", 1},
        WsNoteCase{"ErasedBetween",
                   [](Host& h) {
                     wsBlock4(h, true, 0x0F);
                     wsBlock4(h, true, 0xF0);
                     h.queryState3();
                   },
                   "QueryState3", 1},
        WsNoteCase{"SizeQueryAlone", [](Host& h) { h.queryState(7); },
                   "WS size query (06 07 00 00 00): the size query without its set-up", 1},
        WsNoteCase{"SizeQueryWithoutReadByte",
                   [](Host& h) {
                     h.setControl(2, 14, 0, 0);
                     h.setMode(0x27);
                     h.setControl(2, 15, 0, 0);
                     h.queryState(7);
                   },
                   "WS size query (06 07 00 00 00): the size query without its set-up", 1},
        WsNoteCase{"SaveWriteInWriteMode",
                   [](Host& h) {
                     h.setControl(9, 0, 0, 0);
                     h.setMode(0x24);
                     h.writeBlock(0, 0x8000, Bytes(0x8000, 0));
                   },
                   "WriteBlock (00 00 80 00 80): a save memory write outside mode 0x22 (mode 0x24 is set)", 1},
        WsNoteCase{"SaveWriteNotOpened",
                   [](Host& h) {
                     h.setMode(0x22);
                     h.writeBlock(19, 0x8000, Bytes(0x8000, 0));
                   },
                   "WriteBlock (13 00 80 00 80): the save memory is not opened", 1},
        WsNoteCase{"EraseInReadMode",
                   [](Host& h) {
                     h.setMode(0x26);
                     h.setControl(2, 0x12, 0x24, 0x80);
                   },
                   "SetControl (06 02 12 24 80): the erase names mode 0x24 and address 0x8000 (mode 0x26 is set)", 1},
        WsNoteCase{"GbProbe",
                   [](Host& h) {
                     ASSERT_TRUE(h.checkDevice());
                     h.writeByte(0xC080, 1);
                     h.setControl(2, 15, 0, 0);
                     h.readBlock(0xA000, 0x1000);
                     h.readBlock(0x0000, 0x200);
                   },
                   "WriteByte (00 80 C0 01 00): a save memory write outside mode 0x22", 2}),
    [](const auto& param) { return std::string(param.param.name); });

// A card written before (by another program, say): programming without an erase finds
// bytes that are not erased.
TEST(WsUnexpected, ProgramOverAnOldImage_notedWithTheByte) {
  SimWriter writer(sim::emptyWsFlashCard());
  auto flash = writer.memory(sim::Memory::WsFlash);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x0F});
  Host host(writer);
  EXPECT_EQ(wsProgramBlock(host, 5, Bytes(0x8000, 0x0C)), 0);
  EXPECT_TRUE(writer.unexpected().empty()) << "0x0C only clears bits of 0x0F";
  EXPECT_EQ(wsProgramBlock(host, 7, Bytes(0x8000, 0x3C)), 0);
  ASSERT_EQ(writer.unexpected().size(), 1u);
  EXPECT_EQ(writer.unexpected().front(),
            "WriteBlock (07 00 80 00 80): block 7 is not erased: byte 0x8000 holds 0x0F, 0x3C is written");
}

TEST(WsUnexpected, ProbeSizeQueryAndIdleControls_notNoted) {
  SimWriter writer(sim::emptyWsFlashCard());
  Host host(writer);
  ASSERT_TRUE(wsProbe(host));
  wsSizeQuery(host);
  host.setControl(0, 0xC2, 0, 0);
  host.setControl(2, 0x15, 0, 0);
  EXPECT_TRUE(writer.unexpected().empty()) << writer.unexpected().front();
}

TEST(Unexpected, WsBankRegisterOnGbCard_isSetBank_notNoted) {
  SimWriter writer(sim::emptyGbFlashCard());
  Host host(writer);
  host.setControl(0, 0xC2, 5, 0);
  host.setBank(0xC1);
  EXPECT_TRUE(writer.unexpected().empty());
}

TEST(Unexpected, RunawayLoop_keeps100Notes_thenOneMoreLine) {
  SimWriter writer(sim::emptyGbFlashCard());
  Host host(writer);
  for (int i = 0; i < 150; ++i) host.queryState6();
  ASSERT_EQ(writer.unexpected().size(), sim::kMaxUnexpectedNotes + 1);
  EXPECT_EQ(writer.unexpected()[sim::kMaxUnexpectedNotes - 1].rfind("QueryState6", 0), 0u);
  EXPECT_EQ(writer.unexpected().back(), sim::kMoreNotes);
}

}  // namespace
}  // namespace quillon::simtest
