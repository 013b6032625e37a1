#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <functional>
#include <limits>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "sim/card_model.h"
#include "sim/sim.h"

namespace quillon::sim {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, kMemoryCount> kFileNames = {
    "gb-bios.bin", "gb-flash.bin", "gb-sram.bin", "gb-cart.gb", "gb-cart.sav", "ws-flash.bin", "ws-sram.bin"};

struct WriterConfig {
  CardKind kind = CardKind::None;
  int biosChip = kDefaultBiosChip;
  int flashChip = kDefaultFlashChip;
  Faults faults;
};

const char* kindName(CardKind kind) {
  switch (kind) {
    case CardKind::None:
      return "none";
    case CardKind::GbFlash:
      return "gb-flash";
    case CardKind::GbCart:
      return "gb-cart";
    case CardKind::WsFlash:
      return "ws-flash";
  }
  return "none";
}

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string errorText(int error) { return std::error_code(error, std::generic_category()).message(); }

int lastRow() { return kLastChipRow; }

int parseRow(const std::string& key, const std::string& text) {
  int value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < 0 || value > lastRow()) {
    throw std::runtime_error("bad " + key + " " + quotedText(text) + ": expected a chip table row 0 to " +
                             std::to_string(lastRow()));
  }
  return value;
}

WriterConfig readConfig(const fs::path& dir) {
  WriterConfig config;
  const fs::path path = dir / kWriterIni;
  std::error_code error;
  if (!fs::exists(path, error)) return config;  // a folder without writer.ini: a writer with an empty slot
  std::ifstream in(path);
  if (!in || fs::is_directory(path, error)) throw std::runtime_error("cannot read " + path.string());
  std::string line;
  std::string section;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    try {
      if (line.front() == '[' && line.back() == ']') {
        section = line.substr(1, line.size() - 2);
        if (section != "card" && section != "faults") {
          throw std::runtime_error("unknown section " + quotedText("[" + section + "]") + ": expected [card] or [faults]");
        }
      } else if (section == "faults") {
        armFault(config.faults, line);
      } else if (section == "card") {
        const auto eq = line.find('=');
        const std::string key = trim(line.substr(0, eq));
        const std::string value = eq == std::string::npos ? std::string() : trim(line.substr(eq + 1));
        if (key == "kind") {
          bool known = false;
          for (CardKind kind : {CardKind::None, CardKind::GbFlash, CardKind::GbCart, CardKind::WsFlash}) {
            if (value == kindName(kind)) config.kind = kind, known = true;
          }
          if (!known) {
            throw std::runtime_error("unknown card kind " + quotedText(value) + ": expected none, gb-flash, gb-cart or ws-flash");
          }
        } else if (key == "bios-chip" || key == "flash-chip") {
          (key == "bios-chip" ? config.biosChip : config.flashChip) = parseRow(key, value);
        } else {
          throw std::runtime_error("unknown key " + quotedText(key) + " in [card]: expected kind, bios-chip or flash-chip");
        }
      } else {
        throw std::runtime_error(quotedText(line) + " is outside a [card] or [faults] section");
      }
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(path.string() + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  return config;
}

void writeConfig(const fs::path& dir, const WriterConfig& config) {
  const fs::path path = dir / kWriterIni;
  const fs::path temp = dir / (std::string(kWriterIni) + ".new");
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "# Simulated cartridge writer; the card's memories are the raw files beside this one.\n"
        << "[card]\nkind=" << kindName(config.kind) << '\n';
    if (config.kind == CardKind::GbFlash) {
      out << "bios-chip=" << config.biosChip << "\nflash-chip=" << config.flashChip << '\n';
    }
    out << "\n[faults]\n";
    for (const std::string& fault : faultList(config.faults)) out << fault << '\n';
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temp.string());
  }
  std::error_code error;
  fs::rename(temp, path, error);
  if (error) throw std::runtime_error("cannot write " + path.string() + ": " + error.message());
}

// A whole file of at most `limit` bytes.
std::vector<std::uint8_t> readWholeFile(const fs::path& path, const char* what, std::uintmax_t limit) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    throw std::runtime_error("cannot open " + std::string(what) + " " + path.string() +
                             (fs::exists(path, error) ? ": not a plain file" : ": no such file"));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + std::string(what) + " " + path.string());
  const auto size = fs::file_size(path, error);
  if (!error && size > limit) {
    throw std::runtime_error(std::string(what) + " " + path.string() + " holds " + std::to_string(size) +
                             " bytes; at most " + std::to_string(limit) + " are allowed");
  }
  std::vector<std::uint8_t> bytes(error ? 0 : static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (error || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
    throw std::runtime_error("cannot read " + std::string(what) + " " + path.string());
  }
  return bytes;
}

void writeWholeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

constexpr std::uintmax_t kMaxCartRom = 0x800000;

std::vector<Memory> memoriesOf(const CardContents& card) {
  switch (card.kind) {
    case CardKind::None:
      return {};
    case CardKind::GbFlash:
      return {Memory::GbBios, Memory::GbFlash, Memory::GbSram};
    case CardKind::GbCart:
      if (card[Memory::CartSav].empty()) return {Memory::CartRom};
      return {Memory::CartRom, Memory::CartSav};
    case CardKind::WsFlash:
      return {Memory::WsFlash, Memory::WsSram};
  }
  return {};
}

std::vector<std::uint8_t> loadMemory(const fs::path& dir, Memory m, std::size_t size) {
  const fs::path path = dir / memoryFileName(m);
  if (!fs::exists(path)) {
    throw std::runtime_error(path.string() + " is missing; insert the card again (quillon-cli sim insert " +
                             dir.string() + " ...)");
  }
  auto bytes = readWholeFile(path, "card memory", size);
  if (bytes.size() != size) {
    throw std::runtime_error(path.string() + " holds " + std::to_string(bytes.size()) + " bytes; it must hold " +
                             std::to_string(size));
  }
  return bytes;
}

CardContents loadCard(const fs::path& dir, const WriterConfig& config) {
  switch (config.kind) {
    case CardKind::None:
      return noCard();
    case CardKind::GbFlash: {
      CardContents card = emptyGbFlashCard(config.biosChip, config.flashChip);
      for (Memory m : memoriesOf(card)) card[m] = loadMemory(dir, m, card[m].size());
      return card;
    }
    case CardKind::GbCart: {
      const fs::path romPath = dir / memoryFileName(Memory::CartRom);
      auto rom = readWholeFile(romPath, "cartridge image", kMaxCartRom);
      CardContents card;
      try {
        card = gbCartridge(std::move(rom));
      } catch (const std::runtime_error& e) {
        throw std::runtime_error(romPath.string() + ": " + e.what());
      }
      auto& ram = card[Memory::CartSav];
      if (!ram.empty()) ram = loadMemory(dir, Memory::CartSav, ram.size());
      return card;
    }
    case CardKind::WsFlash: {
      CardContents card = emptyWsFlashCard();
      for (Memory m : memoriesOf(card)) card[m] = loadMemory(dir, m, card[m].size());
      return card;
    }
  }
  return noCard();
}

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

constexpr auto kLockRetry = std::chrono::milliseconds(5);

std::string waitText(std::chrono::milliseconds wait) {
  if (wait.count() >= 1000 && wait.count() % 1000 == 0) return std::to_string(wait.count() / 1000) + " s";
  return std::to_string(wait.count()) + " ms";
}

// When another program holds the writer for longer than a claim or a change may wait.
std::string busyMessage(const fs::path& dir, std::chrono::milliseconds wait) {
  return "the simulated writer in " + dir.string() + " is in use by another program: it was not free within " +
         waitText(wait) + " (" + (dir / kWriterLock).string() +
         " is held); try again when that program's operation has ended";
}

std::string stoppedMessage(const fs::path& dir) {
  return "stopped while waiting for the simulated writer in " + dir.string() + ", which another program is using";
}

