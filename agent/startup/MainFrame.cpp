#include "agent/startup/MainFrame.h"

#include "agent/config/AgentRegistry.h"
#include "agent/config/ProgramSetup.h"
#include "agent/control/MainControl.h"
#include "agent/log/DeveloperLog.h"
#include "agent/startup/AgentPanel.h"
#include "agent/startup/LogInWnd.h"
#include "agent/startup/ReadyWnd.h"
#include "agent/startup/Texts.h"
#include "agent/startup/WorkPage.h"
#include "skin/MessageBox.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace {
constexpr unsigned WM_MESSAGEBOX_TEXT = hv::WM_USER + 7006;
constexpr unsigned WM_TRAY_CALLBACK = hv::WM_USER + 7035;
constexpr unsigned WM_NETWORK_SETTING = hv::WM_USER + 7085;
constexpr unsigned WM_ABOUT = hv::WM_USER + 7086;
constexpr unsigned WM_END = hv::WM_USER + 7087;
constexpr unsigned WM_CLOSE_APPLICATION = hv::WM_USER + 7201;
constexpr unsigned WM_DRAG_MAIN = hv::WM_USER + 7202;
constexpr unsigned WM_TABS_DISABLE = hv::WM_USER + 2001;
constexpr unsigned WM_MENU_RELEASED = hv::WM_USER + 3000;
constexpr unsigned WM_LICENSE = hv::WM_USER + 1426;
constexpr int kDoNotAskLogout = 0x1;
constexpr int kDoNotAskClose = 0x2;
}  // namespace

CMainFrame::CMainFrame() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), hv::MessageTarget(this) {
  setObjectName(QStringLiteral("MainFrame"));
  setAttribute(Qt::WA_StyledBackground);
  setWindowTitle(g_pGlobalData->AppName);
  setAccessibleName(g_pGlobalData->AppName);
  setFixedSize(kWidth, kHeight);  // fixed size: the window cannot be maximised
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setWindowIcon(skin::Icon(128));
  OnCreate();
}

CMainFrame::~CMainFrame() {
  AfxMainControl()->Windows().UnregisterWindow(enWndMainFrame, this);
  if (m_tray) m_tray->hide();
  WaitThread(m_updateThread, 3);
}

QToolButton* CMainFrame::MakeTitleButton(int command, int image, const QString& tooltip, const QString& name) {
  auto* b = new QToolButton(m_titleBar);
  b->setObjectName(name);
  b->setProperty("role", QStringLiteral("title"));
  // The title bar is dark: its glyphs are drawn in white whatever colour the image has.
  auto tinted = [image](int alpha) {
    QPixmap glyph = skin::Icon(image).pixmap(QSize(36, 36));
    if (!glyph.isNull()) {
      QPainter p(&glyph);
      p.setCompositionMode(QPainter::CompositionMode_SourceIn);
      p.fillRect(glyph.rect(), QColor(255, 255, 255, alpha));
    }
    return glyph;
  };
  QIcon icon(tinted(235));
  icon.addPixmap(tinted(90), QIcon::Disabled);
  b->setIcon(icon);
  b->setIconSize(QSize(18, 18));
  b->setFixedSize(30, 30);
  b->setToolTip(tooltip);
  b->setAccessibleName(tooltip);
  b->setFocusPolicy(Qt::TabFocus);
  connect(b, &QToolButton::clicked, this, [this, command] { RunCommand(command); });
  return b;
}

