// SPDX-License-Identifier: GPL-3.0-or-later
// Every card operation with the writer lost at many command boundaries (silent from its first
// byte, or from one byte into it; or a port that fails once there, as a pulled adapter or a
// simulated writer that cannot keep its card): no run reports success unless its file or its
// card is exactly what a run without the loss gives, and a failed read leaves no file.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "bench.h"
#include "gb/gb_operations.h"
#include "link/trace.h"
#include "sim/sim.h"
#include "ws/ws_operations.h"

namespace quillon::test {
namespace {

using support::Bytes;
namespace fs = std::filesystem;

// The simulated writer behind a port that fails once, when `failAt` bytes have crossed.
class FailingOnce final : public link::Port {
 public:
  FailingOnce(sim::SimWriter& writer, std::optional<std::uint64_t> failAt) : writer_(writer), failAt_(failAt) {}
  std::uint8_t readStatus() override { return writer_.readStatus(); }
  void writeData(std::uint8_t value) override {
    if (failAt_ && writer_.bytesCrossed() == *failAt_) {
      failAt_.reset();
      throw std::runtime_error("the port failed");
    }
    writer_.writeData(value);
  }
  std::uint8_t readControl() override { return writer_.readControl(); }
  void writeControl(std::uint8_t value) override { writer_.writeControl(value); }
  void delayTicks(std::uint32_t count) override { writer_.delayTicks(count); }
  std::chrono::steady_clock::time_point now() override { return writer_.now(); }
  std::string describe() const override { return "failing once"; }

 private:
  sim::SimWriter& writer_;
  std::optional<std::uint64_t> failAt_;
};

enum class Loss { None, Silent, PortFails };

struct Rig {
  sim::SimWriter writer;
  FailingOnce port;
  std::ostringstream diagnostics, traceText;
  link::StreamTrace trace{traceText};
  link::Link link;
  gbtest::RecordingWindow window;
  ops::StopToken stop;
  ops::Operation op;

  Rig(sim::CardContents card, ops::ProgramState& state, Loss loss = Loss::None, std::uint64_t at = 0)
      : writer(std::move(card)),
        port(writer, loss == Loss::PortFails ? std::optional(at) : std::nullopt),
        link(port, options(diagnostics, trace)),
        op{link, state, window, stop.flag()} {
    if (loss == Loss::Silent) writer.faults().dropAfter = at;
    writer.faults().accessUs = 1;  // the writer's clock as a real port's
  }
  static link::LinkOptions options(std::ostream& diagnostics, link::Trace& trace) {
    link::LinkOptions o;
    o.diagnostics = &diagnostics;
    o.trace = &trace;
    o.busySilence = std::chrono::milliseconds(300);  // a silent busy writer given up sooner
    return o;
  }
  sim::CardContents contents() const {
    sim::CardContents card{writer.cardKind(), writer.biosChip(), writer.flashChip(), {}};
    for (std::size_t m = 0; m < sim::kMemoryCount; ++m) {
      const auto bytes = writer.memory(static_cast<sim::Memory>(m));
      card.memory[m].assign(bytes.begin(), bytes.end());
    }
    return card;
  }
};

// Bytes crossed before each command of a trace.
std::vector<std::uint64_t> commandStarts(const std::string& trace) {
  std::vector<std::uint64_t> starts;
  std::uint64_t bytes = 0;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 2 && line[0] == '#' && std::isupper(static_cast<unsigned char>(line[2]))) starts.push_back(bytes);
    if (line.rfind("> ", 0) == 0 || line.rfind("< ", 0) == 0) bytes += line.size() / 3;
  }
  return starts;
}

using Operation = std::function<ops::Result(ops::Operation&)>;

struct SweepCase {
  const char* name;
  int writerType;    // 0 GB, 2 WS
  std::string card;  // "cart", "gb-flash", "ws-flash"
  Operation run;
  bool readsSave = false;  // the dialog answers with the save file to restore
};

class LostWriter : public ::testing::TestWithParam<SweepCase> {};