// Says once on `notices` that a claim or a change waits for another program.
std::function<void()> waitNotice(const fs::path& dir, const SimPortOptions& options) {
  if (options.notices == nullptr) return {};
  return [notices = options.notices, text = "the simulated writer in " + dir.string() +
                                            " is in use by another program; waiting for it (at most " +
                                            waitText(options.claimWait) + ")"] { *notices << text << '\n' << std::flush; };
}

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
  Outcome take(const fs::path& dir, std::chrono::milliseconds wait, const std::function<void()>& waiting = {},
               Hold hold = Hold::Exclusive, const std::atomic<bool>* stop = nullptr) {
    release();
    shared_ = hold == Hold::Shared;
    path_ = dir / kWriterLock;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool told = false;
    for (;;) {
      writable_ = true;
      int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable_ = false;
        fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
      }
      if (fd < 0) {
        const int error = errno;
        std::error_code ignored;
        if (!fs::is_directory(dir, ignored)) return Outcome::NoFolder;
        if (error == ENOENT && !writable_) {  // read-only folder without a lock file
          stamp_ = {};
          return Outcome::Taken;
        }
        throw std::runtime_error("the simulated writer cannot open " + path_.string() + ": " + errorText(error));
      }
      while (::flock(fd, (shared_ ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
          const int error = errno;
          ::close(fd);
          throw std::runtime_error("the simulated writer cannot lock " + path_.string() + ": " + errorText(error));
        }
        if (stop && stop->load()) {
          ::close(fd);
          return Outcome::Stopped;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
          ::close(fd);
          return Outcome::Busy;
        }
        if (waiting && !told) {
          told = true;
          waiting();
        }
        std::this_thread::sleep_for(kLockRetry);
      }
      struct stat opened {};
      struct stat named {};
      if (::fstat(fd, &opened) == 0 && ::stat(path_.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
          opened.st_ino == named.st_ino) {
        fd_ = fd;
        readStamp(opened);
        return Outcome::Taken;
      }
      ::close(fd);  // the lock file was removed or replaced while we waited: take the one named now
      std::error_code ignored;
      if (!fs::is_directory(dir, ignored)) return Outcome::NoFolder;
      if (std::chrono::steady_clock::now() >= deadline) return Outcome::Busy;
    }
  }

  // Takes the lock for a change made by quillon-cli sim ...; throws when it cannot.
  void takeForChange(const fs::path& dir, const SimPortOptions& options) {
    switch (take(dir, options.claimWait, waitNotice(dir, options), Hold::Exclusive, options.stop)) {
      case Outcome::Taken:
        return;
      case Outcome::Stopped:
        throw std::runtime_error(stoppedMessage(dir));
      case Outcome::Busy:
      case Outcome::NoFolder:
        throw std::runtime_error(busyMessage(dir, options.claimWait));
    }
  }

  const Stamp& stamp() const { return stamp_; }

  // Records a change of the folder (and an inserted card when `newCard`).
  void bump(bool newCard) {
    if (fd_ < 0 || !writable_ || shared_) {
      throw std::runtime_error("the simulated writer cannot write " + path_.string() + ": the folder is read-only");
    }
    Stamp next = stamp_;
    ++next.changes;
    if (newCard) ++next.card;
    const std::string text = "changes=" + std::to_string(next.changes) + "\ncard=" + std::to_string(next.card) + "\n";
    if (::ftruncate(fd_, 0) != 0 ||
        ::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
      throw std::runtime_error("the simulated writer cannot write " + path_.string() + ": " + errorText(errno));
    }
    stamp_ = next;
  }

  void release() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the flock
    fd_ = -1;
  }

 private:
  void readStamp(const struct stat& file) {
    stamp_ = {};
    stamp_.device = static_cast<std::uint64_t>(file.st_dev);
    stamp_.inode = static_cast<std::uint64_t>(file.st_ino);
    std::array<char, 128> buffer{};
    const ssize_t got = ::pread(fd_, buffer.data(), buffer.size(), 0);
    if (got <= 0) return;
    std::istringstream in(std::string(buffer.data(), static_cast<std::size_t>(got)));
    std::string line;
    while (std::getline(in, line)) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::uint64_t value = 0;
      const std::string text = line.substr(eq + 1);
      std::from_chars(text.data(), text.data() + text.size(), value);
      if (line.compare(0, eq, "changes") == 0) stamp_.changes = value;
      if (line.compare(0, eq, "card") == 0) stamp_.card = value;
    }
  }

  fs::path path_;
  int fd_ = -1;
  bool writable_ = false;
  bool shared_ = false;
  Stamp stamp_;
};

// Lines of a notes file, counted up to one past the limit.
std::size_t countNoteLines(const fs::path& path) {
  std::ifstream in(path);
  std::size_t lines = 0;
  std::string line;
  while (lines <= kMaxUnexpectedNotes && std::getline(in, line)) ++lines;
  return lines;
}

[[noreturn]] void cannotWrite(const fs::path& path, int error) {
  throw std::runtime_error("the simulated writer cannot write " + path.string() + ": " + errorText(error));
}

