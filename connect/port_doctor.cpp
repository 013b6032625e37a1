// SPDX-License-Identifier: GPL-3.0-or-later
#include "connect/port_doctor.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/hardware_ports.h"

namespace quillon::connect {

namespace fs = std::filesystem;

namespace {

// The base the board's own LPT1 has, which `auto` uses for direct I/O.
constexpr std::uint16_t kLpt1Base = 0x378;

bool IsBoardBase(std::uint16_t base) { return base == 0x378 || base == 0x278 || base == 0x3BC; }

std::string Hex(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

fs::path Under(const SystemView& view, const std::string& absolute) {
  return fs::path(view.root) / fs::path(absolute).relative_path();
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// base-addr holds the base and the ECP base in decimal: "888\t1912".
std::optional<std::uint16_t> ReadBase(const fs::path& path) {
  std::istringstream in(FirstLine(path));
  long value = 0;
  if (!(in >> value) || value <= 0 || value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::vector<std::string> SortedNames(const fs::path& folder, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string NodeOf(const KnownPort& port) { return "/dev/" + port.name; }

bool ModePermits(const struct stat& st, const SystemView& view) {
  if (view.uid == 0) return true;
  if (st.st_uid == view.uid) return (st.st_mode & S_IRUSR) && (st.st_mode & S_IWUSR);
  if (std::find(view.groups.begin(), view.groups.end(), st.st_gid) != view.groups.end())
    return (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
  return (st.st_mode & S_IROTH) && (st.st_mode & S_IWOTH);
}

bool HasAccessList(const fs::path& path) { return ::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) > 0; }

// Whether this user may open the device node for reading and writing. On the live system a
// node with an access control list is judged by the system itself.
bool MayOpen(const SystemView& view, const std::string& node) {
  const fs::path path = Under(view, node);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (view.live && HasAccessList(path)) return ::access(path.c_str(), R_OK | W_OK) == 0;
  return ModePermits(st, view);
}

std::string GroupName(gid_t gid) {
  if (const struct group* entry = ::getgrgid(gid)) return entry->gr_name;
  return std::to_string(gid);
}

std::string OwnerName(uid_t uid) {
  if (const struct passwd* entry = ::getpwuid(uid)) return entry->pw_name;
  return std::to_string(uid);
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

DoctorLine CheckPortsKnown(const std::vector<KnownPort>& ports) {
  if (ports.empty()) {
    return {Verdict::Fail, "parallel ports", "the kernel knows none",
            "enable the port in the BIOS setup (mode SPP, EPP or ECP), or for a PCI card load its driver "
            "(sudo modprobe parport_pc)"};
  }
  std::vector<std::string> found;
  std::string advice;
  for (const auto& port : ports) {
    std::string text = port.name;
    if (port.base) text += " at " + Hex(*port.base);
    if (!port.modes.empty()) text += " (" + port.modes + ")";
    found.push_back(text);
    if (port.base && !IsBoardBase(*port.base) && advice.empty()) {
      advice = port.name + " is a PCI or PCIe card: auto does not use it, give --port ppdev:/dev/" + port.name +
               " or --port direct:" + Hex(*port.base);
    }
  }
  return {Verdict::Ok, "parallel ports", Join(found), advice};
}

DoctorLine CheckPpdev(const SystemView& view, const std::vector<KnownPort>& ports) {
  const bool loaded =
      Exists(Under(view, "/sys/module/ppdev")) ||
      std::any_of(ports.begin(), ports.end(), [&](const KnownPort& port) { return Exists(Under(view, NodeOf(port))); });
  if (loaded) return {Verdict::Ok, "ppdev", "the parallel-port device module is loaded", ""};
  return {Verdict::Fail, "ppdev", "the parallel-port device module is not loaded",
          "sudo modprobe ppdev (and to load it at every start: echo ppdev | sudo tee "
          "/etc/modules-load.d/ppdev.conf)"};
}

std::vector<DoctorLine> CheckNodes(const SystemView& view, const std::vector<KnownPort>& ports) {
  std::vector<DoctorLine> lines;
  for (const auto& port : ports) {
    const std::string node = NodeOf(port);
    if (!Exists(Under(view, node))) {
      lines.push_back({Verdict::Fail, "device node", node + " is missing",
                       "load ppdev (sudo modprobe ppdev); udev then makes " + node});
      continue;
    }
    struct stat st {};
    if (::stat(Under(view, node).c_str(), &st) != 0) {
      lines.push_back({Verdict::Fail, "permission", node + ": " + std::strerror(errno), ""});
      continue;
    }
    const bool permitted = MayOpen(view, node);
    const bool accessList = HasAccessList(Under(view, node));
    const std::string facts = "owner " + OwnerName(st.st_uid) + ", group " + GroupName(st.st_gid) + ", mode " +
                              ModeText(st.st_mode) + (accessList ? ", with an access control list" : "");
    std::string found = permitted ? "you may open " : "you may not open ";
    found.append(node).append(" (").append(facts).append(")");
    if (permitted) {
      lines.push_back({Verdict::Ok, "permission", found, ""});
    } else {
      std::string advice = "sudo usermod -aG " + GroupName(st.st_gid) + " $USER, then log in again";
      if (accessList) advice.append(" (or see getfacl ").append(node).append(")");
      lines.push_back({Verdict::Fail, "permission", found, advice});
    }
  }
  return lines;
}

DoctorLine CheckOtherDrivers(const SystemView& view, const std::vector<KnownPort>& ports) {
  std::vector<std::string> held;
  for (const auto& port : ports) {
    for (const auto& user : port.users) {
      if (user != "ppdev") held.push_back(user + " holds " + port.name);
    }
  }
  if (!held.empty()) {
    return {Verdict::Fail, "other drivers", Join(held),
            "sudo rmmod lp (the printer driver), and to keep it away after a reboot: echo 'blacklist lp' | "
            "sudo tee /etc/modprobe.d/quillon-no-lp.conf"};
  }
  if (Exists(Under(view, "/sys/module/lp"))) {
    return {Verdict::Warn, "other drivers", "the printer driver lp is loaded, though it holds no port now",
            "if the port is taken later: sudo rmmod lp"};
  }
  return {Verdict::Ok, "other drivers", "no other driver holds a port", ""};
}

DoctorLine CheckAutoChoice(const SystemView& view, const std::vector<KnownPort>& ports) {
  const std::string choice = AutoPortChoice(view);
  if (!view.portVariable.empty()) {
    return {Verdict::Ok, "port", "QUILLON_PORT is set: " + choice + " is used instead of auto", ""};
  }
  if (choice.rfind("ppdev:", 0) == 0) return {Verdict::Ok, "port", "auto opens " + choice, ""};
  const bool lpt1Known =
      std::any_of(ports.begin(), ports.end(), [](const KnownPort& port) { return port.base == kLpt1Base; });
  if (lpt1Known) return {Verdict::Ok, "port", "auto opens " + choice + " (/dev/parport0 cannot be opened)", ""};
  return {Verdict::Warn, "port", "auto opens " + choice + ", where the kernel knows no port",
          "give the writer's port with --port (or QUILLON_PORT): ppdev:/dev/parportN or direct:BASE"};
}

DoctorLine CheckDirectAccess(const SystemView& view, const std::vector<KnownPort>& ports) {
  std::uint16_t base = kLpt1Base;
  for (const auto& port : ports) {
    if (port.base) {
      base = *port.base;
      break;
    }
  }
  const std::optional<int> refusal = view.directAccess ? view.directAccess(base) : std::nullopt;
  if (!view.directAccess) return {Verdict::Skip, "direct I/O", "not asked on this system", ""};
  if (!refusal) return {Verdict::Skip, "direct I/O", "this processor has no I/O ports", ""};
  if (*refusal == 0) return {Verdict::Ok, "direct I/O", "allowed at " + Hex(base), ""};
  // ppdev is the way a user without root reaches the port; direct I/O is only the fallback.
  const bool ppdevUsable = MayOpen(view, "/dev/parport0");
  return {ppdevUsable ? Verdict::Warn : Verdict::Fail, "direct I/O",
          "not allowed at " + Hex(base) + " (" + std::strerror(*refusal) + ")",
          "needs root or CAP_SYS_RAWIO; ppdev needs neither"};
}

std::optional<int> AskForDirectAccess(std::uint16_t base) {
  auto io = link::processorIoSpace();
  if (!io) return std::nullopt;
  const int error = io->ioperm(base, 3, true);
  if (error == 0) io->ioperm(base, 3, false);
  return error;
}

}  // namespace

std::string FormatLine(const DoctorLine& line) {
  static constexpr const char* kTags[] = {"[ ok ]", "[warn]", "[FAIL]", "[skip]"};
  std::string text = std::string(kTags[static_cast<int>(line.verdict)]) + " " + line.check + ": " + line.found;
  if (!line.advice.empty()) text += " -- " + line.advice;
  return text;
}

SystemView LiveSystem() {
  SystemView view;
  view.uid = ::geteuid();
  const int count = ::getgroups(0, nullptr);
  view.groups.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  if (count > 0) view.groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(count, view.groups.data()))));
  view.groups.push_back(::getegid());
  view.directAccess = AskForDirectAccess;
  if (const char* port = std::getenv("QUILLON_PORT")) view.portVariable = port;
  view.live = true;
  return view;
}

std::vector<KnownPort> KnownPorts(const SystemView& view) {
  std::vector<std::string> names = SortedNames(Under(view, "/sys/class/parport"), "parport");
  for (const auto& name : SortedNames(Under(view, "/proc/sys/dev/parport"), "parport")) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<KnownPort> ports;
  for (const auto& name : names) {
    const fs::path proc = Under(view, "/proc/sys/dev/parport/" + name);
    KnownPort port{name, ReadBase(proc / "base-addr"), FirstLine(proc / "modes"), {}};
    // Every driver registered on the port has a folder under devices/, beside the file "active".
    for (const auto& entry : SortedNames(proc / "devices", "")) {
      if (entry != "active") port.users.push_back(entry);
    }
    ports.push_back(std::move(port));
  }
  return ports;
}

std::string AutoPortChoice(const SystemView& view) {
  if (!view.portVariable.empty()) return view.portVariable;
  // auto tries ppdev on /dev/parport0 first and falls back to direct I/O when it cannot open it.
  if (MayOpen(view, "/dev/parport0")) return "ppdev:/dev/parport0";
  return "direct:" + Hex(kLpt1Base);
}

std::vector<DoctorLine> CheckPortSetup(const SystemView& view) {
  const auto ports = KnownPorts(view);
  std::vector<DoctorLine> lines{CheckPortsKnown(ports), CheckPpdev(view, ports)};
  for (auto& line : CheckNodes(view, ports)) lines.push_back(std::move(line));
  lines.push_back(CheckOtherDrivers(view, ports));
  lines.push_back(CheckAutoChoice(view, ports));
  lines.push_back(CheckDirectAccess(view, ports));
  return lines;
}

}  // namespace quillon::connect
