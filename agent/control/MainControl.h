#pragma once

#include "agent/channel/ChannelListener.h"
#include "agent/control/GlobalData.h"
#include "agent/control/Records.h"
#include "platform/WindowDirectory.h"
#include "platform/WindowMessages.h"

#include <QMap>
#include <QObject>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class CHVAgentSServer;
class QThread;

// Window numbers of the directory.
enum WindowNumber : int {
  enWndMainFrame = 0,
  enWndAgentPanel = 1,
  enWndAgentInfo = 2,
  enWndStandbyPanel = 3,
  enWndLogIn = 4,
  enWndReady = 5,
  enWndStandby = 6,
  enWndWait = 7,
  enWndWaitTabSupport = 8,
  enWndFavorite = 9,
  enWndEditInfo = 10,
};

// Session data created with the control object: the shared-network endpoint for the chat
// programs, its lock, and the chat request number.
struct SessionData {
  QString SharedNetworkName;
  std::mutex Lock;
  int ChatRequestNumber = 0;
};

// Data the viewer launch needs; filled by the control object at construction.
struct LaunchData {
  QString OsName;
  QString TempFolder;  // "Helvora Agent" in the user's temporary folder
};

// What the control object keeps besides its main fields.
struct OtherData {
  QString Version;
  QString RequestHeaderValue;
  QObject* OpenMessageBox = nullptr;
  AutoLoginInfo AutoLogin;
};

// The console's control object: the agent's run-time state, the window directory through which
// it and the worker threads reach the windows, and the login/logout flow.
class CMainControl : public QObject, public IChannelListener {
  Q_OBJECT
 public:
  CMainControl();
  ~CMainControl() override;

  // --- fields, in the order the rest of the console knows them ---
  QString ModuleFolder;
  QString Language;
  QObject* HelperWindow = nullptr;  // owner of the SessionServer channel's notifications
  QObject* PipeWindow = nullptr;    // the CRM pipe server's hidden window
  CHVAgentSServer* m_pSessionServer = nullptr;
  std::unique_ptr<::LaunchData> LaunchData;
  std::atomic<int> AgentSessionState{0};  // 7 normal, 0 SessionServer login failed, 4 rejected, 5 ended by server
  std::atomic<int> m_signInState{0};      // 2 while signed in (SignInState)
  QMap<int, SessionTransferInfo> TransferPopups;
  QMap<int, SessionTransferInfo> SharePopups;
  QMap<int, CustomerRecord> CustomerPopups;
  int LastNotifySTType = 0;
  std::unique_ptr<SessionData> m_pData;
  OtherData m_OtherData;
  std::atomic<bool> UpdateNeeded{false};
  std::atomic<int> LoginState{4};  // 0 UpdateCheckEnd, 1 LoginSuccess, 2 LoginFail, 4 nothing
  std::atomic<bool> m_bSessionReconnect{false};
  std::atomic<int> LastLoginError{0};

  // --- window directory ---
  hv::WindowDirectory& Windows() { return m_windows; }
  void RegisterWindow(int number, hv::MessageTarget* window) { m_windows.RegisterWindow(number, window); }
  intptr_t SendToWindow(int number, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0) {
    return m_windows.SendToWindow(number, msg, wParam, lParam);
  }
  int PostToWindow(int number, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0) {
    return m_windows.PostToWindow(number, msg, wParam, lParam);
  }
  // Hands a message box to the main window (it shows it and deletes the request).
  void PostMessageBox(const QString& text, int style);
  intptr_t SendMessageBox(const QString& text, int style);

  bool IsMessageBoxModal() const { return m_OtherData.OpenMessageBox != nullptr; }

  // Popup numbers grow for the life of the process and are never reused.
  int NextPopupNumber() { return ++m_popupCounter; }
  int PopupCounter() const { return m_popupCounter.load(); }

