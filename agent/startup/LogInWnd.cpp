#include "agent/startup/LogInWnd.h"

#include "agent/control/MainControl.h"
#include "agent/log/DeveloperLog.h"
#include "agent/startup/Texts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

CLogInWnd::CLogInWnd(QWidget* parent) : CBaseWnd(parent), hv::MessageTarget(this) {
  setObjectName(QStringLiteral("LogInWnd"));
  setAttribute(Qt::WA_StyledBackground);
  AfxMainControl()->RegisterWindow(enWndLogIn, this);
  Create();
}

CLogInWnd::~CLogInWnd() {
  AfxMainControl()->Windows().UnregisterWindow(enWndLogIn, this);
  // The login thread gets 3 s to notice the close; it is never killed.
  WaitThread(m_loginThread, 3);
  WaitThread(m_updateThread, 3);
}

void CLogInWnd::Initialize() {
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(40, 36, 40, 28);
  v->setSpacing(0);

  auto* logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("LoginLogo"));
  logo->setPixmap(QIcon(QStringLiteral(":/startup/helvora-mark.svg")).pixmap(56, 56));
  logo->setAlignment(Qt::AlignHCenter);
  logo->setAccessibleName(QStringLiteral("Helvora"));
  v->addWidget(logo);
  v->addSpacing(12);
  m_heading = new QLabel(Txt("IDS_LOGIN"), this);
  m_heading->setProperty("role", QStringLiteral("heading"));
  m_heading->setAlignment(Qt::AlignHCenter);
  v->addWidget(m_heading);
  v->addSpacing(28);

  m_id = new QLineEdit(this);
  m_id->setObjectName(QStringLiteral("IdEdit"));
  m_id->setPlaceholderText(Txt("IDS_MSG_INPUT_ID"));
  m_id->setAccessibleName(Txt("IDS_MSG_INPUT_ID"));
  m_id->setMaxLength(127);
  m_id->setMinimumHeight(40);
  v->addWidget(m_id);
  v->addSpacing(10);

  m_password = new QLineEdit(this);
  m_password->setObjectName(QStringLiteral("PasswordEdit"));
  m_password->setEchoMode(QLineEdit::Password);
  m_password->setPlaceholderText(Txt("IDS_MSG_INPUT_PASSWORD"));
  m_password->setAccessibleName(Txt("IDS_MSG_INPUT_PASSWORD"));
  m_password->setMaxLength(127);
  m_password->setMinimumHeight(40);
  v->addWidget(m_password);
  v->addSpacing(14);

  m_saveAccount = new QCheckBox(Txt("IDS_SAVE_ID_PWD"), this);
  m_saveAccount->setObjectName(QStringLiteral("SaveIdPwd"));
  m_saveAccount->setAccessibleName(m_saveAccount->text());
  v->addWidget(m_saveAccount);
  v->addSpacing(6);
  m_autoReady = new QCheckBox(Txt("IDS_AUTO_READY"), this);
  m_autoReady->setObjectName(QStringLiteral("AutoReady"));
  m_autoReady->setAccessibleName(m_autoReady->text());
  v->addWidget(m_autoReady);
  v->addSpacing(22);

  m_login = new QPushButton(Txt("IDS_LOGIN"), this);
  m_login->setObjectName(QStringLiteral("LoginButton"));
  m_login->setProperty("role", QStringLiteral("primary"));
  m_login->setAccessibleName(m_login->text());
  m_login->setMinimumHeight(42);
  m_login->setDefault(true);
  v->addWidget(m_login);
  v->addSpacing(14);

  m_findId = new QPushButton(Txt("IDS_FIND_ID_PWD"), this);
  m_findId->setObjectName(QStringLiteral("FindIdPwd"));
  m_findId->setProperty("role", QStringLiteral("link"));
  m_findId->setAccessibleName(m_findId->text());
  m_findId->setCursor(Qt::PointingHandCursor);
  v->addWidget(m_findId, 0, Qt::AlignHCenter);
  v->addStretch(1);

  // The two remembered choices mirror the settings flags.
  CMainControl* ctl = AfxMainControl();
  m_saveAccount->setChecked(ctl->SettingSaveAccount());
  m_autoReady->setChecked(ctl->SettingAutoStandby());
  connect(m_saveAccount, &QCheckBox::toggled, this, [](bool on) { AfxMainControl()->SetSettingSaveAccount(on); });
  connect(m_autoReady, &QCheckBox::toggled, this, [](bool on) { AfxMainControl()->SetSettingAutoStandby(on); });
  connect(m_id, &QLineEdit::textChanged, this, &CLogInWnd::UpdateLoginButton);
  connect(m_password, &QLineEdit::textChanged, this, &CLogInWnd::UpdateLoginButton);
  connect(m_login, &QPushButton::clicked, this, &CLogInWnd::StartLogin);
  connect(m_findId, &QPushButton::clicked, this, &CLogInWnd::OnFindIdPwd);
  m_id->installEventFilter(this);
  m_password->installEventFilter(this);
  setTabOrder(m_id, m_password);
  setTabOrder(m_password, m_saveAccount);
  setTabOrder(m_saveAccount, m_autoReady);
  setTabOrder(m_autoReady, m_login);
  setTabOrder(m_login, m_findId);

  const QString savedId = ctl->SavedLoginID();
  if (!savedId.isEmpty()) m_id->setText(savedId);
  const QString savedPw = ctl->SavedLoginPassword();
  if (!savedPw.isEmpty()) m_password->setText(savedPw);
  UpdateLoginButton();
}

