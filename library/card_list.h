// SPDX-License-Identifier: GPL-3.0-or-later
// The images chosen for the card, with the checks that admit them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "library/rom_header.h"
#include "library/writer_type.h"

namespace quillon::library {

// One image of the card list. The file is directory / fileName.
struct RomEntry {
  std::filesystem::path directory;  // the ROM directory when the image was added
  std::string fileName;             // as listed, without directory
  std::string title;                // raw title bytes (GB only)
  int mapperClass = 0;              // MapperClass(type), 0..3 (GB only)
  int romClass = 0;                 // RomClass(romCode), 0..3 (GB only)
  int ramClass = 0;                 // GB: RamClass(ramCode); WS: WsRamClass(saveType)
  int color = 0;                    // 1 colour, 0 mono (GB only)
  int romStartBank = 0;             // first 16 KB bank on the card; set by GB writing
  int ramStartUnit = 0;             // first 8 KB save unit on the card; set by GB writing
  int romSizeCode = 0;              // header ROM size code, 0..7 (GB only)
  std::uint64_t imageBytes = 0;     // WS: the image's size, without a 512-byte header

  std::filesystem::path file() const { return directory / fileName; }
};

// Verdicts of CardList::CheckGbImage.
enum Verdict : int {
  kAccepted = 0,
  kDuplicateName = 1,
  kRomTypeError = 2,
  kRomSizeError = 3,
  kRomSizeTooBig = 4,
  kRamSizeError = 5,
  kRamSizeTooBig = 6,
  kColorMix = 7,
};

// Message of a refusing verdict (1..7), e.g. "ROM size too big"; empty for 0 and other values.
std::string_view VerdictMessage(int verdict);

// Outcome of adding an image. When `added` is false, `message` is the text to show and
// the list is unchanged; when it is true, `row` is the new row of the card list.
struct AddResult {
  bool added = false;
  std::string message;
  ListRow row;
};

class CardList {
 public:
  static constexpr int kMaxEntries = 20;  // the checks keep GB at 8 and WS at 1

  // Verdict 0..7 for adding a GB image with these header facts, the tests in this order:
  // duplicate file name (byte for byte), colour differs from entry 0, mapper class 4,
  // ROM size code not 0..7, ROM slots over 32 Mbit, RAM size code not 0..3, save memory
  // over 16 units of 8 KB (writer type "GB") or 8 units (any other writer type).
  int CheckGbImage(const std::string& fileName, const GbFacts& facts, WriterType writerType) const;

  // Reads the header of romDir / fileName. A file that cannot be opened is refused with
  // "Opening File <name> Error", one shorter than 0x150 bytes with "Reading <name> Error";
  // otherwise CheckGbImage decides and a refusal carries VerdictMessage.
  AddResult AddGbImage(const std::filesystem::path& romDir, const std::string& fileName, WriterType writerType);

  // Refused with "Have selected ROM" when the list is not empty, with
  // "Opening File <name> Error" when the file cannot be opened; otherwise added.
  AddResult AddWsImage(const std::filesystem::path& romDir, const std::string& fileName);

  // Removes entry `index`, the later ones move up in order; nothing happens for an index
  // outside 0..count()-1.
  void RemoveEntry(int index);

  // Sets the placement that GB writing chose; false for an index out of range.
  bool SetPlacement(int index, int romStartBank, int ramStartUnit);

  // How full the card is, as the checks count it (each GB image takes its slot of 4 Mbit or
  // more): "2.5 MiB of 4 MiB, 3 of 8 images" with writer type "GB" and the password writers,
  // "1 MiB image" or "no image" with "WS".
  std::string Fullness(WriterType writerType) const;

  void clear();
  int count() const { return static_cast<int>(entries_.size()); }
  const std::vector<RomEntry>& entries() const { return entries_; }
  // Rows of the card list view, row i for entry i.
  const std::vector<ListRow>& rows() const { return rows_; }

 private:
  std::vector<RomEntry> entries_;
  std::vector<ListRow> rows_;
};

}  // namespace quillon::library
