// SPDX-License-Identifier: GPL-3.0-or-later
// The writer link: byte handshake over the parallel port and the framed command packets.
//
// Every packet starts 00 00 D5 AA 96, then opcode, P1..P4 and a header check byte
// (0x81 XOR opcode XOR P1..P4). Reads follow the header with one 0x00 byte and collect the
// answer plus its check byte; writes follow it with the data and a data check byte.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "link/port.h"
#include "link/trace.h"

namespace quillon::link {

inline constexpr int kPollLimit = 40000;  // status reads before a handshake gives up
inline constexpr std::uint8_t kCheckSeed = 0x81;
// Commands in a row in which not one byte crossed before the link, inside an operation, takes
// the writer as gone: no answering writer lets a whole command time out, let alone eight.
inline constexpr int kDeadCommandLimit = 8;

struct LinkOptions {
  // How long a SendClock outside a wait for the writer's job (the WS card probe and size
  // query) waits before the writer is taken as gone.
  std::chrono::milliseconds clockTimeout{5000};
  // Inside a wait for an erase or programming to finish (BusyWait), how long the writer may
  // let no byte through before it is taken as gone: a chip erasing may keep it from serving
  // the port for a while.
  std::chrono::milliseconds busySilence{30000};
  // Where the link's own diagnostics go ("Device ...........OK ! " and the like).
  std::ostream* diagnostics = nullptr;  // nullptr = standard output
  Trace* trace = nullptr;               // not owned; nullptr = no trace
};

class Link {
 public:
  explicit Link(Port& port, LinkOptions options = {});
  ~Link();  // says how often the last diagnostics line repeated, if it did
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // --- stop request -------------------------------------------------------------------
  // The stop flag of the operation under way (nullptr: none). Once it is set, no further
  // command is started and nothing more is sent but closing commands (ClosingCommands); the
  // command under way finishes.
  void setStopFlag(const std::atomic<bool>* flag) { stopFlag_ = flag; }
  const std::atomic<bool>* stopFlag() const { return stopFlag_; }
  bool stopRequested() const { return stopFlag_ && stopFlag_->load(std::memory_order_relaxed); }
  // Why the trace could not be written on; empty when it could, or there is none. Inside an
  // operation a failed trace halts the link as a stop does: what it sent next would go
  // unrecorded.
  std::string traceFailure() const { return options_.trace ? options_.trace->failure() : std::string(); }
  void flushTrace() {
    if (options_.trace) options_.trace->flush();
  }

  // Held across a sequence of commands that must not be interleaved with another thread's
  // (the link takes it itself around each single command; it is recursive).
  std::unique_lock<std::recursive_mutex> exclusive() { return std::unique_lock(mutex_); }

  // --- one operation ------------------------------------------------------------------
  // Marks the start and the end of a card operation (ops::StopOnLink does it; they nest, the
  // outermost pair counts). A writer that let kDeadCommandLimit commands in a row time out
  // during an operation is taken as gone until that operation ends: every further command
  // returns at once as a failed one, without touching the port, and DelayTicks does not wait.
  // Outside an operation (the main window's probes) every command tries the port.
  void beginOperation();
  void endOperation();

  // Closing commands: while one lives, commands are sent even after a stop request (they
  // switch off what the operation switched on: a cartridge's save memory, the programming
  // voltage). A writer taken as gone still gets none, and a byte of theirs that times out
  // does not count against the operation (lostContact).
  class ClosingCommands {
   public:
    explicit ClosingCommands(Link& link);
    ~ClosingCommands();
    ClosingCommands(const ClosingCommands&) = delete;
    ClosingCommands& operator=(const ClosingCommands&) = delete;

   private:
    Link& link_;
  };

  // A wait for an erase or programming to finish (the status polls after an erase command,
  // the BIOS ROM programming attempts, the clocks of a WS erase). While one lives, a command
  // in which no byte crossed is no dead command and no lost byte: the writer is taken as gone
  // only once no byte crossed for busySilence. SendClock waits as long.
  class BusyWait {
   public:
    explicit BusyWait(Link& link);
    ~BusyWait();
    BusyWait(const BusyWait&) = delete;
    BusyWait& operator=(const BusyWait&) = delete;

   private:
    Link& link_;
  };

  // True when, since the operation began, the writer was taken as gone or a byte timed out
  // outside a BusyWait and outside closing commands: what was sent or received then is not
  // known to be whole, so the operation cannot have succeeded.
  bool lostContact() const { return lostContact_; }

  // Watches one sequence (a probe) for lost contact of its own, inside an operation or
  // outside one: lost() says whether the writer was taken as gone or a byte timed out outside
  // a BusyWait since the watch began. Contact lost before it still counts for the operation.
  class ContactWatch {
   public:
    explicit ContactWatch(Link& link);
    ~ContactWatch();
    ContactWatch(const ContactWatch&) = delete;
    ContactWatch& operator=(const ContactWatch&) = delete;
    bool lost() const { return link_.lostContact_; }

