// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a WS flash card: one image, optionally patched in memory, placed so that it ends
// at the last byte of the card; each bank is erased just before its first block is written.
// Then the save memory is cleared.
#include <array>
#include <chrono>
#include <new>
#include <vector>

#include "library/regular_file.h"
#include "ops/journal.h"
#include "ws/steps.h"
#include "ws/ws_operations.h"

namespace quillon::ws {

namespace {

constexpr std::size_t kFileHeader = 0x200;    // an optional copier header before the image
constexpr std::uint8_t kSizeCodeBits = 0x30;  // the bits of that byte the card reads its size from

struct Placement {
  std::size_t size;
  std::uint8_t sizeCode;
};
constexpr std::array<Placement, 4> kPlacements = {{
    {0x400000, 0x00},
    {0x200000, 0x10},
    {0x100000, 0x20},
    {0x80000, 0x30},
}};

const Placement* PlacementOf(std::size_t size) {
  for (const Placement& p : kPlacements) {
    if (p.size == size) return &p;
  }
  return nullptr;
}

class CardWriter {
 public:
  CardWriter(ops::Operation& op, const std::string& patchFile) : op_(op), patchFile_(patchFile) {}

  ops::Result Run() {
    const auto start = std::chrono::steady_clock::now();
    op_.window.SetFile("");
    std::string failure;
    const Step checked = CheckWsCard(op_, true, failure);
    if (auto end = EndOnStep(op_, checked, failure)) return *end;
    const auto& entries = op_.state.cardList.entries();
    if (entries.empty()) return Fail(Format("Opening File %s Error", std::string()));
    fileName_ = entries.front().fileName;
    const ImageLoad load = LoadWsImage(entries.front().file().string(), image_);
    if (load != ImageLoad::Ok) return Fail(ImageLoadFailure(load, fileName_));
    if (!patchFile_.empty() && !PatchImage()) return Finish(op_, ops::Outcome::Cancelled, "Writing Cancelled");

    op_.progress.SetVerb("written");
    const auto first = static_cast<unsigned>(kBlocks - image_.size() / kBlockSize);
    ProgressMeter erase = op_.progress.Expect(ops::WorkKind::Erase, image_.size(), false, EraseWorkPerByte(first));
    // Each block goes to the writer's buffer, then again to be programmed; the save memory is
    // sent, then sent again to be checked.
    ProgressMeter program = op_.progress.Expect(ops::WorkKind::Program, image_.size(), true, 2);
    ProgressMeter clear = op_.progress.Expect(ops::WorkKind::Write, kSaveSize, false, 2);
    if (op_.state.verifyFollows) op_.progress.Expect(ops::WorkKind::Read, image_.size(), false);
    // Writing ends by clearing the save memory: it is kept first.
    if (auto end = KeepSaveCopy(op_, true)) return *end;
    SetWsSizeCode(image_);
    ops::WorkAhead(op_, ops::Work::Write, {entries.front().file().lexically_normal().string()});
    for (unsigned b = first; b < kBlocks; ++b) {
      const Step written = WriteBlock(b, first, erase, program);
      if (auto end = EndOnStep(op_, written, failure_)) return *end;
    }
    const Step cleared = ClearSaveAndFinish(op_, clear);
    if (auto end = EndOnStep(op_, cleared, "Earsing RAM Fail")) return *end;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    op_.window.SetFile(WritingEndText(static_cast<std::uint32_t>(elapsed.count()), unpatched_));
    return Finish(op_, ops::Outcome::Success, "Writing Success");
  }

 private:
  ops::Result Fail(const std::string& text) { return Finish(op_, ops::Outcome::Failed, text); }

  // Patches the image in memory. A patch that cannot be read or does not fit is shown, and the
  // user says whether the image goes to the card without it; false: it does not, and nothing
  // was sent that changes the card.
  bool PatchImage() {
    const auto patch = library::ReadWholeFile(patchFile_);
    if (patch && ApplyIpsPatch(image_, *patch) == 0) return true;
    op_.window.ShowError("Patch File Error");
    if (!op_.window.Confirm(std::string(kWriteUnpatchedQuestion))) return false;
    unpatched_ = true;
    return true;
  }

