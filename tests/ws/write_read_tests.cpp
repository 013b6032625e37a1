// SPDX-License-Identifier: GPL-3.0-or-later
// Writing images of every accepted size, with and without a file header and a patch, then
// reading them back; the erase schedule of a write.
#include <algorithm>
#include <regex>

#include "ws_bench.h"

namespace quillon::wstest {
namespace {

enum class Patch { None, Real, Rejected, SizeByte };

struct WriteCase {
  const char* name;
  std::size_t size;
  std::size_t header;
  Patch patch;
  std::uint8_t sizeCode;
  // The image's fourth byte from the end. The card answers its size from bits 4 and 5 of it:
  // what the image holds there must not change the size read back. Bit 3 does not survive
  // reading back.
  std::uint8_t sizeByte = 0x0D;
};

class WriteRead : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRead, Image_onTopOfCard_readBackWithoutSizeCode) {
  const WriteCase& c = GetParam();
  WsBench bench;
  auto flash = bench.writer->memory(sim::Memory::WsFlash);
  auto sram = bench.writer->memory(sim::Memory::WsSram);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x5A});  // erased only where written
  std::fill(sram.begin(), sram.end(), std::uint8_t{0x11});
  Bytes image = WsImage(c.size, static_cast<unsigned>(c.size >> 16));
  image[c.size - 4] = c.sizeByte;
  const Bytes orig = DataFile("test.orig.ws");
  std::copy(orig.begin(), orig.end(), image.begin());
  bench.Compose(image, c.header);

  Bytes expected = image;
  std::string patch;
  switch (c.patch) {
    case Patch::None:
      break;
    case Patch::Real: {
      patch = (bench.dir / "fix.ips").string();
      support::writeFile(patch, DataFile("rpjs_ws_orig_to_checksummed.ips"));
      const Bytes target = DataFile("test.python.ws");
      std::copy(target.begin(), target.end(), expected.begin());
      break;
    }
    case Patch::Rejected:
      patch = (bench.dir / "bad.ips").string();
      support::writeFile(patch, DataFile("gible_test_malformed.ips"));
      break;
    case Patch::SizeByte: {  // the size code goes over the patched byte
      patch = (bench.dir / "size.ips").string();
      const auto at = static_cast<std::uint32_t>(c.size - 4);
      support::writeFile(patch, Bytes{'P', 'A', 'T', 'C', 'H', static_cast<std::uint8_t>(at >> 16),
                                      static_cast<std::uint8_t>(at >> 8), static_cast<std::uint8_t>(at), 0, 1, 0x42});
      expected[c.size - 4] = 0x42;
      break;
    }
  }
  bench.window.confirmAnswer = true;  // the image goes to the card without a patch that was not applied
  const ops::Result written = ws::WriteWsCard(bench.op, patch);
  ASSERT_EQ(written.text, "Writing Success");
  EXPECT_EQ(bench.window.errors,
            (c.patch == Patch::Rejected
                 ? std::vector<std::string>{"Patch File Error", std::string(ws::kWriteUnpatchedQuestion)}
                 : std::vector<std::string>{}));
  // The end line says when the image went to the card without its patch.
  const std::regex endLine(c.patch == Patch::Rejected ? "Using [0-9]+ Seconds, not patched" : "Using [0-9]+ Seconds");
  EXPECT_TRUE(std::regex_match(bench.window.file, endLine)) << bench.window.file;
  const auto first = std::find(bench.window.work.begin(), bench.window.work.end(), "Writing : 0x000000 - 0x007FFF");
  EXPECT_EQ(first, bench.window.work.begin());
  EXPECT_EQ(bench.window.lastDone, bench.window.lastTotal);

  Bytes onCard = expected;
  onCard[c.size - 4] = static_cast<std::uint8_t>((onCard[c.size - 4] & 0xCF) | c.sizeCode);
  const std::size_t start = flash.size() - c.size;
  EXPECT_TRUE(gbtest::Slice(flash, start, c.size) == onCard);
  EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(start),
                          [](std::uint8_t b) { return b == 0x5A; }));
  EXPECT_TRUE(std::all_of(sram.begin(), sram.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(bench.writer->unexpected().empty());

  const path out = bench.dir / "sub" / "back.wsc";
  gbtest::fs::create_directories(out.parent_path());
  bench.window.fileAnswer = out.string();
  bench.window.questions.clear();
  ASSERT_EQ(ws::ReadWsCard(bench.op, false).text, "Downloading Success");
  ASSERT_EQ(bench.window.questions.size(), 1u);
  EXPECT_EQ(bench.window.questions[0].defaultExtension, "WSC");
  // The dialog comes before the card is asked anything: the colour name is offered.
  EXPECT_EQ(bench.window.questions[0].suggestedName, "card.wsc");
  EXPECT_EQ(bench.state.settings.saveRomDir, out.parent_path().string() + "/");
  Bytes back = expected;
  back[c.size - 4] &= 0x07;
  EXPECT_TRUE(support::readFile(out) == back);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WriteRead,
                         ::testing::Values(WriteCase{"k512", 0x80000, 0, Patch::None, 0x30},
                                           WriteCase{"k512Header", 0x80000, 0x200, Patch::None, 0x30},
                                           WriteCase{"m1", 0x100000, 0, Patch::None, 0x20, 0x3C},
                                           WriteCase{"m1Header", 0x100000, 0x200, Patch::Real, 0x20},
                                           WriteCase{"m2", 0x200000, 0, Patch::None, 0x10, 0x2D},
                                           WriteCase{"m2Header", 0x200000, 0x200, Patch::None, 0x10},
                                           WriteCase{"m4", 0x400000, 0, Patch::SizeByte, 0x00},
                                           WriteCase{"m4Header", 0x400000, 0x200, Patch::None, 0x00, 0x1D},
                                           WriteCase{"k512RealPatch", 0x80000, 0, Patch::Real, 0x30},
                                           WriteCase{"k512RejectedPatch", 0x80000, 0x200, Patch::Rejected, 0x30},
                                           WriteCase{"k512SizeBytePatched", 0x80000, 0, Patch::SizeByte, 0x30}),
                         [](const auto& param) { return std::string(param.param.name); });

class EraseSchedule : public ::testing::TestWithParam<std::size_t> {};

TEST_P(EraseSchedule, Write_erasesEachBankBeforeItsBlocks) {
  WsBench bench;
  bench.Compose(WsImage(GetParam(), 3));
  ASSERT_EQ(ws::WriteWsCard(bench.op, "").text, "Writing Success");
  const auto& log = bench.writer->commands();
  const auto schedule = Schedule(log);
  EXPECT_EQ(schedule, ExpectedSchedule(static_cast<unsigned>(128 - GetParam() / 0x8000), true));
  const long erases = std::count_if(log.begin(), log.end(), Erase);
  EXPECT_EQ(erases, GetParam() == 0x400000 ? 64 + 6 : static_cast<long>(GetParam() / 0x10000) + 3);
  // Each block goes into the writer's buffer, then into the flash; the end of writing.
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const CommandRecord& c) { return c.op == 16; }),
            static_cast<long>(GetParam() / 0x8000));
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], (CommandRecord{6, 0, 0xC2, 0, 0}));
  EXPECT_EQ(log.back(), (CommandRecord{6, 2, 0x15, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, EraseSchedule, ::testing::Values(0x80000, 0x200000, 0x400000));

TEST(ElapsedText, MinuteBoundary) {
  EXPECT_EQ(ws::ElapsedText(59000), "Using 59 Seconds");
  EXPECT_EQ(ws::ElapsedText(59999), "Using 59 Seconds");
  EXPECT_EQ(ws::ElapsedText(60000), "Using 1 Minutes 0 Seconds");
  EXPECT_EQ(ws::ElapsedText(61000), "Using 1 Minutes 1 Seconds");
  EXPECT_EQ(ws::ElapsedText(3725000), "Using 62 Minutes 5 Seconds");
}

}  // namespace
}  // namespace quillon::wstest
