// The agent's way in and out: sign-in over the authentication servers, the update check, the
// SessionServer presence with its confirmation, and the logout that undoes it all.
#include "agent/channel/HVAgentSServer.h"
#include "agent/config/AgentRegistry.h"
#include "agent/control/MainControl.h"
#include "agent/log/DeveloperLog.h"
#include "agent/web/AgentWeb.h"
#include "common/IniFile.h"
#include "common/SettingsTree.h"
#include "platform/Paths.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QThread>

namespace {
constexpr int kUpdateDownloadTimeoutMs = 5000;

QString InfoIni() { return CIniFile::InProgramDir(QStringLiteral("info.ini")).Path(); }

// The updater module's library name on this platform.
QString UpdaterLibraryPath() {
  const QString env = qEnvironmentVariable("HV_UPDATER_LIBRARY");
  return env.isEmpty() ? hv::paths::ProgramDir() + QStringLiteral("/libkxautoup.so") : env;
}
}  // namespace

void CMainControl::SwapLoginCredentials(const QString& id, const QString& password, QString* previousId,
                                        QString* previousPassword) {
  ServerRecord& auth = AfxWeb().Settings().authServer;
  *previousId = auth.User();
  *previousPassword = auth.Password();
  auth.SetUser(id);
  auth.SetPassword(password);
}

void CMainControl::RestoreLoginCredentials(const QString& id, const QString& password) {
  ServerRecord& auth = AfxWeb().Settings().authServer;
  auth.SetUser(id);
  auth.SetPassword(password);
}

int CMainControl::LoginResult() {
  const ServerRecord& auth = AfxWeb().Settings().authServer;
  const char* key = nullptr;
  if (auth.Host().isEmpty() || auth.port == 0)
    key = "IDS_MSG_CHECK_AUTH_SERVER_OR_PORT";
  else if (auth.User().isEmpty() && auth.Password().isEmpty())
    key = "IDS_MSG_INPUT_ID_PWD";
  else if (auth.User().isEmpty())
    key = "IDS_MSG_INPUT_ID";
  else if (auth.Password().isEmpty())
    key = "IDS_MSG_INPUT_PASSWORD";
  if (!key) return 2;
  SendMessageBox(ResourceText(QString::fromLatin1(key)), 64);
  return 0;
}

int CMainControl::LoginWeb() {
  AgentWeb& web = AfxWeb();
  AgentSessionState = 7;
  LastLoginError = 0;
  web.SelectAuthServer(0);
  // Kept apart: after an auto-login the saved record is emptied before the channel opens.
  m_loginId = web.Settings().authServer.User();
  int status = 0;
  int outcome = 0;
  {
    // The answer's settings (server set, TLS type, support type) reach the file in one write.
    hv::SettingsTree::Batch batch(hv::SettingsTree::ForCurrentUser());
    outcome = web.CallAuthPageOverServers(web.ProductIndex(), status, Language);
  }
  HVLOG(1, "CMainControl::LoginWeb : outcome %d (HTTP %d)", outcome, status);
  if (outcome == 0) LastLoginError = web.LastLoginError();
  if (outcome == 2) {
    m_signInState = 2;
    m_pageTable[QStringLiteral("KSTX_REQUEST_LIST")] = web.Url(QStringLiteral("URL_SUPPORTREQUEST_LIST"));
    m_pageTable[QStringLiteral("KSTX_REQUEST_ACCEPT")] = web.Url(QStringLiteral("URL_SUPPORTREQUEST_ACCEPT"));
    // A short pause before the update check, as the service expects; stops early when closing.
    for (int i = 0; i < 7 && !IsClosing(); ++i) QThread::msleep(100);
    if (!IsClosing()) SendToWindow(enWndLogIn, hv::WM_LOGIN_UPDATE_CHECK);
  } else if (outcome == 3) {
    AfxRegistry()->WriteCommonString(QStringLiteral("CrmParam"), AfxRegistry()->m_strCrmParam);
    web.CallAgentLogOutPage();
    if (ModuleUpdate(true) == 0) SendToWindow(enWndMainFrame, hv::WM_SET_STEP, AgentStepLogin);
  }
  return outcome;
}

