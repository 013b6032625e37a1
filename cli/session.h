// SPDX-License-Identifier: GPL-3.0-or-later
// What every device command of quillon-cli starts with: the options in force, the port, the
// link and its trace.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/writer_type.h"
#include "link/link.h"
#include "link/port.h"
#include "link/trace.h"

namespace quillon::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

struct GlobalOptions {
  std::string port;  // empty: QUILLON_PORT, else auto
  std::string writer = "gb";
  std::string traceFile;  // empty: QUILLON_TRACE, else none
  std::string menuDir;    // empty: the program's own directory
  bool noBackup = false;  // no copy of the save memory before a command overwrites it
  std::string argv0;      // how the program was started, to find its own directory
};

// Writer type of the --writer word: gb, gb-password, ws.
library::WriterType writerTypeOf(const std::string& word);

// Where the menu images are read: --menu-dir, else the directory of the program's own
// executable file; ends in '/'.
std::string ProgramDir(const GlobalOptions& options);

class Session {
 public:
  // Opens the port and the trace and claims the writer for the whole command, as ppdev claims
  // a real port: another program's operation waits until this one has ended. Throws
  // std::runtime_error with a user-facing message (also when another program kept the writer
  // longer than a claim waits; then nothing has been sent).
  // `files`: what the command reads and writes; the trace file must be none of them (nor a
  // menu image, nor a file of the simulated writer's folder or of the copies of save memory,
  // through whatever link: ops::ProtectedFileReason), or the command stops before anything
  // is opened.
  Session(const GlobalOptions& options, const std::atomic<bool>& stop, const std::vector<std::string>& files = {});
  ~Session();
  link::Link& link() { return *link_; }
  library::WriterType writerType() const { return writerType_; }
  // The writer the port reaches (connect::WriterIdentity).
  const std::string& writer() const { return writer_; }

 private:
  std::unique_ptr<link::Trace> trace_;
  std::unique_ptr<link::Port> port_;
  std::optional<link::PortClaim> claim_;
  std::unique_ptr<link::Link> link_;
  library::WriterType writerType_;
  std::string writer_;
};

}  // namespace quillon::cli
