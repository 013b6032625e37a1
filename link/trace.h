// SPDX-License-Identifier: GPL-3.0-or-later
// Record of every byte that crosses the port, grouped by direction:
//   # CheckDevice
//   > 00 00 D5 AA 96 01 80 00 01 00 01 00
//   < 5A DB
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::link {

class Trace {
 public:
  virtual ~Trace() = default;
  virtual void comment(std::string_view text) = 0;
  virtual void sent(std::uint8_t byte) = 0;
  virtual void received(std::uint8_t byte) = 0;
  virtual void flush() {}
  // Why the trace could not be written on (a full disk, a file size limit), naming its file
  // when it has one; empty while every byte went out. What follows a failure is lost.
  virtual std::string failure() const { return {}; }
  bool failed() const { return !failure().empty(); }
};

// Writes the trace text to any std::ostream; keeps one open line per direction run.
class StreamTrace : public Trace {
 public:
  explicit StreamTrace(std::ostream& out) : out_(out) {}
  ~StreamTrace() override;
  void comment(std::string_view text) override;
  void sent(std::uint8_t byte) override { add('>', byte); }
  void received(std::uint8_t byte) override { add('<', byte); }
  void flush() override;
  std::string failure() const override { return failure_; }

 private:
  void add(char direction, std::uint8_t byte);
  void endLine();
  void noteFailure();
  std::ostream& out_;
  std::string failure_;
  char open_ = 0;  // direction of the line being written, 0 when none
  std::string lastComment_;
};

// A trace kept in a file; opening fails with std::runtime_error naming the path. The file
// is written in place (a FIFO or a terminal as well), never replaced. A path that names the
// program's own standard output or error (/dev/stdout, or the file it was redirected to)
// writes through that stream, so that the trace and the program's other output do not
// overwrite each other.
class FileTrace : public Trace {
 public:
  explicit FileTrace(const std::string& path);
  void comment(std::string_view text) override { stream_.comment(text); }
  void sent(std::uint8_t byte) override { stream_.sent(byte); }
  void received(std::uint8_t byte) override { stream_.received(byte); }
  void flush() override { stream_.flush(); }
  std::string failure() const override;

 private:
  std::ostream& open(const std::string& path);
  std::string path_;
  std::ofstream file_;
  StreamTrace stream_;
};

// The trace file named by QUILLON_TRACE, or nullptr when the variable is unset or empty.
std::unique_ptr<Trace> traceFromEnvironment();

}  // namespace quillon::link
