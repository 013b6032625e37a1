// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <unistd.h>
#include <chrono>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "sim/folder_files.h"
#include "sim/folder_lock.h"
#include "sim/sim.h"
#include "sim/writer_ini.h"

namespace quillon::sim {

namespace fs = std::filesystem;

namespace {

// A writer whose card lives in a folder. Around every command it carries out it holds the
// folder's lock (taken for that command, or held since the port was claimed): first it takes
// over what another program changed, after it the changed bytes reach their files and the
// commands the card did not expect reach unexpected.txt.
class FolderWriter final : public link::Port {
 public:
  FolderWriter(const fs::path& dir, const SimPortOptions& options) : dir_(dir), options_(options) {
    writer_.setCommandLog(false);
    writer_.setDescription("sim:" + dir.string());
    switch (lock_.take(dir_, std::chrono::milliseconds(0), {}, FolderLock::Hold::Shared)) {
      case FolderLock::Outcome::Taken:
        thenRelease([this] { load(true); });
        break;
      case FolderLock::Outcome::Busy:
      case FolderLock::Outcome::Stopped:  // (this take does not wait)
        // Another program's operation is under way: the card comes in when this port first
        // has the writer (its claim or its first command waits for it).
        reloadNeeded_ = true;
        break;
      case FolderLock::Outcome::NoFolder:
        throw std::runtime_error(goneMessage());
    }
    writer_.setCommandHooks({[this] { return beginCommand(); }, [this] { endCommand(); }});
  }

  std::uint8_t readStatus() override {
    if (refused()) return 0;  // another program's writer for now: never ready
    // A silent writer takes no command, so it looks at the folder now and then by itself:
    // a fault list without `absent` or `drop-after` makes it answer again.
    if (!writer_.answering() && ++silentReads_ % kSilentCheckReads == 0) lookWhileSilent();
    return writer_.readStatus();
  }
  void writeData(std::uint8_t value) override { writer_.writeData(value); }
  std::uint8_t readControl() override { return writer_.readControl(); }
  void writeControl(std::uint8_t value) override { writer_.writeControl(value); }
  void delayTicks(std::uint32_t count) override { writer_.delayTicks(count); }
  std::chrono::steady_clock::time_point now() override { return writer_.now(); }
  std::string describe() const override { return writer_.describe(); }

  // The claim is writer.lock held from the outermost claim to its release; the commands in
  // between use it as it is.
  bool claim(std::string& why) override {
    if (claims_++ > 0) {
      if (!claimed_) why = refusal_;
      return claimed_;
    }
    try {
      switch (lock_.take(dir_, options_.claimWait, waitNotice(dir_, options_), FolderLock::Hold::Exclusive,
                         options_.stop)) {
        case FolderLock::Outcome::Taken:
          claimed_ = true;
          return true;
        case FolderLock::Outcome::Busy:
          refusal_ = busyMessage(dir_, options_.claimWait);
          break;
        case FolderLock::Outcome::Stopped:
          refusal_ = stoppedMessage(dir_);
          break;
        case FolderLock::Outcome::NoFolder:
          refusal_ = goneMessage();
          break;
      }
    } catch (const std::exception& e) {
      refusal_ = e.what();
    }
    why = refusal_;
    return false;
  }

  void release() override {
    if (claims_ == 0 || --claims_ > 0) return;
    if (claimed_) {
      lock_.release();
      claimed_ = false;
    } else {
      writer_.resetFrame();  // what it heard while it was not ours is not a command
    }
  }

 private:
  static constexpr std::uint64_t kSilentCheckReads = 1000;

  // A claim was asked for and could not be had: another program owns the writer.
  bool refused() const { return claims_ > 0 && !claimed_; }

  std::string goneMessage() const { return "the simulated writer folder " + dir_.string() + " went away"; }

  // Runs `work` with the lock taken and releases it afterwards, also when `work` throws.
  template <typename F>
  void thenRelease(F&& work) {
    try {
      work();
    } catch (...) {
      lock_.release();
      throw;
    }
    lock_.release();
  }

