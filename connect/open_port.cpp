// SPDX-License-Identifier: GPL-3.0-or-later
#include "connect/open_port.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "link/hardware_ports.h"
#include "sim/sim.h"

namespace quillon::connect {

namespace {

constexpr std::string_view kPpdev = "ppdev:";
constexpr std::string_view kDirect = "direct:";
constexpr std::string_view kSim = "sim:";

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::uint16_t parseBase(const std::string& text) {
  try {
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used, 0);
    if (used == text.size() && value > 0 && value <= 0xFFFC) return static_cast<std::uint16_t>(value);
  } catch (const std::exception&) {
  }
  throw PortError("bad port address '" + text + "': give it like direct:0x378");
}

}  // namespace

std::unique_ptr<link::Port> openAutoPort(const AutoOpeners& openers) {
  std::string ppdevError;
  try {
    return openers.ppdev();
  } catch (const link::PortBusy& e) {
    // The port is there and a driver uses it: writing to its registers behind that
    // driver's back would upset both, so direct I/O is not tried.
    throw PortError(std::string(e.what()) + "\n  (auto did not try direct I/O on a port another driver holds)");
  } catch (const std::exception& e) {
    ppdevError = e.what();
  }
  try {
    return openers.direct();
  } catch (const std::exception& e) {
    throw PortError("no parallel port could be opened.\n  ppdev: " + ppdevError + "\n  direct I/O: " + e.what() +
                    "\n  (use --port sim:DIR for the simulated writer)");
  }
}

std::string choosePortSpec(const std::string& given) {
  if (!given.empty()) return given;
  const char* env = std::getenv("QUILLON_PORT");
  return env && *env ? std::string(env) : std::string("auto");
}

std::string simFolderOf(const std::string& spec) {
  return startsWith(spec, kSim) ? spec.substr(kSim.size()) : std::string();
}

std::string WriterIdentity(const std::string& spec, const link::Port& port) {
  // Absolute, without "." and "..", through no link, with no separator at the end.
  const auto plain = [](const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) absolute = path;
    const fs::path resolved = fs::weakly_canonical(absolute, error);
    std::string text = (error ? absolute.lexically_normal() : resolved).string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
  };
  if (const std::string folder = simFolderOf(spec); !folder.empty()) return plain(folder);
  const std::string described = port.describe();
  if (startsWith(described, kPpdev)) return plain(described.substr(kPpdev.size()));
  if (startsWith(described, kDirect)) return described.substr(kDirect.size());
  return {};
}

sim::SimPortOptions simPortOptions(std::ostream* notices, const std::atomic<bool>* stop) {
  sim::SimPortOptions options;
  options.notices = notices;
  options.stop = stop;
  if (const char* text = std::getenv("QUILLON_SIM_WAIT"); text != nullptr && *text != '\0') {
    unsigned ms = 0;
    const char* end = text + std::strlen(text);
    if (const auto [last, error] = std::from_chars(text, end, ms); error == std::errc{} && last == end) {
      options.claimWait = std::chrono::milliseconds(ms);
    }
  }
  return options;
}

std::unique_ptr<link::Port> openPort(const std::string& spec, std::ostream* notices, const std::atomic<bool>* stop) {
  try {
    if (spec == "auto") {
      return openAutoPort(
          {[] { return link::openPpdevPort("/dev/parport0"); }, [] { return link::openDirectPort(0x378); }});
    }
    if (startsWith(spec, kPpdev)) return link::openPpdevPort(spec.substr(kPpdev.size()));
    if (startsWith(spec, kDirect)) return link::openDirectPort(parseBase(spec.substr(kDirect.size())));
    if (startsWith(spec, kSim) && spec.size() > kSim.size())
      return sim::openSimPort(spec.substr(kSim.size()), simPortOptions(notices, stop));
  } catch (const PortError&) {
    throw;
  } catch (const std::exception& e) {
    throw PortError(e.what());
  }
  throw PortError("unknown port '" + spec + "': use auto, ppdev:/dev/parportN, direct:0x378 or sim:DIR");
}

}  // namespace quillon::connect
