#include "agent/config/AgentRegistry.h"
#include "agent/control/MainControl.h"
#include "agent/startup/AgentPanel.h"
#include "agent/startup/LogInWnd.h"
#include "agent/startup/MainFrame.h"
#include "skin/MessageBox.h"
#include "skin/Skin.h"

#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A main window per test, with the global flags reset and message boxes answered by the test.
class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_pGlobalData->m_bClose = false;
    g_pGlobalData->ExitRequested = false;
    g_pGlobalData->Step = 0;
    AfxMainControl()->Windows().SetClosing(false);
    AfxRegistry()->m_nDoNotSeeAgain = 0;
    AfxRegistry()->m_nDoNotSeeAgainRun = 0;
    AfxRegistry()->m_bTrayNotUse = 1;
    AfxRegistry()->m_nAutoCloseTime = 0;
    AfxRegistry()->m_AgentPlacement = WindowPlacement();
    frame = std::make_unique<CMainFrame>();
  }
  void TearDown() override {
    CMessageBox::SetAnswererForTesting({});
    frame.reset();
  }
  // Runs start-up up to the login window, as the first timer tick after the update check does.
  void ReachLoginStep() {
    frame->HandleMessage(hv::WM_POSTCREATE_INIT, 0, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->StepPending(); }, 5000));
    frame->StepTick();
    ASSERT_EQ(frame->Step(), AgentStepLogin);
  }
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, StartUpShowsProgressThenLoginAt484x621) {
  frame->HandleMessage(hv::WM_POSTCREATE_INIT, 0, 0);
  EXPECT_EQ(frame->Step(), AgentStepUpdate);
  EXPECT_TRUE(frame->IsStepTimerActive());
  EXPECT_EQ(frame->size(), QSize(484, 621));
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame->StepPending(); }, 5000));
  frame->StepTick();
  EXPECT_EQ(frame->Step(), AgentStepLogin);
  EXPECT_FALSE(frame->IsStepTimerActive());
  EXPECT_TRUE(frame->Panel()->LogInWnd()->isVisible());
  EXPECT_FALSE(frame->WorkTabsVisible());
}

TEST_F(MainFrameTest, SavedPlacementOnlyAppliedAtExactSize) {
  struct Case {
    QRect saved;
    bool applied;
  } cases[] = {{QRect(40, 50, 484, 621), true}, {QRect(40, 50, 484, 620), false}};
  for (const Case& c : cases) {
    frame = std::make_unique<CMainFrame>();
    AfxRegistry()->m_AgentPlacement = WindowPlacement::FromRect(c.saved);
    frame->HandleMessage(hv::WM_POSTCREATE_INIT, 0, 0);
    EXPECT_EQ(frame->size(), QSize(484, 621));
    EXPECT_EQ(frame->pos() == c.saved.topLeft(), c.applied) << c.saved.height();
  }
}

TEST_F(MainFrameTest, CloseQuestionAnswersAndDoNotAskBit) {
  ReachLoginStep();
  // Cancel with the box ticked: nothing recorded, the console stays.
  CMessageBox::SetAnswererForTesting([](const QString&, const QString&, int, bool* checked) {
    if (checked) *checked = true;
    return int(skin::IDCANCEL);
  });
  frame->OnCloseApplication();
  EXPECT_FALSE(g_pGlobalData->m_bClose);
  EXPECT_EQ(AfxRegistry()->m_nDoNotSeeAgainRun & 0x2, 0);

  // OK with the box ticked: the bit is set for this run and the console closes.
  CMessageBox::SetAnswererForTesting([](const QString&, const QString&, int, bool* checked) {
    if (checked) *checked = true;
    return int(skin::IDOK);
  });
  frame->OnCloseApplication();
  EXPECT_TRUE(g_pGlobalData->m_bClose);
  EXPECT_EQ(AfxRegistry()->m_nDoNotSeeAgainRun & 0x2, 0x2);
}

TEST_F(MainFrameTest, LogoutQuestion) {
  int asked = 0;
  CMessageBox::SetAnswererForTesting([&](const QString&, const QString&, int style, bool* checked) {
    ++asked;
    EXPECT_EQ(style, 36);
    if (checked) *checked = true;
    return int(skin::IDNO);
  });
  // Ticked and answered No: the answer is No, and the bit joins this run's bits.
  EXPECT_EQ(frame->HandleMessage(hv::WM_LOGOUT_QUESTION, 0, 0), skin::IDNO);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(AfxRegistry()->m_nDoNotSeeAgainRun & 0x1, 0x1);
  // With the stored bit the answer is yes without a question.
  AfxRegistry()->m_nDoNotSeeAgain = 0x1;
  EXPECT_EQ(frame->HandleMessage(hv::WM_LOGOUT_QUESTION, 0, 0), 6);
  EXPECT_EQ(asked, 1);
}

TEST_F(MainFrameTest, AutoLogoutTimerFollowsSetting) {
  frame->HandleMessage(hv::WM_AUTO_LOGOUT, 1, 0);
  EXPECT_FALSE(frame->IsAutoCloseTimerActive());  // setting 0: never
  AfxRegistry()->m_nAutoCloseTime = 5;
  frame->HandleMessage(hv::WM_AUTO_LOGOUT, 1, 0);
  EXPECT_TRUE(frame->IsAutoCloseTimerActive());
  EXPECT_EQ(frame->AutoCloseIntervalMs(), 5 * 60000);
  frame->HandleMessage(hv::WM_AUTO_LOGOUT, 0, 0);
  EXPECT_FALSE(frame->IsAutoCloseTimerActive());
}

TEST_F(MainFrameTest, UnregisteredWindowsAnswerMinusOneAndZero) {
  CMainControl* ctl = AfxMainControl();
  EXPECT_EQ(ctl->SendToWindow(enWndFavorite, hv::WM_SHOW_MAIN, 1), -1);
  EXPECT_EQ(ctl->PostToWindow(enWndFavorite, hv::WM_SHOW_MAIN, 1), 0);
  EXPECT_EQ(ctl->SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING), 1);
  EXPECT_TRUE(frame->StepPending());
}

TEST_F(MainFrameTest, PopupNumbersNeverRepeat) {
  CMainControl* ctl = AfxMainControl();
  const int a = ctl->NextPopupNumber();
  ctl->LogOut(false);
  const int b = ctl->NextPopupNumber();
  EXPECT_GT(b, a);
  EXPECT_TRUE(ctl->CustomerPopups.isEmpty());
}

}  // namespace
