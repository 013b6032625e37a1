// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_writer.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "sim/card_model.h"

namespace quillon::sim {

namespace {

constexpr std::array<std::uint8_t, 5> kSync = {0x00, 0x00, 0xD5, 0xAA, 0x96};
constexpr std::uint8_t kCheckSeed = 0x81;

constexpr std::uint8_t kOpWrite = 0;
constexpr std::uint8_t kOpRead = 1;
constexpr std::uint8_t kOpSetMode = 5;
constexpr std::uint8_t kOpControl = 6;

bool isWriteType(std::uint8_t op) {
  switch (op) {
    case kOpWrite:
    case 7:
    case 8:
    case 10:
    case 11:
    case 16:
    case 19:
      return true;
    default:
      return false;
  }
}

// Control sub-functions that answer after the PC's 0x00 byte.
bool isAnsweringControl(std::uint8_t sub) { return sub == 3 || sub == 5 || sub == 6 || sub == 7; }

std::unique_ptr<CardModel> makeCard(Device& device) {
  switch (device.card.kind) {
    case CardKind::None:
      return makeEmptySlot(device);
    case CardKind::GbFlash:
      return makeGbFlashCard(device);
    case CardKind::GbCart:
      return makeGbCartridge(device);
    case CardKind::WsFlash:
      return makeWsFlashCard(device);
  }
  return makeEmptySlot(device);
}

}  // namespace

std::string commandName(const CommandRecord& c) {
  switch (c.op) {
    case kOpWrite:
      return c.count() == 1 ? "WriteByte" : "WriteBlock";
    case kOpRead:
      return c.address() == 0x0080 && c.count() == 1 ? "CheckDevice" : "ReadBlock";
    case kOpSetMode:
      return "SetMode";
    case kOpControl:
      switch (c.p1) {
        case 0:
          return c.p3 == 0 && c.p4 == 0 ? "SetBank" : "SetControl";
        case 3:
          return "QueryState3";
        case 5:
          return "WS identification";
        case 6:
          return "QueryState6";
        case 7:
          return "WS size query";
        default:
          return "SetControl";
      }
    default:
      return isWriteType(c.op) ? "WriteBlock" : "opcode " + std::to_string(c.op);
  }
}

namespace {

constexpr int kFlippedBits = 4;  // per read the dirty contact alters

// A well-mixed number made from `x` (a step of splitmix64): where the contact flips a bit.
std::uint64_t mixed(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

}  // namespace

void Device::dirtyContact(std::size_t unit, std::span<std::uint8_t> out) {
  if (!faults.flakyBank || static_cast<std::size_t>(*faults.flakyBank) != unit || out.empty()) return;
  ++flakyReadsSeen;
  if (faults.flakyReads && flakyReadsSeen > *faults.flakyReads) return;
  for (int i = 0; i < kFlippedBits; ++i) {
    const std::uint64_t r = mixed(flakyReadsSeen * kFlippedBits + static_cast<std::uint64_t>(i));
    out[r % out.size()] ^= static_cast<std::uint8_t>(1u << ((r >> 32) % 8));
  }
}

void Device::noteUnexpected(std::string_view reason) {
  if (notes.size() > kMaxUnexpectedNotes) return;
  if (notes.size() == kMaxUnexpectedNotes) {
    notes.emplace_back(kMoreNotes);
    return;
  }
  char bytes[16];
  std::snprintf(bytes, sizeof bytes, "%02X %02X %02X %02X %02X", current.op, current.p1, current.p2, current.p3,
                current.p4);
  notes.push_back(commandName(current) + " (" + bytes + "): " + std::string(reason));
}

void Device::changed(Memory m, std::size_t offset, std::size_t size) {
  if (size == 0) return;
  anyDirty = true;
  Range& r = dirty[static_cast<std::size_t>(m)];
  if (r.begin == r.end) {
    r = {offset, offset + size};
  } else {
    r.begin = std::min(r.begin, offset);
    r.end = std::max(r.end, offset + size);
  }
}

SimWriter::SimWriter(CardContents card, Faults faults) : device_(std::make_unique<Device>()) {
  device_->card = std::move(card);
  device_->faults = faults;
  card_ = makeCard(*device_);
  payload_.reserve(0x10000);
  answer_.reserve(0x10001);
}

// A signal not yet given comes when the program lets the writer go: after its last command
// (and its result), as a Ctrl-C that comes too late to stop anything.
SimWriter::~SimWriter() {
  const Faults& faults = device_->faults;
  if (faults.signalAfter && carriedOut_ < *faults.signalAfter) std::raise(faults.signal);
}

CardKind SimWriter::cardKind() const { return device_->card.kind; }
ChipId SimWriter::biosChip() const { return device_->card.biosChip; }
ChipId SimWriter::flashChip() const { return device_->card.flashChip; }
std::span<std::uint8_t> SimWriter::memory(Memory m) { return device_->mem(m); }
std::span<const std::uint8_t> SimWriter::memory(Memory m) const { return device_->card[m]; }
Faults& SimWriter::faults() { return device_->faults; }
const Faults& SimWriter::faults() const { return device_->faults; }
const std::vector<std::string>& SimWriter::unexpected() const { return device_->notes; }
void SimWriter::clearUnexpected() { device_->notes.clear(); }

void SimWriter::insert(CardContents card, Faults faults) {
  auto device = std::make_unique<Device>();
  device->card = std::move(card);
  device->faults = faults;
  device->notes = std::move(device_->notes);
  device->statusPolls = device_->statusPolls;
  device->ticks = device_->ticks;
  card_ = makeCard(*device);  // the old model goes first: it refers to the old device
  device_ = std::move(device);
}
std::uint64_t SimWriter::statusPolls() const { return device_->statusPolls; }
void SimWriter::delayTicks(std::uint32_t count) { device_->ticks += count; }
std::uint64_t SimWriter::ticks() const { return device_->ticks; }
bool SimWriter::answering() const {
  const Faults& f = device_->faults;
  return !f.absent && !(f.dropAfter && crossed_ >= *f.dropAfter);
}

bool SimWriter::hasChanges() const { return device_->anyDirty; }

std::vector<MemoryChange> SimWriter::takeChanges() {
  std::vector<MemoryChange> changes;
  for (std::size_t i = 0; i < kMemoryCount; ++i) {
    Device::Range& r = device_->dirty[i];
    if (r.begin != r.end) changes.push_back({static_cast<Memory>(i), r.begin, r.end - r.begin});
    r = {};
  }
  device_->anyDirty = false;
  return changes;
}

void SimWriter::resetFrame() {
  phase_ = Phase::Hunt;
  syncMatched_ = 0;
  highNibble_ = false;
  answerPos_ = 0;
}

// --- registers ----------------------------------------------------------------------------

std::chrono::steady_clock::time_point SimWriter::now() {
  const std::uint32_t perAccess = device_->faults.accessUs;
  if (perAccess == 0) return std::chrono::steady_clock::now();
  const auto micros =
      static_cast<double>(accesses_) * perAccess + static_cast<double>(device_->ticks) * link::kTickMicroseconds;
  return started_ + std::chrono::microseconds(static_cast<std::int64_t>(micros));
}

std::uint8_t SimWriter::readStatus() {
  ++statusReads_;
  ++accesses_;
  if (!answering()) return 0x00;
  if (deafUntil_) {
    if (now() < *deafUntil_) return 0x00;
    deafUntil_.reset();
  }
  if (device_->holdReads > 0) {  // still busy with the last job
    --device_->holdReads;
    return 0x00;
  }
  if (phase_ != Phase::Answer) return link::kStatusReady;
  const std::uint8_t byte = answer_[answerPos_];
  const std::uint8_t nibble =
      highNibble_ ? static_cast<std::uint8_t>(byte >> 4) : static_cast<std::uint8_t>(byte & 0x0F);
  return static_cast<std::uint8_t>(link::kStatusReady | nibble << link::kStatusNibbleShift);
}

void SimWriter::writeData(std::uint8_t value) {
  ++accesses_;
  std::optional<std::uint64_t>& failAt = device_->faults.portFailAt;
  if (failAt && crossed_ >= *failAt) {
    failAt.reset();
    throw std::runtime_error("the port failed");
  }
  data_ = value;
}

void SimWriter::writeControl(std::uint8_t value) {
  ++accesses_;
  const bool strobeChanged = ((value ^ control_) & link::kControlStrobe) != 0;
  control_ = value;
  if (!strobeChanged || !answering()) return;
  if (phase_ == Phase::Answer) {
    onAcknowledge();
  } else {
    onByte(data_);
  }
}

void SimWriter::countCrossed() {
  ++crossed_;
  const std::uint32_t delay = device_->faults.byteDelay;
  if (delay == 0) return;
  // A sleep of a few microseconds lasts fifty or more: short delays are waited out on the clock,
  // so that the port is as slow as asked and no slower.
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(delay);
  if (delay >= 1000) {
    std::this_thread::sleep_until(until);
    return;
  }
  while (std::chrono::steady_clock::now() < until) {
  }
}

// --- frames -------------------------------------------------------------------------------

void SimWriter::onByte(std::uint8_t byte) {
  switch (phase_) {
    case Phase::Hunt:
      if (byte == kSync[static_cast<std::size_t>(syncMatched_)]) {
        if (++syncMatched_ == static_cast<int>(kSync.size())) {
          syncMatched_ = 0;
          headerFill_ = 0;
          phase_ = Phase::Header;
        }
      } else if (byte == 0x00) {
        // "00 00 00" still holds the first two sync bytes; after a partly matched
        // D5 or AA, the new 0x00 can only be the first.
        syncMatched_ = syncMatched_ == 2 ? 2 : 1;
      } else {
        syncMatched_ = 0;
      }
      break;
    case Phase::Header:
      header_[headerFill_++] = byte;
      if (headerFill_ == header_.size()) onHeader();
      break;
    case Phase::Data:
      if (payload_.size() < payloadWanted_) {
        payload_.push_back(byte);
        payloadCheck_ ^= byte;
      } else {
        phase_ = Phase::Hunt;
        if (byte == payloadCheck_) {
          carryOut(Action::Write);
        } else {
          ++ignored_;
        }
      }
      break;
    case Phase::Prefix:
      phase_ = Phase::Hunt;
      prefix_ = byte;
      carryOut(Action::Answer);
      break;
    case Phase::Answer:
      break;  // not reached: strobes while answering acknowledge nibbles
  }
  countCrossed();
}

void SimWriter::onHeader() {
  const std::uint8_t op = header_[0];
  std::uint8_t check = kCheckSeed;
  for (std::size_t i = 0; i < 5; ++i) check ^= header_[i];
  phase_ = Phase::Hunt;
  if (check != header_[5]) {
    ++ignored_;
    return;
  }
  if (op == kOpRead || (op == kOpControl && isAnsweringControl(header_[1]))) {
    phase_ = Phase::Prefix;  // the PC sends one byte before it collects the answer
  } else if (op == kOpControl) {
    carryOut(Action::Control);
  } else if (op == kOpSetMode) {
    carryOut(Action::SetMode);
  } else if (isWriteType(op)) {
    payload_.clear();
    payloadWanted_ = static_cast<std::size_t>(header_[3] | header_[4] << 8);
    payloadCheck_ = kCheckSeed;
    phase_ = Phase::Data;
  } else {
    ++ignored_;  // not a command this firmware knows
    device_->current = current();
    device_->noteUnexpected("not a command of this writer");
  }
}

CommandRecord SimWriter::current() const { return {header_[0], header_[1], header_[2], header_[3], header_[4]}; }

void SimWriter::carryOut(Action action) {
  if (hooks_.before && !hooks_.before()) {
    device_->holdReads = kUnansweredHoldReads;
    return;
  }
  // (the hook may have put another card in: nothing of the device is held across it)
  CommandRecord command = current();
  if (action == Action::Write && !payload_.empty()) command.value = payload_.front();
  device_->current = command;
  if (logOn_) log_.push_back(command);
  card_->received(command);
  if (action == Action::Answer && prefix_ != 0x00) {
    char text[64];
    std::snprintf(text, sizeof text, "the byte before the answer is 0x%02X, not 0x00", prefix_);
    device_->noteUnexpected(text);
  }
  switch (action) {
    case Action::Control:
      card_->control(command.p1, command.p2, command.p3, command.p4);
      break;
    case Action::SetMode:
      card_->setMode(command.p1);
      break;
    case Action::Write:
      carryOutWrite();
      break;
    case Action::Answer:
      prepareAnswer();
      break;
  }
  if (hooks_.after) hooks_.after();
  ++carriedOut_;
  const Faults& faults = device_->faults;
  if (device_->eraseStarted) {
    device_->eraseStarted = false;
    if (faults.deafEraseMs != 0) deafUntil_ = now() + std::chrono::milliseconds(faults.deafEraseMs);
  }
  if (faults.signalAfter && carriedOut_ == *faults.signalAfter) std::raise(faults.signal);
}

void SimWriter::carryOutWrite() {
  const auto address = static_cast<std::uint16_t>(header_[1] | header_[2] << 8);
  card_->write(header_[0], address, payload_);
}

void SimWriter::prepareAnswer() {
  answer_.clear();
  const std::uint8_t op = header_[0];
  bool corruptCheck = false;
  if (op == kOpRead) {
    const auto address = static_cast<std::uint16_t>(header_[1] | header_[2] << 8);
    answer_.resize(static_cast<std::size_t>(header_[3] | header_[4] << 8));
    device_->corruptAnswer = false;
    card_->read(address, answer_);
    corruptCheck = device_->corruptAnswer;
  } else {
    switch (header_[1]) {
      case 3:
      case 6:
        answer_.push_back(device_->queryState());
        break;
      case 5: {
        const auto id = card_->wsIdentification();
        answer_.assign(id.begin(), id.end());
        break;
      }
      default:  // 7
        answer_.push_back(card_->wsSizeCode());
        corruptCheck = device_->faults.wsSizeBadCheck;
        break;
    }
  }
  std::uint8_t check = kCheckSeed;
  for (std::uint8_t b : answer_) check ^= b;
  ++answers_;
  if (device_->faults.badCheck && answers_ == *device_->faults.badCheck) corruptCheck = true;
  if (corruptCheck) check = static_cast<std::uint8_t>(~check);
  answer_.push_back(check);
  answerPos_ = 0;
  highNibble_ = false;
  phase_ = Phase::Answer;
}

void SimWriter::onAcknowledge() {
  if (!highNibble_) {
    highNibble_ = true;
    return;
  }
  highNibble_ = false;
  if (++answerPos_ == answer_.size()) phase_ = Phase::Hunt;
  countCrossed();
}

}  // namespace quillon::sim