TEST_P(LostWriter, AtCommandBoundaries_successOnlyWithTheRightResult) {
  const SweepCase& c = GetParam();
  gbtest::TempDir dir;
  support::writeFile(dir / "cgbbios.bin", support::makeMenuImage(0x4000));
  support::writeFile(dir / "game.gb", support::makeGbImage({"GAME", 0x1B, 1, 3, false}));
  support::writeFile(dir / "game.ws", Bytes(0x80000, 0x3C));
  Bytes save(0x8000);
  for (std::size_t i = 0; i < save.size(); ++i) save[i] = static_cast<std::uint8_t>(i * 3 + (i >> 7));
  support::writeFile(dir / "in.sav", save);

  ops::ProgramState state;
  state.setWriterType(static_cast<library::WriterType>(c.writerType));
  state.programDir = dir.path().string() + "/";
  ASSERT_TRUE(c.writerType == 2 ? state.cardList.AddWsImage(dir.path(), "game.ws").added
                                : state.cardList.AddGbImage(dir.path(), "game.gb", state.writerType()).added);
  // The card: a cartridge with a save, or a flash card written with the image and a save.
  sim::CardContents card = c.card == "cart"       ? sim::gbCartridge(support::readFile(dir / "game.gb"), save)
                           : c.card == "ws-flash" ? sim::emptyWsFlashCard()
                                                  : sim::emptyGbFlashCard(12, 21);
  if (c.card != "cart") {
    Rig prepare(card, state);
    ASSERT_TRUE((c.writerType == 2 ? ws::WriteWsCard(prepare.op, "") : gb::WriteGbCard(prepare.op)).ok());
    card = prepare.contents();
  }
  {
    Rig probe(card, state);
    ASSERT_EQ(detect::ProbeCard(probe.link, state.writerType(), state.cardInfo), detect::ProbeOutcome::Probed);
  }

  const fs::path out = dir / "out.bin";
  const auto runAt = [&](Loss loss, std::uint64_t at) {
    fs::remove(out);
    auto run = std::make_unique<Rig>(card, state, loss, at);
    run->window.fileAnswer = (c.readsSave ? dir / "in.sav" : out).string();
    const ops::Result result = c.run(run->op);
    return std::pair(result, std::move(run));
  };
  auto [healthyResult, healthy] = runAt(Loss::None, 0);
  ASSERT_TRUE(healthyResult.ok()) << healthyResult.text;
  const sim::CardContents expectedCard = healthy->contents();
  const auto fileOut = [&] { return fs::exists(out) ? support::readFile(out) : Bytes(); };
  const Bytes expectedFile = fileOut();
  const std::vector<std::uint64_t> starts = commandStarts(healthy->traceText.str());

  const std::size_t step = std::max<std::size_t>(1, starts.size() / 100);
  int successes = 0;
  for (std::size_t i = 0; i < starts.size(); i += step) {
    for (const auto& [loss, into] : {std::pair{Loss::Silent, 0}, {Loss::Silent, 1}, {Loss::PortFails, 0}}) {
      SCOPED_TRACE((loss == Loss::Silent ? "silent from byte " : "port fails at byte ") +
                   std::to_string(starts[i] + static_cast<std::uint64_t>(into)) + ", command " + std::to_string(i + 1));
      auto [result, run] = runAt(loss, starts[i] + static_cast<std::uint64_t>(into));
      if (result.ok()) {
        ++successes;
        EXPECT_TRUE(run->contents().memory == expectedCard.memory) << "a success with the card not as it should be";
        EXPECT_TRUE(fileOut() == expectedFile) << "a success with a wrong file";
      } else if (!expectedFile.empty()) {
        EXPECT_FALSE(fs::exists(out)) << result.text;
      }
    }
  }
  EXPECT_LT(successes, static_cast<int>(starts.size())) << "the loss was never felt";
}

INSTANTIATE_TEST_SUITE_P(
    Ops, LostWriter,
    ::testing::Values(
        SweepCase{"cartRead", 0, "cart", [](ops::Operation& op) { return gb::ReadGbCard(op, 0); }},
        SweepCase{"cartBackup", 0, "cart", [](ops::Operation& op) { return gb::BackupGbRam(op, 0); }},
        SweepCase{"cartRestore", 0, "cart", [](ops::Operation& op) { return gb::RestoreGbRam(op, 0); }, true},
        SweepCase{"flashWrite", 0, "gb-flash", [](ops::Operation& op) { return gb::WriteGbCard(op); }},
        SweepCase{"flashRead", 0, "gb-flash", [](ops::Operation& op) { return gb::ReadGbCard(op, 0); }},
        SweepCase{"flashBackup", 0, "gb-flash", [](ops::Operation& op) { return gb::BackupGbRam(op, 0); }},
        SweepCase{"flashRestore", 0, "gb-flash", [](ops::Operation& op) { return gb::RestoreGbRam(op, 0); }, true},
        SweepCase{"flashErase", 0, "gb-flash", [](ops::Operation& op) { return gb::EraseGbCard(op, 0); }},
        SweepCase{"wsWrite", 2, "ws-flash", [](ops::Operation& op) { return ws::WriteWsCard(op, ""); }},
        SweepCase{"wsRead", 2, "ws-flash", [](ops::Operation& op) { return ws::ReadWsCard(op); }},
        SweepCase{"wsBackup", 2, "ws-flash", [](ops::Operation& op) { return ws::BackupWsRam(op); }},
        SweepCase{"wsRestore", 2, "ws-flash", [](ops::Operation& op) { return ws::RestoreWsRam(op); }, true},
        SweepCase{"wsErase", 2, "ws-flash", [](ops::Operation& op) { return ws::EraseWsCard(op); }}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::test