bool CMainControl::IsUpdate() {
  const int autoUpdate = CIniFile(InfoIni()).GetInt(QStringLiteral("General"), QStringLiteral("autoUpdate"), 1);
  if (autoUpdate != 1) {
    HVLOG(1, "CMainControl::IsUpdate : autoUpdate %d, no update check", autoUpdate);
    UpdateNeeded = false;
    AfxWeb().SetUpdateNeeded(false);
    return false;
  }
  QLibrary lib(UpdaterLibraryPath());
  if (!lib.load()) {
    // Without the updater module the update counts as needed: the updater program repairs it.
    HVLOG(3, "CMainControl::IsUpdate : updater module missing (%s)", qUtf8Printable(lib.errorString()));
    UpdateNeeded = true;
    AfxWeb().SetUpdateNeeded(true);
    return true;
  }
  using SetInfoFn = void (*)(const char*);
  using SetTimeoutFn = void (*)(int);
  using CountFn = int (*)();
  auto setInfo = reinterpret_cast<SetInfoFn>(lib.resolve("KXSetInfofile"));
  auto setTimeout = reinterpret_cast<SetTimeoutFn>(lib.resolve("KXSetDownloadTimeout"));
  auto count = reinterpret_cast<CountFn>(lib.resolve("KXUpdateCountCheck"));
  if (setInfo) setInfo(QFile::encodeName(InfoIni()).constData());
  if (setTimeout) setTimeout(kUpdateDownloadTimeoutMs);
  const int modules = count ? count() : -1;
  HVLOG(1, "CMainControl::IsUpdate : %d module(s) to update", modules);
  UpdateNeeded = modules >= 1;
  AfxWeb().SetUpdateNeeded(UpdateNeeded);
  return UpdateNeeded;
}

bool CMainControl::RunUpdate(bool allNew) {
  const QString folder = hv::paths::ProgramDir();
  if (folder.isEmpty()) return false;
  if (allNew) CIniFile(InfoIni()).SetString(QStringLiteral("General"), QStringLiteral("AllNewUpdate"), QStringLiteral("1"));
  const QString updater = folder + QStringLiteral("/kxautoup");
  if (!QFileInfo(updater).isExecutable()) {
    HVLOG(3, "CMainControl::RunUpdate : no updater program at %s", qUtf8Printable(updater));
    return false;
  }
  return hv::StartDetached(updater, {QStringLiteral("-inifile")}, folder);
}

int CMainControl::ModuleUpdate(bool allNew, bool) {
  if (!RunUpdate(allNew)) return 0;
  g_pGlobalData->ExitRequested = true;
  SaveAuthServerToIni();
  AfxRegistry()->SaveSettings(AfxWeb().Settings());
  if (m_OtherData.AutoLogin.Flag)
    AfxRegistry()->WriteSettingsString(QStringLiteral("AutoLoginParam"), m_OtherData.AutoLogin.ParamText);
  g_pGlobalData->m_bClose = true;
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
  return 1;
}

// --- SessionServer presence ---------------------------------------------------------------------

