#include "agent/web/AgentWeb.h"

#include "agent/log/DeveloperLog.h"
#include "common/Cipher.h"
#include "common/IniFile.h"
#include "common/TagReader.h"
#include "resources/HVRes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QSysInfo>

#include <mutex>

namespace {

AgentWeb* g_web = nullptr;
std::mutex g_webLock;

const QString kAgentIdPlaceholder = QStringLiteral("{agentId}");

// Service URLs of the first read (the head of the answer).
const QStringList kFirstUrlGroup = {
    QStringLiteral("URL_LOGOUT"), QStringLiteral("URL_LOGINOK"), QStringLiteral("URL_LOGOUT4SESSION"),
    QStringLiteral("URL_KILLAGENT"), QStringLiteral("URL_AGENTACTION"),
    QStringLiteral("URL_SESSIONTRANSFER_CONFIRM"), QStringLiteral("URL_SUPPORT_ROUNDSHARE_CONFIRM"),
    QStringLiteral("URL_CHATSESSIONSHARE_CONFIRM"), QStringLiteral("URL_CHATSESSIONSHARE_LIST"),
    QStringLiteral("URL_CHATSESSIONSHARE_REQUEST"), QStringLiteral("URL_CHATSESSIONSHARE_CONNECTOK"),
    QStringLiteral("URL_CHATSESSIONSHARE_WAIT"), QStringLiteral("URL_MOBILE_VIEWER_CLOSE"),
    QStringLiteral("URL_XVIEWER_WAIT"), QStringLiteral("URL_ZVIEWER_WAIT"), QStringLiteral("URL_SESSIONCHECK"),
    QStringLiteral("URL_GUIDEIMG"), QStringLiteral("URL_GUIDETHUMB_DOWN"), QStringLiteral("URL_GUIDEIMG_DOWN"),
    QStringLiteral("URL_SUPPORT_LOG_SAVE"), QStringLiteral("URL_SUPPORTREQUEST_LIST"),
    QStringLiteral("URL_SUPPORTREQUEST_ACCEPT"), QStringLiteral("URL_SUPPORTREQUEST_VIEW"),
    QStringLiteral("URL_RESERVATION_LIST"), QStringLiteral("URL_RESERVATION_VIEW"),
    QStringLiteral("URL_RESERVATION_CHANGE_STATUS"), QStringLiteral("URL_CHANGEPASSWORD"),
    QStringLiteral("URL_HELPER_CUSTOMER"), QStringLiteral("URL_USERCHAT"), QStringLiteral("URL_USERMCHAT"),
    QStringLiteral("URL_VIEWFAVORITE"), QStringLiteral("URL_VIEWFILEBOX"), QStringLiteral("URL_SALES_CONNECT"),
    QStringLiteral("URL_SALES_CANCEL"), QStringLiteral("URL_CLOSECHAT"), QStringLiteral("URL_CLOSECHAT4SESSION"),
    QStringLiteral("URL_SUPPORT_ROUNDSHARE"), QStringLiteral("URL_SUPPORT_ROUNDSHARE_LIST"),
    QStringLiteral("URL_SESSIONTRANSFER"), QStringLiteral("URL_SESSIONTRANSFER_LIST"),
    QStringLiteral("URL_USERWAIT"), QStringLiteral("URL_WHITEBOARDINIT"),
};

// The second group: read after a successful login and again by the service URL refresh.
const QStringList kSecondUrlGroup = {
    QStringLiteral("URL_FAVORITE"), QStringLiteral("URL_SHORTMSG"), QStringLiteral("URL_USE_HISTORY"),
    QStringLiteral("URL_USERWAIT_SESSIONCHK"), QStringLiteral("URL_REPORT"), QStringLiteral("URL_REPORT_SAVE"),
    QStringLiteral("URL_FAVORITE_DELETE"), QStringLiteral("URL_HISTORY_VIEW"), QStringLiteral("URL_FILEBOX_SAVE"),
    QStringLiteral("URL_FILEBOX_DELETE"), QStringLiteral("URL_SHORTMSG_SAVE"), QStringLiteral("URL_USER_INFO"),
    QStringLiteral("URL_USER_INFO_SAVE"), QStringLiteral("URL_HISTORY_EXCEL"), QStringLiteral("URL_AGENT_NOTICE"),
    QStringLiteral("URL_AGENT_NOTICE_URGENCY"),
};

// Addresses that stay on the server that issued them when switching authentication servers.
const QStringList kNotSwitched = {
    QStringLiteral("URL_GUIDEIMG"), QStringLiteral("URL_GUIDETHUMB_DOWN"), QStringLiteral("URL_GUIDEIMG_DOWN"),
    QStringLiteral("URL_SUPPORT_LOG_SAVE"), QStringLiteral("URL_ZVIEWER_WAIT"),
    QStringLiteral("URL_AGENT_NOTICE_URGENCY"), QStringLiteral("URL_MEDIA_VIEWER_DOWN"), QStringLiteral("URL_FEEDBACK"),
};

QString Tag(const QString& text, const char* tag) { return hv::GetTag(text, QString::fromLatin1(tag)); }
int TagInt(const QString& text, const char* tag) { return hv::ToIntLeading(Tag(text, tag)); }

// A value placed in a form body: the characters that would end or change the field are
// escaped; spaces are left for the body-wide "+" rule.
QString FormValue(QString v) {
  v.replace(QLatin1Char('%'), QLatin1String("%25"));
  v.replace(QLatin1Char('&'), QLatin1String("%26"));
  v.replace(QLatin1Char('+'), QLatin1String("%2b"));
  v.replace(QLatin1Char('='), QLatin1String("%3d"));
  return v;
}

QString WithAgentId(QString url, const QString& encurid) {
  if (url.endsWith(kAgentIdPlaceholder)) url.chop(kAgentIdPlaceholder.size());
  return url + encurid;
}

CIniFile InfoIni() { return CIniFile::InProgramDir(QStringLiteral("info.ini")); }

}  // namespace