   private:
    Link& link_;
    bool lostBefore_;
  };
  // Commands started so far: whether a command went out at all (a stop request or a gone
  // writer keeps one from being started).
  std::uint64_t commandsStarted() const { return commandsStarted_; }
  bool writerGone() const { return gone_; }

  // Diagnostics lines that repeat are said once and counted; this says the count now (the
  // end of an operation and the destructor do it too).
  void flushDiagnostics();

  // --- byte layer ---------------------------------------------------------------------
  void SendByte(std::uint8_t value);
  void SendClock();
  std::uint8_t ReceiveByte();

  // --- packet layer -------------------------------------------------------------------
  int CheckDevice();
  void WriteByte(std::uint16_t address, std::uint8_t value);
  std::uint8_t ReadByte(std::uint16_t address);
  void WriteBlock(std::uint8_t op, std::uint16_t address, std::span<const std::uint8_t> data);
  int ReadBlock(std::uint16_t address, std::span<std::uint8_t> buffer);
  void SetControl(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
  int QueryState3() { return queryState(3, "QueryState3"); }
  int QueryState6() { return queryState(6, "QueryState6"); }
  void SetBank(std::uint8_t value);
  void SetMode(std::uint8_t value);

  // Sends only the frame of a command (sync, opcode, parameters, header check). Callers that
  // collect an answer themselves (the WS identification and size queries) use this.
  // Returns false when the stop flag kept it from being sent.
  bool SendHeader(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4,
                  const char* name);

  // Busy wait between flash commands: count changes of the refresh-clock bit (~15 us each).
  // No wait once the writer is gone.
  void DelayTicks(std::uint32_t count);

  // The port's clock (a simulated writer may keep its own).
  std::chrono::steady_clock::time_point now() { return port_.now(); }

  // A comment line in the trace (no effect without a trace).
  void note(const char* text);

  // Port accesses made so far (for the benchmarks and tests).
  std::uint64_t portAccesses() const { return accesses_; }

 private:
  // One packet-layer command: holds the link's lock, starts the command (unless a stop or a
  // gone writer keeps it from being sent) and, at its end, counts it when no byte crossed.
  class Command {
   public:
    Command(Link& link, const char* name);
    ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;
    bool started() const { return started_; }

   private:
    std::lock_guard<std::recursive_mutex> lock_;
    Link& link_;
    bool started_;
    std::uint64_t crossedBefore_;
  };

  // Port register access; a port that throws is a writer that stopped answering.
  std::uint8_t readStatus();
  void writeData(std::uint8_t value);
  void writeControl(std::uint8_t value);
  void portFailed(const char* what);
  bool sendByte(std::uint8_t value);
  bool waitReady();
  bool waitClock();
  void handshakeTimedOut();
  void takeAsGone();
  bool silentTooLong();
  bool halted() const;  // a stop or a failed trace keeps every command but closing ones back
  std::optional<std::uint8_t> receiveByte();
  void flipStrobe();
  bool beginCommand(const char* name);
  void endCommand(std::uint64_t crossedBefore);
  bool dropForGoneWriter();         // true (and noted once in the trace) when the writer is gone
  void crossed();                   // one byte went through
  void say(std::string_view line);  // one diagnostics line, its "\n" included
  void sayRepeats();
  // Sends the frame; false when one of its bytes timed out. The writer then missed part of
  // the request and waits for the next sync bytes: the rest of the command (its data, the
  // answer prompt) is not sent and no answer is awaited.
  bool sendFrame(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4);
  // Sends the 0x00 byte, receives answer.size() bytes and the check byte.
  // Returns true when the check matched; stops early (false) on a time-out when dataPhase.
  bool receiveAnswer(std::span<std::uint8_t> answer, bool abandonOnTimeout);
  int queryState(std::uint8_t which, const char* name);
  std::ostream& diag();

  Port& port_;
  LinkOptions options_;
  std::recursive_mutex mutex_;
  const std::atomic<bool>* stopFlag_ = nullptr;
  // A port call that failed (a pulled adapter, a simulated writer that cannot save) makes
  // the rest of the command a writer that does not answer; the next command tries again.
  bool portFailed_ = false;
  std::string lastPortError_;  // said once on the diagnostics stream until a command goes well
  std::uint8_t control_ = 0;   // control register as read once at open; only bit 0 changes
  std::uint64_t accesses_ = 0;

  std::uint64_t bytesCrossed_ = 0;
  bool lastHandshakeTimedOut_ = false;  // the writer did not take or give the last byte
  int deadCommands_ = 0;                // commands in a row in which no byte crossed
  int operations_ = 0;                  // depth of beginOperation/endOperation
  bool gone_ = false;
  bool goneNoted_ = false;
  bool lostContact_ = false;
  std::uint64_t commandsStarted_ = 0;
  int closing_ = 0;                                      // depth of ClosingCommands
  int busy_ = 0;                                         // depth of BusyWait
  std::chrono::steady_clock::time_point lastCrossed_{};  // on the port's clock

  std::string lastLine_;       // the last diagnostics line said
  std::uint64_t repeats_ = 0;  // how often it came again since
};

}  // namespace quillon::link