int CMainControl::OpenSessionServer() {
  if (IsClosing()) return 0;
  auto fail = [this](int result) {
    LogOut(false);
    LoginState = 2;
    SendToWindow(enWndLogIn, hv::WM_LOGIN_COMPLATE, 1);
    SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING);
    return result;
  };
  if (!m_pData) return fail(0);
  if (m_pSessionServer) return fail(1);

  AgentWeb& web = AfxWeb();
  const LoginValues& v = web.Values();
  web.SetSessionIndex(0);
  auto* channel = new CHVAgentSServer(this, this);
  channel->SetIdentity(v.sencurid, m_loginId, v.sgroupId, v.scenterId);
  channel->SetLogoutPageBase(web.Url(QStringLiteral("URL_LOGOUT4SESSION")), v.encurid);
  ChannelServerSet set;
  for (const SessionServerEntry& e : web.SessionServers()) set.append(ChannelServer{e.host, e.port, e.serverId});
  channel->SetServerSet(set);
  channel->SetServerIndex(0);
  const QString caFile = qEnvironmentVariable("HV_CA_FILE");
  if (!caFile.isEmpty()) channel->SetCaFile(caFile);
  m_pSessionServer = channel;

  const QString host = v.sessionAddr.isEmpty() ? v.sessionIp : v.sessionAddr;
  const ServerRecord& proxy = web.Settings().proxy;
  const bool useProxy = (web.Settings().proxyType & 0x1) != 0;
  if (!channel->Create(host, v.sessionPort, useProxy ? &proxy : nullptr, v.sslType == 1 ? 1 : 2)) {
    HVLOG(3, "CMainControl::OpenSessionServer : the channel could not be created");
    CloseSessionServer();
    return fail(0);
  }
  channel->AgentLogin(0);
  return 1;
}

void CMainControl::CloseSessionServer() {
  if (!m_pData || !m_pSessionServer) return;
  CHVAgentSServer* channel = m_pSessionServer;
  m_pSessionServer = nullptr;
  channel->Close();
  // It may be reporting to us right now: let it finish that call first.
  channel->deleteLater();
}

QString CMainControl::CallAuthOkPage() {
  AgentWeb& web = AfxWeb();
  const QString url = web.Url(QStringLiteral("URL_LOGINOK"));
  auto post = [&] {
    const QString body = QStringLiteral("encurid=%1&authServerId=%2&sessionServerId=%3")
                             .arg(web.Encurid(), web.GetAuthSvrID(), web.GetSessionSvrID());
    return web.CallPageEx(web.Url(QStringLiteral("URL_LOGINOK")), body);
  };
  QString answer = url.isEmpty() ? QString() : post();
  for (int i = 0; answer.isEmpty() && i < web.AuthServerCount(); ++i) {
    const QString host = web.AlternateAuthHost(i);
    if (host.isEmpty()) continue;
    web.SwitchAuthServer(host);
    answer = post();
  }
  return answer;
}

int CMainControl::CallAgentLogOutPage() { return AfxWeb().CallAgentLogOutPage() ? 1 : 0; }

void CMainControl::AgentReconnecting() {
  if (m_bSessionReconnect) return;
  m_bSessionReconnect = true;
  SendToWindow(enWndReady, hv::WM_RECONNECT_STATE, 1);
  SendToWindow(enWndMainFrame, hv::WM_SET_STEP, AgentStepUpdate);
  LoginState = 1;
}

void CMainControl::AgentConnected() {
  const QString answer = CallAuthOkPage();
  const int retCode = HVWeb::GetTag(answer, QStringLiteral("RETCODE")).toInt();
  HVLOG(1, "CMainControl::AgentConnected : RETCODE %d", retCode);
  if (m_bSessionReconnect) {
    m_bSessionReconnect = false;
    SendToWindow(enWndReady, hv::WM_RECONNECT_STATE, 0);
  }
  if (retCode == 100) {
    SendToWindow(enWndEditInfo, hv::WM_WEBQUERY_USERNAME);
    SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING);
    SendToWindow(enWndMainFrame, hv::WM_AUTO_LOGOUT, AutoCloseMinutes() != 0 ? 1 : 0);
    return;
  }
  AgentSessionState = 0;
  LogOut(false);
  LoginState = 2;
  SendToWindow(enWndLogIn, hv::WM_LOGIN_COMPLATE, 1);
  SendToWindow(enWndMainFrame, hv::WM_STEP_PENDING);
}

void CMainControl::LogOut() { LogOut(false); }

void CMainControl::AgentKilled() {
  AgentSessionState = 5;
  PostToWindow(enWndMainFrame, hv::WM_AGENT_KILLED);
}