// A memory file must hold the whole memory while a port uses it. One that was removed or cut
// short behind the writer's back is an error, never made again: that would hand the next
// reader a blank or short card.
void requireMemoryFile(const fs::path& path, int fd, std::size_t size) {
  struct stat file {};
  if ((fd >= 0 ? ::fstat(fd, &file) : ::stat(path.c_str(), &file)) != 0) {
    if (errno != ENOENT) cannotWrite(path, errno);
    throw std::runtime_error("the simulated writer's memory file " + path.string() +
                             " was removed while the writer was in use; insert the card again");
  }
  if (!S_ISREG(file.st_mode)) {
    throw std::runtime_error("the simulated writer's memory file " + path.string() +
                             " is no longer a plain file; insert the card again");
  }
  if (static_cast<std::uintmax_t>(file.st_size) != size) {
    throw std::runtime_error("the simulated writer's memory file " + path.string() + " was changed to " +
                             std::to_string(file.st_size) + " bytes while the writer was in use; it must hold " +
                             std::to_string(size) + "; insert the card again");
  }
}

// Writes `bytes` to the open file at `offset`, or at its end when `append`.
void writeAll(int fd, const fs::path& path, std::span<const std::uint8_t> bytes, std::size_t offset, bool append) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = append ? ::write(fd, bytes.data() + done, bytes.size() - done)
                             : ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                        static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      ::close(fd);
      cannotWrite(path, error);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) cannotWrite(path, errno);
}

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
      if (size != 0) requireMemoryFile(dir_ / kFileNames[i], -1, size);
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
  int claims_ = 0;         // claims not yet released
  bool claimed_ = false;   // the outermost claim holds writer.lock
  std::string refusal_;    // why the outermost claim could not be had
};

fs::path prepareFolder(const fs::path& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error || !fs::is_directory(dir)) {
    throw std::runtime_error("cannot make the writer folder " + dir.string() +
                             (error ? ": " + error.message() : std::string()));
  }
  return dir;
}

// Replaces whatever was inserted by `card`, keeping the armed faults.
void insertCard(const fs::path& dir, const CardContents& card, const SimPortOptions& options) {
  prepareFolder(dir);
  FolderLock lock;
  lock.takeForChange(dir, options);
  WriterConfig config;
  try {
    config.faults = readConfig(dir).faults;
  } catch (const std::runtime_error&) {
    // an unreadable writer.ini is replaced as a whole
  }
  const auto keep = memoriesOf(card);
  for (std::size_t i = 0; i < kMemoryCount; ++i) {
    const auto m = static_cast<Memory>(i);
    if (std::find(keep.begin(), keep.end(), m) == keep.end()) {
      std::error_code ignored;
      fs::remove(dir / kFileNames[i], ignored);
    }
  }
  for (Memory m : keep) writeWholeFile(dir / memoryFileName(m), card[m]);
  config.kind = card.kind;
  config.biosChip = card.biosChip;
  config.flashChip = card.flashChip;
  writeConfig(dir, config);
  writeWholeFile(dir / kUnexpectedFile, {});
  lock.bump(true);
}

void requireWriter(const fs::path& dir) {
  if (!fs::is_directory(dir)) {
    throw std::runtime_error("no simulated writer in " + dir.string() +
                             ": the folder does not exist (make one with: quillon-cli sim insert " +
                             dir.string() + " gb-flash)");
  }
}

std::string sizeText(std::size_t bytes) {
  if (bytes >= 0x100000 && bytes % 0x100000 == 0) return std::to_string(bytes / 0x100000) + " MiB";
  if (bytes >= 0x400 && bytes % 0x400 == 0) return std::to_string(bytes / 0x400) + " KiB";
  return std::to_string(bytes) + " bytes";
}

std::string chipText(int row) {
  if (row < 0 || row > lastRow()) return "chip row " + std::to_string(row) + " (not in the chip table)";
  const Chip& chip = kChips[static_cast<std::size_t>(row)];
  return "chip row " + std::to_string(row) + ", " + std::string(chip.name) + " (method " +
         std::to_string(methodNumber(chip.method)) + ")";
}

std::string hex(unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

}  // namespace

const char* memoryFileName(Memory m) { return kFileNames[static_cast<std::size_t>(m)]; }

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

void insertGbFlash(const fs::path& dir, int biosChip, int flashChip, const SimPortOptions& options) {
  insertCard(dir, emptyGbFlashCard(biosChip, flashChip), options);
}

