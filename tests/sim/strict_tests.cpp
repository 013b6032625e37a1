// SPDX-License-Identifier: GPL-3.0-or-later
// The writer refuses what the device refuses: each sequence below is run as the program sends
// it, which works and leaves no note, and then with one mistake of the PC, which must fail
// where the PC (or the user, reading the card back) sees it, and be noted where a real writer
// would go on silently.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "chips.h"
#include "sequences.h"
#include "sim/sim_writer.h"

namespace quillon::simtest {
namespace {

using namespace support::chips;

using sim::Memory;
using sim::SimWriter;

bool allAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

// Runs the sequence right (false) or with its mistake (true); true when it worked.
using Sequence = std::function<bool(Host&, SimWriter&, bool mistake)>;

struct MistakeCase {
  const char* name;
  std::function<sim::CardContents()> card;
  Sequence run;
  std::string note;  // how the first note of the mistake starts; empty: the writer notes nothing
};

class HostMistake : public ::testing::TestWithParam<MistakeCase> {};

TEST_P(HostMistake, RightSequenceWorks_mistakeFails) {
  const MistakeCase& c = GetParam();
  {
    SimWriter writer(c.card());
    Host host(writer);
    EXPECT_TRUE(c.run(host, writer, false)) << "as the program sends it";
    EXPECT_TRUE(writer.unexpected().empty()) << writer.unexpected().front();
  }
  SimWriter writer(c.card());
  Host host(writer);
  EXPECT_FALSE(c.run(host, writer, true)) << "with the mistake";
  if (c.note.empty()) {
    EXPECT_TRUE(writer.unexpected().empty()) << writer.unexpected().front();
  } else {
    ASSERT_FALSE(writer.unexpected().empty());
    EXPECT_NE(writer.unexpected().front().find(c.note), std::string::npos) << writer.unexpected().front();
  }
}

// The BIOS ROM presented and erased by the method-0 sequence, with its waits, after the
// method-2 FLASH ROM's work (which ends with its voltage off).
void presentAndEraseMethod0Bios(Host& h) {
  prepareFlashCard(h, ChipMethod::ChipStatusWithVoltage);
  h.setControl(2, 10, 0, 0);
  h.writeByte(0x0000, 0x00);
  ASSERT_TRUE(eraseBios(h, ChipMethod::ChipStatus));
}

const Bytes kPiece(0x80, 0x3C);

const auto kCases = ::testing::Values(
    // A method-0 BIOS ROM programs only with the programming voltage (2, 9) on.
    MistakeCase{"biosMethod0WithoutVoltage", [] { return sim::emptyGbFlashCard(kIntel28F010, kIntel28F016SA); },
                [](Host& h, SimWriter& w, bool mistake) {
                  presentAndEraseMethod0Bios(h);
                  if (!mistake) h.setControl(2, 9, 0, 0);
                  const bool programmed = programBios(h, ChipMethod::ChipStatus, Bytes(0x4000, 0x3C));
                  return programmed && allAre(w.memory(Memory::GbBios).first(0x4000), 0x3C);
                },
                "the method-0 BIOS ROM's programming voltage is off"},
    // A method-2 FLASH ROM likewise: voltage switched off after the erase, before programming.
    MistakeCase{"flashMethod2WithoutVoltage", [] { return sim::emptyGbFlashCard(kIntel28F010, kIntel28F016SA); },
                [](Host& h, SimWriter& w, bool mistake) {
                  prepareFlashCard(h, ChipMethod::ChipStatusWithVoltage);
                  if (!eraseFlashBlock(h, ChipMethod::ChipStatusWithVoltage, 1)) return false;
                  if (mistake) h.setControl(2, 10, 0, 0);
                  const bool programmed =
                      programFlashBank(h, ChipMethod::ChipStatusWithVoltage, 5, Bytes(0x4000, 0x3C));
                  return programmed && allAre(w.memory(Memory::GbFlash).subspan(5 * 0x4000, 0x4000), 0x3C);
                },
                "the method-2 FLASH ROM's programming voltage is off"},
    // The flash card's save memory needs 0x0A at 0x0000 as well as 0x0C at 0x1000.
    MistakeCase{"flashCardSaveNotEnabled", [] { return sim::emptyGbFlashCard(); },
                [](Host& h, SimWriter& w, bool mistake) {
                  h.setControl(2, 15, 0, 0);
                  if (!mistake) h.writeByte(0x0000, 0x0A);
                  h.writeByte(0x1000, 0x0C);
                  h.writeByte(0x4000, 3);
                  h.writeBlock(0, 0xA000, Bytes(0x2000, 0x42));
                  const int status = h.queryState3();
                  const Answer back = h.readBlock(0xA000, 0x2000);
                  return status == 0 && back.bytes == Bytes(0x2000, 0x42) &&
                         allAre(w.memory(Memory::GbSram).subspan(3 * 0x2000, 0x2000), 0x42);
                },
                "the save memory is not enabled"},
    // The method-0 BIOS ROM erase: polled after DelayTicks(65535), then once per
    // DelayTicks(1000); polling back to back never sees it end.
    MistakeCase{"biosEraseWithoutRoundDelays", [] { return sim::emptyGbFlashCard(kIntel28F010, kIntel28F016SA); },
                [](Host& h, SimWriter&, bool mistake) {
                  prepareFlashCard(h, ChipMethod::ChipStatusWithVoltage);
                  h.writeByte(0x0000, 0x00);
                  h.port().delayTicks(10000);
                  h.setControl(2, 14, 0, 0);
                  h.port().delayTicks(65535);
                  for (int round = 0; round < 3000; ++round) {
                    if (!mistake) h.port().delayTicks(1000);
                    if (h.queryState3() == 0) return true;
                  }
                  return false;
                },
                ""},
    // Skipping the DelayTicks(65535): the erase still ends, a real chip was polled too early.
    MistakeCase{"biosErasePolledEarly", [] { return sim::emptyGbFlashCard(kIntel28F010, kIntel28F016SA); },
                [](Host& h, SimWriter& w, bool mistake) {
                  prepareFlashCard(h, ChipMethod::ChipStatusWithVoltage);
                  h.writeByte(0x0000, 0x00);
                  h.port().delayTicks(10000);
                  h.setControl(2, 14, 0, 0);
                  if (!mistake) h.port().delayTicks(65535);
                  for (int round = 0; round < 3000; ++round) {
                    h.port().delayTicks(1000);
                    if (h.queryState3() == 0) break;
                  }
                  return w.unexpected().empty();
                },
                "the BIOS ROM erase is polled 1000 ticks after its command"},
    // The BIOS ROM is given DelayTicks(10000) after it is presented.
    MistakeCase{"biosProgrammedUnsettled", [] { return sim::emptyGbFlashCard(kSst29EE010, kIntel28F016SA); },
                [](Host& h, SimWriter& w, bool mistake) {
                  prepareFlashCard(h, ChipMethod::ChipStatusWithVoltage);
                  h.writeByte(0x0000, 0x00);
                  if (mistake) {  // programBios gives the chip its wait itself
                    h.setBank(0);
                    h.writeBlock(8, 0x4000, kPiece);
                    pollDone(h);
                  } else {
                    programBios(h, ChipMethod::WriterStatus, Bytes(0x4000, 0x3C));
                  }
                  return w.unexpected().empty();
                },
                "the BIOS ROM was presented or erased 0 ticks before"},
    // WS save memory: opened with SetControl(9, 0, 0, 0), and in bank 0 of register 0xC1.
    MistakeCase{"wsSaveNotOpened", [] { return sim::emptyWsFlashCard(); },
                [](Host& h, SimWriter& w, bool mistake) {
                  if (!mistake) h.setControl(9, 0, 0, 0);
                  h.setControl(0, 0xC1, 0, 0);
                  h.setMode(0x22);
                  h.writeBlock(0, 0x8000, Bytes(0x8000, 0x42));
                  h.writeBlock(19, 0x8000, Bytes(0x8000, 0x42));
                  const bool stored = h.queryState6() == 0 && allAre(w.memory(Memory::WsSram), 0x42);
                  return stored && h.readBlock(0x8000, 0x8000).bytes == Bytes(0x8000, 0x42);
                },
                "the save memory is not opened"},
    MistakeCase{"wsSaveBankRegisterElsewhere", [] { return sim::emptyWsFlashCard(); },
                [](Host& h, SimWriter& w, bool mistake) {
                  std::fill_n(w.memory(Memory::WsSram).begin(), 0x8000, std::uint8_t{0x42});
                  h.setControl(9, 0, 0, 0);
                  h.setControl(0, 0xC1, mistake ? 1 : 0, 0);
                  h.setMode(0x22);
                  return h.readBlock(0x8000, 0x8000).bytes == Bytes(0x8000, 0x42);
                },
                "bank register 0xC1 selects bank 1"},
    // Opening the save memory, then leaving its mode, closes it again.
    MistakeCase{"wsSaveOpenedBeforeFlashWork", [] { return sim::emptyWsFlashCard(); },
                [](Host& h, SimWriter& w, bool mistake) {
                  std::fill_n(w.memory(Memory::WsSram).begin(), 0x8000, std::uint8_t{0x42});
                  h.setControl(9, 0, 0, 0);
                  h.setMode(0x24);
                  if (!mistake) h.setControl(9, 0, 0, 0);
                  h.setControl(0, 0xC1, 0, 0);
                  h.setMode(0x22);
                  return h.readBlock(0x8000, 0x8000).bytes == Bytes(0x8000, 0x42);
                },
                "the save memory is not opened"},
    // A WS erase holds the ready bit longer than a bounded wait: the PC waits for it with
    // SendClock; bounded waits lose bytes and the status query after them.
    MistakeCase{"wsEraseWaitedWithLimit", [] { return sim::emptyWsFlashCard(); },
                [](Host& h, SimWriter&, bool mistake) {
                  h.setControl(0, 0xC2, 3, 0);
                  h.setMode(0x24);
                  h.setControl(2, 0x12, 0x24, 0x80);
                  for (int i = 0; i < 2; ++i) mistake ? (void)h.sendByte(0x00) : (void)h.sendClock();
                  return h.queryState6() == 0;
                },
                ""},
    // The byte between a request and its answer is 0x00.
    MistakeCase{"answerPrefixNotZero", [] { return sim::emptyGbFlashCard(); },
                [](Host& h, SimWriter& w, bool mistake) {
                  h.header(1, 0x80, 0x00, 0x01, 0x00);
                  h.sendByte(mistake ? 0x55 : 0x00);
                  return h.collect(1).checkOk() && w.unexpected().empty();
                },
                "the byte before the answer is 0x55, not 0x00"});

INSTANTIATE_TEST_SUITE_P(Sequences, HostMistake, kCases, [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillon::simtest
