// SPDX-License-Identifier: GPL-3.0-or-later
// The state of the program that the operations read and write: the writer type, the
// directories the settings keep, the card list and the last card probe.
#pragma once

#include <optional>
#include <string>

#include "detect/card_info.h"
#include "library/card_list.h"
#include "library/writer_type.h"
#include "ops/journal.h"

namespace quillon::ops {

// The values of the settings file's section "Main".
struct Settings {
  std::string romDir;      // RomDir: where the image files are listed from
  std::string saveRomDir;  // SaveROMDir: start directory of the dialogs that save images read from a card
  std::string ramDir;      // RAMDir: start directory of the save memory file dialogs
  std::string patchDir;    // PatchDir: start directory of the patch file dialog
  // SystemStyle: the writer type; the file stores its number, which may be one of no item.
  library::WriterType writerType = library::WriterType::Gb;
  // AutoBackup: a copy of the save memory before a command overwrites it (0 turns it off).
  bool autoBackup = true;
  // VerifyAfterWrite: a write reads the card back and compares it ("Verify after writing").
  bool verifyAfterWrite = false;
  // ReadTwice: a read takes each bank or block twice, a third time where they differ ("Read twice").
  bool readTwice = false;
};

// Where the journal of unfinished work is kept (ops/journal.h), and for which writer.
struct JournalPlace {
  // The journal's path; empty when neither HOME nor XDG_STATE_HOME names a folder, which each
  // write, erase and save restore then says (it goes on).
  std::string file;
  // The writer the operations run on (connect::WriterIdentity); empty: no journal is kept.
  std::string writer;
  std::string program;  // who began the work: "quillon", "quillon-cli"
  // The running operation's entry until its first command that changes the card records it
  // (ops::WorkAhead, ops::CardChanges); none between operations.
  std::optional<JournalEntry> ahead{};
};

// While an operation runs, its worker owns this state: the main window leaves it alone
// until the operation's window has closed.
struct ProgramState {
  Settings settings;
  std::string programDir;      // where cgbbios.bin and chtbios.bin are read, ending in '/'
  library::CardList cardList;  // the images chosen for the card; GB writing sets their placement
  detect::CardInfo cardInfo;   // what the last probe found
  // Whether a command that overwrites save memory first keeps a copy of it (SaveBackups):
  // off with AutoBackup=0 in the settings or quillon-cli --no-backup.
  bool keepSaveCopies = false;
  // Where the copies go; empty when neither HOME nor XDG_DATA_HOME names a folder, and then a
  // command that would keep one ends with "Backup Fail" before it changes the card.
  std::string backupFolder;
  JournalPlace journal;
  // A check of the written card follows a write: the write's success keeps its journal entry,
  // and the check takes it out when it finds the card as written (ops::WrittenCardChecked).
  bool verifyFollows = false;

  library::WriterType writerType() const { return settings.writerType; }
  void setWriterType(library::WriterType type) { settings.writerType = type; }
};

// The directory part of a chosen file's path, with its trailing separator
// ("/home/u/roms/a.gbc" -> "/home/u/roms/"); empty when the path has no directory.
std::string DirectoryOf(const std::string& filePath);

}  // namespace quillon::ops
