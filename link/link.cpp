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

Link::ClosingCommands::ClosingCommands(Link& link) : link_(link) {
  std::lock_guard lock(link_.mutex_);
  ++link_.closing_;
}

Link::ClosingCommands::~ClosingCommands() {
  std::lock_guard lock(link_.mutex_);
  --link_.closing_;
}

Link::BusyWait::BusyWait(Link& link) : link_(link) {
  std::lock_guard lock(link_.mutex_);
  if (link_.busy_++ == 0) link_.lastCrossed_ = link_.port_.now();
}

Link::BusyWait::~BusyWait() {
  std::lock_guard lock(link_.mutex_);
  --link_.busy_;
}

Link::ContactWatch::ContactWatch(Link& link) : link_(link) {
  std::lock_guard lock(link_.mutex_);
  lostBefore_ = link_.lostContact_;
  link_.lostContact_ = false;
}

Link::ContactWatch::~ContactWatch() {
  std::lock_guard lock(link_.mutex_);
  link_.lostContact_ = link_.lostContact_ || lostBefore_;
}

// A port that fails (a pulled adapter, a simulated writer that cannot keep its card) is a
// writer gone at once: nothing that crosses it afterwards could be trusted.
void Link::portFailed(const char* what) {
  portFailed_ = true;
  takeAsGone();
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
  // Once more is said again: a count of one would be longer than the line.
  if (repeats_ == 1)
    diag() << lastLine_;
  else
    diag() << "(repeated " << repeats_ << " times)\n";
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
  if (operations_++ > 0) return;
  deadCommands_ = 0;  // the eight are counted within the operation
  lostContact_ = false;
}

void Link::endOperation() {
  std::lock_guard lock(mutex_);
  if (operations_ == 0 || --operations_ > 0) return;
  // Said after the operation's own message: why it ended so.
  if (gone_) say("The writer stopped answering\n");
  // The writer may be plugged back in before the next probe or operation.
  gone_ = false;
  goneNoted_ = false;
  flushDiagnostics();
}

// Outside an operation (a probe) the writer is not marked gone, so the next command tries the
// port again, but what crossed so far cannot be trusted either.
void Link::takeAsGone() {
  if (closing_ == 0) lostContact_ = true;
  if (operations_ == 0 || gone_) return;
  gone_ = true;
}

void Link::handshakeTimedOut() {
  lastHandshakeTimedOut_ = true;
  if (busy_ == 0 && closing_ == 0) lostContact_ = true;
}

bool Link::silentTooLong() { return port_.now() - lastCrossed_ >= options_.busySilence; }

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

