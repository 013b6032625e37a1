// SPDX-License-Identifier: GPL-3.0-or-later
// The port checks of `quillon-cli doctor` on made-up systems: a folder holding the sys/, proc/
// and dev/ entries a kernel would show.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "connect/port_doctor.h"

namespace quillon::connect {
namespace {

namespace fs = std::filesystem;

class MadeUpSystem {
 public:
  MadeUpSystem() : root_(fs::temp_directory_path() / ("quillon-doctor-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  ~MadeUpSystem() { fs::remove_all(root_); }

  // A port as parport_pc shows it: its class entry, its base (and ECP base) and modes.
  void port(const std::string& name, unsigned base) {
    fs::create_directories(root_ / "sys/class/parport" / name);
    const fs::path proc = root_ / "proc/sys/dev/parport" / name;
    fs::create_directories(proc / "devices");
    write(proc / "base-addr", std::to_string(base) + "\t" + std::to_string(base + 0x400) + "\n");
    write(proc / "modes", "PCSPP,TRISTATE,EPP\n");
    write(proc / "devices/active", "none\n");
  }
  void driver(const std::string& port, const std::string& name) {
    fs::create_directories(root_ / "proc/sys/dev/parport" / port / "devices" / name);
  }
  void module(const std::string& name) { fs::create_directories(root_ / "sys/module" / name); }
  void node(const std::string& name, mode_t mode) {
    fs::create_directories(root_ / "dev");
    write(root_ / "dev" / name, "");
    ::chmod((root_ / "dev" / name).c_str(), mode);
  }

  // The system as a user who owns the nodes (`owner`), or as another user of no group.
  SystemView view(bool owner, std::optional<int> directRefusal) const {
    SystemView view;
    view.root = root_.string();
    view.uid = owner ? ::geteuid() + 0 : ::geteuid() + 1000;
    if (owner) view.groups = {::getegid()};
    view.directAccess = [directRefusal](std::uint16_t) { return directRefusal; };
    return view;
  }

 private:
  static void write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
  fs::path root_;
};

struct Expected {
  std::string check;
  Verdict verdict;
  std::string inLine;  // a part of the printed line
};

struct DoctorCase {
  std::string name;
  std::function<void(MadeUpSystem&)> build;
  bool owner;
  std::optional<int> directRefusal;
  std::vector<Expected> expected;
  std::string autoPort;
};

const DoctorCase kCases[] = {
    {"NoParallelPort",
     [](MadeUpSystem&) {},
     true,
     EPERM,
     {{"parallel ports", Verdict::Fail, "knows none -- enable the port in the BIOS setup"},
      {"ppdev", Verdict::Fail, "sudo modprobe ppdev"},
      {"port", Verdict::Warn, "auto opens direct:0x378, where the kernel knows no port"},
      {"direct I/O", Verdict::Fail, "not allowed at 0x378"}},
     "direct:0x378"},
    {"PortWithoutPpdev",
     [](MadeUpSystem& s) { s.port("parport0", 0x378); },
     true,
     0,
     {{"parallel ports", Verdict::Ok, "parport0 at 0x378 (PCSPP,TRISTATE,EPP)"},
      {"ppdev", Verdict::Fail, "not loaded -- sudo modprobe ppdev"},
      {"device node", Verdict::Fail, "/dev/parport0 is missing"},
      {"port", Verdict::Ok, "auto opens direct:0x378"},
      {"direct I/O", Verdict::Ok, "allowed at 0x378"}},
     "direct:0x378"},
    {"NodeNotPermitted",
     [](MadeUpSystem& s) {
       s.port("parport0", 0x378);
       s.module("ppdev");
       s.node("parport0", 0660);
     },
     false,
     EPERM,
     {{"ppdev", Verdict::Ok, "loaded"},
      {"permission", Verdict::Fail, "you may not open /dev/parport0"},
      {"permission", Verdict::Fail, "mode 0660) -- sudo usermod -aG"},
      {"port", Verdict::Ok, "auto opens direct:0x378 (/dev/parport0 cannot be opened)"},
      {"direct I/O", Verdict::Fail, "needs root or CAP_SYS_RAWIO"}},
     "direct:0x378"},
    {"NodePermitted",
     [](MadeUpSystem& s) {
       s.port("parport0", 0x378);
       s.module("ppdev");
       s.node("parport0", 0660);
     },
     true,
     EPERM,
     {{"permission", Verdict::Ok, "you may open /dev/parport0"},
      {"other drivers", Verdict::Ok, "no other driver"},
      {"port", Verdict::Ok, "auto opens ppdev:/dev/parport0"},
      // Direct I/O is only the fallback of a user who cannot use ppdev.
      {"direct I/O", Verdict::Warn, "ppdev needs neither"}},
     "ppdev:/dev/parport0"},
    {"PrinterDriverHoldsThePort",
     [](MadeUpSystem& s) {
       s.port("parport0", 0x378);
       s.module("ppdev");
       s.module("lp");
       s.node("parport0", 0660);
       s.driver("parport0", "lp");
     },
     true,
     0,
     {{"other drivers", Verdict::Fail, "lp holds parport0 -- sudo rmmod lp"}},
     "ppdev:/dev/parport0"},
    {"PrinterDriverLoadedOnly",
     [](MadeUpSystem& s) {
       s.port("parport0", 0x378);
       s.module("lp");
       s.driver("parport0", "ppdev");  // a program has the port open through ppdev
     },
     true,
     0,
     {{"other drivers", Verdict::Warn, "lp is loaded, though it holds no port"}},
     "direct:0x378"},
    {"PciCard",
     [](MadeUpSystem& s) {
       s.port("parport0", 0xD000);
       s.module("ppdev");
     },
     true,
     EPERM,
     {{"parallel ports", Verdict::Ok, "parport0 at 0xd000"},
      {"parallel ports", Verdict::Ok, "give --port ppdev:/dev/parport0 or --port direct:0xd000"},
      {"device node", Verdict::Fail, "/dev/parport0 is missing"},
      {"port", Verdict::Warn, "where the kernel knows no port"},
      {"direct I/O", Verdict::Fail, "not allowed at 0xd000"}},
     "direct:0x378"},
    {"NoIoPorts",
     [](MadeUpSystem& s) { s.port("parport0", 0x278); },
     true,
     std::nullopt,
     {{"parallel ports", Verdict::Ok, "parport0 at 0x278"}, {"direct I/O", Verdict::Skip, "no I/O ports"}},
     "direct:0x378"},
};

class PortDoctor : public ::testing::TestWithParam<DoctorCase> {};

TEST_P(PortDoctor, SaysWhatIsWrongAndWhatToDo) {
  const auto& c = GetParam();
  MadeUpSystem system;
  c.build(system);
  const SystemView view = system.view(c.owner, c.directRefusal);
  const auto lines = CheckPortSetup(view);
  for (const auto& expected : c.expected) {
    bool seen = false;
    for (const auto& line : lines) {
      if (line.check == expected.check && line.verdict == expected.verdict &&
          FormatLine(line).find(expected.inLine) != std::string::npos)
        seen = true;
    }
    std::string all;
    for (const auto& line : lines) all += FormatLine(line) + "\n";
    EXPECT_TRUE(seen) << expected.check << ": " << expected.inLine << "\nin:\n" << all;
  }
  EXPECT_EQ(AutoPortChoice(view), c.autoPort);
  // The checks always come in the same order, parallel ports first and direct I/O last.
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().check, "parallel ports");
  EXPECT_EQ(lines.back().check, "direct I/O");
}

INSTANTIATE_TEST_SUITE_P(MadeUpSystems, PortDoctor, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return param.param.name; });

TEST(PortDoctorVariable, QuillonPortReplacesAuto) {
  MadeUpSystem system;
  system.port("parport0", 0x378);
  system.node("parport0", 0600);
  SystemView view = system.view(true, 0);
  view.portVariable = "direct:0x278";
  EXPECT_EQ(AutoPortChoice(view), "direct:0x278");
}

}  // namespace
}  // namespace quillon::connect
