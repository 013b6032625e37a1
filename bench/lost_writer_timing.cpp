// SPDX-License-Identifier: GPL-3.0-or-later
// How long a card operation goes on once the writer stops answering. The simulated writer runs
// its clock at a real port's pace (access-us=1) and falls silent (drop-after) during a transfer,
// an erase wait or the WS card probe; each row shows, from that moment to the end of the
// operation, the wall time, the register accesses and the delay ticks, and what they come to on
// a real port (1 us an access; 15.0857 us a tick) against the goal. Then a GB and a WS erase and
// write against a writer deaf for 3 s of every erase (deaf-erase-ms=3000) must succeed.
// Exits 1 when a goal is missed or one of those operations fails. Run by hand, not by ctest.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <sstream>
#include <string>

#include "chips.h"
#include "detect/probe.h"
#include "gb/gb_operations.h"
#include "gb_images.h"
#include "link/link.h"
#include "ops/operation.h"
#include "quiet_window.h"
#include "sim/sim_writer.h"
#include "ws/ws_operations.h"

namespace {

using namespace quillon;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using library::WriterType;
using support::Bytes;

using Window = benchsupport::QuietWindow;

// Where the clocks stood at one moment; `port` is the writer's clock, a real port's time.
struct Moment {
  Clock::time_point wall, port;
  std::uint64_t accesses = 0, ticks = 0;
};

// The simulated writer's registers passed through; notes the first access after it fell silent.
class Watched final : public link::Port {
 public:
  explicit Watched(sim::SimWriter& writer) : w_(writer) {}
  std::uint8_t readStatus() override { return look().readStatus(); }
  void writeData(std::uint8_t value) override { look().writeData(value); }
  std::uint8_t readControl() override { return look().readControl(); }
  void writeControl(std::uint8_t value) override { look().writeControl(value); }
  void delayTicks(std::uint32_t count) override { look().delayTicks(count); }
  Clock::time_point now() override { return w_.now(); }
  std::string describe() const override { return w_.describe(); }
  Moment moment() { return {Clock::now(), w_.now(), w_.accesses(), w_.ticks()}; }
  std::optional<Moment> lost;

 private:
  sim::SimWriter& look() {
    if (!lost && !w_.answering()) lost = moment();
    return w_;
  }
  sim::SimWriter& w_;
};

// One operation's writer, link, state and window, in the folder `dir`.
struct Rig {
  Rig(sim::CardContents card, const fs::path& dir) : writer(std::move(card)), link(port, options(quiet)) {
    writer.faults().accessUs = 1;
    state.setWriterType(writer.cardKind() == sim::CardKind::WsFlash ? WriterType::Ws : WriterType::Gb);
    state.programDir = dir.string() + "/";
    window.answer = (dir / "read.bin").string();
    // The main window probes a GB card before it hands an image to an operation.
    if (writer.cardKind() != sim::CardKind::WsFlash) (void)detect::ProbeCard(link, WriterType::Gb, state.cardInfo);
  }
  static link::LinkOptions options(std::ostream& out) {
    link::LinkOptions o;
    o.diagnostics = &out;
    return o;
  }
  // The writer falls silent once `bytes` more bytes crossed (armed once).
  void dropIn(std::uint64_t bytes) {
    if (!writer.faults().dropAfter) writer.faults().dropAfter = writer.bytesCrossed() + bytes;
  }