bool CLogInWnd::CanLogin() const {
  return g_pGlobalData && g_pGlobalData->Step == AgentStepLogin && !m_id->text().isEmpty() &&
         m_password->text().size() > 2;
}

void CLogInWnd::UpdateLoginButton() { m_login->setEnabled(CanLogin()); }

void CLogInWnd::showEvent(QShowEvent* event) {
  CBaseWnd::showEvent(event);
  UpdateLoginButton();
  if (m_id->text().isEmpty())
    m_id->setFocus();
  else
    m_password->setFocus();
  // With an auto-login hand-over the first showing starts the login by itself.
  if (m_autoStartPending) {
    m_autoStartPending = false;
    if (AfxMainControl()->m_OtherData.AutoLogin.Flag)
      AfxMainControl()->PostToWindow(enWndLogIn, hv::WM_LOGIN_START);
  }
}

bool CLogInWnd::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == m_id || watched == m_password) && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (!m_id->text().isEmpty() && m_password->text().size() > 2 && CanLogin()) StartLogin();
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      setFocus();
      return true;
    }
  }
  return CBaseWnd::eventFilter(watched, event);
}

void CLogInWnd::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    setFocus();
    return;
  }
  CBaseWnd::keyPressEvent(event);
}

void CLogInWnd::mousePressEvent(QMouseEvent* event) {
  AfxMainControl()->PostToWindow(enWndMainFrame, hv::WM_USER + 7202);
  CBaseWnd::mousePressEvent(event);
}

void CLogInWnd::OnFindIdPwd() { AfxMainControl()->OpenFindIdPage(); }

void CLogInWnd::StartLogin() {
  CMainControl* ctl = AfxMainControl();
  if (m_loginBusy) return;  // a second click while a login runs does nothing
  const AutoLoginInfo& autoLogin = ctl->m_OtherData.AutoLogin;
  if (autoLogin.Flag) {
    m_id->setText(autoLogin.ID);
    m_password->setText(autoLogin.Password);
  }
  const QString id = m_id->text();
  const QString password = m_password->text();
  if (id.isEmpty() || password.isEmpty()) return;

  m_enteredID = id;
  m_enteredPassword = password;
  ctl->SendToWindow(enWndReady, hv::WM_READY_LAYOUT);
  ctl->SendToWindow(enWndMainFrame, hv::WM_SET_STEP, AgentStepUpdate);
  ctl->LoginState = 1;
  ctl->SendToWindow(enWndReady, hv::WM_READY_LAYOUT);

  ctl->SwapLoginCredentials(id, password, &m_previousID, &m_previousPassword);

  if (ctl->LoginResult() == 0) {
    ctl->LoginState = 2;
    m_loginBusy = false;
    ctl->SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING);
    return;
  }
  RunLoginThread();
}

void CLogInWnd::RunLoginThread() {
  if (m_loginThread && !m_loginThread->isFinished()) return;
  WaitThread(m_loginThread, 0);
  m_loginBusy = true;
  m_loginThread = QThread::create([this] {
    CMainControl* ctl = AfxMainControl();
    const int outcome = ctl->LoginWeb();
    m_loginCode = outcome;
    if (!IsClosing() && outcome != 2) ctl->SendToWindow(enWndLogIn, hv::WM_LOGIN_COMPLATE, 0);
  });
  m_loginThread->start(QThread::HighestPriority);
}

