#include "agent/control/MainControl.h"

#include "agent/channel/HVAgentSServer.h"
#include "agent/config/AgentRegistry.h"
#include "agent/config/ProgramSetup.h"
#include "agent/log/DeveloperLog.h"
#include "agent/web/AgentWeb.h"
#include <QVariant>
#include "common/IniFile.h"
#include "common/TagReader.h"
#include "platform/Paths.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QThread>

GlobalData* g_pGlobalData = nullptr;

namespace {
CMainControl* g_control = nullptr;
}  // namespace

CMainControl* AfxMainControl() {
  if (!g_control) g_control = new CMainControl();
  return g_control;
}

void DestroyMainControl() {
  delete g_control;
  g_control = nullptr;
}

bool WaitThread(QThread* thread, int seconds) {
  if (!thread) return true;
  thread->requestInterruption();
  if (thread->wait(QDeadlineTimer(seconds * 1000))) {
    delete thread;
    return true;
  }
  // Still running: never killed. It ends by itself (it checks m_bClose) and then deletes itself.
  HVLOG(3, "WaitThread : a worker did not end within %d s; left to finish", seconds);
  QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  return false;
}

CMainControl::CMainControl() {
  m_pData = std::make_unique<SessionData>();
  LaunchData = std::make_unique<::LaunchData>();
  LaunchData->OsName = AgentWeb::OsName();
  LaunchData->TempFolder = QDir::tempPath() + QStringLiteral("/Helvora Agent");
  QDir().mkpath(LaunchData->TempFolder);
  DeveloperLog::Instance();
  AgentWeb& web = AfxWeb();
  // Refusals found on worker threads reach the user through the main window's message boxes.
  web.SetMessageSink([this](const QString&, const QString& text, int style) { PostMessageBox(text, style); });
  web.SetSessionRejectedHandler([this] {
    AgentSessionState = 4;
    SendToWindow(enWndMainFrame, hv::WM_AUTO_LOGOUT, 0);
  });
  web.SetSettingHooks(
      [](const QString& name) -> QVariant {
        if (name == QLatin1String("MULTIAUTHSERVER")) {
          QString v;
          AfxRegistry()->ReadCommonString(name, v, QString());
          return v;
        }
        uint32_t d = 0;
        AfxRegistry()->ReadCommonDWORD(name, d, 0);
        return QVariant::fromValue<int>(int(d));
      },
      [](const QString& name, const QVariant& value) {
        if (value.typeId() == QMetaType::QString)
          AfxRegistry()->WriteCommonString(name, value.toString());
        else
          AfxRegistry()->WriteCommonDWORD(name, uint32_t(value.toInt()));
      });
}

CMainControl::~CMainControl() {
  m_pData.reset();
  LaunchData.reset();
  CloseSessionServer();
  delete HelperWindow;
  HelperWindow = nullptr;
  delete PipeWindow;
  PipeWindow = nullptr;
}

void CMainControl::PostMessageBox(const QString& text, int style) {
  auto* req = new MessageBoxRequest{g_pGlobalData ? g_pGlobalData->AppName : QString(), text, style};
  // The main window owns the request once it is queued; nobody to take it means we free it.
  if (!PostToWindow(enWndMainFrame, hv::WM_SHOW_MESSAGEBOX, 0, reinterpret_cast<intptr_t>(req))) delete req;
}

intptr_t CMainControl::SendMessageBox(const QString& text, int style) {
  auto* req = new MessageBoxRequest{g_pGlobalData ? g_pGlobalData->AppName : QString(), text, style};
  bool delivered = false;
  const intptr_t r = m_windows.SendToWindowTimeout(enWndMainFrame, hv::WM_SHOW_MESSAGEBOX, 0,
                                                   reinterpret_cast<intptr_t>(req), hv::WindowDirectory::kWaitForever,
                                                   &delivered);
  if (!delivered) delete req;
  return r;
}

