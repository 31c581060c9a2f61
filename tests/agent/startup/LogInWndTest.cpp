#include "agent/control/MainControl.h"
#include "agent/startup/AgentPanel.h"
#include "agent/startup/LogInWnd.h"
#include "agent/startup/MainFrame.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

TEST(LogInWnd, LoginButtonNeedsLoginStepIdAndPasswordOverTwo) {
  g_pGlobalData->m_bClose = false;
  auto frame = std::make_unique<CMainFrame>();
  CLogInWnd* login = frame->Panel()->LogInWnd();
  g_pGlobalData->Step = AgentStepLogin;
  struct Case {
    const char* id;
    const char* password;
    bool enabled;
  } cases[] = {{"agent1", "ab", false}, {"agent1", "abc", true}, {"", "abcdef", false}};
  for (const Case& c : cases) {
    login->IdEdit()->setText(QString::fromLatin1(c.id));
    login->PasswordEdit()->setText(QString::fromLatin1(c.password));
    EXPECT_EQ(login->LoginButton()->isEnabled(), c.enabled) << c.id << "/" << c.password;
  }
  // Enter with a two-character password starts nothing.
  login->IdEdit()->setText(QStringLiteral("agent1"));
  login->PasswordEdit()->setText(QStringLiteral("ab"));
  QTest::keyClick(login->PasswordEdit(), Qt::Key_Return);
  EXPECT_FALSE(login->LoginBusy());
  EXPECT_EQ(g_pGlobalData->Step, AgentStepLogin);
  // Outside the login step the button stays off.
  login->PasswordEdit()->setText(QStringLiteral("abcdef"));
  g_pGlobalData->Step = AgentStepUpdate;
  login->UpdateLoginButton();
  EXPECT_FALSE(login->LoginButton()->isEnabled());
}
