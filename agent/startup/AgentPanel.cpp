#include "agent/startup/AgentPanel.h"

#include "agent/control/MainControl.h"
#include "agent/startup/LogInWnd.h"
#include "agent/startup/ReadyWnd.h"
#include "agent/startup/Texts.h"
#include "agent/startup/WorkPage.h"
#include "skin/Effects.h"

CAgentPanel::CAgentPanel(QWidget* parent) : CBaseWnd(parent), hv::MessageTarget(this) {
  setObjectName(QStringLiteral("AgentPanel"));
  setAttribute(Qt::WA_StyledBackground);
  Create();
  AfxMainControl()->RegisterWindow(enWndAgentPanel, this);
}

CAgentPanel::~CAgentPanel() { AfxMainControl()->Windows().UnregisterWindow(enWndAgentPanel, this); }

void CAgentPanel::Initialize() {
  m_switch = new CSwitchManager(this);
  m_ready = new CReadyWnd(this);
  m_login = new CLogInWnd(this);
  m_work = new CWorkPage(this);
  m_ready->hide();
  m_login->hide();
  m_work->hide();
  m_busyTitles[0] = Txt("IDS_INFO_GATHERING");
  m_busyText = Txt("IDS_MSG_GETTING_INFO");
  m_busyTitles[1] = Txt("IDS_MSG_DELETE");
  m_busyTitles[2] = Txt("IDS_MSG_ADD");
  m_busyTitles[3] = Txt("IDS_MSG_MODIFY");
  m_busy = new CWaitingWnd(this);
  m_busy->setObjectName(QStringLiteral("WaitingWnd"));
  connect(m_switch, &CSwitchManager::finished, this,
          [this] { AfxMainControl()->PostToWindow(enWndAgentPanel, WM_SWITCH_ENDED); });
}

void CAgentPanel::RecalcLayout(int width, int height) {
  const QRect r(0, 0, width, height);
  for (QWidget* w : {static_cast<QWidget*>(m_ready), static_cast<QWidget*>(m_login), static_cast<QWidget*>(m_work)})
    w->setGeometry(r);
  if (m_busy->isVisible()) m_busy->setGeometry(r);
}

QWidget* CAgentPanel::PageOf(int step) const {
  switch (step) {
    case AgentStepUpdate: return m_ready;
    case AgentStepLogin: return m_login;
    case AgentStepWork: return m_work;
    default: return nullptr;
  }
}

void CAgentPanel::SwitchPage(int step) {
  if (step == AgentStepUpdate) {
    m_step = step;
    setUpdatesEnabled(false);
    show();
    m_login->hide();
    m_work->hide();
    m_ready->show();
    m_ready->LayoutText();
    setUpdatesEnabled(true);
    return;
  }
  QWidget* next = PageOf(step);
  if (!next) return;
  QWidget* current = PageOf(m_step);
  if (step == m_step && current && current->isVisible()) {
    m_ready->hide();
    return;
  }
  // Picture of the page shown now, then of the new one, and slide between them.
  const bool canSlide = current && current->isVisible() && isVisible() && width() > 0;
  QPixmap from = canSlide ? current->grab() : QPixmap();
  m_ready->hide();
  for (QWidget* w : {static_cast<QWidget*>(m_login), static_cast<QWidget*>(m_work)})
    if (w != next) w->hide();
  next->setGeometry(rect());
  next->show();
  m_step = step;
  if (canSlide) {
    const QPixmap to = next->grab();
    m_switch->Switch(from, to, step == AgentStepWork ? 1 : -1);
  }
}

void CAgentPanel::ShowBusy(bool show, int kind) {
  if (show) {
    g_pGlobalData->PanelBusy = true;
    const int k = (kind >= 0 && kind < 4) ? kind : 0;
    m_busy->SetTitle(m_busyTitles[k]);
    m_busy->SetText(k == 0 ? m_busyText : QString());
    m_busy->setGeometry(rect());
    m_busy->Show(true, kBusyFadeMs);
    m_busy->StartAnimation();
  } else {
    m_busy->Show(false, kBusyFadeMs);
    g_pGlobalData->PanelBusy = false;
  }
}

intptr_t CAgentPanel::HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
  switch (msg) {
    case WM_PANEL_BUSY:
      ShowBusy(wParam == 1, int(lParam));
      return 1;
    case WM_SWITCH_ENDED:
      RecalcLayout(width(), height());
      return 1;
    case hv::WM_CLEAR_PANELS:
      m_work->Refresh();
      return 1;
    default:
      return 0;
  }
}