  Step WriteBlock(unsigned b, unsigned first, ProgressMeter& erase, ProgressMeter& program) {
    if (op_.stopRequested()) return Step::Stopped;
    const std::size_t offset = (b - first) * kBlockSize;
    const std::span<std::uint8_t> block(image_.data() + offset, kBlockSize);
    SelectWriteBank(op_.link, b);
    const std::uint8_t mode = b % 2 == 0 ? protocol::kWsModeWriteLow : protocol::kWsModeWriteHigh;
    op_.window.SetFile(fileName_);
    op_.window.SetWork(Format("Writing : 0x%06X - 0x%06X", static_cast<unsigned>(offset),
                              static_cast<unsigned>(offset + kBlockSize - 1)));
    const Step erased = EraseBeforeBlock(op_, b, {});
    if (erased == Step::Failed) failure_ = "Earsing Flash ROM Fail";
    if (erased != Step::Ok) return erased;
    erase.Advance(kBlockSize, EraseWork(b));

    if (op_.stopRequested()) return Step::Stopped;
    op_.link.SetMode(mode);
    // The block goes into the writer's buffer first, then into the flash.
    op_.link.WriteBlock(protocol::kOpWsLoadBlock, protocol::kWsWindow, block);
    op_.link.WriteBlock(protocol::kOpWsProgramBlock, protocol::kWsWindow, block);
    const int status = op_.link.QueryState6();
    if (op_.stopRequested()) return Step::Stopped;
    if (status != protocol::kStateDone) {
      failure_ = Format("Writing %s Fail", fileName_);
      return Step::Failed;
    }
    program.Advance(kBlockSize);
    return Step::Ok;
  }

  ops::Operation& op_;
  const std::string& patchFile_;
  std::string fileName_;
  std::vector<std::uint8_t> image_;
  std::string failure_;
  bool unpatched_ = false;  // the patch was refused: the image went to the card as it is
};

}  // namespace

ImageLoad LoadWsImage(const std::string& path, std::vector<std::uint8_t>& image, std::size_t* headerBytes) {
  library::RegularFile in(path);
  if (!in.ok()) return ImageLoad::OpenFailed;
  std::uint64_t size = in.size();
  std::uint64_t skip = 0;
  if (size & kFileHeader) {
    size -= kFileHeader;
    skip = kFileHeader;
  }
  if (!PlacementOf(size)) return ImageLoad::SizeRefused;
  try {
    image.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return ImageLoad::ReadFailed;
  }
  if (headerBytes != nullptr) *headerBytes = static_cast<std::size_t>(skip);
  const auto got = in.ReadAt(skip, image);
  return got && *got == image.size() ? ImageLoad::Ok : ImageLoad::ReadFailed;
}

std::string ImageLoadFailure(ImageLoad load, const std::string& fileName) {
  switch (load) {
    case ImageLoad::OpenFailed:
      return Format("Opening File %s Error", fileName);
    case ImageLoad::SizeRefused:
      return "File Size Error";
    case ImageLoad::ReadFailed:
      return Format("Reading %s Error", fileName);
    case ImageLoad::Ok:
      break;
  }
  return {};
}

void SetWsSizeCode(std::span<std::uint8_t> image) {
  const Placement* placement = PlacementOf(image.size());
  if (placement == nullptr) return;
  // The card takes its size from two bits of this byte: whatever the image holds there gives
  // way to the size code.
  std::uint8_t& sizeByte = image[image.size() - kBlockSize + protocol::kWsSizeByteOffset];
  sizeByte = static_cast<std::uint8_t>((sizeByte & ~kSizeCodeBits) | placement->sizeCode);
}

std::string ElapsedText(std::uint32_t milliseconds) {
  const std::uint32_t total = milliseconds / 1000;
  const std::uint32_t minutes = total / 60;
  const std::uint32_t seconds = total - minutes * 60;
  if (minutes == 0) return Format("Using %d Seconds", seconds, 0);
  return Format("Using %d Minutes %d Seconds", minutes, seconds);
}

std::string WritingEndText(std::uint32_t milliseconds, bool patchRefused) {
  // A patch that was refused stays in sight: its message box alone is gone by now.
  return patchRefused ? ElapsedText(milliseconds) + ", not patched" : ElapsedText(milliseconds);
}

ops::Result WriteWsCard(ops::Operation& op, const std::string& patchFile) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  return ops::WorkEnds(op, ops::Work::Write, CardWriter(op, patchFile).Run());
}

}  // namespace quillon::ws
