// Reading a WS card into a file: as many 32 KiB blocks as the card says it holds, from
// bank 0 upward.
#include <vector>

#include "detect/probe.h"
#include "ops/output_file.h"
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

namespace {

constexpr int kLargestSize = 512;             // 8 KiB units of a 4 MiB card
constexpr std::uint8_t kSizeCodeMask = 0x07;  // what is left of the byte that carries the size code

const ops::FileQuestion kRomFileQuestion{"Color WS File (*.wsc)|*.wsc|Mono WS File (*.ws)|*.ws", "WSC", {}, {}};

// Whether the image of `blocks` 32 KiB blocks at the top of the card is a colour game: the
// colour byte of its last block.
bool IsColourImage(link::Link& link, unsigned blocks) {
  protocol::Send(link,
                 protocol::WsBankRegister(protocol::kWsReadBankRegister, static_cast<std::uint8_t>((blocks - 1) >> 1)));
  link.SetMode(protocol::kWsModeReadHigh);
  return (link.ReadByte(protocol::kWsColourByteAddress) & 0x01) != 0;
}

}  // namespace

ops::Result ReadWsCard(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  const auto fail = [&op](const std::string& text) { return Finish(op, ops::Outcome::Failed, text); };
  op.window.SetWork("Downloading ROM...");
  // The card is asked for its size and the image's colour byte before the file: the name
  // offered ends in ".wsc" for a colour game and ".ws" for a mono one. The card keeps no
  // title, so the name is "card".
  std::string failure;
  const Step checked = CheckWsCard(op, false, failure);
  if (auto end = EndOnStep(op, checked, "Linking Error")) return *end;
  const int size = detect::QueryWsRomSize(op.link);
  if (op.stopRequested()) return Stopped();
  // A size that fails its check, an empty card and a size beyond the card are not read:
  // they would give a file that looks like an image and is none. That is said once a file
  // was chosen, as for every other reading failure.
  const bool readable = size > 0 && size <= kLargestSize;
  const auto blocks = readable ? static_cast<unsigned>(size / 4) : 0U;
  const bool colour = readable && IsColourImage(op.link, blocks);
  if (op.stopRequested()) return Stopped();

  ops::FileQuestion question = kRomFileQuestion;
  question.startDirectory = op.state.settings.saveRomDir;
  question.suggestedName = ops::SuggestedFileName({}, colour || !readable ? ".wsc" : ".ws");
  const std::string path = op.window.AskSaveFile(question);
  if (op.stopRequested()) return Stopped();
  if (path.empty()) return Finish(op, ops::Outcome::Cancelled, "Cancel Download");

  ops::OutputFile out;
  if (!out.Open(path)) return fail(Format("Open %s Error", path));
  if (!readable) return fail("Reading Error");

  ProgressMeter meter(op.window, blocks * kBlockSize);
  std::vector<std::uint8_t> buffer(kBlockSize);
  for (unsigned i = 0; i < blocks; ++i) {
    if (op.stopRequested()) return Stopped();
    protocol::Send(op.link, protocol::WsBankRegister(protocol::kWsReadBankRegister, static_cast<std::uint8_t>(i >> 1)));
    op.link.SetMode(i % 2 == 0 ? protocol::kWsModeReadLow : protocol::kWsModeReadHigh);
    const int received = op.link.ReadBlock(protocol::kWsWindow, buffer);
    if (op.stopRequested()) return Stopped();
    if (received != 0) return fail("Reading Error");
    // The size code that writing put into the last block is not part of the image.
    if (i == blocks - 1) buffer[protocol::kWsSizeByteOffset] &= kSizeCodeMask;
    if (!out.Write(buffer)) return fail("Writing File Error");
    meter.Advance(kBlockSize);
  }
  if (!out.Commit()) return fail("Writing File Error");
  op.state.settings.saveRomDir = ops::DirectoryOf(path);
  return Finish(op, ops::Outcome::Success, "Downloading Success");
}

}  // namespace quillon::ws
