// SPDX-License-Identifier: GPL-3.0-or-later
// Erasing the whole card, and the save memory's way into a file and back.
#include <algorithm>

#include "ws_bench.h"

namespace quillon::wstest {
namespace {

TEST(EraseWsCard, FullCard_everySectorErased_saveCleared) {
  WsBench bench;
  bench.Compose(WsImage(0x80000, 5));
  ASSERT_EQ(ws::WriteWsCard(bench.op, "").text, "Writing Success");
  auto flash = bench.writer->memory(sim::Memory::WsFlash);
  auto sram = bench.writer->memory(sim::Memory::WsSram);
  std::fill(flash.begin(), flash.end(), std::uint8_t{0x00});
  std::fill(sram.begin(), sram.end(), std::uint8_t{0x11});
  bench.writer->clearCommands();
  bench.window.work.clear();

  ASSERT_EQ(ws::EraseWsCard(bench.op).text, "Earsing Success");
  EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::all_of(sram.begin(), sram.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(bench.window.lastDone, bench.window.lastTotal);

  EXPECT_EQ(Schedule(bench.writer->commands()), ExpectedSchedule(0, false));
  const auto& log = bench.writer->commands();
  EXPECT_EQ(log.back(), (CommandRecord{6, 2, 0x15, 0, 0}));
  EXPECT_TRUE(bench.writer->unexpected().empty());

  const auto& work = bench.window.work;
  const std::vector<std::string> labels(work.begin(), work.end() - 2);
  ASSERT_EQ(labels.size(), 64u + 2u);
  EXPECT_EQ(labels[0], "Earsing : 0x000000 - 0x00FFFF");
  EXPECT_EQ(labels[1], "Earsing : 0x010000 - 0x01FFFF");
  EXPECT_EQ(labels[31], "Earsing : 0x1F0000 - 0x1F7FFF");
  EXPECT_EQ(labels[32], "Earsing : 0x1F8000 - 0x1FFFFF");
  EXPECT_EQ(labels[33], "Earsing : 0x200000 - 0x20FFFF");
  EXPECT_EQ(labels[64], "Earsing : 0x3F0000 - 0x3F7FFF");
  EXPECT_EQ(labels[65], "Earsing : 0x3F8000 - 0x3FFFFF");
  EXPECT_EQ(work[work.size() - 2], "Earsing RAM");
}

TEST(SaveMemory, BackupThenRestore_roundTrip) {
  WsBench bench;
  auto sram = bench.writer->memory(sim::Memory::WsSram);
  const Bytes saved = WsImage(0x8000, 9);
  std::copy(saved.begin(), saved.end(), sram.begin());
  const path file = bench.dir / "saves" / "game.sav";
  gbtest::fs::create_directories(file.parent_path());
  bench.window.fileAnswer = file.string();
  ASSERT_EQ(ws::BackupWsRam(bench.op).text, "Downloading Success");
  EXPECT_TRUE(support::readFile(file) == saved);
  EXPECT_EQ(bench.state.settings.ramDir, file.parent_path().string() + "/");
  EXPECT_EQ(bench.window.questions.back().filter, "RAM File (*.sav)|*.sav");

  // A longer file: its first 32 KiB.
  Bytes other = WsImage(0x8000 + 100, 77);
  support::writeFile(file, other);
  bench.state.settings.ramDir.clear();
  bench.writer->clearCommands();
  ASSERT_EQ(ws::RestoreWsRam(bench.op).text, "Uploading Success");
  other.resize(0x8000);
  EXPECT_TRUE(gbtest::Slice(sram, 0, 0x8000) == other);
  EXPECT_EQ(bench.state.settings.ramDir, file.parent_path().string() + "/");
  const auto& log = bench.writer->commands();
  ASSERT_GE(log.size(), 6u);
  const std::vector<CommandRecord> tail(log.end() - 6, log.end());
  EXPECT_EQ(tail, (std::vector<CommandRecord>{{6, 9, 0, 0, 0},
                                              {6, 0, 0xC1, 0, 0},
                                              {5, 0x22, 0, 0, 0},
                                              {0, 0x00, 0x80, 0x00, 0x80},
                                              {19, 0x00, 0x80, 0x00, 0x80},
                                              {6, 6, 0, 0, 0}}));
  EXPECT_TRUE(bench.writer->unexpected().empty());
}

struct DialogCase {
  const char* name;
  ops::Result (*run)(ops::Operation&);
  std::string text;
};

class CancelledDialog : public ::testing::TestWithParam<DialogCase> {};

TEST_P(CancelledDialog, NoFile_nothingSent_dirsKept) {
  WsBench bench;
  bench.state.settings.ramDir = bench.state.settings.saveRomDir = "/start/";
  const ops::Result result = GetParam().run(bench.op);
  EXPECT_EQ(result.outcome, ops::Outcome::Cancelled);
  EXPECT_EQ(result.text, GetParam().text);
  EXPECT_EQ(bench.window.beeps, 1);
  EXPECT_EQ(bench.window.questions.at(0).startDirectory, "/start/");
  EXPECT_TRUE(bench.writer->commands().empty());
  EXPECT_EQ(bench.state.settings.ramDir, "/start/");
  EXPECT_EQ(bench.state.settings.saveRomDir, "/start/");
}

INSTANTIATE_TEST_SUITE_P(Operations, CancelledDialog,
                         ::testing::Values(DialogCase{"read",
                                                      [](ops::Operation& op) { return ws::ReadWsCard(op, false); },
                                                      "Cancel Download"},
                                           DialogCase{"backup", ws::BackupWsRam, "Cancel Download"},
                                           DialogCase{"restore", ws::RestoreWsRam, "Cancel Upload"}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::wstest
