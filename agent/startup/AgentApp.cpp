#include "agent/startup/AgentApp.h"

#include "agent/config/AgentRegistry.h"
#include "agent/control/MainControl.h"
#include "agent/log/DeveloperLog.h"
#include "agent/startup/MainFrame.h"
#include "agent/startup/Texts.h"
#include "agent/web/AgentWeb.h"
#include "platform/MessageBus.h"
#include "resources/HVRes.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "skin/MessageBox.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QFileInfo>

// Resources of a static library must be pulled in by name, outside any namespace.
static void InitStartupResources() { Q_INIT_RESOURCE(startup); }

namespace {
constexpr quint32 kCopyDataShowWindow = 1102;
constexpr quint32 kWmCommand = 0x0111;
// A running console that does not answer within this time is given up on.
constexpr int kActivateTimeoutMs = 5000;
const char kMainClass[] = "Helvora Agent by KESTRIX";
const char kPipeClass[] = "Afx:400000:0";
}  // namespace

StartSwitches ParseStartSwitches(const QString& commandLine) {
  StartSwitches s;
  s.CommandLine = commandLine;
  static const struct {
    const char* text;
    int mode;
  } kSwitches[] = {{"-APIRUN", 1}, {"-APPRUN", 2}, {"-WEBRUN", 3}, {"-DMC", 4}, {"-CRM", 5}};
  for (const auto& sw : kSwitches) {
    const QString text = QString::fromLatin1(sw.text);
    const int at = commandLine.indexOf(text, 0, Qt::CaseSensitive);
    if (at < 0) continue;
    s.RunMode = sw.mode;
    s.CommandLine = commandLine.mid(at + text.size());
    if (sw.mode == 2) s.AppRun = true;
    if (sw.mode == 3) {
      const QStringList fields = commandLine.split(QLatin1Char('/'));
      s.WebId = fields.value(1);
      s.WebPassword = fields.value(2);
    }
    break;
  }
  return s;
}

CAgentApp::CAgentApp(QApplication& app) : m_app(app) {}
CAgentApp::~CAgentApp() = default;

bool CAgentApp::ActivateRunningConsole() {
  hv::WindowHandle h = hv::FindWindow(QString(), QStringLiteral("Helvora Agent"));
  if (h) {
    const hv::BusSendResult r = hv::SendCopyData(h, 0, kCopyDataShowWindow, {}, kActivateTimeoutMs);
    if (!r.delivered) HVLOG(3, "The running console did not answer within %d ms", kActivateTimeoutMs);
    return r.delivered;
  }
  h = hv::FindWindow(QString::fromLatin1(kPipeClass), QString());
  if (!h) return false;
  QString text = Txt("IDS_MSG_AGENT_ALREADY_RUNNING");
  if (text.isEmpty()) text = QStringLiteral("LoadString ERROR");
  CMessageBox box;
  box.MessageBoxW(QStringLiteral("Helvora Agent"), text, skin::MB_ICONINFORMATION, nullptr);
  return hv::SendCopyData(h, 0, kCopyDataShowWindow, {}, kActivateTimeoutMs).delivered;
}

bool CAgentApp::InitInstance() {
  // One console per user session: a second start asks the running one to show itself.
  m_instanceLock = std::make_unique<hv::SingleInstanceLock>(QStringLiteral("RemoteAgent"));
  if (!m_instanceLock->TryAcquire()) {
    ActivateRunningConsole();
    return false;
  }

  InitStartupResources();
  g_pGlobalData = new GlobalData();
  CMainControl* ctl = AfxMainControl();
  AfxRegistry()->LoadSettings(AfxWeb().Settings());
  g_pGlobalData->SupportKindMask = 7;
  skin::SetImageProvider([](int number) { return QPixmap::fromImage(HVRes::GetInstance().GetImage(number)); });
  skin::ApplyStyle(m_app, ctl->FontFace());

  if (!ctl->LanguageFileExists()) {
    HVLOG(3, "Language file missing: %s", qUtf8Printable(ctl->LanguageFilePath()));
    qWarning("Helvora Agent: the language file %s is missing; the console cannot start.",
             qUtf8Printable(ctl->LanguageFilePath()));
    return false;
  }

  const QStringList args = m_app.arguments().mid(1);
  const QString commandLine = args.join(QLatin1Char(' '));
  m_switches = ParseStartSwitches(commandLine);
  ctl->AppRun = m_switches.AppRun;
  if (m_switches.RunMode == 3) {
    ctl->WebRunID = m_switches.WebId;
    ctl->WebRunPassword = m_switches.WebPassword;
  }
  // Auto-login hand-over: tag text on the command line, else the value kept across an update.
  const int tagAt = commandLine.indexOf(QLatin1String("<AUTOLOGIN>"));
  if (tagAt >= 0) {
    ctl->ParseAutoLogin(commandLine.mid(tagAt));
  } else {
    QString kept;
    AfxRegistry()->ReadSettingsString(QStringLiteral("AutoLoginParam"), kept, QString());
    if (!kept.isEmpty()) {
      AfxRegistry()->WriteSettingsString(QStringLiteral("AutoLoginParam"), QString());
      ctl->ParseAutoLogin(kept);
    }
  }

  m_mainFrame = new CMainFrame();
  m_mainFrame->setWindowTitle(g_pGlobalData->AppName);
  // Other programs find the console on the message bus by this class and title.
  m_busWindow = std::make_unique<hv::BusWindow>(QString::fromLatin1(kMainClass), g_pGlobalData->AppName);
  m_busWindow->SetCopyDataHandler([](hv::WindowHandle, quint32 id, const QByteArray&) -> qint32 {
    if (id != kCopyDataShowWindow) return 0;
    AfxMainControl()->PostToWindow(enWndMainFrame, hv::WM_SHOW_MAIN, 1);
    return 1;
  });
  // Other programs may ask the main window to show, close or run a tray command. Nothing that
  // carries a pointer is accepted from outside the process.
  m_busWindow->SetMessageHandler([](hv::WindowHandle, quint32 msg, quint64 wParam, qint64) -> qint32 {
    CMainControl* c = AfxMainControl();
    switch (msg) {
      case hv::WM_CLOSE:
        return c->PostToWindow(enWndMainFrame, hv::WM_CLOSE);
      case hv::WM_SHOW_MAIN:
        return c->PostToWindow(enWndMainFrame, hv::WM_SHOW_MAIN, wParam == 1 ? 1 : 0);
      case kWmCommand:
        if (wParam < CMainFrame::kTrayLogin || wParam > CMainFrame::kTrayNotUse) break;
        return c->PostToWindow(enWndMainFrame, kWmCommand, uintptr_t(wParam));
      default:
        break;
    }
    HVLOG(3, "Message bus: message %u from outside ignored", unsigned(msg));
    return 0;
  });
  if (!m_busWindow->Open()) HVLOG(3, "The message bus could not be opened; a second start cannot find this console");
  ctl->PostToWindow(enWndMainFrame, hv::WM_POSTCREATE_INIT);
  return true;
}

int CAgentApp::ExitInstance() {
  m_busWindow.reset();
  delete m_mainFrame;
  m_mainFrame = nullptr;
  delete g_pGlobalData;
  g_pGlobalData = nullptr;
  DestroyMainControl();
  m_instanceLock.reset();
  return 0;
}
