// SPDX-License-Identifier: GPL-3.0-or-later
// The link's receive path (link/link.h: ReadBlock, ReadByte, QueryState3/6, CheckDevice)
// against a port whose status register answers whatever the input says.
//
// Input:
//   byte 0  bits 0..2: the status once the input is used up: 0xFF, 0x80, 0xF8, 0xC0,
//           0x87, 0xB8 (ready, with several nibbles), a port that throws from then on (a
//           pulled adapter), or 0x00 (never ready again; each handshake then waits out the
//           whole poll limit, so this one is slow); bits 3..5: the command (ReadBlock,
//           ReadByte, QueryState3, QueryState6, CheckDevice, two ReadBlocks in a row,
//           ReadBlock, ReadBlock); bits 6..7 both set and byte 1 odd: a block of
//           0xFFFF..0x10001 bytes instead of a small one
//   byte 1-2  block size (0..299 when small)
//   byte 3-4  card address
//   the rest  one status register value per read, in order
//
// The port watches the register traffic independently of the link: a strobe change after
// a data write latches a sent byte; one without a data write acknowledges a nibble, the
// status bits 3..6 of the read just before it.
//
// What must hold:
//  - the link only ever sends the command's frame, in order, possibly with bytes missing
//    where the writer did not get ready: a subsequence of it;
//  - what the trace says was sent and received is what the port saw;
//  - status reads stay within the poll limits: at most kPollLimit + 1 per handshake of the
//    command (no hang, whatever the status says);
//  - ReadBlock gives 0 or 1; on 0 exactly min(size, 0xFFFF) answer bytes and the check byte
//    crossed, the buffer holds those answer bytes and the check byte matches them; either
//    way nothing outside the buffer's first min(size, 0xFFFF) bytes is written;
//  - ReadByte / QueryState: a result that is not the "no answer" value is the first byte
//    that crossed, with its check byte after it (or a check byte that never came, which
//    the link reads as 0, so the value is 0x81);
//  - CheckDevice gives 0 or 1, and says "OK" exactly for 0.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "fuzz_support.h"
#include "link/link.h"

using namespace quillon::link;

namespace {

constexpr std::uint8_t kControlAtOpen = 0xC4;
constexpr std::size_t kGuard = 32;
constexpr std::uint8_t kGuardByte = 0x5C;

class InputPort final : public Port {
 public:
  InputPort(std::span<const std::uint8_t> statuses, int after) : statuses_(statuses), after_(after) {}

  std::uint8_t readStatus() override {
    ++reads;
    if (next_ < statuses_.size()) {
      last_ = statuses_[next_++];
    } else if (after_ == 6) {
      throw std::runtime_error("the adapter is gone");
    } else {
      static constexpr std::uint8_t kAfter[] = {0xFF, 0x80, 0xF8, 0xC0, 0x87, 0xB8, 0x00, 0x00};
      last_ = kAfter[after_];
    }
    return last_;
  }
  void writeData(std::uint8_t value) override {
    data_ = value;
    dataPending_ = true;
  }
  std::uint8_t readControl() override { return control_; }
  void writeControl(std::uint8_t value) override {
    FUZZ_CHECK((value & ~kControlStrobe) == (kControlAtOpen & ~kControlStrobe));  // only the strobe moves
    const bool strobe = ((value ^ control_) & kControlStrobe) != 0;
    control_ = value;
    if (!strobe) return;
    if (dataPending_) {
      sent.push_back(data_);
    } else {
      nibbles.push_back(static_cast<std::uint8_t>((last_ >> 3) & 0x0F));
    }
    dataPending_ = false;
  }
  void delayTicks(std::uint32_t) override {}
  std::string describe() const override { return "fuzz input"; }

  // Whole bytes acknowledged, low nibble first.
  std::vector<std::uint8_t> received() const {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < nibbles.size(); i += 2) {
      bytes.push_back(static_cast<std::uint8_t>(nibbles[i] | nibbles[i + 1] << 4));
    }
    return bytes;
  }

  std::uint64_t reads = 0;
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> nibbles;

 private:
  std::span<const std::uint8_t> statuses_;
  int after_;
  std::size_t next_ = 0;
  std::uint8_t last_ = 0;
  std::uint8_t data_ = 0;
  bool dataPending_ = false;
  std::uint8_t control_ = kControlAtOpen;
};

class RecordingTrace final : public Trace {
 public:
  void comment(std::string_view) override {}
  void sent(std::uint8_t byte) override { sentBytes.push_back(byte); }
  void received(std::uint8_t byte) override { receivedBytes.push_back(byte); }
  std::vector<std::uint8_t> sentBytes, receivedBytes;
};

std::vector<std::uint8_t> Frame(std::uint8_t op, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4) {
  std::vector<std::uint8_t> f = {0x00, 0x00, 0xD5, 0xAA, 0x96, op, p1, p2, p3, p4};
  f.push_back(static_cast<std::uint8_t>(0x81 ^ op ^ p1 ^ p2 ^ p3 ^ p4));
  f.push_back(0x00);  // the byte that asks for the answer
  return f;
}

bool IsSubsequence(const std::vector<std::uint8_t>& part, std::span<const std::uint8_t> whole) {
  std::size_t j = 0;
  for (std::uint8_t b : part) {
    while (j < whole.size() && whole[j] != b) ++j;
    if (j == whole.size()) return false;
    ++j;
  }
  return true;
}

