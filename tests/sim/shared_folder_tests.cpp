// SPDX-License-Identifier: GPL-3.0-or-later
// Writer folders used by several programs at once, folders whose files do not make a writer,
// and the list of unexpected commands kept beside writer.ini.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "chips.h"
#include "sequences.h"
#include "sim/sim.h"

namespace quillon::simtest {
namespace {

namespace fs = std::filesystem;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes(fs::exists(path) ? fs::file_size(path) : 0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void replaceLine(const fs::path& ini, const std::string& start, const std::string& line) {
  std::ifstream in(ini);
  std::string text, each;
  bool replaced = false;
  while (std::getline(in, each)) {
    if (!replaced && each.rfind(start, 0) == 0) each = line, replaced = true;
    text += each + '\n';
  }
  if (!replaced) text += line + '\n';
  std::ofstream(ini, std::ios::trunc) << text;
}

Bytes pattern(std::uint8_t seed) {
  Bytes b(0x4000);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * seed + 1);
  return b;
}

Bytes cartRom(std::uint8_t titleLetter) {
  Bytes rom(0x8000, 0x00);
  rom[0x134] = titleLetter;
  rom[0x147] = 0x03;
  rom[0x149] = 0x02;
  return rom;
}

class SharedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    std::replace(name.begin(), name.end(), '/', '-');
    dir_ = fs::temp_directory_path() / ("quillon-share-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  fs::path file(const char* name) const { return dir_ / name; }
  fs::path dir_;
};

// --- folders that do not make a writer ----------------------------------------------------

struct BadFolder {
  const char* name;
  std::function<void(const fs::path&)> spoil;
  std::vector<std::string> messageParts;
};

class BadWriterFolder : public SharedFolder, public ::testing::WithParamInterface<BadFolder> {};

TEST_P(BadWriterFolder, OpenAndShow_refusedNamingFileAndAllowedValues) {
  sim::insertGbFlash(dir_);
  GetParam().spoil(dir_);
  for (const bool show : {false, true}) {
    try {
      if (show) {
        sim::describeWriter(dir_);
      } else {
        sim::openSimPort(dir_);
      }
      ADD_FAILURE() << (show ? "shown" : "opened");
    } catch (const std::runtime_error& e) {
      for (const std::string& part : GetParam().messageParts) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what() << "\nlacks: " << part;
      }
    }
  }
}

auto iniLine(std::string start, std::string line) {
  return [start, line](const fs::path& dir) { replaceLine(dir / "writer.ini", start, line); };
}

auto cartWith(Bytes rom, std::optional<Bytes> sav) {
  return [rom, sav](const fs::path& dir) {
    writeFile(dir / "image.gb", cartRom('A'));
    sim::insertGbCart(dir, dir / "image.gb");
    writeFile(dir / "gb-cart.gb", rom);
    if (sav) writeFile(dir / "gb-cart.sav", *sav);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Contents, BadWriterFolder,
    ::testing::Values(
        BadFolder{"row99", iniLine("bios-chip=", "bios-chip=99"), {"writer.ini:4:", "bios-chip '99'", "0 to 22"}},
        BadFolder{"rowMinus1", iniLine("flash-chip=", "flash-chip=-1"), {"writer.ini:5:", "'-1'", "0 to 22"}},
        BadFolder{"row1e9", iniLine("bios-chip=", "bios-chip=1e9"), {"writer.ini:4:", "'1e9'", "0 to 22"}},
        BadFolder{"rowHuge", iniLine("bios-chip=", "bios-chip=99999999999999999999"), {"writer.ini:4:", "0 to 22"}},
        BadFolder{"rowText", iniLine("flash-chip=", "flash-chip=intel"), {"writer.ini:5:", "'intel'", "0 to 22"}},
        BadFolder{
            "idUnknown", iniLine("flash-chip=", "flash-chip=5A:5A:00"), {"writer.ini:5:", "'5A:5A:00'", "ID bytes"}},
        BadFolder{"kind", iniLine("kind=", "kind=gb-floppy"), {"writer.ini:3:", "'gb-floppy'", "gb-flash, gb-cart"}},
        BadFolder{"key", iniLine("flash-chip=", "flash-chips=3"), {"writer.ini:5:", "'flash-chips'", "bios-chip"}},
        BadFolder{"faultValue", iniLine("[faults]", "[faults]\nbusy-polls=lots"), {"writer.ini:", "'lots'", "0 to"}},
        BadFolder{"faultName", iniLine("[faults]", "[faults]\nmelt"), {"writer.ini:", "'melt'", "known faults"}},
        BadFolder{"section", iniLine("[faults]", "[fault]"), {"writer.ini:", "[fault]", "[card] or [faults]"}},
        // What the file holds is quoted escaped: a message stays one line, and a terminal
        // gets no control sequence from it.
        BadFolder{"controlBytes", iniLine("kind=", "kind=\x1B[2J\tgb"), {"writer.ini:3:", "'\\x1B[2J\\tgb'"}},
        BadFolder{"shortFlash",
                  [](const fs::path& dir) { fs::resize_file(dir / "gb-flash.bin", 0x3FFFFF); },
                  {"gb-flash.bin", "4194303", "4194304"}},
        BadFolder{"missingSram", [](const fs::path& dir) { fs::remove(dir / "gb-sram.bin"); }, {"gb-sram.bin"}},
        BadFolder{"shortCart", cartWith(Bytes(0x100, 0), std::nullopt), {"gb-cart.gb", "336"}},
        BadFolder{"shortSav", cartWith(cartRom('A'), Bytes(0x100, 0)), {"gb-cart.sav", "8192"}}),
    [](const auto& p) { return std::string(p.param.name); });

// --- two programs, one folder ------------------------------------------------------------

TEST_F(SharedFolder, TwoPorts_oneWrites_otherSeesItAtNextCommand_neitherLosesBytes) {
  sim::insertGbFlash(dir_);
  auto portA = sim::openSimPort(dir_);
  auto portB = sim::openSimPort(dir_);
  Host a(*portA), b(*portB);
  b.writeByte(0x0000, 0x0A);
  b.setBank(130);
  ASSERT_EQ(b.readBlock(0x4000, 0x4000).bytes, Bytes(0x4000, 0xFF));
  prepareFlashCard(a, ChipMethod::ChipStatusWithVoltage);
  ASSERT_TRUE(programFlashBank(a, ChipMethod::ChipStatusWithVoltage, 130, pattern(3)));
  EXPECT_EQ(b.readBlock(0x4000, 0x4000).bytes, pattern(3)) << "B's next command sees A's bank";
  prepareFlashCard(b, ChipMethod::ChipStatusWithVoltage);
  ASSERT_TRUE(programFlashBank(b, ChipMethod::ChipStatusWithVoltage, 131, pattern(5)));
  a.setBank(130);
  EXPECT_EQ(a.readBlock(0x4000, 0x4000).bytes, pattern(3));
  a.setBank(131);
  EXPECT_EQ(a.readBlock(0x4000, 0x4000).bytes, pattern(5));
  const Bytes flash = readFile(file("gb-flash.bin"));
  EXPECT_TRUE(std::equal(flash.begin() + 130 * 0x4000, flash.begin() + 131 * 0x4000, pattern(3).begin()));
  EXPECT_TRUE(std::equal(flash.begin() + 131 * 0x4000, flash.begin() + 132 * 0x4000, pattern(5).begin()));
}

TEST_F(SharedFolder, CartInsertedWhileOpen_nextCommandSeesIt_oldCardNeverWritten) {
  sim::insertGbFlash(dir_);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  ASSERT_TRUE(programFlashBank(host, ChipMethod::ChipStatusWithVoltage, 0, pattern(3)));
  writeFile(dir_ / "image.gb", cartRom('Q'));
  sim::insertGbCart(dir_, dir_ / "image.gb");
  ASSERT_TRUE(host.checkDevice());
  EXPECT_EQ(host.readByte(0x0134), 'Q');
  host.writeByte(0x0000, 0x0A);
  host.writeBlock(0, 0xA000, Bytes(0x2000, 0x77));
  EXPECT_EQ(host.queryState3(), 0);
  host.writeBlock(10, 0x4000, pattern(5));  // the old card's programming reaches nothing
  EXPECT_FALSE(fs::exists(file("gb-flash.bin")));
  EXPECT_EQ(readFile(file("gb-cart.gb")), cartRom('Q'));
  EXPECT_EQ(readFile(file("gb-cart.sav")), Bytes(0x2000, 0x77));
  EXPECT_NE(sim::describeWriter(dir_).find("an ordinary cartridge has no flash to program"), std::string::npos);
}

TEST_F(SharedFolder, SameKindInsertedWhileOpen_freshCard_staleBytesNotWritten) {
  sim::insertGbFlash(dir_);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  ASSERT_TRUE(programFlashBank(host, ChipMethod::ChipStatusWithVoltage, 7, pattern(3)));
  sim::insertGbFlash(dir_, support::chipId("SST 29EE010"), support::chipId("FUJI 28F016"));
  prepareFlashCard(host, ChipMethod::WriterStatus);
  ASSERT_TRUE(programFlashBank(host, ChipMethod::WriterStatus, 8, pattern(5)));
  host.setBank(7);
  EXPECT_EQ(host.readBlock(0x4000, 0x4000).bytes, Bytes(0x4000, 0xFF)) << "the new card is blank";
  const Bytes flash = readFile(file("gb-flash.bin"));
  EXPECT_TRUE(std::all_of(flash.begin() + 7 * 0x4000, flash.begin() + 8 * 0x4000, [](auto v) { return v == 0xFF; }));
  EXPECT_TRUE(std::equal(flash.begin() + 8 * 0x4000, flash.begin() + 9 * 0x4000, pattern(5).begin()));
}

TEST_F(SharedFolder, FaultsArmedAndClearedWhileOpen_seenWithoutReopening) {
  sim::insertGbFlash(dir_);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  ASSERT_TRUE(host.checkDevice());
  sim::armFaults(dir_, {"absent"});
  EXPECT_FALSE(host.checkDevice());
  EXPECT_FALSE(host.checkDevice());
  sim::clearFaults(dir_);
  EXPECT_TRUE(host.checkDevice()) << "a silent writer still looks at its folder";
}

TEST_F(SharedFolder, LockHeldElsewhere_commandNotTaken_thenAnsweredAgain) {
  sim::insertGbFlash(dir_);
  sim::SimPortOptions options;
  options.lockWait = std::chrono::milliseconds(20);
  auto port = sim::openSimPort(dir_, options);
  Host host(*port);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  host.setBank(3);
  const int fd = ::open(file("writer.lock").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  host.writeBlock(10, 0x4000, pattern(3));
  EXPECT_EQ(port->readStatus() & link::kStatusReady, 0) << "not taken: the ready bit stays clear";
  for (int i = 0; i < 3 && !host.waitReady(); ++i) {
  }
  EXPECT_FALSE(host.readBlock(0x4000, 16).checkOk());
  ::close(fd);
  const Bytes flash = readFile(file("gb-flash.bin"));
  EXPECT_TRUE(std::all_of(flash.begin() + 3 * 0x4000, flash.begin() + 4 * 0x4000, [](auto v) { return v == 0xFF; }));
  for (int i = 0; i < 3 && !host.waitReady(); ++i) {
  }
  EXPECT_TRUE(host.checkDevice());
  EXPECT_TRUE(programFlashBank(host, ChipMethod::ChipStatusWithVoltage, 3, pattern(3)));
  EXPECT_EQ(readFile(file("gb-flash.bin"))[3 * 0x4000 + 1], pattern(3)[1]);
}

// --- one operation owns the writer -------------------------------------------------------

sim::SimPortOptions shortClaim(std::ostream* notices = nullptr) {
  sim::SimPortOptions options;
  options.claimWait = std::chrono::milliseconds(50);
  options.lockWait = std::chrono::milliseconds(50);
  options.notices = notices;
  return options;
}

bool allErased(const Bytes& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](auto v) { return v == 0xFF; });
}

TEST_F(SharedFolder, ClaimHeld_otherPortRefusedNamingFolder_silentUntilReleased_thenSeesTheOperation) {
  sim::insertGbFlash(dir_);
  auto owner = sim::openSimPort(dir_);
  std::ostringstream notices;
  auto other = sim::openSimPort(dir_, shortClaim(&notices));
  Host a(*owner), b(*other);
  {
    const link::PortClaim held(owner.get());
    ASSERT_TRUE(held.held()) << held.why();
    prepareFlashCard(a, ChipMethod::ChipStatusWithVoltage);
    {
      const link::PortClaim refused(other.get());
      ASSERT_FALSE(refused.held());
      EXPECT_NE(refused.why().find(dir_.string()), std::string::npos) << refused.why();
      EXPECT_NE(refused.why().find("in use by another program"), std::string::npos) << refused.why();
      EXPECT_NE(notices.str().find("waiting for it (at most 50 ms)"), std::string::npos) << notices.str();
      EXPECT_FALSE(b.checkDevice()) << "a refused claim is a writer that does not answer";
      prepareFlashCard(b, ChipMethod::ChipStatusWithVoltage);
      EXPECT_FALSE(programFlashBank(b, ChipMethod::ChipStatusWithVoltage, 5, pattern(9)));
    }
    // Between A's commands an unclaimed port is not let in either.
    EXPECT_FALSE(b.checkDevice());
    ASSERT_TRUE(programFlashBank(a, ChipMethod::ChipStatusWithVoltage, 4, pattern(3)));
  }
  const Bytes flash = readFile(file("gb-flash.bin"));
  EXPECT_TRUE(allErased(Bytes(flash.begin() + 5 * 0x4000, flash.begin() + 6 * 0x4000))) << "B's bank reached the card";
  EXPECT_TRUE(std::equal(flash.begin() + 4 * 0x4000, flash.begin() + 5 * 0x4000, pattern(3).begin()));
  for (int i = 0; i < 3 && !b.waitReady(); ++i) {
  }
  const link::PortClaim now(other.get());
  ASSERT_TRUE(now.held()) << now.why();
  prepareFlashCard(b, ChipMethod::ChipStatusWithVoltage);
  b.setBank(4);
  EXPECT_EQ(b.readBlock(0x4000, 0x4000).bytes, pattern(3));
}

TEST_F(SharedFolder, ClaimsNest_writerFreeOnlyAfterTheOutermostRelease) {
  sim::insertGbFlash(dir_);
  auto owner = sim::openSimPort(dir_);
  auto other = sim::openSimPort(dir_, shortClaim());
  std::string why;
  ASSERT_TRUE(owner->claim(why));
  ASSERT_TRUE(owner->claim(why));
  owner->release();
  EXPECT_FALSE(other->claim(why)) << "the outer claim still holds the writer";
  EXPECT_FALSE(other->claim(why)) << "a claim inside a refused one is refused too";
  EXPECT_NE(why.find(dir_.string()), std::string::npos) << why;
  other->release();
  other->release();
  owner->release();
  EXPECT_TRUE(other->claim(why)) << why;
  other->release();
}

TEST_F(SharedFolder, ShowWhileClaimed_saysInUseAndShowsTheCard) {
  sim::insertGbFlash(dir_);
  auto owner = sim::openSimPort(dir_);
  EXPECT_EQ(sim::describeWriter(dir_).find("In use"), std::string::npos);
  const link::PortClaim held(owner.get());
  ASSERT_TRUE(held.held());
  const std::string shown = sim::describeWriter(dir_);
  EXPECT_NE(shown.find("In use: another program is using the writer now\nInserted: GB flash card\n"), std::string::npos)
      << shown;
}

// A memory file removed or cut short while a port uses the writer: the next command fails
// naming the file, and the file is not made again (a blank or short card would pass for the
// real one).
struct SpoiledMemory {
  const char* name;
  bool claimed;  // the port holds a claim, or takes the lock per command
  const char* file;
  std::function<void(const fs::path&)> spoil;
  std::function<void(Host&)> nextCommand;
  std::optional<std::uintmax_t> sizeAfter;  // nullopt: the file stays missing
};

void PrintTo(const SpoiledMemory& c, std::ostream* os) { *os << c.name; }

class MemorySpoiled : public SharedFolder, public ::testing::WithParamInterface<SpoiledMemory> {};

TEST_P(MemorySpoiled, NextCommandThrowsNamingFile_fileNotMadeAgain) {
  const SpoiledMemory& c = GetParam();
  sim::insertGbFlash(dir_);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  std::optional<link::PortClaim> claim;
  if (c.claimed) claim.emplace(port.get());
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  ASSERT_TRUE(programFlashBank(host, ChipMethod::ChipStatusWithVoltage, 2, pattern(3)));
  c.spoil(file(c.file));
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    try {
      c.nextCommand(host);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(file(c.file).string()), std::string::npos) << e.what();
    }
    std::error_code error;
    const bool there = fs::exists(file(c.file), error);
    EXPECT_EQ(there, c.sizeAfter.has_value()) << "the file was made again";
    if (there && c.sizeAfter) {
      EXPECT_EQ(fs::file_size(file(c.file)), *c.sizeAfter);
    }
  }
}