AgentWeb& AgentWeb::Instance() {
  std::lock_guard<std::mutex> g(g_webLock);
  if (!g_web) g_web = new AgentWeb();
  return *g_web;
}

AgentWeb& AfxWeb() { return AgentWeb::Instance(); }

AgentWeb::AgentWeb() = default;
AgentWeb::~AgentWeb() = default;

QString AgentWeb::ProductKey(int productIndex) {
  switch (productIndex) {
    case 1: return QStringLiteral("PALLI");
    case 2: return QStringLiteral("QUINT");
    default: return QStringLiteral("HELVO");
  }
}

void AgentWeb::SetSettingHooks(SettingRead read, SettingWrite write) {
  m_readSetting = std::move(read);
  m_writeSetting = std::move(write);
}

QVariant AgentWeb::ReadSetting(const QString& name) const {
  if (m_readSetting) return m_readSetting(name);
  return m_memorySettings.value(name);
}

void AgentWeb::WriteSetting(const QString& name, const QVariant& value) {
  if (m_writeSetting)
    m_writeSetting(name, value);
  else
    m_memorySettings.insert(name, value);
}

// Texts come from the active language file unless the owner installed another source (tests).
QString AgentWeb::Text(const QString& key) const { return m_text ? m_text(key) : HVRes::GetInstance().LoadStringW(key); }

// ---------------------------------------------------------------------------------------------
// Sign-in and sign-out

bool AgentWeb::PostWithProxyRepeat(const QString& url, const QString& body, QString& answer, int& status) {
  bool ok = PostPage(url, body, answer, status);
  if (status == 407) {
    // The proxy asked for its credentials once; the repeat carries them.
    HVLOG(0, "proxy answered 407, posting once more");
    ok = PostPage(url, body, answer, status);
  }
  return ok;
}

int AgentWeb::CallAuthPage(int productIndex, int& status, const QString& language) {
  status = 0;
  if (m_authPageName.isEmpty()) return 0;
  HVLOG(0, "Call Auth Page");
  static const char* const kPages[] = {"AgentLoad.aspx", "agent/external_user_login", "agent/external_group_login"};
  const int mode = (m_loginMode >= 0 && m_loginMode <= 2) ? m_loginMode : 0;
  m_authPageName = QString::fromLatin1(kPages[mode]);
  const QString url = AuthPageUrl(m_authPageName);
  m_authTargetPage = url;
  if (url.isEmpty()) return 0;

  const QString id = FormValue(AuthServer().User());
  const QString password = hv::EncryptText(AuthServer().Password());
  DeveloperLog::Instance().AddSecret(AuthServer().Password());
  DeveloperLog::Instance().AddSecret(password);
  const int usessl = Secure() ? 1 : 0;
  const QString productKey = ProductKey(productIndex);
  const QString os = FormValue(OsName());
  const QString pcname = FormValue(ComputerName());
  const QString lang = FormValue(language);
  const QString version = FormValue(m_version);

  // Joined, not formatted: the values themselves hold "%" escapes.
  using Field = QPair<const char*, QString>;
  QList<Field> fields;
  if (mode == 0) {
    fields = {{"id", id}, {"password", password}};
  } else if (mode == 1) {
    fields = {{"externalUserId", id}};
  } else {
    fields = {{"externalGroupId", FormValue(m_externalGroupId)}, {"externalUserId", FormValue(m_externalUserId)}};
  }
  fields += QList<Field>{{"localip", LocalAddress()}, {"os", os}, {"pcname", pcname}, {"mac", MacAddress()},
                         {"lang", mode == 1 ? QStringLiteral("kr") : lang}, {"productkey", productKey},
                         {"usessl", QString::number(usessl)}, {"version", version}};
  QString body;
  for (const Field& f : fields) {
    if (!body.isEmpty()) body += QLatin1Char('&');
    body += QLatin1String(f.first) + QLatin1Char('=') + f.second;
  }
  body.replace(QLatin1Char(' '), QLatin1Char('+'));

  QString answer;
  const bool ok = PostWithProxyRepeat(url, body, answer, status);
  HVLOG(0, "Call Page returncode : %s, status : %d", qUtf8Printable(Tag(answer, "RETCODE")), status);
  if (!ok) {
    m_lastLoginError = LastError();
    LogTransportFailure();
    return 0;
  }
  SetProductIndex(productIndex);
  return ParseLoginAnswer(answer);
}

