#include "agent/config/AgentRegistry.h"
#include "agent/control/MainControl.h"
#include "agent/startup/AgentPanel.h"
#include "agent/startup/LogInWnd.h"
#include "agent/startup/MainFrame.h"
#include "agent/startup/ReadyWnd.h"
#include "agent/startup/Texts.h"
#include "agent/web/AgentWeb.h"
#include "skin/Effects.h"
#include "skin/MessageBox.h"
#include "skin/Skin.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class PanelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_pGlobalData->m_bClose = false;
    g_pGlobalData->Step = 0;
    AfxMainControl()->Windows().SetClosing(false);
    AfxMainControl()->m_bSessionReconnect = false;
    AfxMainControl()->LoginState = 4;
    frame = std::make_unique<CMainFrame>();
    CMessageBox::SetAnswererForTesting([this](const QString&, const QString& text, int style, bool*) {
      boxes << QStringLiteral("%1|%2").arg(style).arg(text);
      return int(skin::IDOK);
    });
  }
  void TearDown() override {
    CMessageBox::SetAnswererForTesting({});
    frame.reset();
  }
  std::unique_ptr<CMainFrame> frame;
  QStringList boxes;
};

TEST_F(PanelsTest, ReadyStatusFollowsState) {
  CReadyWnd* ready = frame->Panel()->ReadyWnd();
  CMainControl* ctl = AfxMainControl();
  ctl->LoginState = 4;
  ready->LayoutText();
  EXPECT_EQ(ready->StatusText(), Txt("IDS_VERSION_CHECKING"));
  ctl->LoginState = 1;
  ready->LayoutText();
  EXPECT_EQ(ready->StatusText(), Txt("IDS_NOW_LOGIN"));
  ctl->m_bSessionReconnect = true;
  ready->LayoutText();
  EXPECT_EQ(ready->StatusText(), Txt("IDS_RECONNECTING"));
  ctl->m_bSessionReconnect = false;
}

TEST_F(PanelsTest, ReconnectCountdownGivesUpAfter999Ticks) {
  CReadyWnd* ready = frame->Panel()->ReadyWnd();
  CMainControl* ctl = AfxMainControl();
  ctl->SetSignInState(2);
  ctl->AgentSessionState = 7;
  ready->HandleMessage(hv::WM_RECONNECT_STATE, 1, 0);
  EXPECT_TRUE(ready->IsCancelVisible());
  for (int i = 0; i < 998; ++i) ready->CountdownTick();
  EXPECT_EQ(ready->ReconnectCountdown(), 2);
  EXPECT_EQ(ctl->SignInState(), 2);
  ready->CountdownTick();  // the 999th tick: as if the agent gave up, a logout without a question
  EXPECT_EQ(ready->ReconnectCountdown(), CReadyWnd::kCountdownStart);
  EXPECT_FALSE(ready->IsCancelVisible());
  EXPECT_EQ(ctl->SignInState(), 0);
}

TEST_F(PanelsTest, BusyOverlayKinds) {
  CAgentPanel* panel = frame->Panel();
  struct Case {
    int kind;
    const char* title;
    const char* text;
  } cases[] = {{0, "IDS_INFO_GATHERING", "IDS_MSG_GETTING_INFO"},
               {1, "IDS_MSG_DELETE", nullptr},
               {2, "IDS_MSG_ADD", nullptr},
               {3, "IDS_MSG_MODIFY", nullptr}};
  for (const Case& c : cases) {
    EXPECT_EQ(panel->HandleMessage(CAgentPanel::WM_PANEL_BUSY, 1, c.kind), 1);
    EXPECT_TRUE(g_pGlobalData->PanelBusy);
    EXPECT_EQ(panel->BusyOverlay()->Title(), Txt(c.title));
    EXPECT_EQ(panel->BusyOverlay()->Text(), c.text ? Txt(c.text) : QString());
    panel->HandleMessage(CAgentPanel::WM_PANEL_BUSY, 0, 0);
    EXPECT_FALSE(g_pGlobalData->PanelBusy);
  }
}

