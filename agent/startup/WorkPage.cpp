#include "agent/startup/WorkPage.h"

#include "agent/control/MainControl.h"
#include "agent/startup/Texts.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CWorkPage::CWorkPage(QWidget* parent) : CBaseWnd(parent) {
  setObjectName(QStringLiteral("WorkPage"));
  setAttribute(Qt::WA_StyledBackground);
  Create();
}

void CWorkPage::Initialize() {
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(32, 40, 32, 32);
  v->setSpacing(8);
  auto* hello = new QLabel(Txt("IDS_HOME2"), this);
  hello->setProperty("role", QStringLiteral("subtle"));
  v->addWidget(hello);
  m_name = new QLabel(this);
  m_name->setObjectName(QStringLiteral("AgentName"));
  m_name->setProperty("role", QStringLiteral("heading"));
  m_name->setWordWrap(true);
  v->addWidget(m_name);
  v->addSpacing(14);
  m_state = new QLabel(this);
  m_state->setObjectName(QStringLiteral("PresenceState"));
  m_state->setProperty("role", QStringLiteral("status"));
  m_state->setWordWrap(true);
  v->addWidget(m_state);
  m_server = new QLabel(this);
  m_server->setObjectName(QStringLiteral("PresenceServer"));
  m_server->setProperty("role", QStringLiteral("subtle"));
  m_server->setWordWrap(true);
  v->addWidget(m_server);
  v->addStretch(1);
  m_logout = new QPushButton(Txt("IDS_LOGOUT"), this);
  m_logout->setObjectName(QStringLiteral("LogoutButton"));
  m_logout->setAccessibleName(m_logout->text());
  m_logout->setMinimumHeight(40);
  v->addWidget(m_logout);
  connect(m_logout, &QPushButton::clicked, this, [] {
    // The same road as the tray's logout: ask, then back to the login window.
    if (AfxMainControl()->LogOut(true) == 6) AfxMainControl()->SendToWindow(enWndMainFrame, hv::WM_WORK_VIEW, 0);
  });
}

void CWorkPage::showEvent(QShowEvent* event) {
  CBaseWnd::showEvent(event);
  Refresh();
  m_logout->setFocus();
}

void CWorkPage::Refresh() {
  CMainControl* ctl = AfxMainControl();
  const QString name = ctl->AgentDisplayName();
  m_name->setText(name);
  m_name->setAccessibleName(name);
  m_state->setText(Txt("IDS_MSG_READY_FOR_SUPPORT"));
  m_server->setText(ctl->PresenceDescription());
}

QString CWorkPage::AgentName() const { return m_name->text(); }
