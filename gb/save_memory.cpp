// SPDX-License-Identifier: GPL-3.0-or-later
#include "gb/save_memory.h"

#include "gb/steps.h"
#include "library/rom_header.h"

namespace quillon::gb {

namespace {

constexpr int kPasswordBank = 14;  // card save memory offset 0x1C000

// Cartridge type bytes of the MBC1 (plain, with RAM, with battery-backed RAM).
bool IsMbc1(std::int32_t cartridgeType) { return cartridgeType >= 0x01 && cartridgeType <= 0x03; }

}  // namespace

SaveMemory SaveMemoryOf(const detect::CardInfo& info, int selectedImage) {
  SaveMemory memory;
  memory.cartridge = info.kind == detect::kOrdinaryCartridge;
  if (!memory.cartridge && selectedImage == info.count) {
    memory.banks = 1;
    memory.bankBytes = kRamBankSize;
    memory.firstBank = kPasswordBank;
    return memory;
  }
  if (!memory.cartridge && (selectedImage < 0 || selectedImage >= info.count)) return memory;
  const detect::CardEntry& entry =
      memory.cartridge ? info.cartridge : info.images[static_cast<std::size_t>(selectedImage)];
  switch (entry.ramSize) {
    case 1:
      memory.banks = 1;
      memory.bankBytes = 0x800;  // only the first 2 KiB of the window
      break;
    case 2:
      memory.banks = 1;
      memory.bankBytes = kRamBankSize;
      break;
    case 3:
      memory.banks = 4;
      memory.bankBytes = kRamBankSize;
      break;
    default:
      return memory;
  }
  memory.firstBank = memory.cartridge ? 0 : entry.ramStart / static_cast<int>(kRamBankSize);
  memory.mbc1Banking = memory.cartridge && IsMbc1(entry.type) && memory.banks > 1;
  return memory;
}

std::string SaveTitle(const detect::CardInfo& info, int selectedImage) {
  if (info.kind == detect::kOrdinaryCartridge) return library::GbTitle(info.cartridge.nameText());
  if (selectedImage == info.count) return "Password";
  if (selectedImage < 0 || selectedImage >= info.count) return "card";
  return library::GbTitle(info.images[static_cast<std::size_t>(selectedImage)].nameText());
}

std::string SaveFileName(const detect::CardInfo& info, int selectedImage) {
  return ops::SuggestedFileName(SaveTitle(info, selectedImage), ".sav");
}

void EnableSaveMemory(link::Link& link, const SaveMemory& memory) {
  if (!memory.cartridge) protocol::Send(link, protocol::kReadState);
  protocol::Send(link, protocol::kSaveMemoryOn);
  if (memory.mbc1Banking) protocol::Send(link, protocol::kMbc1RamBankingMode);
  if (!memory.cartridge) protocol::Send(link, protocol::kSaveMemoryWindow);
}

void DisableSaveMemory(link::Link& link, const SaveMemory& memory) {
  if (memory.mbc1Banking) protocol::Send(link, protocol::kMbc1RomBankingMode);
  if (memory.cartridge) protocol::Send(link, protocol::kSaveMemoryOff);
}

void SaveMemoryAccess::Open() {
  const std::uint64_t before = link_.commandsStarted();
  EnableSaveMemory(link_, memory_);
  open_ = open_ || link_.commandsStarted() != before;
}

void SaveMemoryAccess::Close() {
  if (!open_) return;
  open_ = false;
  const link::Link::ClosingCommands closing(link_);
  DisableSaveMemory(link_, memory_);
}

SaveTransferStart StartSaveTransfer(ops::Operation& op, int selectedImage, SaveTransfer transfer) {
  const bool backup = transfer == SaveTransfer::Backup;
  op.window.SetWork(backup ? "Downloading RAM..." : "Uploading RAM...");
  SaveTransferStart start{SaveMemoryOf(op.state.cardInfo, selectedImage), {}, std::nullopt};
  if (start.memory.banks == 0) {
    start.ended = Finish(op, ops::Outcome::Failed, "None RAM");
    return start;
  }
  const ops::FileQuestion question{kRamFilter, kRamExtension, op.state.settings.ramDir,
                                   SaveFileName(op.state.cardInfo, selectedImage)};
  start.path = backup ? op.window.AskSaveFile(question) : op.window.AskOpenFile(question);
  if (op.stopRequested()) {
    start.ended = Stopped();
  } else if (start.path.empty()) {
    start.ended =
        EndSaveTransfer(op, start.memory, ops::Outcome::Cancelled, backup ? "Cancel Download" : "Cancel Upload");
  }
  return start;
}

ops::Result EndSaveTransfer(ops::Operation& op, const SaveMemory& memory, ops::Outcome outcome, const char* text) {
  DisableSaveMemory(op.link, memory);
  if (op.stopRequested()) return Stopped();
  return Finish(op, outcome, text);
}

}  // namespace quillon::gb