int AgentWeb::CallAuthPageOverServers(int productIndex, int& status, const QString& language) {
  int outcome = 0;
  for (int index = 0; index <= AuthServerCount(); ++index) {
    SelectAuthServer(index);
    outcome = CallAuthPage(productIndex, status, language);
    if (outcome == 0 || (outcome >= 901 && outcome <= 1000)) {
      HVLOG(3, "login on auth server %d gave %d, trying the next", index, outcome);
      continue;
    }
    break;
  }
  return outcome;
}

void AgentWeb::ReadUrlGroup(const QString& text, const QStringList& tags) {
  for (const QString& tag : tags) m_urls.insert(tag, hv::GetTag(text, tag));
}

void AgentWeb::ReadSecondUrlGroup(const QString& text) {
  for (const QString& tag : kSecondUrlGroup) {
    const QString value = hv::GetTag(text, tag);
    if (tag == QLatin1String("URL_USERWAIT_SESSIONCHK")) {
      if (!value.isEmpty()) m_urls.insert(QStringLiteral("URL_SESSIONCHECK"), value);
      continue;
    }
    m_urls.insert(tag, value);
  }
}

int AgentWeb::ParseLoginAnswer(const QString& answer) {
  LoginValues& v = m_values;
  // 1. The in-use list after "<INUSERLIST" may repeat tag names; only the head counts.
  const qsizetype listAt = answer.indexOf(QLatin1String("<INUSERLIST"));
  const QString head = listAt < 0 ? answer : answer.left(listAt);
  v.inUseCount = TagInt(answer, "INUSECOUNT");
  v.inUserList = Tag(answer, "INUSERLIST");

  // 2. Outcome, texts and the first URL group, from the head.
  v.retCode = TagInt(head, "RETCODE");
  v.encurid = Tag(head, "ENCURID");
  v.userName = Tag(head, "USR_NAME");
  v.sencurid = Tag(head, "SENCURID");
  v.scenterId = Tag(head, "SCENTERID");
  v.sgroupId = Tag(head, "SGROUPID");
  v.separateType = Tag(head, "SEPARATE_TYPE");
  v.sessionAddr = Tag(head, "SESSIONADDR");
  v.sessionPort = TagInt(head, "SESSIONPORT");
  v.sessionIp = Tag(head, "SESSIONIP");
  v.noticeContent = Tag(head, "NOTICE_CONTENT");
  v.orbenta = TagInt(head, "ORBENTA");
  v.remainingMinute = TagInt(head, "REMAINING_MINUTE");
  v.remainingSecond = TagInt(head, "REMAINING_SECOND");
  v.authAddrLocal = Tag(head, "AUTHADDRLOCAL");
  v.passwordInitMessage = Tag(head, "PASSWORD_INIT_MESSAGE");
  v.passwordExpiredMessage = Tag(head, "PASSWORD_EXPIRED_MESSAGE");
  v.skinDir = Tag(head, "SKINDIR");
  v.wcid = Tag(head, "WCID");
  ReadUrlGroup(head, kFirstUrlGroup);
  if (!v.encurid.isEmpty()) DeveloperLog::Instance().AddSecret(v.encurid);

  // 3.
  v.agentForcedKill = TagInt(answer, "AGENT_FORCED_KILL");

  // 4.
  if (v.retCode != kRetSuccess) return v.retCode;

  // 5. Log retention and the service's switch of the developer log.
  v.pendingDeleteViewerLog = TagInt(head, "PENDINGDELETEVIEWERLOG");
  if (v.pendingDeleteViewerLog < 1) v.pendingDeleteViewerLog = 30;
  v.agentLogFileRecord = TagInt(head, "AGENTLOGFILERECORD");
  DeveloperLog& log = DeveloperLog::Instance();
  if (v.agentLogFileRecord != log.FileRecord()) {
    log.SetDebugLog(v.agentLogFileRecord, false);
    if (m_updateNeeded) log.SetDebugLogScap(v.agentLogFileRecord, false);
  }
  log.SetLogFileRecord(v.agentLogFileRecord);
  if (v.agentLogFileRecord == 1) log.SetRetentionDays(v.pendingDeleteViewerLog);

  // 6. Server sets.
  StoreAuthServerSet(head);
  BuildSessionServerSet(head);
  WriteUpdateServerSet(head);

  // 7. Channel security.
  const QString ssl = Tag(head, "SSL_TYPE");
  v.sslType = ssl.isEmpty() ? 1 : hv::ToIntLeading(ssl);
  v.channelSecurity = v.sslType != 0 ? 1 : 2;
  WriteSetting(QStringLiteral("SSLType"), v.sslType);

  // 8.
  ReadSecondUrlGroup(head);

  // 9.
  v.camReport = TagInt(head, "CAM_REPORT");
  v.report = TagInt(head, "REPORT");
  v.configAgent = TagInt(head, "CONFIG_AGENT");
  v.viewerConfigAgent = TagInt(head, "CONFIG_AGENT");
  v.configFunction = TagInt(head, "CONFIG_FUNCTION");
  v.maxFileUploadSize = TagInt(head, "MAXFILEUPLOADSIZE");
  v.configFunction |= 0x20;
  v.remoteCtrl = TagInt(head, "REMOTECTRL");
  v.webChat = TagInt(head, "WEBCHAT");
  const QString mobile = Tag(head, "REMOTEMOBILE");
  v.remoteMobile = hv::ToIntLeading(mobile);
  v.mobileNumberSupport = TagInt(head, "MOBILE_NUMBER_SUPPORT");
  v.remoteUsb = TagInt(head, "REMOTEUSB");
  v.remoteCam = TagInt(head, "REMOTECAM");
  v.pallidor = TagInt(head, "PALLIDOR");
  v.networkRecordPath = Tag(head, "NETWORKRECORDPATH");
  v.formattedMobileNumber = TagInt(head, "FORMATTED_MOBILE_NUMBER");
  v.authAddr = Tag(head, "AUTHADDR");
  v.authPort = Tag(head, "AUTHPORT");
  v.authUseSsl = Tag(head, "AUTHUSESSL");
  m_urls.insert(QStringLiteral("URL_MEDIA_VIEWER_DOWN"), Tag(head, "URL_MEDIA_VIEWER_DOWN"));
  v.feedback = TagInt(head, "FEEDBACK");
  m_urls.insert(QStringLiteral("URL_FEEDBACK"), Tag(head, "URL_FEEDBACK"));

  // 10. Permitted support types, and a default support type that is among them.
  int types = 0;
  if (v.webChat == 1) types |= SupportChat;
  if (v.remoteCtrl == 1) types |= SupportRemote;
  if (mobile.isEmpty() ? v.mobileNumberSupport == 1 : v.remoteMobile == 1) types |= SupportMobile;
  if (v.remoteCam == 1) types |= SupportCam;
  if (v.remoteUsb == 1 || InfoIni().GetInt(QStringLiteral("General"), QStringLiteral("RemoteUsb"), 0) == 1)
    types |= SupportUsb;
  v.supportTypes = types;
  const QVariant stored = ReadSetting(QStringLiteral("SupportType"));
  const int current = stored.isValid() ? stored.toInt() : SupportRemote;
  if ((current & types) == 0 || current == 0) {
    for (int candidate : {int(SupportRemote), int(SupportMobile), int(SupportUsb), int(SupportCam)}) {
      if (types & candidate) {
        WriteSetting(QStringLiteral("SupportType"), candidate);
        break;
      }
    }
  }
  return 2;
}

