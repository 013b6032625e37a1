// SPDX-License-Identifier: GPL-3.0-or-later
// quillon: the desktop program.
//
//   quillon [--port SPEC] | --version | --help
//
// SPEC as for quillon-cli: auto, ppdev:/dev/parportN, direct:BASE or sim:DIR; without
// --port the environment variable QUILLON_PORT, else auto. QUILLON_TRACE=FILE records the
// link traffic, unless FILE is a file of the simulated writer or a copy of save memory.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "connect/open_port.h"
#include "connect/silent_port.h"
#include "link/link.h"
#include "link/trace.h"
#include "ops/own_files.h"
#include "quillon_version.h"
#include "ui/main_window.h"

namespace {

// The port, the trace and the link over them. When no port can be opened, the port is one
// that never answers, so the program still runs and every command finds no writer.
struct Connection {
  std::string portProblem;  // why no port was opened; empty when one was
  std::unique_ptr<quillon::link::Port> port;
  std::unique_ptr<quillon::link::Trace> trace;
  std::unique_ptr<quillon::link::Link> link;
};

// The trace QUILLON_TRACE names, opened before the port. One that would write over a file
// of the simulated writer or a copy of save memory is refused, as is one that cannot be
// opened: the program runs without a trace and `note` says why.
std::unique_ptr<quillon::link::Trace> OpenTrace(const quillon::ui::StartupPaths& paths, std::string& note) {
  const char* path = std::getenv("QUILLON_TRACE");
  if (path == nullptr || *path == '\0') return nullptr;
  if (const auto why = quillon::ops::ProtectedFileReason(path, paths.writerFolder, paths.backupFolder)) {
    note = "no link trace: QUILLON_TRACE=" + std::string(path) + " is " + *why + "; the program runs without one";
    return nullptr;
  }
  try {
    return std::make_unique<quillon::link::FileTrace>(path);
  } catch (const std::runtime_error& e) {
    note = std::string("no link trace: ") + e.what();
  }
  return nullptr;
}

Connection Connect(const std::string& spec, const quillon::ui::StartupPaths& paths, std::string& traceNote) {
  Connection c;
  c.trace = OpenTrace(paths, traceNote);
  if (!traceNote.empty()) std::cerr << "quillon: " << traceNote << '\n';
  try {
    c.port = quillon::connect::openPort(spec, &std::cerr);
  } catch (const quillon::connect::PortError& e) {
    std::cerr << e.what() << '\n';
    c.portProblem = e.what();
    c.port = std::make_unique<quillon::connect::SilentPort>(e.what());
  }
  quillon::link::LinkOptions options;
  options.trace = c.trace.get();
  c.link = std::make_unique<quillon::link::Link>(*c.port, options);
  return c;
}

// The program's options; --help, --version and wrong usage end the program in process().
struct Options {
  QString port;
};

Options ProcessOptions(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Quillon Writing System: writes, reads and erases GB and WS cards on a writer at the "
                     "parallel port."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption portOption(
      QStringLiteral("port"),
      QStringLiteral("The writer's port: auto, ppdev:/dev/parportN, direct:BASE (e.g. 0x378) or sim:DIR "
                     "(default: $QUILLON_PORT, else auto)."),
      QStringLiteral("SPEC"));
  parser.addOption(portOption);
  parser.process(app);
  return {parser.value(portOption)};
}

// --help and --version print and end before any window exists, so they need no display.
bool AsksOnlyForText(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "--help-all" || arg == "--version" || arg == "-v") return true;
  }
  return false;
}

void NameProgram() {
  QCoreApplication::setApplicationName(QStringLiteral("quillon"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(quillon::kVersion));
}

int Run(QApplication& app) {
  const Options options = ProcessOptions(app);
  const std::string spec = quillon::connect::choosePortSpec(options.port.toStdString());
  quillon::ui::StartupPaths paths = quillon::ui::StartupPathsForProgram(std::cerr);
  paths.writerFolder = quillon::connect::simFolderOf(spec);
  std::string traceNote;
  const Connection connection = Connect(spec, paths, traceNote);
  paths.writer = quillon::connect::WriterIdentity(spec, *connection.port);

  // The main window makes and owns its secondary windows.
  quillon::ui::Tform_ZEP form_ZEP(std::move(paths), *connection.link, connection.port.get());
  form_ZEP.SetWriterReason(connection.portProblem);
  if (!traceNote.empty()) form_ZEP.ShowStatus(traceNote);

  form_ZEP.show();
  return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (AsksOnlyForText(argc, argv)) {
    QCoreApplication textOnly(argc, argv);
    NameProgram();
    ProcessOptions(textOnly);
    return 0;
  }
  QApplication app(argc, argv);
  NameProgram();
  // A file that reaches the size limit (ulimit -f) fails its write, which the operation
  // reports ("Writing File Error"), instead of killing the program beside a half-written file.
  std::signal(SIGXFSZ, SIG_IGN);
  // The desktop entry's name: a desktop shell matches the window to its entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillon.Quillon"));
  try {
    return Run(app);
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("quillon"), QString::fromLocal8Bit(e.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, QStringLiteral("quillon"),
                          QStringLiteral("An unexpected error stopped the program."));
  }
  return 0;
}