int CMainControl::LogOut(bool ask) {
  AgentWeb& web = AfxWeb();
  web.SelectAuthServer(0);
  web.SetSessionIndex(0);
  if (ask) {
    const intptr_t answer = SendToWindow(enWndMainFrame, hv::WM_LOGOUT_QUESTION);
    if (answer != 6) return int(answer);
  } else {
    CloseOpenDialogs();
    PostToWindow(enWndMainFrame, hv::WM_WORK_VIEW, 0);
  }
  m_bSessionReconnect = false;
  LoginState = 0;
  PostToWindow(enWndMainFrame, hv::WM_NOTIFY_REMOVE_ALL);
  SendToWindow(enWndMainFrame, hv::WM_SESSIONLIST_ITEM_REMOVE_ALL, 1000);
  web.CallAgentLogOutPage();
  CloseSessionServer();
  SendToWindow(enWndMainFrame, hv::WM_AUTO_LOGOUT, 0);
  if (AgentSessionState == 5) PostMessageBox(ResourceText(QStringLiteral("IDS_MSG_LOGGED_OUT_BY_ANOTHER_USER")), 64);
  if (AgentSessionState == 4) PostMessageBox(ResourceText(QStringLiteral("IDS_MSG_COULD_NOT_RECEIVE_INFO")), 64);
  PostToWindow(enWndLogIn, hv::WM_INIT_LOGOUT, 0);
  m_signInState = 0;
  AgentSessionState = 7;
  if (m_OtherData.AutoLogin.Flag) PostToWindow(enWndLogIn, hv::WM_INIT_LOGOUT, 1);
  CustomerPopups.clear();
  TransferPopups.clear();
  SharePopups.clear();
  InitAutoLogin();
  return 6;
}

void CMainControl::SaveConfig(const QString& id, const QString& password) {
  ServerRecord& auth = AfxWeb().Settings().authServer;
  auth.SetUser(id);
  auth.SetPassword(password);
  AfxRegistry()->SaveSettings(AfxWeb().Settings());
  AfxRegistry()->WriteCommonString(QStringLiteral("CrmParam"), AfxRegistry()->m_strCrmParam);
}

void CMainControl::WriteSkinFolder() {
  CIniFile(InfoIni()).SetString(QStringLiteral("General"), QStringLiteral("SkinWorkDir2"), AfxWeb().Values().skinDir);
}

void CMainControl::ShowServiceError(int code) { AfxWeb().ShowServiceError(code, false); }

QString CMainControl::LockedAccountMessage() const {
  const LoginValues& v = AfxWeb().Values();
  if (v.remainingMinute < 1 && v.remainingSecond < 1) return ResourceText(QStringLiteral("IDS_MSG_LOGIN_FAIL_CONTACT_ADMIN"));
  QString text = ResourceText(QStringLiteral("IDS_MSG_LOGIN_FAIL_TRY_AGAIN_AFTER_TIME"));
  // The text is a format with the minutes and the seconds, in that order.
  return QString::asprintf(text.replace(QLatin1String("%s"), QLatin1String("%d")).toUtf8().constData(),
                           v.remainingMinute, v.remainingSecond);
}

QString CMainControl::NoAnswerMessage() const {
  const int code = LastLoginError;
  QString codeLine = ResourceText(QStringLiteral("IDS_ERROR_CODE1"));
  codeLine = codeLine.contains(QLatin1String("%d")) ? QString::asprintf(codeLine.toUtf8().constData(), code)
                                                    : QStringLiteral("%1 %2").arg(codeLine).arg(code);
  const QString transport = AfxWeb().LastErrorText();
  if (!transport.isEmpty()) return transport + QLatin1Char('\n') + codeLine;
  return ResourceText(QStringLiteral("IDS_MSG_LOGIN_FAIL_ERROR")) + QStringLiteral("\n\n") + codeLine;
}

void CMainControl::ShowLoginNotices() {
  // Notice pages arrive with the notice handling; nothing is shown until then.
}
