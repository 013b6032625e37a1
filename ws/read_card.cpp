// SPDX-License-Identifier: GPL-3.0-or-later
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

// The file is asked for before the card is touched, so nothing tells whether the image is a
// colour game: the name offered is the colour one, as the dialog's first filter. The card
// keeps no title.
const ops::FileQuestion kRomFileQuestion{"Color WS File (*.wsc)|*.wsc|Mono WS File (*.ws)|*.ws", "WSC", {}, "card.wsc"};

}  // namespace

ops::Result ReadWsCard(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  const auto fail = [&op](const std::string& text) { return Finish(op, ops::Outcome::Failed, text); };
  op.window.SetWork("Downloading ROM...");
  ops::FileQuestion question = kRomFileQuestion;
  question.startDirectory = op.state.settings.saveRomDir;
  const std::string path = op.window.AskSaveFile(question);
  if (op.stopRequested()) return Stopped();
  if (path.empty()) return Finish(op, ops::Outcome::Cancelled, "Cancel Download");

  ops::OutputFile out;
  if (!out.Open(path)) return fail(Format("Open %s Error", path));
  std::string failure;
  const Step checked = CheckWsCard(op, false, failure);
  if (auto end = EndOnStep(op, checked, "Linking Error")) return *end;
  const int size = detect::QueryWsRomSize(op.link);
  if (op.stopRequested()) return Stopped();
  // A size that fails its check, an empty card and a size beyond the card are not read:
  // they would give a file that looks like an image and is none.
  if (size <= 0 || size > kLargestSize) return fail("Reading Error");
  const auto blocks = static_cast<unsigned>(size / 4);

  ProgressMeter meter(op.window, blocks * kBlockSize);
  std::vector<std::uint8_t> buffer(kBlockSize);
  for (unsigned i = 0; i < blocks; ++i) {
    if (op.stopRequested()) return Stopped();
    protocol::Send(op.link, protocol::WsBankRegister(protocol::kWsReadBankRegister, static_cast<std::uint8_t>(i >> 1)));
    op.link.SetMode(i % 2 == 0 ? protocol::kWsModeReadLow : protocol::kWsModeReadHigh);
    const int received = op.link.ReadBlock(protocol::kWsWindow, buffer);
    // The last block received whole completes the image, whatever stop came meanwhile.
    if (op.stopRequested() && !(i + 1 == blocks && received == 0)) return Stopped();
    if (received != 0) return fail("Reading Error");
    // The size code that writing put into the last block is not part of the image.
    if (i == blocks - 1) buffer[protocol::kWsSizeByteOffset] &= kSizeCodeMask;
    if (!out.Write(buffer)) return fail("Writing File Error");
    meter.Advance(kBlockSize);
  }
  // A bank register or mode that did not reach the writer would have read the wrong blocks.
  if (op.link.lostContact()) return fail(std::string(ops::kLinkLost));
  if (!out.Commit()) return fail("Writing File Error");
  op.state.settings.saveRomDir = ops::DirectoryOf(path);
  return Finish(op, ops::Outcome::Success, "Downloading Success");
}

}  // namespace quillon::ws
