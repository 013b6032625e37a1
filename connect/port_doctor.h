// SPDX-License-Identifier: GPL-3.0-or-later
// Why a writer does not answer: what the kernel knows of the machine's parallel ports, whether
// the ppdev module and its device nodes are there, whether this user may open them, whether
// another driver holds a port, which port `auto` would open, and whether direct I/O is allowed.
// Each check gives one line, with what to do when it fails.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon::connect {

enum class Verdict { Ok, Warn, Fail, Skip };

struct DoctorLine {
  Verdict verdict = Verdict::Ok;
  std::string check;   // "parallel ports"
  std::string found;   // "parport0 at 0x378 (PCSPP,TRISTATE,EPP)"
  std::string advice;  // what to do about it; empty when there is nothing to do
};

// The line as printed: "[ ok ] parallel ports: parport0 at 0x378 (...)", and " -- advice".
std::string FormatLine(const DoctorLine& line);

// Where the doctor looks and who asks. The live system is `/`, this process's user and the
// processor's own I/O permission; tests give a folder holding a made-up sys/, proc/ and dev/.
struct SystemView {
  std::string root = "/";
  uid_t uid = 0;
  std::vector<gid_t> groups;
  // Asking the system for direct I/O at a base (and giving it back): 0, or the errno value of
  // the refusal; nullopt where the processor has no I/O ports.
  std::function<std::optional<int>(std::uint16_t base)> directAccess;
  // QUILLON_PORT, which replaces `auto`; empty when unset.
  std::string portVariable;
  // True for the live system: a node with an access control list is judged by the system.
  bool live = false;
};
SystemView LiveSystem();

// One parallel port the kernel knows.
struct KnownPort {
  std::string name;  // "parport0"
  std::optional<std::uint16_t> base;
  std::string modes;               // "PCSPP,TRISTATE,EPP", as the kernel lists them
  std::vector<std::string> users;  // drivers registered on it ("lp", "ppdev")
};
std::vector<KnownPort> KnownPorts(const SystemView& view);

// The checks that need no writer, in order: parallel ports, ppdev, device nodes, permission,
// other drivers, the port of `auto`, direct I/O.
std::vector<DoctorLine> CheckPortSetup(const SystemView& view);

// The port `auto` opens on this system ("ppdev:/dev/parport0" when that node exists, else
// "direct:0x378"), or QUILLON_PORT when it is set.
std::string AutoPortChoice(const SystemView& view);

}  // namespace quillon::connect