void CMainFrame::OnCreate() {
  CMainControl* ctl = AfxMainControl();
  // Title bar with the product name and the title buttons.
  m_titleBar = new QWidget(this);
  m_titleBar->setObjectName(QStringLiteral("TitleBar"));
  m_titleBar->setAttribute(Qt::WA_StyledBackground);
  m_titleBar->setGeometry(0, 0, kWidth, kContentTop);
  auto* th = new QHBoxLayout(m_titleBar);
  th->setContentsMargins(14, 0, 8, 0);
  th->setSpacing(2);
  auto* icon = new QLabel(m_titleBar);
  icon->setPixmap(skin::Icon(128).pixmap(20, 20));
  icon->setAccessibleName(g_pGlobalData->AppName);
  th->addWidget(icon);
  th->addSpacing(6);
  auto* title = new QLabel(g_pGlobalData->AppName, m_titleBar);
  title->setObjectName(QStringLiteral("TitleText"));
  th->addWidget(title);
  th->addStretch(1);
  m_menuButton = MakeTitleButton(kMainMenu, 2007, Txt("IDS_PRODUCT_INFO2"), QStringLiteral("MainMenuButton"));
  m_menuButton->setAccessibleName(QStringLiteral("Menu"));
  th->addWidget(m_menuButton);
  auto* network = MakeTitleButton(kNetworkSetting, 2004, Txt("IDS_NETWORK_SETTING"), QStringLiteral("NetworkButton"));
  // The network settings dialog is not part of this build yet: keep the button, but inert.
  network->setEnabled(false);
  th->addWidget(network);
  th->addWidget(MakeTitleButton(kMinimize, 1011, Txt("IDS_MINIMIZE"), QStringLiteral("MinimizeButton")));
  th->addWidget(MakeTitleButton(kClose, 1014, Txt("IDS_CLOSE"), QStringLiteral("CloseButton")));

  // Bottom bar: the side tabs in the work step, the version otherwise.
  m_bottomBar = new QWidget(this);
  m_bottomBar->setObjectName(QStringLiteral("BottomBar"));
  m_bottomBar->setAttribute(Qt::WA_StyledBackground);
  m_bottomBar->setGeometry(0, kHeight - kContentBottom, kWidth, kContentBottom);
  auto* bh = new QHBoxLayout(m_bottomBar);
  bh->setContentsMargins(kContentLeft, 6, kContentRight, 6);
  const char* tabKeys[5] = {"IDS_HOME2", "IDS_SUPPORT_SETTING", "IDS_FAVORITE2", "IDS_SUPPORT_HISTORY2", "IDS_WAITING_LIST"};
  for (int i = 0; i < 5; ++i) {
    auto* tab = new QToolButton(m_bottomBar);
    tab->setObjectName(QStringLiteral("SideTab%1").arg(i));
    tab->setProperty("role", QStringLiteral("tab"));
    tab->setCheckable(true);
    tab->setChecked(i == 0);
    tab->setIcon(skin::Icon(2040 + i));
    tab->setIconSize(QSize(24, 24));
    tab->setFixedSize(44, 40);
    tab->setToolTip(Txt(tabKeys[i]));
    tab->setAccessibleName(tab->toolTip());
    tab->hide();
    const int command = kTabHome + i;
    connect(tab, &QToolButton::clicked, this, [this, command] { RunCommand(command); });
    bh->addWidget(tab);
    m_tabs << tab;
  }
  bh->addStretch(1);
  m_bottomText = new QLabel(m_bottomBar);
  m_bottomText->setObjectName(QStringLiteral("BottomText"));
  m_bottomText->setText(QStringLiteral("%1 %2").arg(g_pGlobalData->AppName, ctl->m_OtherData.Version));
  bh->addWidget(m_bottomText);

  m_panel = new CAgentPanel(this);
  m_panel->setGeometry(kContentLeft, kContentTop, kWidth - kContentLeft - kContentRight,
                       kHeight - kContentTop - kContentBottom);

  ctl->RegisterWindow(enWndMainFrame, this);
  ctl->EmptyTempFolder();
  // The log follows info.ini first, then the last switch the service sent.
  {
    DeveloperLog& log = DeveloperLog::Instance();
    const QString docPath = AfxRegistry()->m_strDocPath;
    log.SetFolder(docPath.isEmpty() ? hv::config::DefaultDocPath(AfxRegistry()->ProductKey()) : docPath);
    log.SetDebugLog(0, true);
    log.LoadLogFileRecord();
    log.SetDebugLog(log.FileRecord(), false);
  }
  HVLOG(0, "-------------- CMainFrame::OnCreate --------------");
  CreateTrayIcon();
  m_autoClosedText = Txt("IDS_MSG_AUTO_CLOSED");

  m_stepTimer = new QTimer(this);
  m_stepTimer->setTimerType(Qt::PreciseTimer);
  m_stepTimer->setInterval(1000);
  connect(m_stepTimer, &QTimer::timeout, this, &CMainFrame::StepTick);
  m_sessionCheck = new QTimer(this);
  m_sessionCheck->setInterval(10000);
  connect(m_sessionCheck, &QTimer::timeout, this, [] { AfxMainControl()->CheckSessionsAlive(); });
  m_autoClose = new QTimer(this);
  m_autoClose->setSingleShot(true);
  connect(m_autoClose, &QTimer::timeout, this, &CMainFrame::OnAutoCloseTimer);

  // Message boxes are tracked so that a new dialog or a logout can close the open one.
  CMessageBox::SetOpenObserver([](QWidget* box, bool open) {
    AfxMainControl()->m_OtherData.OpenMessageBox = open ? box : nullptr;
  });
  CMessageBox::SetButtonTexts({Txt("IDS_OK2"), Txt("IDS_CANCEL"), Txt("IDS_YES"), Txt("IDS_NO")});
}

