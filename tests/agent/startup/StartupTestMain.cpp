#include "tests/TestEnvironment.h"

#include "agent/config/AgentRegistry.h"
#include "agent/control/MainControl.h"
#include "platform/Paths.h"
#include "skin/MessageBox.h"
#include "skin/Skin.h"

#include <QApplication>

#include <gtest/gtest.h>

// One application for every widget test, with its own folders and the staged program folder.
int main(int argc, char** argv) {
  TestEnvironment env;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  hv::paths::SetProgramDirForTesting(QStringLiteral(HV_STAGE_DIR));
  QApplication app(argc, argv);
  g_pGlobalData = new GlobalData();
  skin::ApplyStyle(app, QString());
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  delete g_pGlobalData;
  g_pGlobalData = nullptr;
  return rc;
}
