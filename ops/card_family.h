// SPDX-License-Identifier: GPL-3.0-or-later
// A family of cards: what the program does with the cards of a writer, in one place. The GB
// family (gb/gb_family.*) serves the writer types "GB" and "GB+Password", the WS family
// (ws/ws_family.*) the writer type "WS"; cards::FamilyOf (cards/families.h) chooses one for
// a writer type, and both front ends go through it: the main window's commands and operation
// windows, and quillon-cli's card commands. An operation, a question or an option of a
// family is added here and in each family, nowhere else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "detect/card_info.h"
#include "detect/probe.h"
#include "library/card_list.h"
#include "library/writer_type.h"
#include "link/link.h"
#include "ops/command_plan.h"
#include "ops/operation.h"
#include "ops/program_state.h"
#include "ops/verified_write.h"

namespace quillon::ops {

// What quillon-cli's options answer before a command runs, where the window asks on the way.
struct CommandLineAnswers {
  std::optional<int> image;  // --image N (1-based)
  bool password = false;     // --password: the "Password" item
  int cardSize = 0;          // --size in MBit; 0: not given
  std::string patchFile;     // --patch; empty: none
};

class CardFamily {
 public:
  virtual ~CardFamily() = default;

  // --- The card and its images.
  // What the writer holds, into `info` (the card information of the main window and of
  // quillon-cli info).
  virtual detect::ProbeOutcome Probe(link::Link& link, library::WriterType type, detect::CardInfo& info) const = 0;
  // Adds the image file `name` of `dir` to the card list with the card list's checks.
  virtual library::AddResult AddImage(library::CardList& list, const std::filesystem::path& dir,
                                      const std::string& name, library::WriterType type) const = 0;

  // --- The operations. Each reports through op.window and ends with its result.
  virtual Result Write(Operation& op, const OperationArgs& args) const = 0;
  // After a write that succeeded: the card read back and compared with what was written.
  virtual Result Verify(Operation& op, const OperationArgs& args) const = 0;
  virtual Result Read(Operation& op, const OperationArgs& args) const = 0;
  virtual Result BackupRam(Operation& op, const OperationArgs& args) const = 0;
  virtual Result RestoreRam(Operation& op, const OperationArgs& args) const = 0;
  virtual Result Erase(Operation& op, const OperationArgs& args) const = 0;
  // The operation `operation` of this family.
  Result Run(CardOperation operation, Operation& op, const OperationArgs& args) const;

  // --- What the user is asked (ops/command_plan.h).
  // The command probes the card before its plan is made.
  virtual bool ProbesFirst(Command command) const = 0;
  // The plan of `command`, after its probe (`probe`: NotProbed when it does not probe first).
  // The card list of "Start Writing" is not empty.
  virtual CommandPlan Plan(Command command, const ProgramState& state, detect::ProbeOutcome probe) const = 0;

  // --- quillon-cli's options.
  // Options of `command` that mean nothing to the family's cards: the message of wrong usage
  // (exit 2, before the port opens); empty when there is none.
  virtual std::string UsageError(Command command, const CommandLineAnswers& answers) const = 0;
  // What follows the name of an image that the card list refused after taking `taken`.
  virtual std::string RefusedImageNote(const library::CardList& taken) const = 0;
  // Whether the IPS patch `patch` fits the image file `image` as writing patches it; an
  // image that writing cannot load is left to the write's own message (true).
  virtual bool PatchFits(const std::string& image, std::span<const std::uint8_t> patch) const = 0;
};

// The call's operation as a step of ops::WriteThenVerify, and the verify that follows it: the
// family's Verify after a write asked to verify (OperationArgs::verify), none otherwise. Both
// front ends run every call so.
CardStep OperationStep(const OperationCall& call);
CardStep VerifyStep(const OperationCall& call);

}  // namespace quillon::ops
