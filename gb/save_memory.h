// SPDX-License-Identifier: GPL-3.0-or-later
// Where a GB save memory lies and how it is reached, for backup and restore alike.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "ops/operation.h"

namespace quillon::gb {

struct SaveMemory {
  bool cartridge = false;     // an ordinary cartridge, else a flash card
  int banks = 0;              // 8 KiB banks transferred; 0: none ("None RAM")
  std::size_t bankBytes = 0;  // bytes of each bank in the file: 2048 or 8192
  int firstBank = 0;          // first save memory bank on the card
  // An MBC1 cartridge with more than one bank: it switches save banks only in its RAM
  // banking mode, so that mode is set while the save memory is enabled.
  bool mbc1Banking = false;

  std::size_t fileBytes() const { return static_cast<std::size_t>(banks) * bankBytes; }
  bool operator==(const SaveMemory&) const = default;
};

// The save memory of the ordinary cartridge, of image `selectedImage` of the flash card,
// or of the "Password" item (selectedImage == count). A size code outside 1 to 3 has
// none, on a flash card image as on a cartridge.
SaveMemory SaveMemoryOf(const detect::CardInfo& info, int selectedImage);

// Enables the save memory before the first bank: the cartridge's RAM enable (and an MBC1's
// RAM banking mode), or the flash card's reading state, its save memory enable and its save
// memory window.
void EnableSaveMemory(link::Link& link, const SaveMemory& memory);
// The ordinary cartridge's save memory is disabled again at the end (an MBC1 back in its ROM
// banking mode first); a flash card gets nothing.
void DisableSaveMemory(link::Link& link, const SaveMemory& memory);

// The save memory as an operation enabled it (Open): disabled again on every way out of the
// operation (Close, or at the latest when this goes), after a stop request too, as closing
// commands. A cartridge left with its save memory enabled loses its save when it is pulled
// or switched off.
class SaveMemoryAccess {
 public:
  SaveMemoryAccess(link::Link& link, const SaveMemory& memory) : link_(link), memory_(memory) {}
  ~SaveMemoryAccess() { Close(); }
  SaveMemoryAccess(const SaveMemoryAccess&) = delete;
  SaveMemoryAccess& operator=(const SaveMemoryAccess&) = delete;
  void Open();
  void Close();

 private:
  link::Link& link_;
  const SaveMemory& memory_;
  bool open_ = false;
};

// Whose save memory `selectedImage` is: the cartridge's title or the image's name on the card
// as the windows show it, "Password" for that item, "card" for none.
std::string SaveTitle(const detect::CardInfo& info, int selectedImage);
// The file name the dialogs of backup and restore offer: that title, cleaned, and ".sav".
std::string SaveFileName(const detect::CardInfo& info, int selectedImage);

inline constexpr const char* kRamFilter = "RAM File (*.sav)|*.sav";
inline constexpr const char* kRamExtension = "SAV";

// The start a save memory backup and a restore share: the step label, the save area of
// `selectedImage`, and the file the user chose for it in the save dialog (backup) or the open
// dialog (restore). `ended` holds the result when the transfer ends there: "None RAM", a
// stop, or the dialog cancelled ("Cancel Download" / "Cancel Upload").
enum class SaveTransfer { Backup, Restore };
struct SaveTransferStart {
  SaveMemory memory;
  std::string path;
  std::optional<ops::Result> ended;
};
SaveTransferStart StartSaveTransfer(ops::Operation& op, int selectedImage, SaveTransfer transfer);
// Ends a save memory transfer before its save memory was opened: a cartridge's save memory is
// disabled all the same, as at the end of a transfer (a stop then ends it as stopped).
ops::Result EndSaveTransfer(ops::Operation& op, const SaveMemory& memory, ops::Outcome outcome, const char* text);

}  // namespace quillon::gb
