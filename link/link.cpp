// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link.h"

#include <algorithm>
#include <iostream>

namespace quillon::link {

namespace {

std::uint8_t lowByte(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t highByte(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }

// Card addresses and counts are 16 bits on the wire.
std::uint16_t blockCount(std::size_t size) { return static_cast<std::uint16_t>(std::min<std::size_t>(size, 0xFFFF)); }

}  // namespace

Link::Link(Port& port, LinkOptions options) : port_(port), options_(options) {
  // The link never initialises the port: it keeps whatever the control register holds and
  // only ever flips the strobe bit of that value.
  try {
    control_ = port_.readControl();
  } catch (const std::exception& e) {
    portFailed(e.what());
  }
  ++accesses_;
}

Link::~Link() { sayRepeats(); }

Link::Command::Command(Link& link, const char* name)
    : lock_(link.mutex_), link_(link), started_(link.beginCommand(name)), crossedBefore_(link.bytesCrossed_) {}

Link::Command::~Command() {
  if (started_) link_.endCommand(crossedBefore_);
}

void Link::portFailed(const char* what) {
  portFailed_ = true;
  if (lastPortError_ != what) {
    lastPortError_ = what;
    say("Port failure: " + lastPortError_ + " (the writer is taken as not answering)\n");
    note("port failure");
  }
}

// --- diagnostics ----------------------------------------------------------------------------

void Link::say(std::string_view line) {
  if (!lastLine_.empty() && line == lastLine_) {
    ++repeats_;
    return;
  }
  sayRepeats();
  diag() << line;
  lastLine_.assign(line);
}

void Link::sayRepeats() {
  if (repeats_ == 0) return;
  diag() << "(repeated " << repeats_ << (repeats_ == 1 ? " time)\n" : " times)\n");
  repeats_ = 0;
}

void Link::flushDiagnostics() {
  std::lock_guard lock(mutex_);
  sayRepeats();
  lastLine_.clear();
  diag().flush();
}

// --- one operation, and a writer that is gone -----------------------------------------------

void Link::beginOperation() {
  std::lock_guard lock(mutex_);
  if (operations_++ == 0) deadCommands_ = 0;  // the eight are counted within the operation
}

void Link::endOperation() {
  std::lock_guard lock(mutex_);
  if (operations_ == 0 || --operations_ > 0) return;
  // The writer may be plugged back in before the next probe or operation.
  gone_ = false;
  goneNoted_ = false;
  flushDiagnostics();
}

bool Link::dropForGoneWriter() {
  if (!gone_) return false;
  if (!goneNoted_) {
    note("writer gone");
    goneNoted_ = true;
  }
  return true;
}

void Link::crossed() {
  ++bytesCrossed_;
  deadCommands_ = 0;
  lastHandshakeTimedOut_ = false;
}

std::uint8_t Link::readStatus() {
  if (portFailed_) return 0;  // never ready
  try {
    return port_.readStatus();
  } catch (const std::exception& e) {
    portFailed(e.what());
    return 0;
  }
}

void Link::writeData(std::uint8_t value) {
  if (portFailed_) return;
  try {
    port_.writeData(value);
  } catch (const std::exception& e) {
    portFailed(e.what());
  }
}

void Link::writeControl(std::uint8_t value) {
  if (portFailed_) return;
  try {
    port_.writeControl(value);
  } catch (const std::exception& e) {
    portFailed(e.what());
  }
}

std::ostream& Link::diag() { return options_.diagnostics ? *options_.diagnostics : std::cout; }

void Link::note(const char* text) {
  if (options_.trace) options_.trace->comment(text);
}

void Link::flipStrobe() {
  control_ ^= kControlStrobe;
  writeControl(control_);
  ++accesses_;
}

// Polls the ready bit. Bounded: gives up once 40000 readings were made, even when the
// 40000th showed the writer ready. Unbounded (SendClock): waits for the writer as long as
// the clock time-out and the stop flag allow.
bool Link::waitReady(bool bounded) {
  if (bounded) {
    int count = 0;
    std::uint8_t status = 0;
    if (portFailed_) return false;
    do {
      status = readStatus();
      ++count;
    } while (!(status & kStatusReady) && count < kPollLimit && !portFailed_);
    accesses_ += static_cast<std::uint64_t>(count);
    return count < kPollLimit && !portFailed_;
  }
  const auto deadline = std::chrono::steady_clock::now() + options_.clockTimeout;
  for (std::uint32_t reads = 1;; ++reads) {
    ++accesses_;
    if (readStatus() & kStatusReady) return true;
    if (portFailed_) return false;
    if ((reads & 0x3FF) == 0 && (stopRequested() || std::chrono::steady_clock::now() >= deadline)) {
      return false;
    }
  }
}

bool Link::sendByte(std::uint8_t value) {
  if (!waitReady(true)) {
    lastHandshakeTimedOut_ = true;
    note("time-out");
    return false;
  }
  writeData(value);
  ++accesses_;
  flipStrobe();
  if (portFailed_) {
    lastHandshakeTimedOut_ = true;
    return false;
  }
  crossed();
  if (options_.trace) options_.trace->sent(value);
  return true;
}

void Link::SendByte(std::uint8_t value) {
  std::lock_guard lock(mutex_);
  if (dropForGoneWriter()) return;
  (void)sendByte(value);
}

std::uint8_t Link::ReceiveByte() {
  std::lock_guard lock(mutex_);
  if (dropForGoneWriter()) return 0;
  return receiveByte().value_or(0);
}

void Link::SendClock() {
  const Command command(*this, nullptr);
  if (!command.started()) return;
  // The wait without a read limit is for a writer busy with a job. One that did not take
  // the last byte has no job: it gets the ordinary limit, so a pulled cable costs no more
  // than a timed-out byte.
  if (!waitReady(lastHandshakeTimedOut_)) {
    lastHandshakeTimedOut_ = true;
    note(stopRequested() ? "cancelled" : "time-out");
    return;
  }
  writeData(0x00);
  ++accesses_;
  flipStrobe();
  if (portFailed_) {
    lastHandshakeTimedOut_ = true;
    return;
  }
  crossed();
  if (options_.trace) options_.trace->sent(0x00);
}

std::optional<std::uint8_t> Link::receiveByte() {
  const auto timedOut = [this] {
    lastHandshakeTimedOut_ = true;
    note("time-out");
    return std::nullopt;
  };
  if (!waitReady(true)) return timedOut();
  const auto low = static_cast<std::uint8_t>((readStatus() >> kStatusNibbleShift) & 0x0F);
  ++accesses_;
  flipStrobe();
  if (!waitReady(true)) return timedOut();
  const auto high = static_cast<std::uint8_t>((readStatus() << 1) & 0xF0);
  ++accesses_;
  flipStrobe();
  if (portFailed_) {
    lastHandshakeTimedOut_ = true;
    return std::nullopt;
  }
  crossed();
  const auto value = static_cast<std::uint8_t>(high | low);
  if (options_.trace) options_.trace->received(value);
  return value;
}

// `name` is the trace comment; SendClock has none.
bool Link::beginCommand(const char* name) {
  if (stopRequested()) {
    if (name) note("cancelled");
    return false;
  }
  if (dropForGoneWriter()) return false;
  // A port that failed during the last command gets another chance; one that keeps
  // failing is said once.
  if (!portFailed_) lastPortError_.clear();
  portFailed_ = false;
  if (name) note(name);
  return true;
}

void Link::endCommand(std::uint64_t crossedBefore) {
  if (bytesCrossed_ != crossedBefore) return;  // a byte went through: the count is back at 0
  ++deadCommands_;
  if (operations_ > 0 && deadCommands_ >= kDeadCommandLimit && !gone_) {
    gone_ = true;
    say("The writer stopped answering\n");
  }
}

void Link::sendFrame(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4) {
  static constexpr std::uint8_t kSync[] = {0x00, 0x00, 0xD5, 0xAA, 0x96};
  for (std::uint8_t b : kSync) sendByte(b);
  const std::uint8_t header[] = {op, p1, p2, p3, p4};
  std::uint8_t check = kCheckSeed;
  for (std::uint8_t b : header) {
    sendByte(b);
    check ^= b;
  }
  sendByte(check);
}

bool Link::SendHeader(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4,
                      const char* name) {
  const Command command(*this, name);
  if (!command.started()) return false;
  sendFrame(op, p1, p2, p3, p4);
  return true;
}

bool Link::receiveAnswer(std::span<std::uint8_t> answer, bool abandonOnTimeout) {
  sendByte(0x00);
  std::uint8_t check = kCheckSeed;
  for (std::uint8_t& slot : answer) {
    const auto byte = receiveByte();
    if (!byte && abandonOnTimeout) return false;  // dead link: do not wait out every byte
    slot = byte.value_or(0);
    check ^= slot;
  }
  const auto received = receiveByte();
  if (!received && abandonOnTimeout) return false;
  return received.value_or(0) == check;
}

int Link::CheckDevice() {
  const Command command(*this, "CheckDevice");
  if (!command.started()) return 1;
  sendFrame(1, 0x80, 0x00, 0x01, 0x00);
  std::uint8_t value = 0;
  if (receiveAnswer({&value, 1}, false)) {
    say("Device ...........OK ! \n");
    return 0;
  }
  say("Device ...........ERROR ! \n");
  return 1;
}

void Link::WriteByte(std::uint16_t address, std::uint8_t value) {
  const Command command(*this, "WriteByte");
  if (!command.started()) return;
  sendFrame(0, lowByte(address), highByte(address), 0x01, 0x00);
  sendByte(value);
  sendByte(static_cast<std::uint8_t>(value ^ kCheckSeed));
}

std::uint8_t Link::ReadByte(std::uint16_t address) {
  const Command command(*this, "ReadByte");
  if (!command.started()) return 0;
  sendFrame(1, lowByte(address), highByte(address), 0x01, 0x00);
  std::uint8_t value = 0;
  if (receiveAnswer({&value, 1}, false)) return value;
  say("Checksum error !!! \n");
  return 0;
}

void Link::WriteBlock(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) {
  const Command command(*this, "WriteBlock");
  if (!command.started()) return;
  const std::uint16_t count = blockCount(data.size());
  sendFrame(op, lowByte(address), highByte(address), lowByte(count), highByte(count));
  std::uint8_t check = kCheckSeed;
  for (std::size_t i = 0; i < count; ++i) {
    // A writer that stopped answering gets nothing more of this block.
    if (!sendByte(data[i])) return;
    check ^= data[i];
  }
  sendByte(check);
}

int Link::ReadBlock(std::uint16_t address, std::span<std::uint8_t> buffer) {
  const Command command(*this, "ReadBlock");
  if (!command.started()) return 1;
  const std::uint16_t count = blockCount(buffer.size());
  sendFrame(1, lowByte(address), highByte(address), lowByte(count), highByte(count));
  return receiveAnswer(buffer.first(count), true) ? 0 : 1;
}

void Link::SetControl(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const Command command(*this, "SetControl");
  if (!command.started()) return;
  sendFrame(6, a, b, c, d);
}

int Link::queryState(std::uint8_t which, const char* name) {
  const Command command(*this, name);
  if (!command.started()) return 1;
  sendFrame(6, which, 0, 0, 0);
  std::uint8_t status = 0;
  if (receiveAnswer({&status, 1}, false)) return status;
  say("Receiver checksum error\n");
  return 1;
}

void Link::SetBank(std::uint8_t value) {
  const Command command(*this, "SetBank");
  if (!command.started()) return;
  sendFrame(6, 0, value, 0, 0);
}

void Link::SetMode(std::uint8_t value) {
  const Command command(*this, "SetMode");
  if (!command.started()) return;
  sendFrame(5, value, 0, 0, 0);
}

void Link::DelayTicks(std::uint32_t count) {
  {
    std::lock_guard lock(mutex_);
    if (dropForGoneWriter()) return;
  }
  try {
    port_.delayTicks(std::max<std::uint32_t>(count, 1));
  } catch (const std::exception& e) {
    portFailed(e.what());
  }
}

}  // namespace quillon::link