void CMainFrame::CreateTrayIcon() {
  // Without a system tray (many Linux desktops, Xvfb) the tray is treated as not in use, so
  // closing never hides the window with no way back.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  m_tray = new QSystemTrayIcon(skin::Icon(2059), this);
  m_tray->setToolTip(g_pGlobalData->AppName);
  connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) ShowMain(true);
    if (reason == QSystemTrayIcon::Context) ShowTrayMenu();
  });
  connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] { m_balloonOnHide = false; });
  m_trayMenu = new QMenu(this);
  m_tray->setContextMenu(m_trayMenu);
  connect(m_trayMenu, &QMenu::aboutToShow, this, &CMainFrame::ShowTrayMenu);
  m_tray->show();
}

bool CMainFrame::TrayInUse() const { return m_tray && !AfxMainControl()->SettingTrayNotUse(); }

void CMainFrame::ShowTrayMenu() {
  if (!m_trayMenu) return;
  m_trayMenu->clear();
  auto add = [this](const char* key, int command) {
    QAction* a = m_trayMenu->addAction(Txt(key));
    connect(a, &QAction::triggered, this, [this, command] { RunCommand(command); });
    return a;
  };
  if (Step() == AgentStepWork) {
    add("IDS_NEW_SUPPORT", kTrayNewSupport);
    m_trayMenu->addSeparator();
    add("IDS_OPEN_AGENT", kTrayOpen);
    add("IDS_LOGOUT", kTrayLogout);
  } else {
    add("IDS_OPEN_AGENT", kTrayOpen);
    add("IDS_LOGIN", kTrayLogin);
  }
  m_trayMenu->addSeparator();
  QAction* notUse = add("IDS_NOT_USE_TRAY", kTrayNotUse);
  notUse->setCheckable(true);
  notUse->setChecked(AfxMainControl()->SettingTrayNotUse());
  add("IDS_END", kTrayEnd);
}

int CMainFrame::Step() const { return g_pGlobalData->Step; }
bool CMainFrame::IsStepTimerActive() const { return m_stepTimer->isActive(); }
bool CMainFrame::IsAutoCloseTimerActive() const { return m_autoClose->isActive(); }
int CMainFrame::AutoCloseIntervalMs() const { return m_autoClose->interval(); }
bool CMainFrame::IsSessionCheckTimerActive() const { return m_sessionCheck->isActive(); }
bool CMainFrame::WorkTabsVisible() const { return !m_tabs.isEmpty() && !m_tabs.first()->isHidden(); }

void CMainFrame::EnterStep(int step) {
  if (step == Step() && m_panel->CurrentStep() == step) return;
  HVLOG(0, "CMainFrame::EnterStep(%d)", step);
  ShowMain(true);
  g_pGlobalData->Step = step;
  m_panel->SwitchPage(step);
  if (step == AgentStepUpdate) m_stepTimer->start();
  if (step == AgentStepLogin) {
    m_currentTab = 0;
    for (int i = 0; i < m_tabs.size(); ++i) m_tabs[i]->setChecked(i == 0);
  }
  if (step != AgentStepWork) ShowWorkTabs(false);
  m_panel->LogInWnd()->UpdateLoginButton();
  update();
}

