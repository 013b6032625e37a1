// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli doctor: why a writer does not answer, one line per check, and finally whether it
// does.
#include <exception>
#include <iostream>

#include "cards/families.h"
#include "cli/commands.h"
#include "connect/open_port.h"
#include "connect/port_doctor.h"
#include "detect/probe.h"
#include "library/rom_header.h"

namespace quillon::cli {

namespace {

// What the card information says, on one line.
std::string CardSummary(const detect::CardInfo& info, library::WriterType writerType) {
  const auto lines = detect::CardInfoLines(info, writerType);
  if (lines.empty()) {
    return info.kind == detect::kNoAnswer ? "no card recognised (a card not inserted right, or chips not supported)"
                                          : "no card, or a cartridge whose header cannot be read";
  }
  // The kind of card and its chips, or the cartridge's first facts; `info` tells the rest.
  constexpr std::size_t kShownLines = 4;
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < kShownLines; ++i)
    text += (text.empty() ? "" : "; ") + library::ShownBig5(lines[i]);
  if (lines.size() > kShownLines) text += "; ...";
  return text;
}

// Opens the port as every device command does and asks the writer what it holds.
connect::DoctorLine CheckWriter(const GlobalOptions& options, const std::atomic<bool>& stop) {
  const std::string port = connect::choosePortSpec(options.port);
  try {
    Session session(options, stop);
    detect::CardInfo info;
    if (cards::ProbeCard(session.link(), session.writerType(), info) == detect::ProbeOutcome::DeviceError) {
      return {connect::Verdict::Fail, "writer", "no answer on " + port,
              "switch the writer on (it has its own power supply), check the cable, set the port to SPP or EPP in "
              "the BIOS setup, and check the port's base address"};
    }
    return {connect::Verdict::Ok, "writer", "answers on " + port + ": " + CardSummary(info, session.writerType()), ""};
  } catch (const std::exception& e) {
    // The opening's own advice comes on indented lines; the doctor's line is one line.
    std::string reason = e.what();
    for (std::size_t at = reason.find('\n'); at != std::string::npos; at = reason.find('\n', at)) {
      const std::size_t indent = reason.find_first_not_of(' ', at + 1);
      reason.replace(at, (indent == std::string::npos ? reason.size() : indent) - at, "; ");
    }
    return {connect::Verdict::Fail, "writer", port + " cannot be opened: " + reason, "see the lines above"};
  }
}

}  // namespace

int runDoctor(const GlobalOptions& options, const DoctorArgs& args, const std::atomic<bool>& stop) {
  connect::SystemView view = connect::LiveSystem();
  if (!args.systemRoot.empty()) {
    view.root = args.systemRoot;
    view.live = false;
    view.directAccess = nullptr;  // the processor's permission says nothing of a made-up system
  }
  for (const auto& line : connect::CheckPortSetup(view)) std::cout << connect::FormatLine(line) << '\n';
  std::cout.flush();
  const auto writer = CheckWriter(options, stop);
  std::cout << connect::FormatLine(writer) << '\n';
  if (stop) return kExitInterrupted;
  return writer.verdict == connect::Verdict::Ok ? kExitOk : kExitFailed;
}

}  // namespace quillon::cli