void CMainControl::InitWindow(QObject*) {
  // Chat programs reach the console under this endpoint name on the message bus.
  m_pData->SharedNetworkName = QStringLiteral("Agent.%1").arg(QCoreApplication::applicationPid());
  HVLOG(0, "SharedNetwork : %s", qUtf8Printable(m_pData->SharedNetworkName));
  if (!PipeWindow) {
    PipeWindow = new QObject(this);
    PipeWindow->setObjectName(QStringLiteral("PipeWindow"));
  }
}

void CMainControl::InitData() {
  if (m_dataDone) return;
  m_dataDone = true;
  if (!HelperWindow) {
    HelperWindow = new QObject(this);
    HelperWindow->setObjectName(QStringLiteral("Small Application"));
  }
  ModuleFolder = hv::paths::ProgramDir();
  m_OtherData.Version = hv::config::LoadVersion(ModuleFolder);
  AfxWeb().SetVersion(m_OtherData.Version);
  m_agentReconnect = CIniFile::InProgramDir(QStringLiteral("info.ini")).GetInt(QStringLiteral("General"), QStringLiteral("AgentReconnect"), 1);
  Language = CurrentLanguageCode();
  hv::config::InitDocPath(*AfxRegistry());
  AfxWeb().SetProductIndex(0);
  m_OtherData.RequestHeaderValue = QStringLiteral("HV50-Agent");
  AfxRegistry()->SetProductKeyFromType(AfxWeb().ProductIndex());
  hv::config::RefreshDesktopShortcut(ModuleFolder);
  AfxRegistry()->MigrateLegacyTimes();
  if (!m_OtherData.RequestHeaderValue.isEmpty())
    AfxWeb().AddUserHeader(QStringLiteral("X-KX-Request"), m_OtherData.RequestHeaderValue);
}

void CMainControl::PrepareServerSets() { AfxWeb().LoadAuthServerSet(); }

// --- auto-login hand-over ---------------------------------------------------------------------

bool CMainControl::ParseAutoLogin(const QString& text) {
  InitAutoLogin();
  const QString inner = HVWeb::GetTag(text, QStringLiteral("AUTOLOGIN"));
  const QString id = HVWeb::GetTag(inner, QStringLiteral("ID"));
  if (id.isEmpty()) return false;
  AutoLoginInfo& a = m_OtherData.AutoLogin;
  a.ParamText = text;
  a.ID = id;
  a.Password = HVWeb::GetTag(text, QStringLiteral("PASS"));
  QString phone = HVWeb::GetTag(text, QStringLiteral("P_NUMBER"));
  phone.remove(QLatin1Char('-')).remove(QLatin1Char('.')).remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
  a.PhoneNumber = phone;
  a.UserID = HVWeb::GetTag(text, QStringLiteral("UID"));
  if (a.UserID.isEmpty()) a.UserID = id;
  const QString mode = HVWeb::GetTag(text, QStringLiteral("MODE"));
  a.Mode = mode.toInt();
  if (a.Mode != 1 && a.Mode != 2) a.Mode = 0;
  AgentWeb& web = AfxWeb();
  web.SetLoginMode(a.Mode);
  if (a.Mode != 0) {
    // External logins carry no password; the edit needs a non-empty one to start, never sent.
    a.Password = QStringLiteral("00000");
    if (a.Mode == 1) web.SetExternalUserId(id);
    if (a.Mode == 2) {
      web.SetExternalGroupId(id);
      web.SetExternalUserId(a.UserID);
    }
  }
  a.Flag = true;
  return true;
}

void CMainControl::InitAutoLogin() {
  m_OtherData.AutoLogin = AutoLoginInfo{};
  AfxWeb().ResetLoginMode();
}

// --- settings the windows show and change -----------------------------------------------------