int AgentWeb::CallAuthOutPage() {
  const QString url = Url(QStringLiteral("URL_LOGOUT"));
  if (url.isEmpty()) return 1;
  HVLOG(0, "Call AuthOut Page");
  const QString body = QStringLiteral("encurid=%1&caller=agent").arg(m_values.encurid);
  QString answer;
  int status = 0;
  const bool ok = PostWithProxyRepeat(url, body, answer, status);
  const QString ret = Tag(answer, "RETCODE");
  if (!ok) {
    HVLOG(3, "Call Page returncode : %s, status : %d", qUtf8Printable(ret), status);
    LogTransportFailure();
    return 2;
  }
  HVLOG(0, "Call Page returncode : %s, status : %d", qUtf8Printable(ret), status);
  return hv::ToIntLeading(ret) == kRetSuccess ? 3 : 4;
}

bool AgentWeb::CallAgentLogOutPage() {
  int result = CallAuthOutPage();
  for (int i = 0; result == 2 && i < AuthServerCount(); ++i) {
    const QString host = AlternateAuthHost(i);
    if (host.isEmpty()) continue;
    SwitchAuthServer(host);
    result = CallAuthOutPage();
  }
  return result == 3;
}

void AgentWeb::SetServiceUrl(const QString& url) {
  const QString target = WithAgentId(url, m_values.encurid);
  QString answer;
  const PostResult r = Get(target, answer, (m_settings.proxyType & 1) != 0);
  if (!r.ok) {
    HVLOG(3, "SetServiceUrl failed: %s", qUtf8Printable(r.errorText));
    return;
  }
  if (!answer.isEmpty()) ReadSecondUrlGroup(answer);
}