void CLogInWnd::RunUpdateCheckThread() {
  WaitThread(m_updateThread, 0);
  m_updateThread = QThread::create([this] {
    CMainControl* ctl = AfxMainControl();
    m_loginCode = 2;
    if (!ctl->IsUpdate()) {
      if (!IsClosing()) ctl->SendToWindow(enWndLogIn, hv::WM_LOGIN_COMPLATE, 0);
      return;
    }
    g_pGlobalData->ExitRequested = true;
    if (ctl->AppRun) {
      ctl->SendMessageBox(Txt("IDS_MSG_NEW_VERSION_EXIST"), 64);
      ctl->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
      m_loginCode = 0;
    } else {
      ctl->SendToWindow(enWndMainFrame, hv::WM_AGENT_MODULE_UPDATE, 0);
    }
  });
  m_updateThread->start();
}

void CLogInWnd::ClearPassword(bool alsoId) {
  m_password->clear();
  if (alsoId) m_id->clear();
  UpdateLoginButton();
}

intptr_t CLogInWnd::HandleMessage(unsigned msg, uintptr_t wParam, intptr_t) {
  CMainControl* ctl = AfxMainControl();
  switch (msg) {
    case hv::WM_LOGIN_START:
      StartLogin();
      return 1;
    case hv::WM_LOGIN_COMPLATE:
      OnLoginComplete(wParam == 1);
      return 1;
    case hv::WM_LOGIN_UPDATE_CHECK:
      RunUpdateCheckThread();
      return 1;
    case hv::WM_OPEN_SESSIONSERVER:
      return ctl->OpenSessionServer();
    case hv::WM_LOGIN_RESET:
      ctl->LoginState = 2;
      m_loginBusy = false;
      m_loginCode = 0;
      return 1;
    case hv::WM_INIT_LOGOUT:
      ClearPassword(wParam == 1);
      return 1;
    case WM_GET_LOGIN_ID:
      m_idForSend = m_id->text();
      return reinterpret_cast<intptr_t>(&m_idForSend);
    default:
      return 0;
  }
}

void CLogInWnd::OnLoginComplete(bool onlyReset) {
  CMainControl* ctl = AfxMainControl();
  if (onlyReset) {
    ctl->LoginState = 2;
    m_loginBusy = false;
    ctl->InitAutoLogin();
    return;
  }
  if (IsClosing()) return;
  int outcome = m_loginCode;
  static const int kHandled[] = {0, 2, 3, 100, 106, 122, 123, 201};
  if (std::find(std::begin(kHandled), std::end(kHandled), outcome) == std::end(kHandled)) {
    if (outcome == 101) outcome = 102;
    ctl->InitAutoLogin();
    ctl->ShowServiceError(outcome);
  }
  if (IsClosing()) return;
  if (outcome == 201) ctl->SendToWindow(enWndMainFrame, hv::WM_NEW_VERSION_NOTICE);
  if (outcome == 106) ctl->SendMessageBox(ctl->LockedAccountMessage(), 16);
  if (IsClosing()) return;
  switch (outcome) {
    case 0:
      ctl->SendMessageBox(ctl->NoAnswerMessage(), 16);
      break;
    case 2:
      ctl->PostToWindow(enWndLogIn, hv::WM_OPEN_SESSIONSERVER);
      ctl->ShowLoginNotices();
      break;
    case 109:
      ctl->PostToWindow(enWndMainFrame, hv::WM_SHOW_CONNECTION_CLOSED);
      break;
    case 122:
    case 123:
      ctl->PostToWindow(enWndMainFrame, hv::WM_SHOW_PASSWORD_DIALOG);
      break;
    default:
      break;
  }
  if (IsClosing()) return;
  ctl->SendToWindow(enWndMainFrame, hv::WM_CLEAR_PANELS);
  if (outcome == 2) {
    const bool autoLogin = ctl->m_OtherData.AutoLogin.Flag;
    ctl->SaveConfig(autoLogin ? QString() : m_enteredID, autoLogin ? QString() : m_enteredPassword);
    ctl->WriteSkinFolder();
    return;
  }
  ctl->LoginState = 2;
  m_loginBusy = false;
  ctl->SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING);
  if (m_loginCode == 101 || m_loginCode == 102) ClearPassword(false);
  ctl->RestoreLoginCredentials(m_previousID, m_previousPassword);
  if (ctl->m_OtherData.AutoLogin.Flag) ctl->SendToWindow(enWndLogIn, hv::WM_INIT_LOGOUT, 1);
  ctl->InitAutoLogin();
}