std::uint64_t ReadLimit(std::size_t answerBytes) {
  const std::uint64_t handshakes = 12 + 2 * (answerBytes + 1);
  return handshakes * (static_cast<std::uint64_t>(kPollLimit) + 1);
}

// A one-byte answer's result: `failed` when no good answer came.
void CheckOneByte(int result, int failed, const std::vector<std::uint8_t>& got) {
  FUZZ_CHECK(result >= 0 && result <= 0xFF);
  if (result == failed || result == 0) return;
  FUZZ_CHECK(!got.empty() && got[0] == result);
  const bool checked = got.size() >= 2 && got[1] == (result ^ 0x81);
  const bool checkNeverCame = got.size() == 1 && result == 0x81;
  FUZZ_CHECK(checked || checkNeverCame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return -1;
  const int after = data[0] & 7;
  const int command = (data[0] >> 3) & 7;
  const bool large = (data[0] & 0xC0) == 0xC0 && (data[1] & 1) != 0;
  const std::size_t blockSize = large ? 0xFFFF + data[2] % 3u : (std::size_t{data[1]} << 8 | data[2]) % 300;
  const auto address = static_cast<std::uint16_t>(data[3] | data[4] << 8);

  InputPort port(std::span(data + 5, size - 5), after);
  RecordingTrace trace;
  std::ostringstream diagnostics;
  LinkOptions options;
  options.diagnostics = &diagnostics;
  options.trace = &trace;
  Link link(port, options);

  const auto lo = static_cast<std::uint8_t>(address & 0xFF);
  const auto hi = static_cast<std::uint8_t>(address >> 8);
  std::vector<std::uint8_t> frames;
  std::uint64_t readLimit = 0;

  if (command == 0 || command >= 5) {
    const int blocks = command == 5 ? 2 : 1;
    for (int b = 0; b < blocks; ++b) {
      const std::size_t count = std::min<std::size_t>(blockSize, 0xFFFF);
      std::vector<std::uint8_t> buffer(kGuard + blockSize + kGuard, kGuardByte);
      const std::span<std::uint8_t> block(buffer.data() + kGuard, blockSize);
      const std::size_t nibblesBefore = port.nibbles.size();
      const std::size_t sentBefore = port.sent.size();

      const int result = link.ReadBlock(address, block);

      const auto frame =
          Frame(1, lo, hi, static_cast<std::uint8_t>(count & 0xFF), static_cast<std::uint8_t>(count >> 8));
      const std::vector<std::uint8_t> sentNow(port.sent.begin() + static_cast<std::ptrdiff_t>(sentBefore),
                                              port.sent.end());
      FUZZ_CHECK(IsSubsequence(sentNow, frame));
      frames.insert(frames.end(), frame.begin(), frame.end());
      readLimit += ReadLimit(count);

      FUZZ_CHECK(result == 0 || result == 1);
      for (std::size_t i = 0; i < kGuard; ++i) FUZZ_CHECK(buffer[i] == kGuardByte);
      for (std::size_t i = kGuard + count; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == kGuardByte);
      if (result == 0) {
        FUZZ_CHECK(port.nibbles.size() - nibblesBefore == 2 * (count + 1));
        std::uint8_t check = 0x81;
        for (std::size_t i = 0; i < count; ++i) {
          const auto byte = static_cast<std::uint8_t>(port.nibbles[nibblesBefore + 2 * i] |
                                                      port.nibbles[nibblesBefore + 2 * i + 1] << 4);
          FUZZ_CHECK(block[i] == byte);
          check ^= byte;
        }
        const auto received = static_cast<std::uint8_t>(port.nibbles[nibblesBefore + 2 * count] |
                                                        port.nibbles[nibblesBefore + 2 * count + 1] << 4);
        FUZZ_CHECK(received == check);
      }
      // The next block's answer starts on a whole byte, as the link takes it.
      if (b + 1 < blocks && port.nibbles.size() % 2) port.nibbles.push_back(0);
    }
  } else if (command == 1) {
    const std::uint8_t value = link.ReadByte(address);
    const auto frame = Frame(1, lo, hi, 1, 0);
    FUZZ_CHECK(IsSubsequence(port.sent, frame));
    frames = frame;
    readLimit = ReadLimit(1);
    CheckOneByte(value, 0, port.received());
  } else if (command == 2 || command == 3) {
    const std::uint8_t which = command == 2 ? 3 : 6;
    const int state = which == 3 ? link.QueryState3() : link.QueryState6();
    const auto frame = Frame(6, which, 0, 0, 0);
    FUZZ_CHECK(IsSubsequence(port.sent, frame));
    frames = frame;
    readLimit = ReadLimit(1);
    CheckOneByte(state, 1, port.received());
  } else {
    const int result = link.CheckDevice();
    const auto frame = Frame(1, 0x80, 0x00, 0x01, 0x00);
    FUZZ_CHECK(IsSubsequence(port.sent, frame));
    frames = frame;
    readLimit = ReadLimit(1);
    FUZZ_CHECK(result == 0 || result == 1);
    const bool ok = diagnostics.str().find("Device ...........OK") != std::string::npos;
    FUZZ_CHECK(ok == (result == 0));
  }

  FUZZ_CHECK(IsSubsequence(port.sent, frames));
  FUZZ_CHECK(trace.sentBytes == port.sent);
  if (command != 5) FUZZ_CHECK(trace.receivedBytes == port.received());
  FUZZ_CHECK(port.reads <= readLimit);
  return 0;
}
