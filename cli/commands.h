// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of quillon-cli; each returns the process exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/session.h"
#include "sim/sim_writer.h"

namespace quillon::cli {

int runInfo(const GlobalOptions& options, const std::atomic<bool>& stop);
int runList(const GlobalOptions& options, const std::string& dir);

// Lists the kept copies of save memory, newest first.
int runBackups();

struct DoctorArgs {
  std::string systemRoot;  // empty: the live system; else a folder holding sys/, proc/ and dev/
};
// Checks the parallel port's setup and whether a writer answers; exit 0 when one does.
int runDoctor(const GlobalOptions& options, const DoctorArgs& args, const std::atomic<bool>& stop);

// Card operations of every writer type: gb and gb-password probe the card first as the main
// window does, ws hands the command to the WS operation at once. `stop` is set by Ctrl-C.
struct WriteArgs {
  std::vector<std::string> images;  // in card list order
  bool verify = false;              // read every image back after a successful write (GB)
  std::string patch;                // IPS patch applied to the WS image in memory; empty: none
};
int runWrite(const GlobalOptions& options, const WriteArgs& args, const std::atomic<bool>& stop);

struct ReadArgs {
  std::string out;
  std::optional<int> image;       // 1-based image of a flash card
  std::vector<std::string> dats;  // --dat: DATs the file read is looked up in
  bool twice = false;             // every bank or block read twice (OperationArgs::readTwice)
};
int runRead(const GlobalOptions& options, const ReadArgs& args, const std::atomic<bool>& stop);

// Prints each image's header facts, checksums and DAT verdict; no device is involved.
struct CheckArgs {
  std::vector<std::string> dats;  // --dat, before QUILLON_DAT's
  std::vector<std::string> images;
};
int runCheck(const GlobalOptions& options, const CheckArgs& args);

struct RamArgs {
  std::string file;
  std::optional<int> image;  // 1-based image of a flash card
  bool password = false;     // the "Password" item (writer type gb-password)
};
int runBackupRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop);
int runRestoreRam(const GlobalOptions& options, const RamArgs& args, const std::atomic<bool>& stop);

struct EraseArgs {
  int size = 0;  // 16 or 32 (MBit card); 0: not given
};
int runErase(const GlobalOptions& options, const EraseArgs& args, const std::atomic<bool>& stop);

// Applies an IPS patch to a copy of a file; no device is involved. OUT is refused as read's is
// when it names a file of the port's simulated writer or a copy of save memory.
struct PatchArgs {
  std::string image, patch, out;
};
int runPatch(const GlobalOptions& options, const PatchArgs& args);
// The whole patch file; nullopt after "Opening PATCH Error" and the reason on standard error.
std::optional<std::vector<std::uint8_t>> readPatchFile(const std::string& path);

struct SimInsertArgs {
  std::string dir, kind, rom, sav;
  sim::ChipId biosChip = sim::kDefaultBiosChip, flashChip = sim::kDefaultFlashChip;
};
int runSimInsert(const SimInsertArgs& args, const std::atomic<bool>& stop);
int runSimFault(const std::string& dir, const std::vector<std::string>& faults, bool clear,
                const std::atomic<bool>& stop);
int runSimShow(const std::string& dir);

}  // namespace quillon::cli
