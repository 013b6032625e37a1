// SPDX-License-Identifier: GPL-3.0-or-later
// Verifying a written WS card: the card read back as reading it into a file does, and
// compared with the image as writing put it there.
#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "library/regular_file.h"
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

namespace {

// The card says it holds another size than the image: its size code is not the one written.
std::string SizeDifference(const std::string& fileName, std::size_t cardBytes, std::size_t imageBytes) {
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "Verify Error: the card says it holds %zu KiB, %s is %zu KiB",
                cardBytes / 1024, fileName.c_str(), imageBytes / 1024);
  return text.data();
}

}  // namespace

ops::Result VerifyWsCard(ops::Operation& op, const std::string& patchFile) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  const auto fail = [&op](const std::string& text) { return Finish(op, ops::Outcome::Failed, text); };
  op.window.SetWork("Verifying");
  const auto& entries = op.state.cardList.entries();
  if (entries.empty()) return fail(Format("Opening File %s Error", std::string()));
  const std::string& fileName = entries.front().fileName;
  std::vector<std::uint8_t> image;
  std::size_t headerBytes = 0;
  const ImageLoad load = LoadWsImage(entries.front().file().string(), image, &headerBytes);
  if (load != ImageLoad::Ok) return fail(ImageLoadFailure(load, fileName));
  // The image as writing put it on the card: patched when the patch could be applied (writing
  // goes on without a patch that cannot be read or does not fit, when the user says so).
  if (!patchFile.empty()) {
    if (const auto patch = library::ReadWholeFile(patchFile)) (void)ApplyIpsPatch(image, *patch);
  }
  SetWsSizeCode(image);

  ops::RepeatedReads once(false);
  const auto taken = ReadCardBlocks(op, once, [&](unsigned block, unsigned blocks, std::span<std::uint8_t> bytes) {
    if (std::size_t{blocks} * kBlockSize != image.size())
      return SizeDifference(fileName, std::size_t{blocks} * kBlockSize, image.size());
    const std::size_t offset = std::size_t{block} * kBlockSize;
    const auto expected = image.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto differ = std::mismatch(bytes.begin(), bytes.end(), expected);
    if (differ.first == bytes.end()) return std::string();
    // The image lies at the top of the card.
    const std::size_t within = offset + static_cast<std::size_t>(differ.first - bytes.begin());
    return ops::VerifyDifference(fileName, kBlocks * kBlockSize - image.size() + within, headerBytes + within);
  });
  // The file label keeps what writing put there: the time it took.
  if (taken) return *taken;
  return Finish(op, ops::Outcome::Success, "Verify OK");
}

}  // namespace quillon::ws