  // --- start-up ---
  bool AppRun = false;
  QString WebRunID, WebRunPassword;  // "-WEBRUN/<id>/<password>": offered by the login window
  QString FontFace() const;
  bool LanguageFileExists() const;
  QString LanguageFilePath() const;  // "-APPRUN": no update at start; a needed update only tells and closes
  void InitWindow(QObject* mainWindow);
  void InitData();
  void PrepareServerSets();
  // Auto-login hand-over: tag text from the command line or "AutoLoginParam".
  bool ParseAutoLogin(const QString& text);
  void InitAutoLogin();

  // --- settings the windows show and change ---
  bool SettingSaveAccount() const;
  void SetSettingSaveAccount(bool on);
  bool SettingAutoStandby() const;
  void SetSettingAutoStandby(bool on);
  bool SettingTrayNotUse() const;
  void SetSettingTrayNotUse(bool on);
  int DoNotSeeAgainStored() const;
  int DoNotSeeAgainAll() const;
  void AddDoNotSeeAgainThisRun(int bits);
  int AutoCloseMinutes() const;
  // Auto-logout period; HV_AUTOCLOSE_UNIT_MS shortens a minute for tests.
  int AutoCloseIntervalMs(int minutes) const;
  QString SavedLoginID() const;
  QString SavedLoginPassword() const;
  bool SavedPlacement(QRect* normal) const;
  void SaveSettingsWithPlacement(const QRect& geometry);
  void SaveAuthServerToIni();
  void OpenFindIdPage();
  void OpenLicenseText();
  void EmptyTempFolder();
  void CloseOpenDialogs();
  int RunningSessionCount() const { return 0; }
  void CheckSessionsAlive() {}
  QString AgentDisplayName() const;
  QString PresenceDescription() const;
  int LoginAnswerInt(const char* tag, int def) const;

  // --- login, update check and logout ---
  void SwapLoginCredentials(const QString& id, const QString& password, QString* previousId, QString* previousPassword);
  void RestoreLoginCredentials(const QString& id, const QString& password);
  int LoginResult();
  int LoginWeb();
  bool IsUpdate();
  bool RunUpdate(bool allNew);
  int ModuleUpdate(bool allNew, bool fromMainWindow = false);
  int OpenSessionServer();
  void CloseSessionServer();
  QString CallAuthOkPage();
  int CallAgentLogOutPage();
  int LogOut(bool ask);
  void SaveConfig(const QString& id, const QString& password);
  void WriteSkinFolder();
  void ShowServiceError(int code);
  QString LockedAccountMessage() const;
  QString NoAnswerMessage() const;
  void ShowLoginNotices();

  // --- what the SessionServer channel reports ---
  int SignInState() const override { return m_signInState.load(); }
  int AgentReconnect() const override { return m_agentReconnect; }
  QString ResourceText(const QString& key) const override;
  void AgentReconnecting() override;
  void AgentConnected() override;
  void LogOut() override;
  void AgentKilled() override;

  void SetSignInState(int v) { m_signInState = v; }

 signals:
  // Windows close their open message box and dialog when this fires.
  void closeOpenDialogsRequested();

 private:
  QString CurrentLanguageCode() const;
  hv::WindowDirectory m_windows;
  std::atomic<int> m_popupCounter{0};
  bool m_dataDone = false;
  QMap<QString, QString> m_pageTable;
  QString m_loginId;  // the ID the last sign-in used  // page keys handed over at login
  int m_agentReconnect = 1;  // info.ini "AgentReconnect"
};

// The single control object, created on first use; DestroyMainControl deletes it at exit.
CMainControl* AfxMainControl();
void DestroyMainControl();

// Waits up to the given seconds for a worker that was asked to stop, then releases it. Threads
// are never killed: one that does not end in time is left to finish on its own (it checks
// m_bClose) and deletes itself when it does. Returns true when the thread had ended.
bool WaitThread(QThread* thread, int seconds);