void CMainFrame::ShowWorkTabs(bool show) {
  CMainControl* ctl = AfxMainControl();
  for (int i = 0; i < m_tabs.size(); ++i) {
    bool visible = show;
    if (show && i == 4) visible = ctl->LoginAnswerInt("PALLIDOR", 1) != 0;
    if (show && i == 2) visible = ctl->LoginAnswerInt("CONFIG_AGENT", 0) != 0;
    m_tabs[i]->setVisible(visible);
  }
  m_bottomText->setVisible(!show);
}

void CMainFrame::StepTick() {
  if (!m_stepPending) return;
  m_stepPending = false;
  switch (AfxMainControl()->LoginState.load()) {
    case 0: UpdateCheckEnd(); break;
    case 1: LoginSuccess(); break;
    case 2: LoginFail(); break;
    default: break;
  }
}

void CMainFrame::PostCreateInit() {
  CMainControl* ctl = AfxMainControl();
  // A saved placement is used only when it has exactly our size; anything else is centred.
  QRect saved;
  if (ctl->SavedPlacement(&saved) && saved.width() == kWidth && saved.height() == kHeight) {
    move(saved.topLeft());
  } else {
    resize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
  }
  show();
  EnterStep(AgentStepUpdate);
  ctl->LoginState = 0;
  if (ctl->AppRun) {
    ctl->UpdateNeeded = false;
    ctl->SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING);
  } else {
    m_updateThread = QThread::create([] {
      AfxMainControl()->IsUpdate();
      if (!IsClosing()) AfxMainControl()->SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING);
    });
    m_updateThread->start();
  }
  ctl->PrepareServerSets();
  ctl->InitWindow(this);
}

void CMainFrame::UpdateCheckEnd() {
  CMainControl* ctl = AfxMainControl();
  if (ctl->UpdateNeeded) {
    ModuleUpdate(false);
    return;
  }
  ctl->InitData();
  m_bottomText->setText(QStringLiteral("%1 %2").arg(g_pGlobalData->AppName, ctl->m_OtherData.Version));
  m_stepTimer->stop();
  EnterStep(AgentStepLogin);
  update();
}

void CMainFrame::LoginSuccess() {
  m_stepTimer->stop();
  m_sessionCheck->stop();
  EnterStep(AgentStepWork);
  m_menuButton->setEnabled(true);
  ShowWorkTabs(true);
  AfxMainControl()->PostToWindow(enWndStandby, hv::WM_USER + 7044);
  m_sessionCheck->start();
  m_panel->WorkPage()->Refresh();
}

void CMainFrame::LoginFail() {
  ShowMain(true);
  m_stepTimer->stop();
  EnterStep(AgentStepLogin);
  m_menuButton->setEnabled(true);
  update();
}

void CMainFrame::ShowMain(bool show) {
  if (show) {
    if (isMinimized()) showNormal();
    QWidget::show();
    m_panel->show();
    raise();
    activateWindow();
    return;
  }
  hide();
  if (m_tray && m_balloonOnHide)
    m_tray->showMessage(QStringLiteral("Agent"), Txt("IDS_MSG_ACTIVATE_AGENT_DESC"), QSystemTrayIcon::Information, 10000);
}

void CMainFrame::SetAutoLogout(bool start) {
  m_autoClose->stop();
  if (!start) return;
  CMainControl* ctl = AfxMainControl();
  const int minutes = ctl->AutoCloseMinutes();
  if (minutes == 0 || ctl->RunningSessionCount() > 0) return;
  m_autoClose->setInterval(ctl->AutoCloseIntervalMs(minutes));
  m_autoClose->start();
}

void CMainFrame::OnAutoCloseTimer() {
  m_autoClose->stop();
  CMainControl* ctl = AfxMainControl();
  ctl->LogOut(false);
  HandleMessage(hv::WM_WORK_VIEW, 0, 0);
  ctl->PostMessageBox(m_autoClosedText, 64);
  HVLOG(0, "CMainFrame::OnTimer ID_TIMER_AUTOCLOSE : LogoutAuto");
}

int CMainFrame::ShowMessageBox(const QString& text, int style, const QString& checkText, bool* checked) {
  HVLOG(0, "CMainFrame::MessageBox(style %d) : %s", style, qUtf8Printable(text));
  CMessageBox box;
  if (!checkText.isEmpty()) box.SetCheckStyle(checkText);
  const int answer = box.MessageBoxW(g_pGlobalData->AppName, text, style, this);
  if (checked) *checked = box.IsChecked();
  return answer;
}

