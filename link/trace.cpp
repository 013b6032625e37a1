// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/trace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace quillon::link {

StreamTrace::~StreamTrace() { flush(); }

void StreamTrace::endLine() {
  if (open_) out_ << '\n';
  open_ = 0;
}

void StreamTrace::comment(std::string_view text) {
  // A dead writer times out on every byte of a packet: one line says it.
  if (open_ == 0 && text == lastComment_) return;
  endLine();
  out_ << "# " << text << '\n';
  lastComment_.assign(text);
  noteFailure();
}

void StreamTrace::add(char direction, std::uint8_t byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (open_ != direction) {
    endLine();
    out_ << direction;
    open_ = direction;
  }
  const char text[] = {' ', kHex[byte >> 4], kHex[byte & 0x0F]};
  out_.write(text, sizeof text);
  lastComment_.clear();
  noteFailure();
}

void StreamTrace::flush() {
  endLine();
  out_.flush();
  noteFailure();
}

// The stream says only that it failed; errno still holds why the write under it failed.
void StreamTrace::noteFailure() {
  if (out_.good() || !failure_.empty()) return;
  failure_ = errno != 0 ? std::strerror(errno) : "it could not be written";
}

FileTrace::FileTrace(const std::string& path) : path_(path), stream_(open(path)) {}

std::string FileTrace::failure() const {
  const std::string why = stream_.failure();
  return why.empty() ? why : path_ + ": " + why;
}

std::ostream& FileTrace::open(const std::string& path) {
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0) {
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      struct stat stream {};
      if (::fstat(fd, &stream) == 0 && stream.st_dev == target.st_dev && stream.st_ino == target.st_ino)
        return fd == STDOUT_FILENO ? std::cout : std::cerr;
    }
  }
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_) throw std::runtime_error("cannot write the trace file " + path + ": " + std::strerror(errno));
  return file_;
}

std::unique_ptr<Trace> traceFromEnvironment() {
  const char* path = std::getenv("QUILLON_TRACE");
  if (!path || !*path) return nullptr;
  return std::make_unique<FileTrace>(path);
}

}  // namespace quillon::link
