#include "agent/startup/AgentApp.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Helvora Agent"));
  QApplication::setQuitOnLastWindowClosed(false);
  CAgentApp agent(app);
  if (!agent.InitInstance()) {
    agent.ExitInstance();
    return 0;
  }
  const int rc = app.exec();
  agent.ExitInstance();
  return rc;
}