void removeFile(const fs::path& path) { fs::remove(path); }
void halveFile(const fs::path& path) { fs::resize_file(path, fs::file_size(path) / 2); }
void emptyFile(const fs::path& path) { fs::resize_file(path, 0); }
void programBank(Host& h) { programFlashBank(h, ChipMethod::ChipStatusWithVoltage, 3, pattern(5)); }
void readBank(Host& h) {
  h.setBank(2);
  h.readBlock(0x4000, 0x100);
}
void writeSaveMemory(Host& h) { h.writeBlock(0, 0xA000, Bytes(0x100, 0x55)); }

INSTANTIATE_TEST_SUITE_P(
    Files, MemorySpoiled,
    ::testing::Values(
        SpoiledMemory{"flashRemoved_program_claimed", true, "gb-flash.bin", removeFile, programBank, std::nullopt},
        SpoiledMemory{"flashRemoved_program_unclaimed", false, "gb-flash.bin", removeFile, programBank, std::nullopt},
        SpoiledMemory{"flashHalved_program_claimed", true, "gb-flash.bin", halveFile, programBank, 0x200000},
        SpoiledMemory{"flashHalved_program_unclaimed", false, "gb-flash.bin", halveFile, programBank, 0x200000},
        SpoiledMemory{"flashRemoved_read_claimed", true, "gb-flash.bin", removeFile, readBank, std::nullopt},
        SpoiledMemory{"sramEmptied_write_claimed", true, "gb-sram.bin", emptyFile, writeSaveMemory, 0},
        SpoiledMemory{"sramRemoved_write_unclaimed", false, "gb-sram.bin", removeFile, writeSaveMemory, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

// --- folders that cannot be written -------------------------------------------------------

TEST_F(SharedFolder, MemoryFileUnwritable_registerCallThrowsNamingIt) {
  sim::insertGbFlash(dir_);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  fs::remove(file("gb-flash.bin"));
  fs::create_directory(file("gb-flash.bin"));  // stands for a file that cannot be written, even by root
  try {
    programFlashBank(host, ChipMethod::ChipStatusWithVoltage, 2, pattern(3));
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("gb-flash.bin"), std::string::npos) << e.what();
  }
}

TEST_F(SharedFolder, ReadOnlyFolder_readsWork_writeThrowsNamingTheFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  sim::insertGbFlash(dir_);
  auto port = sim::openSimPort(dir_);
  Host host(*port);
  for (const auto& entry : fs::directory_iterator(dir_)) fs::permissions(entry.path(), fs::perms::owner_read);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  ASSERT_TRUE(host.checkDevice());
  prepareFlashCard(host, ChipMethod::ChipStatusWithVoltage);
  try {
    programFlashBank(host, ChipMethod::ChipStatusWithVoltage, 2, pattern(3));
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("gb-flash.bin"), std::string::npos) << e.what();
  }
  EXPECT_THROW(sim::armFaults(dir_, {"absent"}), std::runtime_error);
}

// --- the list of unexpected commands ------------------------------------------------------

TEST_F(SharedFolder, UnexpectedCommands_appendedShownAndEmptiedByInsert) {
  sim::insertGbFlash(dir_);
  EXPECT_NE(sim::describeWriter(dir_).find("Unexpected commands: none\n"), std::string::npos);
  {
    auto port = sim::openSimPort(dir_);
    Host host(*port);
    for (int i = 0; i < 120; ++i) host.queryState6();
  }
  std::ifstream in(file("unexpected.txt"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), sim::kMaxUnexpectedNotes + 1);
  EXPECT_EQ(lines.front(), "QueryState6 (06 06 00 00 00): not a GB command");
  EXPECT_EQ(lines.back(), sim::kMoreNotes);
  const std::string shown = sim::describeWriter(dir_);
  EXPECT_NE(shown.find("Unexpected commands:\n  QueryState6 (06 06 00 00 00): not a GB command\n"), std::string::npos)
      << shown;
  sim::insertWsFlash(dir_);
  EXPECT_EQ(fs::file_size(file("unexpected.txt")), 0u);
  EXPECT_NE(sim::describeWriter(dir_).find("Unexpected commands: none"), std::string::npos);
}

}  // namespace
}  // namespace quillon::simtest
