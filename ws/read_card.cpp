// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a WS card into a file: as many 32 KiB blocks as the card says it holds, from
// bank 0 upward.
#include "library/image_checksums.h"
#include "ops/output_file.h"
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

namespace {

constexpr std::uint8_t kSizeCodeMask = 0x07;  // what is left of the byte that carries the size code

// The file is asked for before the card is touched, so nothing tells whether the image is a
// colour game: the name offered is the colour one, as the dialog's first filter. The card
// keeps no title.
const ops::FileQuestion kRomFileQuestion{"Color WS File (*.wsc)|*.wsc|Mono WS File (*.ws)|*.ws", "WSC", {}, "card.wsc"};

}  // namespace

ops::Result ReadWsCard(ops::Operation& op, bool readTwice) {
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
  library::ChecksumSum sum(library::ImageFamily::Ws);
  op.progress.SetVerb("read");
  ops::RepeatedReads reads(readTwice);
  const auto taken = ReadCardBlocks(op, reads, [&](unsigned block, unsigned blocks, std::span<std::uint8_t> bytes) {
    // The size code that writing put into the last block is not part of the image.
    if (block + 1 == blocks) bytes[protocol::kWsSizeByteOffset] &= kSizeCodeMask;
    if (!out.Write(bytes)) return std::string("Writing File Error");
    sum.Add(bytes);
    return std::string();
  });
  if (taken) return *taken;
  if (!out.Commit()) return fail("Writing File Error");
  op.state.settings.saveRomDir = ops::DirectoryOf(path);
  ops::Result result = Finish(op, ops::Outcome::Success, "Downloading Success", reads.ThirdReadsLine("block"));
  if (result.ok()) op.window.ImageRead(sum.Result());
  return result;
}

}  // namespace quillon::ws