  // Loads writer.ini and the memories. The card in the slot keeps its chip state when the
  // folder still holds the same card (same insertion, same kind, chips and sizes).
  void load(bool newCard) {
    const WriterConfig config = readConfig(dir_);
    CardContents card = loadCard(dir_, config);
    bool same = !newCard && card.kind == writer_.cardKind() && card.biosChip == writer_.biosChip() &&
                card.flashChip == writer_.flashChip();
    for (std::size_t i = 0; same && i < kMemoryCount; ++i) {
      same = card.memory[i].size() == writer_.memory(static_cast<Memory>(i)).size();
    }
    if (same) {
      for (std::size_t i = 0; i < kMemoryCount; ++i) {
        std::copy(card.memory[i].begin(), card.memory[i].end(), writer_.memory(static_cast<Memory>(i)).begin());
      }
      writer_.faults() = config.faults;
    } else {
      writer_.insert(std::move(card), config.faults);
    }
    seen_ = lock_.stamp();
    reloadNeeded_ = false;
  }

  void catchUp() {
    const Stamp& now = lock_.stamp();
    if (reloadNeeded_ || !(now == seen_)) load(reloadNeeded_ || !now.sameCard(seen_));
  }

  // Each memory of the card in the slot still has its whole file.
  void requireMemoryFiles() const {
    for (std::size_t i = 0; i < kMemoryCount; ++i) {
      const std::size_t size = writer_.memory(static_cast<Memory>(i)).size();
      if (size != 0) requireMemoryFile(dir_ / memoryFileName(static_cast<Memory>(i)), -1, size);
    }
  }

  bool beginCommand() {
    if (refused()) return false;
    const bool ownLock = !claimed_;  // taken for this command alone
    if (ownLock && lock_.take(dir_, options_.lockWait) != FolderLock::Outcome::Taken) return false;
    try {
      catchUp();
      requireMemoryFiles();
    } catch (...) {
      reloadNeeded_ = true;
      if (ownLock) lock_.release();
      throw;
    }
    return true;
  }

  void endCommand() {
    try {
      const bool changed = writer_.hasChanges();
      if (changed) save();
      appendNotes();
      if (changed) {
        lock_.bump(false);
        seen_ = lock_.stamp();
      }
    } catch (...) {
      reloadNeeded_ = true;  // the files are what counts: take them back at the next command
      if (!claimed_) lock_.release();
      throw;
    }
    if (!claimed_) lock_.release();
  }

  void lookWhileSilent() {
    if (claimed_) {
      catchUp();
    } else {
      if (lock_.take(dir_, std::chrono::milliseconds(0), {}, FolderLock::Hold::Shared) != FolderLock::Outcome::Taken) {
        return;
      }
      thenRelease([this] { catchUp(); });
    }
    if (writer_.answering()) writer_.resetFrame();
  }

  void save() {
    for (const MemoryChange& change : writer_.takeChanges()) {
      const fs::path path = dir_ / memoryFileName(change.memory);
      const auto memory = writer_.memory(change.memory);
      const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);  // never made anew
      if (fd < 0 && errno != ENOENT) cannotWrite(path, errno);
      try {
        requireMemoryFile(path, fd, memory.size());
      } catch (...) {
        if (fd >= 0) ::close(fd);
        throw;
      }
      writeAll(fd, path, memory.subspan(change.offset, change.size), change.offset, false);
    }
  }

  void appendNotes() {
    const auto& notes = writer_.unexpected();
    if (notes.empty()) return;
    const fs::path path = dir_ / kUnexpectedFile;
    std::size_t lines = countNoteLines(path);
    std::string text;
    for (const std::string& note : notes) {
      if (lines < kMaxUnexpectedNotes) {
        text += note + '\n';
      } else if (lines == kMaxUnexpectedNotes) {
        text += std::string(kMoreNotes) + '\n';
      }
      ++lines;
    }
    writer_.clearUnexpected();
    if (text.empty()) return;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) cannotWrite(path, errno);
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    writeAll(fd, path, std::span(data, text.size()), 0, true);
  }

  SimWriter writer_;
  fs::path dir_;
  SimPortOptions options_;
  FolderLock lock_;
  Stamp seen_;
  bool reloadNeeded_ = false;
  std::uint64_t silentReads_ = 0;
  int claims_ = 0;        // claims not yet released
  bool claimed_ = false;  // the outermost claim holds writer.lock
  std::string refusal_;   // why the outermost claim could not be had
};

}  // namespace

std::unique_ptr<link::Port> openSimPort(const fs::path& dir, const SimPortOptions& options) {
  if (!fs::is_directory(dir)) {
    Faults silent;
    silent.absent = true;
    auto writer = std::make_unique<SimWriter>(noCard(), silent);
    writer->setDescription("sim:" + dir.string() + " (no such folder: the writer does not answer)");
    return writer;
  }
  return std::make_unique<FolderWriter>(dir, options);
}

}  // namespace quillon::sim