void AgentWeb::GetDataQuery() {
  if (m_cancelQuery) return;
  HVLOG(0, "==>Web Query::UserInfoDlg::GetDataQuery");
  m_profile = UserProfile();
  QString url = WithAgentId(Url(QStringLiteral("URL_USER_INFO")), m_values.encurid);
  QString answer;
  HVLOG(0, "->Web Query::UserInfoDlg::GetDataQuery");
  PostResult r = Get(url, answer, (m_settings.proxyType & 1) != 0);
  HVLOG(0, "<- Web Query::UserInfoDlg::GetDataQuery, Result = %d", r.ok ? 1 : 0);
  for (int i = 0; !r.ok && i < AuthServerCount() && !m_cancelQuery; ++i) {
    const QString previous = m_values.authAddrLocal;
    const QString host = AlternateAuthHost(i);
    if (host.isEmpty()) continue;
    url.replace(previous, host);
    SwitchAuthServer(host);
    HVLOG(0, "==>Web Query::UserInfoDlg::GetDataQuery - 1");
    r = Get(url, answer, (m_settings.proxyType & 1) != 0);
    HVLOG(0, "<- Web Query::UserInfoDlg::GetDataQuery - 1, Result = %d", r.ok ? 1 : 0);
  }
  if (r.ok && !m_cancelQuery) {
    // The profile page answers in JSON; the tag form is accepted too.
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8());
    auto field = [&](const char* name) {
      if (doc.isObject()) {
        const QJsonValue jv = doc.object().value(QLatin1String(name));
        return jv.isDouble() ? QString::number(jv.toInteger()) : jv.toString();
      }
      return Tag(answer, name);
    };
    if (hv::ToIntLeading(field("RETCODE")) == kRetSuccess) {
      m_profile.userId = field("userId");
      m_profile.familyName = field("familyName");
      m_profile.givenName = field("givenName");
      m_profile.displayName = field("displayName");
      m_profile.email = field("email");
      m_profile.telephone = field("telephone");
    }
  }
  HVLOG(0, "<==Web Query::UserInfoDlg::GetDataQuery");
}

bool AgentWeb::GetCommonParam(const QString& chatUrlOverride, QString& out) const {
  HVLOG(0, "==>CMainFrame::GetCommonParam");
  out.clear();
  auto add = [&](const char* name, const QString& value) {
    out += QLatin1Char('<') + QLatin1String(name) + QLatin1Char('>') + value + QLatin1String("</") +
           QLatin1String(name) + QLatin1Char('>');
  };
  auto addInt = [&](const char* name, int value) { add(name, QString::number(value)); };
  auto url = [&](const char* tag) { return Url(QLatin1String(tag)); };
  const LoginValues& v = m_values;
  addInt("PRODUCTKEY", ProductIndex());
  add("ENCURID", v.encurid);
  add("URL_USERCHAT", chatUrlOverride.isEmpty() ? url("URL_USERCHAT") : chatUrlOverride);
  add("URL_USERMCHAT", url("URL_USERMCHAT"));
  add("USR_ID", AuthServer().User());
  add("USR_NAME", v.userName);
  add("URL_VIEWFAVORITE", url("URL_VIEWFAVORITE"));
  add("URL_VIEWFILEBOX", url("URL_VIEWFILEBOX"));
  add("WCID", QString());
  for (const char* tag : {"URL_SALES_CONNECT", "URL_SALES_CANCEL", "URL_CLOSECHAT", "URL_CLOSECHAT4SESSION",
                          "URL_SUPPORT_ROUNDSHARE", "URL_SUPPORT_ROUNDSHARE_CONFIRM", "URL_SUPPORT_ROUNDSHARE_LIST",
                          "URL_SESSIONTRANSFER", "URL_SESSIONTRANSFER_CONFIRM", "URL_SESSIONTRANSFER_LIST"})
    add(tag, url(tag));
  add("SESSIONADDR", v.sessionAddr);
  add("SESSIONIP", v.sessionIp);
  addInt("SESSIONPORT", v.sessionPort);
  add("URL_USEWAIT", url("URL_USERWAIT"));
  add("URL_WHITEBOARDINIT", url("URL_WHITEBOARDINIT"));
  addInt("CONFIG_AFUNCTION", v.configFunction);
  addInt("CONFIG_AGENT", v.viewerConfigAgent);
  addInt("ENABLESUPPORTTYPE", v.supportTypes);
  add("URL_REPORT", url("URL_REPORT"));
  add("URL_REPORT_SAVE", url("URL_REPORT_SAVE"));
  add("URL_MEDIA_VIEWER_DOWN", url("URL_MEDIA_VIEWER_DOWN"));
  add("RESERVATION_ID", m_reservationId);
  HVLOG(0, "<==CMainFrame::GetCommonParam");
  return true;
}

