// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a GB flash card: the images of the card list, largest first, then the menu
// image with the card's directory into the BIOS ROM.
#include <algorithm>
#include <optional>
#include <vector>

#include "gb/gb_operations.h"
#include "gb/menu_image.h"
#include "gb/placement.h"
#include "gb/save_copy.h"
#include "gb/steps.h"
#include "library/gb_header.h"
#include "library/regular_file.h"
#include "ops/journal.h"
#include "ops/output_file.h"
#include "ops/save_backups.h"

namespace quillon::gb {

namespace {

std::size_t ImageBytes(const library::RomEntry& entry) { return std::size_t{0x8000} << entry.romSizeCode; }

// 64 KiB blocks an image's data need: at least one.
unsigned BlocksOf(const library::RomEntry& entry) {
  return static_cast<unsigned>(std::max<std::size_t>(1, ImageBytes(entry) / kBlockSize));
}

// An image's part of the write's progress; the menu image's as well.
struct ImageStages {
  ProgressMeter erase, program;
};

class CardWriter {
 public:
  explicit CardWriter(ops::Operation& op) : op_(op) {}

  ops::Result Run() {
    op_.window.SetFile("");
    ChipMethods methods{};
    std::string failure;
    const Step checked = CheckCard(op_, methods, failure);
    if (auto end = EndOnStep(op_, checked, failure)) return *end;
    if (!ReadMenuImage()) return Fail("BIOS Reading Error");
    // Every image is read whole before the card changes: a missing or short file stops the
    // writing with the card as it was.
    if (!ReadImages()) return Fail(failure_);
    ExpectStages(methods);
    // The new images get the save areas of the old ones: the whole save memory is kept first.
    if (auto end = KeepSaveCopy(op_, WholeFlashCardSave(), std::string(ops::kWholeCardTitle),
                                [&] { return CheckCardAgain(op_, methods); }))
      return *end;

    const auto& entries = op_.state.cardList.entries();
    const Placement placement = PlaceImages(entries);
    for (std::size_t i = 0; i < entries.size(); ++i)
      op_.state.cardList.SetPlacement(static_cast<int>(i), placement.romStartBank[i], placement.ramStartUnit[i]);

    ProgrammingVoltage flashVoltage(op_.link);
    PrepareCard(op_.link, methods.flash, flashVoltage);
    std::vector<std::string> files;
    files.reserve(entries.size());
    for (const auto& entry : entries) files.push_back(entry.file().lexically_normal().string());
    ops::WorkAhead(op_, ops::Work::Write, std::move(files));
    for (int index : placement.romOrder) {
      const auto i = static_cast<std::size_t>(index);
      const Step step = WriteImage(entries[i], images_[i], methods.flash, stages_[i]);
      if (step == Step::Failed) flashVoltage.Off();
      if (auto end = EndOnStep(op_, step, failure_)) return *end;
    }
    flashVoltage.Off();

    BuildMenuImage(menu_, entries, op_.state.writerType(), firstTitle_);
    if (op_.stopRequested()) return Stopped();
    protocol::Send(op_.link, protocol::kPresentBiosRom);
    op_.link.DelayTicks(kSettleTicks);
    const Step erased = EraseBiosChip(op_, methods.bios, menuStages_->erase);
    if (auto end = EndOnStep(op_, erased, "Earsing BIOS Fail")) return *end;
    ProgrammingVoltage biosVoltage(op_.link);
    if (methods.bios == ChipMethod::ChipStatus) biosVoltage.On();
    menuStages_->erase.Advance(kBiosBytes);

    if (op_.stopRequested()) return Stopped();
    op_.link.SetBank(0);
    op_.link.DelayTicks(kSettleTicks);
    op_.window.SetWork("Updating BIOS");
    const Step programmed = ProgramMenu(methods.bios, menuStages_->program);
    if (programmed == Step::Failed) biosVoltage.Off();
    if (auto end = EndOnStep(op_, programmed, "Updating BIOS Fail")) return *end;
    // The menu image is on the card: the card is written, whatever stop comes now.
    op_.link.DelayTicks(kSecondTicks);
    biosVoltage.Off();
    return Finish(op_, ops::Outcome::Success, "Writing Success", detail_);
  }

