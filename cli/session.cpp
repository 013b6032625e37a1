// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/session.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "connect/open_port.h"
#include "ops/own_files.h"
#include "ops/save_backups.h"

namespace quillon::cli {

library::WriterType writerTypeOf(const std::string& word) {
  if (word == "gb") return library::WriterType::Gb;
  if (word == "gb-password") return library::WriterType::GbPassword;
  return library::WriterType::Ws;
}

std::string ProgramDir(const GlobalOptions& options) {
  namespace fs = std::filesystem;
  std::string dir = options.menuDir;
  if (dir.empty()) {
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error || exe.empty()) exe = fs::absolute(options.argv0, error);
    dir = exe.parent_path().string();
  }
  if (dir.empty()) return "./";
  if (dir.back() != '/') dir.push_back('/');
  return dir;
}

namespace {

namespace fs = std::filesystem;

// The same file: the same device and inode when both exist, else the same path.
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error) && !error;
  std::error_code errorA, errorB;
  const fs::path pathA = fs::weakly_canonical(a, errorA), pathB = fs::weakly_canonical(b, errorB);
  return !errorA && !errorB && pathA == pathB;
}

// A trace written over one of the command's files would destroy it, or end up on the card.
void CheckTraceFile(const std::string& trace, const GlobalOptions& options, const std::vector<std::string>& files,
                    const std::string& portSpec) {
  if (trace.empty()) return;
  const auto refuse = [&trace](const std::string& what) {
    throw std::runtime_error("the trace file " + trace + " is " + what +
                             "; choose another trace file (nothing was sent to the writer)");
  };
  for (const std::string& file : files) {
    if (!file.empty() && SameFile(trace, file)) refuse(file + ", a file of this command");
  }
  const std::string programDir = ProgramDir(options);
  for (const char* menu : {"cgbbios.bin", "chtbios.bin"}) {
    if (SameFile(trace, programDir + menu)) refuse("the menu image " + programDir + menu);
  }
  if (const auto why = ops::ProtectedFileReason(trace, connect::simFolderOf(portSpec), ops::DefaultBackupFolder()))
    refuse(*why);
}

}  // namespace

Session::Session(const GlobalOptions& options, const std::atomic<bool>& stop, const std::vector<std::string>& files)
    : writerType_(writerTypeOf(options.writer)) {
  const std::string portSpec = connect::choosePortSpec(options.port);
  const char* traceVariable = std::getenv("QUILLON_TRACE");
  CheckTraceFile(options.traceFile.empty() && traceVariable ? traceVariable : options.traceFile, options, files,
                 portSpec);
  trace_ =
      options.traceFile.empty() ? link::traceFromEnvironment() : std::make_unique<link::FileTrace>(options.traceFile);
  port_ = connect::openPort(portSpec, &std::cerr, &stop);
  writer_ = connect::WriterIdentity(portSpec, *port_);
  claim_.emplace(port_.get());
  if (!claim_->held()) throw std::runtime_error(claim_->why());
  link::LinkOptions linkOptions;
  // Standard output carries the command's result; the link's own remarks go beside progress.
  linkOptions.diagnostics = &std::cerr;
  linkOptions.trace = trace_.get();
  link_ = std::make_unique<link::Link>(*port_, linkOptions);
  link_->setStopFlag(&stop);
}

Session::~Session() {
  if (trace_) trace_->flush();
}

}  // namespace quillon::cli