  sim::SimWriter writer;
  Watched port{writer};
  std::ostringstream quiet;
  link::Link link;
  ops::ProgramState state;
  Window window;
  ops::StopToken stop;
  ops::Operation op{link, state, window, stop.flag()};
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

using Run = std::function<ops::Result(Rig&)>;
using SetUp = std::function<void(Rig&)>;

// Where the writer falls silent: `bytes` after the progress first passes half; `bytes` after
// the step label first shows `label` (each job keeping the host polling a while); right after
// the last byte of the first command the writer carried out that `is`.
SetUp pastHalf(std::uint64_t bytes) {
  return [bytes](Rig& rig) {
    rig.window.onProgress = [&rig, bytes](const ops::ProgressReport& report) {
      if (report.fraction >= 0.5) rig.dropIn(bytes);
    };
  };
}
SetUp atWork(const std::string& label, std::uint64_t bytes) {
  return [label, bytes](Rig& rig) {
    rig.writer.faults().busyPolls = 20;
    rig.window.onWork = [&rig, label, bytes](const std::string& shown) {
      if (shown == label) rig.dropIn(bytes);
    };
  };
}
SetUp afterCommand(bool (*is)(const sim::CommandRecord&)) {
  return [is](Rig& rig) {
    rig.writer.setCommandHooks({nullptr, [&rig, is] {
                                  if (is(rig.writer.commands().back())) rig.dropIn(1);
                                }});
  };
}
SetUp zeroed(std::vector<sim::Memory> memories) {
  return [memories](Rig& rig) {
    for (const sim::Memory m : memories) std::ranges::fill(rig.writer.memory(m), 0x00);
  };
}

// Runs an operation on `card` that loses the writer where `arm` says, and prints its row of the
// loss table; false when the writer was not lost, the operation succeeded or the goal (seconds
// on a real port) was missed.
bool lost(const char* what, double goal, sim::CardContents card, const fs::path& dir, const SetUp& arm,
          const Run& run) {
  Rig rig(std::move(card), dir);
  arm(rig);
  const ops::Result result = run(rig);
  const Moment end = rig.port.moment();
  if (!rig.port.lost) {
    std::printf("%-46s never lost: MISSED  %s\n", what, result.text.c_str());
    return false;
  }
  const Moment& from = *rig.port.lost;
  const double portSeconds = seconds(end.port - from.port);
  const bool ok = !result.ok() && portSeconds <= goal;
  const auto accesses = static_cast<double>(end.accesses - from.accesses);
  std::printf("%-46s %8.0f %10.0f %6.0f %7.3f %7.3f %4.0f  %-6s  %s\n", what, seconds(end.wall - from.wall) * 1e3,
              accesses, static_cast<double>(end.ticks - from.ticks), accesses * 1e-6, portSeconds, goal,
              ok ? "ok" : "MISSED", result.text.c_str());
  return ok;
}

// Runs an operation on `card`, set up by `setUp`, against a writer deaf for 3 s of its clock at
// every erase, and prints its row; false when it did not succeed or `check` finds the card wrong.
bool deaf(const char* what, sim::CardContents card, const fs::path& dir, const SetUp& setUp, const Run& run,
          const char* success, const char* checkName, const std::function<bool(Rig&)>& check) {
  Rig rig(std::move(card), dir);
  rig.writer.faults().deafEraseMs = 3000;
  setUp(rig);
  const Moment start = rig.port.moment();
  const ops::Result result = run(rig);
  const Moment end = rig.port.moment();
  const bool succeeded = result.ok() && result.text == success;
  const bool checked = check(rig);
  std::printf("%-26s %-16s %-12s %-30s %-5s %8.0f %8.3f\n", what, result.text.c_str(),
              succeeded ? "success" : "NOT SUCCESS", checkName, checked ? "yes" : "NO",
              seconds(end.wall - start.wall) * 1e3, seconds(end.port - start.port));
  return succeeded && checked;
}

// The first `size` bytes of the memory are all erased (0xFF).
bool erased(Rig& rig, sim::Memory m, std::size_t size) {
  return std::ranges::all_of(rig.writer.memory(m).first(size), [](std::uint8_t b) { return b == 0xFF; });
}

bool isSectorErase(const sim::CommandRecord& c) { return c.op == 6 && c.p1 == 2 && c.p2 == 0x12; }
bool isIdentificationLatch(const sim::CommandRecord& c) { return c == sim::CommandRecord{6, 2, 17, 36, 0}; }

// A GB flash card with the stand-in menu and `image` placed in region 1.
sim::CardContents flashCardWith(const Bytes& image) {
  sim::CardContents card = sim::emptyGbFlashCard();
  const Bytes menu = support::makeMenuImage(0x4000);
  std::copy(menu.begin(), menu.end(), card[sim::Memory::GbBios].begin());
  support::placeOnFlashCard(card[sim::Memory::GbBios], card[sim::Memory::GbFlash], {{image, 1, 0}}, 0);
  return card;
}

struct Folder {
  fs::path path = fs::temp_directory_path() / ("quillon-lost-writer-" + std::to_string(::getpid()));
  Folder() { fs::create_directories(path); }
  ~Folder() { fs::remove_all(path); }
};

}  // namespace

int main() {
  const Folder folder;
  const fs::path& dir = folder.path;
  const Bytes game = support::makeGbImage({"LOST WRITER", 0x19, 5, 0, false});  // 1 MiB
  const Run gbRead = [](Rig& rig) { return gb::ReadGbCard(rig.op, 0, false); };
  const Run gbErase = [](Rig& rig) { return gb::EraseGbCard(rig.op, 0); };
  const Run wsRead = [](Rig& rig) { return ws::ReadWsCard(rig.op, false); };
  const Run wsErase = [](Rig& rig) { return ws::EraseWsCard(rig.op); };
  bool good = true;
  support::writeFile(dir / "cgbbios.bin", support::makeMenuImage(0x4000));
  support::writeFile(dir / "LOST.gb", game);
  const auto addGame = [&](Rig& rig) { rig.state.cardList.AddGbImage(dir, "LOST.gb", WriterType::Gb); };

  std::printf("Writer lost (drop-after), access-us=1; from the loss to the end of the operation:\n");
  std::printf("%-46s %8s %10s %6s %7s %7s %4s  %-6s  %s\n", "operation: where the writer fell silent", "wall ms",
              "accesses", "ticks", "@1us s", "port s", "goal", "", "ends as");
  // Transfers, 4 s, past half the banks: a bank's answer cut in the middle (SetBank, ReadBlock
  // frame and prompt, half a bank); the first byte of SetBank's frame through, the other ten not;
  // a WS block cut in the middle (bank register, mode, ReadBlock frame and prompt, half a block).
  good &= lost("GB read, cartridge: mid-bank", 4, sim::gbCartridge(game), dir, pastHalf(11 + 12 + 0x2000), gbRead);
  good &= lost("GB read, flash image: 1st byte of a frame", 4, flashCardWith(game), dir, pastHalf(1), gbRead);
  good &= lost("WS read: mid-block", 4, sim::emptyWsFlashCard(), dir, pastHalf(11 + 11 + 12 + 0x4000), wsRead);
  // Erase waits, 35 s: in the 6th status byte poll of a block erase; in the 4th round of delay
  // and status query of a BIOS chip erase; in the clocks after a WS sector erase command.
  good &= lost("GB erase: block erase, status byte polls", 35,
               sim::emptyGbFlashCard(sim::kDefaultBiosChip, support::chipId("INTEL 28F016SV")), dir,
               atWork("Earsing ROM : 0x010000 - 0x01FFFF", 11 + 14 * 5 + 3), gbErase);
  good &= lost("GB erase: BIOS chip erase, rounds of polls", 35, sim::emptyGbFlashCard(), dir,
               atWork("Earsing BIOS", 11 + 14 * 3 + 3), gbErase);
  good &= lost("WS erase: SendClock after a sector erase", 35, sim::emptyWsFlashCard(), dir,
               afterCommand(isSectorErase), wsErase);
  // The WS probe, 6 s: in the clocks after the identification latch.
  good &= lost("WS read: probe, SendClock after the latch", 6, sim::emptyWsFlashCard(), dir,
               afterCommand(isIdentificationLatch), wsRead);
  good &= lost("WS erase: probe, SendClock after the latch", 6, sim::emptyWsFlashCard(), dir,
               afterCommand(isIdentificationLatch), wsErase);

  // The menu image's transfers, 4 s: the writer falls silent inside the frame of a piece or bank
  // sent (the bank register's frame, then five bytes into the piece's), for each way a menu chip
  // is programmed.
  const Run gbWrite = [](Rig& rig) { return gb::WriteGbCard(rig.op); };
  for (const auto& [what, bios] :
       {std::pair{"GB write: a menu piece sent (chip status)", sim::kDefaultBiosChip},
        std::pair{"GB write: a menu piece sent (writer status)", support::chipId("SST 29EE010")},
        std::pair{"GB write: a menu bank sent (with voltage)", support::chipId("AMD 29F010")}}) {
    good &= lost(
        what, 4, sim::emptyGbFlashCard(bios), dir,
        [&](Rig& rig) {
          addGame(rig);
          atWork("Updating BIOS", 11 + 5)(rig);
        },
        gbWrite);
  }

  std::printf("\nWriter deaf for 3 s of its clock at every erase (deaf-erase-ms=3000), access-us=1:\n");
  std::printf("%-26s %-16s %-12s %-30s %-5s %8s %8s\n", "operation", "ends as", "", "card check", "holds", "wall ms",
              "port s");
  good &=
      deaf("GB erase (16MB card)", sim::emptyGbFlashCard(), dir, zeroed({sim::Memory::GbFlash, sim::Memory::GbBios}),
           gbErase, "Earsing Success", "2 MiB + BIOS are 0xFF", [](Rig& rig) {
             return erased(rig, sim::Memory::GbFlash, 0x200000) && erased(rig, sim::Memory::GbBios, sim::kGbBiosSize);
           });
  good &= deaf("GB write (1 MiB image)", sim::emptyGbFlashCard(), dir, addGame, gbWrite, "Writing Success",
               "image on the card", [&](Rig& rig) {
                 const auto at = static_cast<std::size_t>(rig.state.cardList.entries()[0].romStartBank) * 0x4000;
                 return std::ranges::equal(rig.writer.memory(sim::Memory::GbFlash).subspan(at, game.size()), game);
               });
  good &= deaf("WS erase", sim::emptyWsFlashCard(), dir, zeroed({sim::Memory::WsFlash}), wsErase, "Earsing Success",
               "4 MiB are 0xFF", [](Rig& rig) { return erased(rig, sim::Memory::WsFlash, sim::kWsFlashSize); });
  Bytes image(0x80000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 12));
  support::writeFile(dir / "lost.wsc", image);
  // Writing puts the card's size code into the image's 4th last byte, on the top of the card.
  good &= deaf(
      "WS write (512 KiB image)", sim::emptyWsFlashCard(), dir,
      [&](Rig& rig) { rig.state.cardList.AddWsImage(dir, "lost.wsc"); },
      [](Rig& rig) { return ws::WriteWsCard(rig.op, ""); }, "Writing Success", "image on top, size byte aside",
      [&](Rig& rig) {
        const auto top = rig.writer.memory(sim::Memory::WsFlash).last(image.size());
        return std::equal(top.begin(), top.end() - 4, image.begin()) &&
               std::equal(top.end() - 3, top.end(), image.end() - 3);
      });
  std::printf("\n%s\n", good ? "All goals met." : "A goal was MISSED or an operation failed.");
  return good ? 0 : 1;
}