TEST_F(PanelsTest, LoginResultNamesWhatIsMissing) {
  CMainControl* ctl = AfxMainControl();
  ServerRecord& auth = AfxWeb().Settings().authServer;
  const ServerRecord saved = auth;
  struct Case {
    const char* host;
    int port;
    const char* id;
    const char* password;
    const char* key;  // nullptr: the login may start
  } cases[] = {
      {"", 443, "a", "abc", "IDS_MSG_CHECK_AUTH_SERVER_OR_PORT"},
      {"h", 0, "a", "abc", "IDS_MSG_CHECK_AUTH_SERVER_OR_PORT"},
      {"h", 443, "", "", "IDS_MSG_INPUT_ID_PWD"},
      {"h", 443, "", "abc", "IDS_MSG_INPUT_ID"},
      {"h", 443, "a", "", "IDS_MSG_INPUT_PASSWORD"},
      {"h", 443, "a", "abc", nullptr},
  };
  for (const Case& c : cases) {
    boxes.clear();
    auth.SetHost(QString::fromLatin1(c.host));
    auth.port = c.port;
    auth.SetUser(QString::fromLatin1(c.id));
    auth.SetPassword(QString::fromLatin1(c.password));
    EXPECT_EQ(ctl->LoginResult(), c.key ? 0 : 2) << c.key;
    EXPECT_EQ(boxes, c.key ? QStringList{QStringLiteral("64|") + Txt(c.key)} : QStringList{});
  }
  auth = saved;
}

TEST_F(PanelsTest, AutoLoginTagText) {
  CMainControl* ctl = AfxMainControl();
  struct Case {
    const char* text;
    bool flag;
    const char* id;
    const char* password;
    const char* phone;
    const char* uid;
    int mode;
  } cases[] = {
      {"<AUTOLOGIN><ID>agent1</ID><PASS>secret12</PASS><MODE>0</MODE></AUTOLOGIN>", true, "agent1", "secret12", "", "agent1", 0},
      {"<AUTOLOGIN><ID></ID><PASS>x</PASS></AUTOLOGIN>", false, "", "", "", "", 0},
      {"<AUTOLOGIN><ID>a</ID></AUTOLOGIN><P_NUMBER>010-12.34 5</P_NUMBER><UID>u9</UID>", true, "a", "", "01012345", "u9", 0},
      {"<AUTOLOGIN><ID>ext</ID><MODE>1</MODE></AUTOLOGIN>", true, "ext", "00000", "", "ext", 1},
      {"<AUTOLOGIN><ID>grp</ID><UID>usr</UID><MODE>2</MODE></AUTOLOGIN>", true, "grp", "00000", "", "usr", 2},
      {"<AUTOLOGIN><ID>a</ID><PASS>p</PASS><MODE>7</MODE></AUTOLOGIN>", true, "a", "p", "", "a", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ctl->ParseAutoLogin(QString::fromLatin1(c.text)), c.flag);
    const AutoLoginInfo& a = ctl->m_OtherData.AutoLogin;
    EXPECT_EQ(a.Flag, c.flag);
    if (!c.flag) continue;
    EXPECT_EQ(a.ID, QString::fromLatin1(c.id));
    EXPECT_EQ(a.Password, QString::fromLatin1(c.password));
    EXPECT_EQ(a.PhoneNumber, QString::fromLatin1(c.phone));
    EXPECT_EQ(a.UserID, QString::fromLatin1(c.uid));
    EXPECT_EQ(a.Mode, c.mode);
    EXPECT_EQ(AfxWeb().LoginMode(), c.mode);
  }
  ctl->InitAutoLogin();
  EXPECT_FALSE(ctl->m_OtherData.AutoLogin.Flag);
  EXPECT_EQ(AfxWeb().LoginMode(), 0);
}

}  // namespace