// ---------------------------------------------------------------------------------------------
// Service errors

QString AgentWeb::ServiceErrorText(int code) const {
  switch (code) {
    case 101: return Text(QStringLiteral("IDS_MSG_INVALID_ID_CHECK_IT"));
    case 102: return Text(QStringLiteral("IDS_MSG_INVALID_ID_OR_PWD"));
    case 103: case 104: case 105: return Text(QStringLiteral("IDS_MSG_INVALID_PC_ACCESS_ERROR"));
    case 106: return Text(QStringLiteral("IDS_MSG_LOGIN_FAIL_REQUEST_NEW_PASSWORD"));
    case 115: return Text(QStringLiteral("IDS_MSG_ACCOUNT_LOCK"));
    case 120: return Text(QStringLiteral("IDS_MSG_NO_PRODUCT_PERMISSION"));
    case 121: case 990: return Text(QStringLiteral("IDS_MSG_BAD_REQUEST"));
    case 200: return Text(QStringLiteral("IDS_MSG_PRODUCT_UPGRADE"));
    case 211: return Text(QStringLiteral("IDS_MSG_STANDBY_ID_ERROR"));
    case 806: return Text(QStringLiteral("IDS_MSG_ANOTHER_REP_SUPPORTING"));
    case 902: case 999: return Text(QStringLiteral("IDS_MSG_TEMPORARY_SERVER_ERROR"));
    case 991: case 998: return Text(QStringLiteral("IDS_MSG_LACKING_DATA_ERROR"));
    case 997: return Text(QStringLiteral("IDS_MSG_SERVER_ERROR"));
    case 1000: {
      // The language text is a format with one %s; anything else in it is shown as it stands.
      QString format = Text(QStringLiteral("IDS_MSG_UNAVAILABLE_SUPPORT_ERROR"));
      const qsizetype at = format.indexOf(QLatin1String("%s"));
      if (at >= 0) format.replace(at, 2, Text(QStringLiteral("IDS_CUSTOMER1")));
      return format;
    }
    default: return Text(QStringLiteral("IDS_UNDEFINED_ERROR"));
  }
}

bool AgentWeb::ComposeServiceError(int code, QString& text, int& style) const {
  const QString codeLine = QStringLiteral("[Error Code : R - %1]").arg(code);
  auto withCode = [&](const QString& e, const QString& c) { return QStringLiteral("%1(%2:%3)").arg(e, c).arg(code); };
  switch (code) {
    case 109:
      return false;
    case 101: case 102: case 115: case 120:
      text = withCode(ServiceErrorText(code), Text(QStringLiteral("IDS_MESSAGE_CODE")));
      style = 0x30;
      return true;
    case 103: case 105: case 106: case 200: case 211:
      text = withCode(ServiceErrorText(code), Text(QStringLiteral("IDS_MESSAGE_CODE")));
      style = 0x40;
      return true;
    case 104: case 121: case 902: case 990: case 991: case 997: case 998: case 999: {
      QString line = Text(QStringLiteral("IDS_ERROR_CODE2"));
      const qsizetype at = line.indexOf(QLatin1String("%d"));
      if (at >= 0) line.replace(at, 2, QString::number(code));
      text = ServiceErrorText(code) + QStringLiteral("\n\n") + line;
      style = 0x10;
      return true;
    }
    case 302:
      text = withCode(ServiceErrorText(code), Text(QStringLiteral("IDS_MSG_SUPPORTING_WITH_INPUT_TEL_NUMBER")));
      style = 0x40;
      return true;
    case 414:
      text = Text(QStringLiteral("IDS_MSG_ANOTHER_REP_SUPPORTING")) + QStringLiteral("\n\n") + codeLine;
      style = 0x40;
      return true;
    case 601:
      text = Text(QStringLiteral("IDS_MSG_INVALID_ID_CHECK_IT")) + QStringLiteral("\n\n") + codeLine;
      style = 0x10;
      return true;
    case 602:
      text = Text(QStringLiteral("IDS_MSG_ALL_REP_USING")) + QStringLiteral("\n\n") + codeLine;
      style = 0x10;
      return true;
    case 806:
      text = QStringLiteral("%1(%2)").arg(Text(QStringLiteral("IDS_MSG_SUPPORT_CANCLE"))).arg(code);
      style = 0x40;
      return true;
    default:
      text = ServiceErrorText(code) + QStringLiteral("\n\n") + codeLine;
      style = 0x10;
      return true;
  }
}

void AgentWeb::ShowServiceError(int code, bool post) {
  QString text;
  int style = 0;
  if (!ComposeServiceError(code, text, style)) return;
  const QString title = QStringLiteral("Helvora Agent");
  if (m_messageSink) {
    m_messageSink(title, text, style);
  } else {
    HVLOG(3, "service error %d (%s): %s", code, post ? "posted" : "sent", qUtf8Printable(text));
  }
}