 private:
  ops::Result Fail(const std::string& text) { return Finish(op_, ops::Outcome::Failed, text); }

  // What the write will do, for its progress: each image's erase and programming, the menu
  // image's, and the verify when one follows.
  void ExpectStages(const ChipMethods& methods) {
    ops::ProgressPlan& plan = op_.progress;
    plan.SetVerb("written");
    std::uint64_t images = 0;
    for (const auto& entry : op_.state.cardList.entries()) {
      stages_.push_back({plan.Expect(ops::WorkKind::Erase, BlocksOf(entry) * kBlockSize, false),
                         plan.Expect(ops::WorkKind::Program, ImageBytes(entry))});
      images += ImageBytes(entry);
    }
    const std::uint64_t menuBytes = menuBanks_ * kBankSize;
    menuStages_.emplace(
        ImageStages{plan.Expect(ops::WorkKind::EraseChip, kBiosBytes, false),
                    plan.Expect(methods.bios == ChipMethod::ChipStatusWithVoltage ? ops::WorkKind::Program
                                                                                  : ops::WorkKind::ProgramPieces,
                                menuBytes)});
    if (op_.state.verifyFollows) plan.Expect(ops::WorkKind::Read, images, false);
  }

  // The menu image must be whole: a short one would put a broken menu on the card, and
  // this is found before anything is erased.
  bool ReadMenuImage() {
    op_.window.SetWork("Reading BIOS");
    const bool password = op_.state.writerType() != library::WriterType::Gb;
    menuBanks_ = password ? 2 : 1;
    const std::string path = op_.state.programDir + (password ? "chtbios.bin" : "cgbbios.bin");
    const auto bytes = library::ReadFilePrefix(path, menuBanks_ * kBankSize);
    if (!bytes || bytes->size() < menuBanks_ * kBankSize) return false;
    menu_.assign(kMenuBufferSize, 0);
    std::copy(bytes->begin(), bytes->end(), menu_.begin());
    return true;
  }

  // Said under the result: every image file of which only a part was written.
  void AddDetail(const std::string& line) {
    if (!line.empty()) detail_ += (detail_.empty() ? "" : "; ") + line;
  }

  // Reads every image of the card list, in its order, as large as its header says; the
  // first card list entry's title area is kept for the menu image.
  bool ReadImages() {
    images_.clear();
    for (const auto& entry : op_.state.cardList.entries()) {
      auto bytes = library::ReadFilePrefix(entry.file(), ImageBytes(entry));
      if (!bytes) {
        failure_ = Format("Opening File %s Error", entry.fileName);
        return false;
      }
      if (bytes->size() < ImageBytes(entry)) {
        failure_ = Format("Reading %s Error", entry.fileName);
        return false;
      }
      AddDetail(ops::ImageFileSizeDetail(entry.file().string(), ImageBytes(entry)));
      images_.push_back(std::move(*bytes));
    }
    if (!images_.empty()) {
      std::copy_n(images_.front().begin() + library::gb_header::kTitle, firstTitle_.size(), firstTitle_.begin());
    }
    return true;
  }

