#include "cli/session.h"

#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "connect/open_port.h"

namespace quillon::cli {

int writerTypeOf(const std::string& word) {
  if (word == "gb") return 0;
  if (word == "gb-password") return 1;
  return 2;
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

Session::Session(const GlobalOptions& options, const std::atomic<bool>& stop)
    : writerType_(writerTypeOf(options.writer)) {
  trace_ = options.traceFile.empty() ? link::traceFromEnvironment()
                                     : std::make_unique<link::FileTrace>(options.traceFile);
  port_ = connect::openPort(connect::choosePortSpec(options.port), &std::cerr);
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
