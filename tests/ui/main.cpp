// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every test class of the windows; QT_QPA_PLATFORM=offscreen keeps them off screen.
#include <QApplication>

int RunSettingsTests(int argc, char** argv);
int RunMainWindowTests(int argc, char** argv);
int RunProbeTests(int argc, char** argv);
int RunOperationWindowTests(int argc, char** argv);
int RunWsWindowTests(int argc, char** argv);
int RunMainCommandTests(int argc, char** argv);
int RunDirectoryAboutTests(int argc, char** argv);
int RunTextLookTests(int argc, char** argv);
int RunOperationProgressTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failed = RunSettingsTests(argc, argv);
  failed += RunMainWindowTests(argc, argv);
  failed += RunProbeTests(argc, argv);
  failed += RunOperationWindowTests(argc, argv);
  failed += RunWsWindowTests(argc, argv);
  failed += RunMainCommandTests(argc, argv);
  failed += RunDirectoryAboutTests(argc, argv);
  failed += RunTextLookTests(argc, argv);
  failed += RunOperationProgressTests(argc, argv);
  return failed == 0 ? 0 : 1;
}