void AgentWeb::OnSessionRejected() {
  HVLOG(3, "session rejected by the service (RETCODE 9999)");
  if (m_sessionRejected) m_sessionRejected();
}

// ---------------------------------------------------------------------------------------------
// Server sets

QString AgentWeb::AuthPageUrl(const QString& page) const {
  if (m_authIndex == 0) return PrimaryAuthPageUrl(page);
  return AlternateAuthUrl(page);
}

QString AgentWeb::AlternateAuthUrl(const QString& page) const {
  if (m_authIndex == 0) return PrimaryAuthPageUrl(page);
  if (m_authIndex < 0 || m_authIndex > m_authSet.size()) return QString();
  const AuthServerEntry& e = m_authSet[m_authIndex - 1];
  const QString scheme = e.secure == 1 ? QStringLiteral("https://") : QStringLiteral("http://");
  const bool bare = (m_loginMode == 1 || m_loginMode == 2) && !m_externalGroupId.isEmpty();
  return scheme + e.host + QLatin1Char(':') + QString::number(e.port) +
         (bare ? QStringLiteral("/") : QStringLiteral("/AuthWeb/")) + page;
}

QString AgentWeb::AlternateAuthHost(int i) {
  if (m_values.authAddrLocal.isEmpty() || m_authSet.isEmpty() || i < 0 || i >= m_authSet.size()) return QString();
  const QString& host = m_authSet[i].host;
  if (host.compare(m_values.authAddrLocal, Qt::CaseInsensitive) == 0) return QString();
  m_authIndex = i + 1;
  return host;
}

void AgentWeb::SwitchAuthServer(const QString& newHost) {
  const QString old = m_values.authAddrLocal;
  if (!old.isEmpty()) {
    for (auto it = m_urls.begin(); it != m_urls.end(); ++it) {
      if (it.value().isEmpty() || kNotSwitched.contains(it.key())) continue;
      it.value().replace(old, newHost);
    }
  }
  HVLOG(0, "auth server switched from %s to %s", qUtf8Printable(old), qUtf8Printable(newHost));
  m_values.authAddrLocal = newHost;
}

QString AgentWeb::AuthScheme() const {
  return AuthServer().port == 443 ? QStringLiteral("https") : QStringLiteral("http");
}

QString AgentWeb::GetAuthSvrID() const {
  if (m_authIndex >= 1 && m_authIndex <= m_authSet.size()) return m_authSet[m_authIndex - 1].serverId;
  return QString();
}

void AgentWeb::StoreAuthServerSet(const QString& answer) {
  const QString value = Tag(answer, "MULTI_AUTH_SERVER");
  HVLOG(0, "==> SetHelvoraMultiAuthSvr(%s)", qUtf8Printable(value));
  if (value.isEmpty()) return;
  // Takes effect at the next start: the set in memory keeps the order the login walk uses.
  WriteSetting(QStringLiteral("MULTIAUTHSERVER"), value);
  HVLOG(0, "<== SetHelvoraMultiAuthSvr()");
}

bool AgentWeb::LoadAuthServerSet() {
  const QString value = ReadSetting(QStringLiteral("MULTIAUTHSERVER")).toString();
  if (value.isEmpty()) return false;
  m_authSet = hv::ParseAuthServerSet(value);
  return !m_authSet.isEmpty();
}

bool AgentWeb::BuildSessionServerSet(const QString& answer) {
  const QString value = Tag(answer, "MULTI_SESSION_SERVER");
  HVLOG(0, "==> SetHelvoraMultiSessionSvr(%s)", qUtf8Printable(value));
  m_sessionSet.clear();
  if (value.isEmpty()) {
    m_sessionSet.append({m_values.sessionAddr, m_values.sessionPort, QString()});
    return false;
  }
  m_sessionSet = hv::ParseSessionServerSet(value);
  if (m_sessionSet.isEmpty()) {
    // Nothing usable in the tag: keep the single address so the channel still has a target.
    m_sessionSet.append({m_values.sessionAddr, m_values.sessionPort, QString()});
    return false;
  }
  HVLOG(0, "<== SetHelvoraMultiSessionSvr()");
  return true;
}

QString AgentWeb::GetSessionSvrID() const {
  if (m_sessionIndex >= 0 && m_sessionIndex < m_sessionSet.size()) return m_sessionSet[m_sessionIndex].serverId;
  return QString();
}