int CMainFrame::LogoutQuestion() {
  CMainControl* ctl = AfxMainControl();
  if (ctl->DoNotSeeAgainStored() & kDoNotAskLogout) return skin::IDYES;
  const bool sessions = ctl->RunningSessionCount() > 0;
  bool checked = false;
  const int answer = ShowMessageBox(Txt(sessions ? "IDS_MSG_LOGOUT_ALL_INQUIRY" : "IDS_MSG_LOGOUT_REQUEST"), 36,
                                    Txt("IDS_MSG_DO_NOT_DISPLAY_AGAIN"), &checked);
  if (checked) ctl->AddDoNotSeeAgainThisRun(kDoNotAskLogout);
  return answer;
}

void CMainFrame::NewVersionQuestion() {
  if (ShowMessageBox(Txt("IDS_MSG_NEW_VERSION_EXIST"), skin::MB_OKCANCEL) == skin::IDOK) {
    g_pGlobalData->ExitRequested = true;
    AfxMainControl()->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
  }
}

void CMainFrame::ModuleUpdate(bool allNew) {
  CMainControl* ctl = AfxMainControl();
  m_stepTimer->stop();
  if (ctl->ModuleUpdate(allNew, /*fromMainWindow=*/true) == 1) return;
  ctl->SendToWindow(enWndLogIn, hv::WM_LOGIN_RESET);
  ctl->LoginState = 2;
  LoginFail();
}

void CMainFrame::RunCommand(int command) {
  CMainControl* ctl = AfxMainControl();
  switch (command) {
    case kMinimize:
      HVLOG(0, "CMainFrame::OnSysCommand SC_MINIMIZE");
      showMinimized();
      break;
    case kClose:
      ctl->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
      break;
    case kMainMenu:
      OpenMainMenu();
      break;
    case kTrayLogin:
      ShowMain(true);
      ctl->PostToWindow(enWndLogIn, hv::WM_LOGIN_START);
      break;
    case kTrayOpen:
      ShowMain(true);
      break;
    case kTrayNewSupport:
      ctl->PostToWindow(enWndStandby, hv::WM_USER + 7018);
      break;
    case kTrayLogout:
      ctl->CloseOpenDialogs();
      ShowMain(true);
      if (ctl->LogOut(true) == 6) HandleMessage(hv::WM_WORK_VIEW, 0, 0);
      break;
    case kTrayEnd:
      ctl->CloseOpenDialogs();
      if (TrayInUse()) m_exitCommand = true;
      ctl->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
      break;
    case kTrayNotUse:
      ctl->SetSettingTrayNotUse(!ctl->SettingTrayNotUse());
      break;
    default:
      if (command >= kTabHome && command <= kTabLast) {
        const int page = command - kTabHome;
        if (Step() != AgentStepWork || g_pGlobalData->PanelBusy || page == m_currentTab) {
          m_tabs[page]->setChecked(page == m_currentTab);
          break;
        }
        m_currentTab = page;
        for (int i = 0; i < m_tabs.size(); ++i) m_tabs[i]->setChecked(i == page);
      }
      break;
  }
}

void CMainFrame::OpenMainMenu() {
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("MainMenu"));
  QAction* network = menu.addAction(Txt("IDS_NETWORK_SETTING"));
  network->setEnabled(false);
  QAction* about = menu.addAction(Txt("IDS_PRODUCT_INFO2"));
  menu.addSeparator();
  QAction* end = menu.addAction(Txt("IDS_END"));
  const QPoint at = mapToGlobal(QPoint(m_menuButton->x(), m_menuButton->y() + m_menuButton->height() + 11 - 30 + 30));
  QAction* chosen = menu.exec(at);
  m_menuButton->setDown(false);
  if (chosen == about) HandleMessage(WM_ABOUT, 0, 0);
  if (chosen == end) AfxMainControl()->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
}