void insertGbCart(const fs::path& dir, const fs::path& romPath, const std::optional<fs::path>& savPath,
                  const SimPortOptions& options) {
  auto rom = readWholeFile(romPath, "ROM image", kMaxCartRom);
  std::optional<std::vector<std::uint8_t>> sav;
  if (savPath) sav = readWholeFile(*savPath, "save file", kMaxCartRom);
  CardContents card;
  try {
    card = gbCartridge(std::move(rom), std::move(sav));
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(romPath.string() + ": " + e.what());
  }
  insertCard(dir, card, options);
}

void insertWsFlash(const fs::path& dir, const SimPortOptions& options) {
  insertCard(dir, emptyWsFlashCard(), options);
}

void insertNone(const fs::path& dir, const SimPortOptions& options) { insertCard(dir, noCard(), options); }

void armFaults(const fs::path& dir, const std::vector<std::string>& nameValues, const SimPortOptions& options) {
  requireWriter(dir);
  FolderLock lock;
  lock.takeForChange(dir, options);
  WriterConfig config = readConfig(dir);
  Faults faults = config.faults;
  for (const std::string& nameValue : nameValues) armFault(faults, nameValue);
  config.faults = faults;
  writeConfig(dir, config);
  lock.bump(false);
}

void clearFaults(const fs::path& dir, const SimPortOptions& options) {
  requireWriter(dir);
  FolderLock lock;
  lock.takeForChange(dir, options);
  WriterConfig config = readConfig(dir);
  config.faults = Faults{};
  writeConfig(dir, config);
  lock.bump(false);
}

std::string describeWriter(const fs::path& dir) {
  requireWriter(dir);
  FolderLock lock;
  const bool inUse =
      lock.take(dir, std::chrono::milliseconds(0), {}, FolderLock::Hold::Shared) == FolderLock::Outcome::Busy;
  const WriterConfig config = readConfig(dir);
  const CardContents card = loadCard(dir, config);  // refuses what does not make a writer
  std::ostringstream out;
  out << "Simulated writer in " << dir.string() << '\n';
  if (inUse) out << "In use: another program is using the writer now\n";
  switch (config.kind) {
    case CardKind::None:
      out << "Inserted: nothing (the writer answers; the card reads 0xFF)\n";
      break;
    case CardKind::GbFlash: {
      out << "Inserted: GB flash card\n"
          << "  BIOS ROM:    " << chipText(config.biosChip) << ", " << sizeText(kGbBiosSize) << " in "
          << memoryFileName(Memory::GbBios) << '\n'
          << "  FLASH ROM:   " << chipText(config.flashChip) << ", " << sizeText(kGbFlashSize) << " in "
          << memoryFileName(Memory::GbFlash) << '\n'
          << "  save memory: " << sizeText(kGbSramSize) << " in " << memoryFileName(Memory::GbSram) << '\n';
      break;
    }
    case CardKind::GbCart: {
      const auto& rom = card[Memory::CartRom];
      std::string title;
      for (std::size_t i = 0x134; i < 0x144 && rom[i] >= 0x20 && rom[i] < 0x7F; ++i) title += static_cast<char>(rom[i]);
      out << "Inserted: ordinary GB cartridge \"" << title << "\", type " << hex(rom[kGbTypeOffset], 2) << '\n'
          << "  ROM:       " << sizeText(rom.size()) << " in " << memoryFileName(Memory::CartRom) << '\n';
      if (card[Memory::CartSav].empty()) {
        out << "  save RAM:  none\n";
      } else {
        out << "  save RAM:  " << sizeText(card[Memory::CartSav].size()) << " in "
            << memoryFileName(Memory::CartSav) << '\n';
      }
      break;
    }
    case CardKind::WsFlash:
      out << "Inserted: WS flash card\n"
          << "  flash:       " << sizeText(kWsFlashSize) << " in " << memoryFileName(Memory::WsFlash) << '\n'
          << "  save memory: " << sizeText(kWsSramSize) << " in " << memoryFileName(Memory::WsSram) << '\n';
      break;
  }
  const auto faults = faultList(config.faults);
  out << "Faults: ";
  if (faults.empty()) out << "none";
  for (std::size_t i = 0; i < faults.size(); ++i) out << (i ? ", " : "") << faults[i];
  out << '\n';
  std::ifstream notes(dir / kUnexpectedFile);
  std::string line;
  bool any = false;
  while (std::getline(notes, line)) {
    if (line.empty()) continue;
    if (!any) out << "Unexpected commands:\n";
    any = true;
    out << "  " << line << '\n';
  }
  if (!any) out << "Unexpected commands: none\n";
  return out.str();
}

}  // namespace quillon::sim