void AgentWeb::WriteUpdateServerSet(const QString& answer) {
  const QString value = Tag(answer, "MULTI_UPDATE_SERVER");
  HVLOG(0, "==> IsChangedMultiUpdateAddr(%s)", qUtf8Printable(value));
  if (value.isEmpty()) {
    HVLOG(3, "can not find multi update server tag");
    WriteSingleUpdateServer(answer);
    return;
  }
  CIniFile ini = InfoIni();
  const QString general = QStringLiteral("General");
  QString dir = Tag(answer, "UPDATEDIR");
  while (dir.startsWith(QLatin1Char('/'))) dir.remove(0, 1);
  const QString workDir = ini.GetString(general, QStringLiteral("WorkDir"));
  if (dir != workDir) {
    HVLOG(0, "IsChangedUpdateDir old = %s, new =%s", qUtf8Printable(workDir), qUtf8Printable(dir));
    ini.SetString(general, QStringLiteral("WorkDir"), dir);
  }
  const int timeCheck = TagInt(answer, "TIMECHECK");
  const QList<UpdateServerEntry> set = hv::ParseUpdateServerSet(value);
  if (set.isEmpty()) {
    HVLOG(3, "multi update info size is 0");
    return;
  }
  ini.SetInt(general, QStringLiteral("UpSvrCount"), int(set.size()));
  for (int n = 1; n <= set.size(); ++n) {
    const UpdateServerEntry& e = set[n - 1];
    ini.SetString(general, QStringLiteral("UpSvrAddr%1").arg(n), e.secure != 0 ? QStringLiteral("https://") + e.host : e.host);
    ini.SetInt(general, QStringLiteral("UpSvrPort%1").arg(n), e.port);
    ini.SetInt(general, QStringLiteral("UpSvrType%1").arg(n), e.type);
  }
  ini.SetString(general, QStringLiteral("SvrAddr"), set[0].host);
  ini.SetInt(general, QStringLiteral("SvrPort"), set[0].port);
  ini.SetInt(general, QStringLiteral("DownloadTimeCheck"), timeCheck != 0 ? 1 : 0);
  HVLOG(0, "<== IsChangedMultiUpdateAddr()");
}

void AgentWeb::WriteSingleUpdateServer(const QString& answer) {
  const QString addr = Tag(answer, "UPDATEADDR");
  QString dir = Tag(answer, "UPDATEDIR");
  while (dir.startsWith(QLatin1Char('/'))) dir.remove(0, 1);
  const int port = TagInt(answer, "UPDATEPORT");
  if (addr.isEmpty() || dir.isEmpty()) return;
  CIniFile ini = InfoIni();
  const QString general = QStringLiteral("General");
  const QString oldAddr = ini.GetString(general, QStringLiteral("SvrAddr"));
  const QString oldDir = ini.GetString(general, QStringLiteral("WorkDir"));
  const int oldPort = ini.GetInt(general, QStringLiteral("SvrPort"), 80);
  bool changed = false;
  if (addr != oldAddr) {
    HVLOG(0, "IsChangedUpdateAddr old = %s, new =%s", qUtf8Printable(oldAddr), qUtf8Printable(addr));
    ini.SetString(general, QStringLiteral("SvrAddr"), addr);
    changed = true;
  }
  if (dir != oldDir) {
    HVLOG(0, "IsChangedUpdateDir old = %s, new =%s", qUtf8Printable(oldDir), qUtf8Printable(dir));
    ini.SetString(general, QStringLiteral("WorkDir"), dir);
    changed = true;
  }
  if (port != oldPort) ini.SetInt(general, QStringLiteral("SvrPort"), port);
  if (changed) {
    ini.SetInt(general, QStringLiteral("UpSvrCount"), 0);
    ini.SetString(general, QStringLiteral("UpSvrAddr1"), addr);
    ini.SetInt(general, QStringLiteral("UpSvrPort1"), port);
    ini.SetInt(general, QStringLiteral("UpSvrType1"), 0);
    ini.SetInt(general, QStringLiteral("DownloadTimeCheck"), 1);
  }
}

// ---------------------------------------------------------------------------------------------
// System facts

namespace {
QNetworkInterface FirstUsableInterface(QString* address) {
  const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
  for (const QNetworkInterface& nif : all) {
    const auto flags = nif.flags();
    if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
        (flags & QNetworkInterface::IsLoopBack))
      continue;
    for (const QNetworkAddressEntry& e : nif.addressEntries()) {
      if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
        if (address) *address = e.ip().toString();
        return nif;
      }
    }
  }
  return QNetworkInterface();
}
}  // namespace

QString AgentWeb::LocalAddress() {
  QString address;
  FirstUsableInterface(&address);
  return address;
}

QString AgentWeb::MacAddress() {
  QString mac = FirstUsableInterface(nullptr).hardwareAddress();
  mac.replace(QLatin1Char(':'), QLatin1Char('-'));
  if (mac.isEmpty()) mac = QStringLiteral("00-00-00-00-00-00");
  return mac.toUpper();
}

QString AgentWeb::ComputerName() { return QSysInfo::machineHostName().left(255); }

QString AgentWeb::OsName() { return QSysInfo::prettyProductName(); }
