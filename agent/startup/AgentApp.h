#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class CMainFrame;
class QApplication;

namespace hv {
class BusWindow;
class SingleInstanceLock;
}  // namespace hv

// Start switches: the first one found in the command line wins.
struct StartSwitches {
  int RunMode = 0;        // 1 -APIRUN, 2 -APPRUN, 3 -WEBRUN, 4 -DMC, 5 -CRM
  bool AppRun = false;
  QString WebId, WebPassword;
  QString CommandLine;    // the text after the switch, or the whole line when none was found
};
StartSwitches ParseStartSwitches(const QString& commandLine);

// The console's application object: start-up in its fixed order, one instance per user session,
// and the orderly end.
class CAgentApp {
 public:
  explicit CAgentApp(QApplication& app);
  ~CAgentApp();

  // False ends the process without a message loop.
  bool InitInstance();
  int ExitInstance();

  int RunMode() const { return m_switches.RunMode; }
  bool AppRun() const { return m_switches.AppRun; }
  CMainFrame* MainFrame() const { return m_mainFrame; }

  // Asks a running console to show itself; false when none answered.
  static bool ActivateRunningConsole();

 private:
  QApplication& m_app;
  StartSwitches m_switches;
  std::unique_ptr<hv::SingleInstanceLock> m_instanceLock;
  std::unique_ptr<hv::BusWindow> m_busWindow;
  CMainFrame* m_mainFrame = nullptr;
};
