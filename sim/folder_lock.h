// SPDX-License-Identifier: GPL-3.0-or-later
// writer.lock of a simulated writer's folder: one program at a time changes the folder, and
// every program can tell whether another changed it since it last looked.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "sim/sim.h"

namespace quillon::sim {

// Stamp of a writer folder kept in writer.lock: `changes` goes up with every change of the
// folder, `card` with every inserted card; `device` and `inode` tell a lock file made anew
// (the folder was removed and made again), which is a new card as well.
struct Stamp {
  std::uint64_t changes = 0;
  std::uint64_t card = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool sameCard(const Stamp& other) const {
    return card == other.card && device == other.device && inode == other.inode;
  }
  bool operator==(const Stamp&) const = default;
};

// When another program holds the writer for longer than a claim or a change may wait.
std::string busyMessage(const std::filesystem::path& dir, std::chrono::milliseconds wait);

// When a stop request ended the wait for another program's hold.
std::string stoppedMessage(const std::filesystem::path& dir);

// Says once on `notices` that a claim or a change waits for another program.
std::function<void()> waitNotice(const std::filesystem::path& dir, const SimPortOptions& options);

// Holding writer.lock (flock) is the right to read the folder's files as one consistent
// writer; holding it exclusive, the right to change them too. Only a claim or a change holds it
// exclusive for long: reading alone (opening a port, sim show) takes it shared.
class FolderLock {
 public:
  enum class Outcome { Taken, Busy, NoFolder, Stopped };
  enum class Hold { Exclusive, Shared };

  FolderLock() = default;
  ~FolderLock() { release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of `dir`, making the lock file when needed and waiting at most `wait` for
  // another holder; `waiting`, when given, is called once before it waits. A folder nobody
  // may write and that has no lock file is taken without one: nothing can change it. Throws
  // std::runtime_error when the lock file cannot be used.
  Outcome take(const std::filesystem::path& dir, std::chrono::milliseconds wait,
               const std::function<void()>& waiting = {}, Hold hold = Hold::Exclusive,
               const std::atomic<bool>* stop = nullptr);

  // Takes the lock for a change made by quillon-cli sim ...; throws when it cannot.
  void takeForChange(const std::filesystem::path& dir, const SimPortOptions& options);

  const Stamp& stamp() const { return stamp_; }

  // Records a change of the folder (and an inserted card when `newCard`).
  void bump(bool newCard);

  void release();

 private:
  void readStamp(const struct stat& file);

  std::filesystem::path path_;
  int fd_ = -1;
  bool writable_ = false;
  bool shared_ = false;
  Stamp stamp_;
};

}  // namespace quillon::sim