// Polls the ready bit; gives up once 40000 readings were made, even when the 40000th showed
// the writer ready.
bool Link::waitReady() {
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

// SendClock's wait, without a read limit: for a writer busy with a job, as long as the
// writer may be silent in a BusyWait; elsewhere (the WS probe) for the clock time-out, after
// which the writer is gone. A stop request ends the wait too.
bool Link::waitClock() {
  const auto deadline = port_.now() + options_.clockTimeout;
  for (std::uint32_t reads = 1;; ++reads) {
    ++accesses_;
    if (readStatus() & kStatusReady) return true;
    if (portFailed_) return false;
    if ((reads & 0x3FF) != 0) continue;
    if (halted()) return false;
    if (busy_ > 0 ? silentTooLong() : port_.now() >= deadline) {
      if (busy_ == 0) takeAsGone();
      return false;
    }
  }
}

bool Link::sendByte(std::uint8_t value) {
  if (!waitReady()) {
    handshakeTimedOut();
    note("time-out");
    return false;
  }
  writeData(value);
  ++accesses_;
  flipStrobe();
  if (portFailed_) {
    handshakeTimedOut();
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
  // the last byte outside such a wait has no job: it gets the ordinary limit, so a pulled
  // cable costs no more than a timed-out byte.
  const bool waitForJob = busy_ > 0 || !lastHandshakeTimedOut_;
  if (!(waitForJob ? waitClock() : waitReady())) {
    handshakeTimedOut();
    note(halted() ? "cancelled" : "time-out");
    return;
  }
  writeData(0x00);
  ++accesses_;
  flipStrobe();
  if (portFailed_) {
    handshakeTimedOut();
    return;
  }
  crossed();
  if (options_.trace) options_.trace->sent(0x00);
}

std::optional<std::uint8_t> Link::receiveByte() {
  const auto timedOut = [this] {
    handshakeTimedOut();
    note("time-out");
    return std::nullopt;
  };
  if (!waitReady()) return timedOut();
  const auto low = static_cast<std::uint8_t>((readStatus() >> kStatusNibbleShift) & 0x0F);
  ++accesses_;
  flipStrobe();
  if (!waitReady()) return timedOut();
  const auto high = static_cast<std::uint8_t>((readStatus() << 1) & 0xF0);
  ++accesses_;
  flipStrobe();
  if (portFailed_) {
    handshakeTimedOut();
    return std::nullopt;
  }
  crossed();
  const auto value = static_cast<std::uint8_t>(high | low);
  if (options_.trace) options_.trace->received(value);
  return value;
}

bool Link::halted() const {
  const bool traceLost = operations_ > 0 && options_.trace && options_.trace->failed();
  return (stopRequested() || traceLost) && closing_ == 0;
}

// `name` is the trace comment; SendClock has none.
bool Link::beginCommand(const char* name) {
  if (halted()) {
    if (name) note("cancelled");
    return false;
  }
  if (dropForGoneWriter()) return false;
  // A port that failed during the last command gets another chance; one that keeps
  // failing is said once.
  if (!portFailed_) lastPortError_.clear();
  portFailed_ = false;
  if (name) note(name);
  ++commandsStarted_;
  return true;
}

void Link::endCommand(std::uint64_t crossedBefore) {
  if (bytesCrossed_ != crossedBefore) {  // a byte went through: the count is back at 0
    lastCrossed_ = port_.now();
    return;
  }
  if (busy_ > 0) {
    if (silentTooLong()) takeAsGone();
    return;
  }
  if (++deadCommands_ >= kDeadCommandLimit) takeAsGone();
}

bool Link::sendFrame(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4) {
  static constexpr std::uint8_t kSync[] = {0x00, 0x00, 0xD5, 0xAA, 0x96};
  bool whole = true;
  for (std::uint8_t b : kSync) whole &= sendByte(b);
  const std::uint8_t header[] = {op, p1, p2, p3, p4};
  std::uint8_t check = kCheckSeed;
  for (std::uint8_t b : header) {
    whole &= sendByte(b);
    check ^= b;
  }
  whole &= sendByte(check);
  return whole;
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
  std::uint8_t value = 0;
  if (sendFrame(1, 0x80, 0x00, 0x01, 0x00) && receiveAnswer({&value, 1}, false)) {
    say("Device ...........OK ! \n");
    return 0;
  }
  say("Device ...........ERROR ! \n");
  return 1;
}

void Link::WriteByte(std::uint16_t address, std::uint8_t value) {
  const Command command(*this, "WriteByte");
  if (!command.started()) return;
  if (!sendFrame(0, lowByte(address), highByte(address), 0x01, 0x00)) return;
  sendByte(value);
  sendByte(static_cast<std::uint8_t>(value ^ kCheckSeed));
}

std::uint8_t Link::ReadByte(std::uint16_t address) {
  const Command command(*this, "ReadByte");
  if (!command.started()) return 0;
  std::uint8_t value = 0;
  if (sendFrame(1, lowByte(address), highByte(address), 0x01, 0x00) && receiveAnswer({&value, 1}, false)) return value;
  say("Checksum error !!! \n");
  return 0;
}

void Link::WriteBlock(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data) {
  const Command command(*this, "WriteBlock");
  if (!command.started()) return;
  const std::uint16_t count = blockCount(data.size());
  if (!sendFrame(op, lowByte(address), highByte(address), lowByte(count), highByte(count))) return;
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
  if (!sendFrame(1, lowByte(address), highByte(address), lowByte(count), highByte(count))) return 1;
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
  std::uint8_t status = 0;
  if (sendFrame(6, which, 0, 0, 0) && receiveAnswer({&status, 1}, false)) return status;
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
