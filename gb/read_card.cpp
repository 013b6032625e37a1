// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a GB game into a file: an ordinary cartridge whole, or one image of a flash card.
#include <span>
#include <vector>

#include "gb/gb_operations.h"
#include "gb/steps.h"
#include "library/gb_header.h"
#include "library/image_checksums.h"
#include "ops/output_file.h"
#include "ops/repeated_reads.h"

namespace quillon::gb {

namespace {

constexpr int kLargestRomCode = 7;

const ops::FileQuestion kRomFileQuestion{
    "Color GameBoy File (*.gbc)|*.gbc|Mono GameBoy File (*.gb)|*.gb", "GBC", {}, {}};

}  // namespace

ops::Result ReadGbCard(ops::Operation& op, int selectedImage, bool readTwice) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  op.window.SetWork("Downloading ROM...");
  const detect::CardInfo& info = op.state.cardInfo;
  const bool cartridge = info.kind == detect::kOrdinaryCartridge;
  if (!cartridge && (selectedImage < 0 || selectedImage >= info.count))
    return Finish(op, ops::Outcome::Failed, "Reading Error");
  const detect::CardEntry& entry = cartridge ? info.cartridge : info.images[static_cast<std::size_t>(selectedImage)];
  // A size code beyond 4 MiB has no bank count: nothing is read.
  if (entry.romSize < 0 || entry.romSize > kLargestRomCode) return Finish(op, ops::Outcome::Failed, "Reading Error");
  const int banks = 2 << entry.romSize;

  ops::FileQuestion question = kRomFileQuestion;
  question.startDirectory = op.state.settings.saveRomDir;
  // The game's title names the file; a flash card image's is its title in the card's directory.
  question.suggestedName = ops::SuggestedFileName(std::string_view(entry.name.data(), library::gb_header::kTitleLength),
                                                  entry.color != 0 ? ".gbc" : ".gb");
  const std::string path = op.window.AskSaveFile(question);
  if (op.stopRequested()) return Stopped();
  if (path.empty()) return Finish(op, ops::Outcome::Cancelled, "Cancel Download");

  ops::OutputFile out;
  if (!out.Open(path)) return Finish(op, ops::Outcome::Failed, "Opening File Error");
  op.state.settings.saveRomDir = ops::DirectoryOf(path);

  op.progress.SetVerb("read");
  ops::RepeatedReads reads(readTwice);
  ProgressMeter meter =
      op.progress.Expect(ops::WorkKind::Read, static_cast<std::uint64_t>(banks) * kBankSize, true, reads.passes());
  std::vector<std::uint8_t> buffer(kBankSize);
  library::ChecksumSum sum(library::ImageFamily::Gb);
  const auto readBank = [&op](std::uint16_t address, bool last) {
    return [&op, address, last](std::span<std::uint8_t> bytes) { return ReadBank(op, address, bytes, last); };
  };
  if (!cartridge) {
    protocol::Send(op.link, protocol::kReadState);
    protocol::Send(op.link, protocol::kProgrammingEnable);
    protocol::Send(op.link, protocol::kPresentFlashRom);
  }
  const int firstBank = cartridge ? 0 : entry.romStart / static_cast<int>(kBankSize);
  for (int i = 0; i < banks; ++i) {
    if (op.stopRequested()) return Stopped();
    const bool last = i + 1 == banks;
    const auto bank = static_cast<unsigned>(firstBank + i);
    std::uint16_t address = protocol::kFixedBank;
    if (!cartridge || i != 0) {
      op.link.SetBank(static_cast<std::uint8_t>(bank & 0xFF));
      address = protocol::kBankWindow;
    }
    const Step read = reads.Read(buffer, readBank(address, last));
    const std::string failure = reads.differed() ? ops::ReadDifferently("bank", bank) : "Reading Error";
    if (auto end = EndOnStep(op, read, failure)) return *end;
    if (!out.Write(buffer)) return Finish(op, ops::Outcome::Failed, "Writing File Error");
    sum.Add(buffer);
    meter.Advance(kBankSize);
  }
  if (op.link.lostContact()) return Finish(op, ops::Outcome::Failed, std::string(ops::kLinkLost));
  if (!out.Commit()) return Finish(op, ops::Outcome::Failed, "Writing File Error");
  ops::Result result = Finish(op, ops::Outcome::Success, "Downloading Success", reads.ThirdReadsLine("bank"));
  if (result.ok()) op.window.ImageRead(sum.Result());
  return result;
}

}  // namespace quillon::gb