bool CMainControl::SettingSaveAccount() const { return AfxRegistry()->m_bSaveAccount != 0; }
void CMainControl::SetSettingSaveAccount(bool on) { AfxRegistry()->m_bSaveAccount = on ? 1 : 0; }
bool CMainControl::SettingAutoStandby() const { return AfxRegistry()->m_bAutoStandby != 0; }
void CMainControl::SetSettingAutoStandby(bool on) { AfxRegistry()->m_bAutoStandby = on ? 1 : 0; }
bool CMainControl::SettingTrayNotUse() const { return AfxRegistry()->m_bTrayNotUse != 0; }
void CMainControl::SetSettingTrayNotUse(bool on) { AfxRegistry()->m_bTrayNotUse = on ? 1 : 0; }
int CMainControl::DoNotSeeAgainStored() const { return AfxRegistry()->m_nDoNotSeeAgain; }
int CMainControl::DoNotSeeAgainAll() const { return AfxRegistry()->m_nDoNotSeeAgain | AfxRegistry()->m_nDoNotSeeAgainRun; }
void CMainControl::AddDoNotSeeAgainThisRun(int bits) { AfxRegistry()->m_nDoNotSeeAgainRun |= bits; }
int CMainControl::AutoCloseMinutes() const { return AfxRegistry()->m_nAutoCloseTime; }

int CMainControl::AutoCloseIntervalMs(int minutes) const {
  bool ok = false;
  const int unit = qEnvironmentVariableIntValue("HV_AUTOCLOSE_UNIT_MS", &ok);
  return minutes * ((ok && unit > 0) ? unit : 60000);
}

QString CMainControl::SavedLoginID() const {
  if (!WebRunID.isEmpty()) return WebRunID;
  return AfxRegistry()->m_bSaveAccount ? AfxWeb().Settings().authServer.User() : QString();
}
QString CMainControl::SavedLoginPassword() const {
  if (!WebRunID.isEmpty()) return WebRunPassword;
  return AfxRegistry()->m_bSaveAccount ? AfxWeb().Settings().authServer.Password() : QString();
}

bool CMainControl::SavedPlacement(QRect* normal) const {
  const WindowPlacement& p = AfxRegistry()->m_AgentPlacement;
  if (p.IsEmpty()) return false;
  *normal = p.NormalRect();
  return true;
}

void CMainControl::SaveSettingsWithPlacement(const QRect& geometry) {
  AfxRegistry()->SaveSettings(AfxWeb().Settings(), [geometry](WindowPlacement& p) {
    p = WindowPlacement::FromRect(geometry);
    return true;
  });
}

void CMainControl::SaveAuthServerToIni() { AfxRegistry()->SaveAuthServerToIni(AfxWeb().Settings()); }

void CMainControl::OpenFindIdPage() {
  const ServerRecord& auth = AfxWeb().Settings().authServer;
  const QString url = QStringLiteral("%1://%2:%3/agent/go_url?linktype=page_idpwd")
                          .arg(AfxWeb().Secure() ? QStringLiteral("https") : QStringLiteral("http"), auth.Host())
                          .arg(unsigned(auth.port));
  hv::OpenUrl(url);
}

void CMainControl::OpenLicenseText() {
  hv::OpenUrl(hv::paths::ProgramDir() + QStringLiteral("/Helvora6.0_License.txt"));
}

void CMainControl::EmptyTempFolder() {
  QDir dir(LaunchData->TempFolder);
  if (!dir.exists()) return;
  for (const QFileInfo& fi : dir.entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden)) {
    if (fi.isDir() && !fi.isSymLink())
      QDir(fi.absoluteFilePath()).removeRecursively();
    else
      QFile::remove(fi.absoluteFilePath());
  }
}

void CMainControl::CloseOpenDialogs() { emit closeOpenDialogsRequested(); }

QString CMainControl::AgentDisplayName() const {
  const LoginValues& v = AfxWeb().Values();
  return v.userName.isEmpty() ? AfxWeb().Settings().authServer.User() : v.userName;
}

QString CMainControl::PresenceDescription() const {
  if (!m_pSessionServer) return QString();
  const QList<SessionServerEntry> set = AfxWeb().SessionServers();
  const int i = m_pSessionServer->ServerIndex();
  if (i >= 0 && i < set.size()) return QStringLiteral("%1:%2").arg(set[i].host).arg(set[i].port);
  return QString();
}

int CMainControl::LoginAnswerInt(const char* tag, int def) const {
  const LoginValues& v = AfxWeb().Values();
  const QByteArray t(tag);
  if (t == "PALLIDOR") return v.pallidor;
  if (t == "CONFIG_AGENT") return v.configAgent;
  return def;
}
