#pragma once

#include "platform/WindowDirectory.h"

#include <QPointer>
#include <QWidget>

class CAgentPanel;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QThread;
class QTimer;
class QToolButton;

// The console's one top-level window: 484 x 621, frameless, dragged by its frame. It owns the
// steps (update check, login, work), the message boxes and questions, the tray icon, the
// auto-logout timer and the orderly end of the program.
class CMainFrame : public QWidget, public hv::MessageTarget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 484;
  static constexpr int kHeight = 621;
  static constexpr int kContentLeft = 13, kContentRight = 13, kContentTop = 44, kContentBottom = 54;

  // Commands of the title buttons, side tabs and tray menu.
  enum Command : int {
    kNetworkSetting = 2000, kMinimize = 2001, kClose = 2002, kMainMenu = 2003,
    kTabHome = 2005, kTabLast = 2009,
    kTrayLogin = 2010, kTrayOpen = 2011, kTrayNewSupport = 2012, kTrayLogout = 2013, kTrayEnd = 2014,
    kTrayNotUse = 2015,
  };
  static constexpr int kSessionCheckTimer = 101;
  static constexpr int kAutoCloseTimer = 102;

  CMainFrame();
  ~CMainFrame() override;

  intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

  void EnterStep(int step);
  int Step() const;
  CAgentPanel* Panel() const { return m_panel; }
  bool StepPending() const { return m_stepPending; }
  bool IsStepTimerActive() const;
  bool IsAutoCloseTimerActive() const;
  int AutoCloseIntervalMs() const;
  bool IsSessionCheckTimerActive() const;
  bool TrayInUse() const;
  bool WorkTabsVisible() const;
  // One StepTimer tick (tests drive it directly).
  void StepTick();
  void RunCommand(int command);
  // The whole close road of the close button and Alt+F4.
  void OnCloseApplication();
  // For tests: the auto-logout expiry.
  void OnAutoCloseTimer();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnCreate();
  void PostCreateInit();
  void UpdateCheckEnd();
  void LoginSuccess();
  void LoginFail();
  void ShowWorkTabs(bool show);
  void ShowMain(bool show);
  void SetAutoLogout(bool start);
  int LogoutQuestion();
  void NewVersionQuestion();
  int ShowMessageBox(const QString& text, int style, const QString& checkText = QString(), bool* checked = nullptr);
  void ModuleUpdate(bool allNew);
  void Destroy();
  void OpenMainMenu();
  void CreateTrayIcon();
  void ShowTrayMenu();
  void StartDrag(const QPoint& globalPos);
  QToolButton* MakeTitleButton(int command, int image, const QString& tooltip, const QString& name);

  CAgentPanel* m_panel = nullptr;
  QWidget* m_titleBar = nullptr;
  QWidget* m_bottomBar = nullptr;
  QLabel* m_bottomText = nullptr;
  QToolButton* m_menuButton = nullptr;
  QList<QToolButton*> m_tabs;
  QTimer* m_stepTimer = nullptr;
  QTimer* m_sessionCheck = nullptr;
  QTimer* m_autoClose = nullptr;
  QSystemTrayIcon* m_tray = nullptr;
  QMenu* m_trayMenu = nullptr;
  QThread* m_updateThread = nullptr;
  QString m_autoClosedText;
  bool m_stepPending = false;
  bool m_exitCommand = false;
  bool m_balloonOnHide = true;
  bool m_destroyed = false;
  bool m_dragging = false;
  QPoint m_dragOffset;
  int m_currentTab = 0;
};