void CMainFrame::OnCloseApplication() {
  CMainControl* ctl = AfxMainControl();
  g_pGlobalData->m_bClose = false;
  ctl->CloseOpenDialogs();
  HVLOG(0, "==>CMainFrame::OnCloseApplication");
  if (g_pGlobalData->ExitRequested) {
    HandleMessage(hv::WM_NOTIFY_REMOVE_ALL, 0, 0);
    HandleMessage(hv::WM_SESSIONLIST_ITEM_REMOVE_ALL, 1000, 0);
    g_pGlobalData->m_bClose = true;
    ctl->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
    HVLOG(0, "==>CMainFrame::OnCloseApplication : No MessageBox. g_pGlobalData->m_bClose = TRUE");
    return;
  }
  if (!m_exitCommand && TrayInUse()) {
    ShowMain(false);
    HVLOG(0, "==>CMainFrame::OnCloseApplication : !AfxRegistry()->m_bTrayNotUse");
    return;
  }
  m_exitCommand = false;
  update();
  ShowMain(true);
  if (!(ctl->DoNotSeeAgainAll() & kDoNotAskClose)) {
    const bool sessions = ctl->RunningSessionCount() > 0;
    bool checked = false;
    const int answer = ShowMessageBox(Txt(sessions ? "IDS_MSG_DICONNECT_ALL_INQUIRY" : "IDS_MSG_CLOSE_PROGRAM_INQUIRY"),
                                      skin::MB_OKCANCEL, Txt("IDS_MSG_DO_NOT_DISPLAY_AGAIN"), &checked);
    if (answer != skin::IDOK) {
      g_pGlobalData->m_bClose = false;
      return;
    }
    if (checked) ctl->AddDoNotSeeAgainThisRun(kDoNotAskClose);
  }
  g_pGlobalData->m_bClose = true;
  HandleMessage(hv::WM_NOTIFY_REMOVE_ALL, 0, 0);
  HandleMessage(hv::WM_SESSIONLIST_ITEM_REMOVE_ALL, 1000, 0);
  if (Step() == AgentStepWork) {
    HVLOG(0, "CMainFrame::OnCloseApplication, CallAgentLogOutPage()");
    const int result = ctl->CallAgentLogOutPage();
    HVLOG(0, "CMainFrame::OnCloseApplication, CallAgentLogOutPage(), Result = %d", result);
  }
  ctl->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
  HVLOG(0, "<==CMainFrame::OnCloseApplication");
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (m_destroyed) {
    event->accept();
    return;
  }
  if (g_pGlobalData->m_bClose) {
    event->accept();
    Destroy();
    return;
  }
  event->ignore();
  HVLOG(0, "<=CMainFrame::OnClose(Close = FALSE)");
  AfxMainControl()->PostToWindow(enWndMainFrame, WM_CLOSE_APPLICATION);
}

void CMainFrame::Destroy() {
  if (m_destroyed) return;
  m_destroyed = true;
  CMainControl* ctl = AfxMainControl();
  g_pGlobalData->ExitRequested = true;
  ctl->Windows().SetClosing(true);
  g_pGlobalData->m_bClose = true;
  m_stepTimer->stop();
  m_autoClose->stop();
  m_sessionCheck->stop();
  ctl->SaveAuthServerToIni();
  ctl->SaveSettingsWithPlacement(geometry());
  ctl->CloseSessionServer();
  if (m_tray) m_tray->hide();
  hide();
  QCoreApplication::quit();
}

void CMainFrame::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized)) {
    HVLOG(0, "CMainFrame::OnSysCommand SC_MAXIMIZE : SendMessage(WM_SYSCOMMAND, SC_RESTORE)");
    setWindowState(windowState() & ~Qt::WindowMaximized);
  }
  QWidget::changeEvent(event);
}

void CMainFrame::StartDrag(const QPoint& globalPos) {
  // Let the window manager move the window when it can (Wayland needs it); else follow the mouse.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  m_dragging = true;
  m_dragOffset = globalPos - frameGeometry().topLeft();
}

void CMainFrame::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) StartDrag(event->globalPosition().toPoint());
  QWidget::mousePressEvent(event);
}

void CMainFrame::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragging && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - m_dragOffset);
  QWidget::mouseMoveEvent(event);
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event) {
  m_dragging = false;
  QWidget::mouseReleaseEvent(event);
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier)) {
    AfxMainControl()->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
    return;
  }
  QWidget::keyPressEvent(event);
}