  Step WriteImage(const library::RomEntry& entry, std::span<const std::uint8_t> image, ChipMethod method,
                  ImageStages& stages) {
    const unsigned firstBlock = static_cast<unsigned>(entry.romStartBank) / kBanksPerBlock;
    for (unsigned b = firstBlock; b < firstBlock + BlocksOf(entry); ++b) {
      const Step step = EraseFlashBlock(op_, method, b, stages.erase);
      if (step == Step::Failed) failure_ = "Earsing ROM Fail";
      if (step != Step::Ok) return step;
    }

    const std::size_t banks = image.size() / kBankSize;
    for (std::size_t k = 0; k < banks; ++k) {
      if (op_.stopRequested()) return Step::Stopped;
      const auto bank = image.subspan(k * kBankSize, kBankSize);
      const auto cardBank = static_cast<unsigned>(entry.romStartBank) + static_cast<unsigned>(k);
      op_.link.SetBank(static_cast<std::uint8_t>(cardBank));
      op_.window.SetFile(entry.fileName);
      const auto cardAddress = static_cast<unsigned>(cardBank * kBankSize);
      op_.window.SetWork(Format("Writing : 0x%06X - 0x%06X", cardAddress, cardAddress + unsigned{kBankSize} - 1));
      op_.link.WriteBlock(
          method == ChipMethod::WriterStatus ? protocol::kOpProgramBankByWriter : protocol::kOpProgramBankByStatusByte,
          protocol::kBankWindow, bank);
      const int status = op_.link.QueryState3();
      if (op_.stopRequested()) return Step::Stopped;
      if (status != protocol::kStateDone) {
        failure_ = Format("Writing %s Fail", entry.fileName);
        return Step::Failed;
      }
      stages.program.Advance(kBankSize);
    }
    op_.window.SetFile("");
    return Step::Ok;
  }

  Step ProgramMenu(ChipMethod method, ProgressMeter& meter) {
    const std::span<const std::uint8_t> image(menu_.data(), menuBanks_ * kBankSize);
    switch (method) {
      case ChipMethod::ChipStatus:
        return ProgramBiosPieces(op_, image, protocol::kOpProgramBiosPiece, false, meter);
      case ChipMethod::WriterStatus:
        return ProgramBiosPieces(op_, image, protocol::kOpProgramBiosPage, true, meter);
      case ChipMethod::ChipStatusWithVoltage:
        return ProgramMenuBanks(image, meter);
    }
    return Step::Failed;
  }

  // ChipStatusWithVoltage: whole banks, each sent again until the writer acknowledges it; the step
  // fails when the count of attempts reaches 125, whatever the 125th answer was.
  Step ProgramMenuBanks(std::span<const std::uint8_t> image, ProgressMeter& meter) {
    constexpr int kAttempts = 125;
    for (std::size_t i = 0; i < menuBanks_; ++i) {
      if (op_.stopRequested()) return Step::Stopped;
      op_.link.SetBank(static_cast<std::uint8_t>(i));
      for (int attempts = 1;; ++attempts) {
        ops::CardChanges(op_);
        op_.link.WriteBlock(protocol::kOpProgramBankByWriter, protocol::kBankWindow,
                            image.subspan(i * kBankSize, kBankSize));
        // A bank that did not reach the writer whole is not waited for: the writer is lost.
        // Only the status query waits for the programming.
        if (op_.link.lostContact()) return Step::Failed;
        const int status = [&] {
          const link::Link::BusyWait wait(op_.link);
          return op_.link.QueryState3();
        }();
        const bool done = status == protocol::kStateDone && attempts < kAttempts;
        // A bank the writer acknowledged is programmed, whatever stop came meanwhile.
        if (op_.stopRequested() && !done) return Step::Stopped;
        if (attempts >= kAttempts) return Step::Failed;
        if (done) break;
        meter.Waiting();
      }
      meter.Advance(kBankSize);
    }
    return Step::Ok;
  }

  ops::Operation& op_;
  std::vector<ImageStages> stages_;  // by card list entry
  std::optional<ImageStages> menuStages_;
  std::vector<std::uint8_t> menu_;
  std::vector<std::vector<std::uint8_t>> images_;  // by card list entry
  std::size_t menuBanks_ = 1;
  TitleArea firstTitle_{};
  std::string failure_;
  std::string detail_;  // what the result says under it (AddDetail)
};

}  // namespace

ops::Result WriteGbCard(ops::Operation& op) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  return ops::WorkEnds(op, ops::Work::Write, CardWriter(op).Run());
}

}  // namespace quillon::gb
