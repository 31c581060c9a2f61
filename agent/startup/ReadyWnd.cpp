#include "agent/startup/ReadyWnd.h"

#include "agent/control/MainControl.h"
#include "agent/log/DeveloperLog.h"
#include "agent/startup/Texts.h"
#include "skin/Effects.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CReadyWnd::CReadyWnd(QWidget* parent) : CBaseWnd(parent), hv::MessageTarget(this) {
  setObjectName(QStringLiteral("ReadyWnd"));
  setAttribute(Qt::WA_StyledBackground);
  setProperty("class", QStringLiteral("Page"));
  AfxMainControl()->RegisterWindow(enWndReady, this);
  Create();
}

CReadyWnd::~CReadyWnd() { AfxMainControl()->Windows().UnregisterWindow(enWndReady, this); }

void CReadyWnd::Initialize() {
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(24, 24, 24, 24);
  v->addStretch(3);
  m_spinner = new CSpinner(this);
  m_spinner->setObjectName(QStringLiteral("ReadyAnimation"));
  m_spinner->setFixedSize(76, 76);
  v->addWidget(m_spinner, 0, Qt::AlignHCenter);
  v->addSpacing(22);
  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("ReadyStatus"));
  m_status->setProperty("role", QStringLiteral("status"));
  m_status->setAlignment(Qt::AlignCenter);
  m_status->setWordWrap(true);
  v->addWidget(m_status);
  m_countdownLabel = new QLabel(this);
  m_countdownLabel->setObjectName(QStringLiteral("ReadyCountdown"));
  m_countdownLabel->setProperty("role", QStringLiteral("subtle"));
  m_countdownLabel->setAlignment(Qt::AlignCenter);
  m_countdownLabel->hide();
  v->addWidget(m_countdownLabel);
  v->addSpacing(18);
  m_cancel = new QPushButton(Txt("IDS_CANCEL_RESTORATION"), this);
  m_cancel->setObjectName(QStringLiteral("CancelRestoration"));
  m_cancel->setAccessibleName(m_cancel->text());
  m_cancel->hide();
  connect(m_cancel, &QPushButton::clicked, this, &CReadyWnd::OnCancelRestoration);
  v->addWidget(m_cancel, 0, Qt::AlignHCenter);
  v->addStretch(4);

  m_animation = new QTimer(this);
  m_animation->setTimerType(Qt::PreciseTimer);
  m_animation->setInterval(kAnimationMs);
  connect(m_animation, &QTimer::timeout, this, [this] { m_spinner->SetFrame(m_spinner->Frame() + 1); });
  m_countdownTimer = new QTimer(this);
  m_countdownTimer->setTimerType(Qt::PreciseTimer);
  m_countdownTimer->setInterval(1000);
  connect(m_countdownTimer, &QTimer::timeout, this, &CReadyWnd::CountdownTick);
  LayoutText();
}

void CReadyWnd::RecalcLayout(int, int) {}

void CReadyWnd::LayoutText() {
  // The status follows the control object's state each time the window is laid out.
  CMainControl* ctl = AfxMainControl();
  const char* key = ctl->m_bSessionReconnect ? "IDS_RECONNECTING"
                    : ctl->LoginState == 4   ? "IDS_VERSION_CHECKING"
                                             : "IDS_NOW_LOGIN";
  m_status->setText(Txt(key));
  m_status->setAccessibleName(m_status->text());
}

QString CReadyWnd::StatusText() const { return m_status->text(); }
bool CReadyWnd::IsCancelVisible() const { return !m_cancel->isHidden(); }
bool CReadyWnd::IsAnimating() const { return m_animation->isActive(); }

intptr_t CReadyWnd::HandleMessage(unsigned msg, uintptr_t wParam, intptr_t) {
  switch (msg) {
    case hv::WM_RECONNECT_STATE:
      SetReconnectState(wParam == 1);
      return 1;
    case hv::WM_READY_LAYOUT:
      LayoutText();
      return 1;
    default:
      return 0;
  }
}

void CReadyWnd::SetReconnectState(bool reconnecting) {
  HVLOG(0, "CReadyWnd : reconnect state %d (countdown %d)", reconnecting ? 1 : 0, m_countdown);
  if (reconnecting) {
    m_countdownTimer->start();
    m_cancel->show();
    m_countdownLabel->show();
    m_countdownLabel->setText(QString());
  } else {
    m_countdownTimer->stop();
    m_cancel->hide();
    m_countdownLabel->hide();
    m_countdown = kCountdownStart;
    m_animation->stop();
  }
  LayoutText();
}

void CReadyWnd::CountdownTick() {
  --m_countdown;
  m_countdownLabel->setText(QString::number(m_countdown));
  if (m_countdown <= 1) {
    HVLOG(1, "CReadyWnd : the connection was not restored in time; signing out");
    OnCancelRestoration();
  }
}

void CReadyWnd::OnCancelRestoration() {
  m_countdownTimer->stop();
  m_cancel->hide();
  m_countdownLabel->hide();
  m_countdown = kCountdownStart;
  AfxMainControl()->LogOut(false);
}

void CReadyWnd::showEvent(QShowEvent* event) {
  CBaseWnd::showEvent(event);
  LayoutText();
  m_animation->start();
}

void CReadyWnd::hideEvent(QHideEvent* event) {
  m_animation->stop();
  CBaseWnd::hideEvent(event);
}

void CReadyWnd::mousePressEvent(QMouseEvent* event) {
  // A press on the background drags the main window.
  if (event->button() == Qt::LeftButton) AfxMainControl()->PostToWindow(enWndMainFrame, hv::WM_USER + 7202);
  CBaseWnd::mousePressEvent(event);
}