intptr_t CMainFrame::HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
  CMainControl* ctl = AfxMainControl();
  switch (msg) {
    case hv::WM_POSTCREATE_INIT:
      PostCreateInit();
      return 1;
    case hv::WM_WORK_VIEW:
      if (wParam == 1) {
        EnterStep(AgentStepWork);
        ShowWorkTabs(true);
      } else {
        EnterStep(AgentStepLogin);
        m_sessionCheck->stop();
      }
      return 1;
    case hv::WM_SET_STEP:
      if (wParam >= 1 && wParam <= 3) EnterStep(int(wParam));
      ctl->LoginState = 4;
      return 1;
    case hv::WM_STEP_PENDING:
      m_stepPending = true;
      return 1;
    case hv::WM_AGENT_MODULE_UPDATE:
      ModuleUpdate(wParam != 0);
      return 1;
    case hv::WM_AUTO_LOGOUT:
      SetAutoLogout(wParam == 1);
      return 1;
    case hv::WM_LOGOUT_QUESTION:
      return LogoutQuestion();
    case hv::WM_SHOW_MESSAGEBOX: {
      std::unique_ptr<MessageBoxRequest> req(reinterpret_cast<MessageBoxRequest*>(lParam));
      if (!req) return 0;
      HVLOG(0, "CMainFrame::MessageBox(style %d) : %s", req->Style, qUtf8Printable(req->Message));
      CMessageBox box;
      return box.MessageBoxW(req->Title.isEmpty() ? g_pGlobalData->AppName : req->Title, req->Message, req->Style, this);
    }
    case WM_MESSAGEBOX_TEXT: {
      const auto* text = reinterpret_cast<const QString*>(wParam);
      return text ? ShowMessageBox(*text, int(lParam)) : 0;
    }
    case hv::WM_NEW_VERSION_NOTICE:
      NewVersionQuestion();
      return 1;
    case hv::WM_SHOW_MAIN:
      HVLOG(0, "CMainFrame : WM_SHOW_MAIN %d", int(wParam));
      ShowMain(wParam == 1);
      return 1;
    case hv::WM_CLEAR_PANELS:
      ctl->PostToWindow(enWndAgentPanel, hv::WM_CLEAR_PANELS);
      return 1;
    case hv::WM_AGENT_KILLED:
      ctl->LogOut(false);
      return 1;
    case hv::WM_SHOW_PASSWORD_DIALOG:
      ctl->CloseOpenDialogs();
      ShowMessageBox(Txt("IDS_MSG_LOGIN_FAIL_REQUEST_NEW_PASSWORD"), 48);
      return 1;
    case hv::WM_SHOW_CONNECTION_CLOSED:
      ctl->LoginState = 2;
      ctl->CloseOpenDialogs();
      ShowMessageBox(Txt("IDS_MSG_ACCOUNT_IN_USE"), 48);
      return 1;
    case hv::WM_NOTIFY_REMOVE_ALL:
    case hv::WM_SESSIONLIST_ITEM_REMOVE_ALL:
      return 1;  // no notices or sessions exist before the event handling arrives
    case WM_NETWORK_SETTING:
      return 1;
    case WM_ABOUT:
      ShowMessageBox(QStringLiteral("%1\n%2").arg(g_pGlobalData->AppName, ctl->m_OtherData.Version), 64);
      return 1;
    case WM_END:
      ctl->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
      return 1;
    case WM_LICENSE:
      ctl->OpenLicenseText();
      return 1;
    case WM_CLOSE_APPLICATION:
      OnCloseApplication();
      return 1;
    case WM_DRAG_MAIN:
      StartDrag(QCursor::pos());
      return 1;
    case WM_TABS_DISABLE:
      for (QToolButton* t : m_tabs) t->setEnabled(wParam != 1);
      return 1;
    case WM_MENU_RELEASED:
      m_menuButton->setDown(false);
      return 1;
    case WM_TRAY_CALLBACK:
      return 1;
    case 0x0111:  // a command from outside (tray commands only)
      RunCommand(int(wParam));
      return 1;
    case hv::WM_CLOSE:
      close();
      return 1;
    default:
      return 0;
  }
}
