// quillon: the desktop program.
//
//   quillon [--port SPEC] | --version | --help
//
// SPEC as for quillon-cli: auto, ppdev:/dev/parportN, direct:0x378 or sim:DIR; without
// --port the environment variable QUILLON_PORT, else auto. QUILLON_TRACE=FILE records the
// link traffic.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "connect/open_port.h"
#include "connect/silent_port.h"
#include "link/link.h"
#include "link/trace.h"
#include "quillon_version.h"
#include "ui/main_window.h"

namespace {

// The port, the trace and the link over them. When no port can be opened, the port is one
// that never answers, so the program still runs and every command finds no writer.
struct Connection {
  std::unique_ptr<quillon::link::Port> port;
  std::unique_ptr<quillon::link::Trace> trace;
  std::unique_ptr<quillon::link::Link> link;
};

Connection Connect(const std::string& givenSpec) {
  Connection c;
  try {
    c.port = quillon::connect::openPort(quillon::connect::choosePortSpec(givenSpec));
  } catch (const quillon::connect::PortError& e) {
    std::cerr << e.what() << '\n';
    c.port = std::make_unique<quillon::connect::SilentPort>(e.what());
  }
  try {
    c.trace = quillon::link::traceFromEnvironment();
  } catch (const std::runtime_error& e) {
    std::cerr << "quillon: no link trace: " << e.what() << '\n';
  }
  quillon::link::LinkOptions options;
  options.trace = c.trace.get();
  c.link = std::make_unique<quillon::link::Link>(*c.port, options);
  return c;
}

int Run(QApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Quillon Writing System: writes, reads and erases GB and WS cards on a writer at the "
      "parallel port."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption portOption(
      QStringLiteral("port"),
      QStringLiteral("The writer's port: auto, ppdev:/dev/parportN, direct:0x378 or sim:DIR "
                     "(default: $QUILLON_PORT, else auto)."),
      QStringLiteral("SPEC"));
  parser.addOption(portOption);
  parser.process(app);  // --help and wrong usage end the program here

  const Connection connection = Connect(parser.value(portOption).toStdString());

  // The main window makes and owns its secondary windows.
  quillon::ui::Tform_ZEP form_ZEP(quillon::ui::StartupPathsForProgram(std::cerr),
                                  *connection.link);

  form_ZEP.show();
  return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quillon"));
  QApplication::setApplicationVersion(QString::fromLatin1(quillon::kVersion));
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
