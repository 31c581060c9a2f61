#include "tools/simulator/SimService.h"

#include "common/IniFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUrl>

#include <cstdio>

#include <openssl/evp.h>

#include <memory>

namespace {

const char kKey[] = "Tz8Wq3Ke+Mc7Ya1D";
const char kIv[] = "Gd5Nv/Hs2Qj9Lo4F";

QString T(const char* tag, const QString& value) {
  return QLatin1Char('<') + QLatin1String(tag) + QLatin1Char('>') + value + QLatin1String("</") + QLatin1String(tag) +
         QLatin1Char('>');
}
QString T(const char* tag, int value) { return T(tag, QString::number(value)); }

SimResponse Tags(const QString& text) {
  SimResponse r;
  r.body = text.toUtf8();
  return r;
}

SimResponse Json(const QJsonObject& o, int status = 200) {
  SimResponse r;
  r.status = status;
  r.contentType = "application/json";
  r.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
  return r;
}

// The console's update folder on this server, as the login answer names it in UPDATEDIR.
constexpr char kUpdateDir[] = "update";
constexpr char kConsoleFile[] = "HVAgent";
// The updater refuses larger modules, so a bigger file could never be listed soundly.
constexpr qint64 kMaxUpdateBytes = 256LL * 1024 * 1024;

// A manifest version: 1-64 visible ASCII characters, so it can never break the manifest line.
bool ValidVersion(const QString& v) {
  if (v.isEmpty() || v.size() > 64) return false;
  for (const QChar c : v)
    if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) return false;
  return true;
}

QString FormField(const QList<QPair<QString, QString>>& form, const char* name) {
  for (const auto& f : form)
    if (f.first == QLatin1String(name)) return f.second;
  return QString();
}

}  // namespace

SimService::SimService(QObject* parent) : QObject(parent) {}

void SimService::SetServers(const QList<SimHttpServer*>& servers, const QStringList& hosts, int port,
                            SimHttpServer* https) {
  m_servers = servers;
  m_hosts = hosts;
  m_port = port;
  m_https = https;
}

bool SimService::SetUpdateFolder(const QString& programDir) {
  m_update = UpdateFile();
  const QString path = QDir(programDir).filePath(QLatin1String(kConsoleFile));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    m_update.problem = QStringLiteral("no console file %1 (%2)").arg(path, file.errorString());
    return false;
  }
  if (file.size() > kMaxUpdateBytes) {
    m_update.problem = QStringLiteral("%1 is larger than an update may be").arg(path);
    return false;
  }
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) {
    m_update.problem = QStringLiteral("cannot read %1 (%2)").arg(path, file.errorString());
    return false;
  }
  const QFileInfo info(path);
  m_update.path = path;
  m_update.size = info.size();
  m_update.modified = info.lastModified();
  m_update.sha256 = hash.result().toHex();
  m_update.version = CIniFile(QDir(programDir).filePath(QStringLiteral("bldinfo.ini")))
                         .GetString(QStringLiteral("General"), QStringLiteral("Version"))
                         .trimmed();
  if (!ValidVersion(m_update.version)) {
    m_update.problem = QStringLiteral("no usable Version in %1/bldinfo.ini").arg(programDir);
    m_update.version.clear();
    return false;
  }
  return true;
}

SimResponse SimService::UpdatePage(const QString& name) const {
  SimResponse r;
  r.contentType = "text/plain; charset=utf-8";
  const QString version = m_config.value(QStringLiteral("update_version")).toString(m_update.version);
  if (m_update.path.isEmpty() || version.isEmpty()) {
    // Nothing is listed rather than a file that is not there: the console then sees no update.
    r.status = 404;
    r.body = "no console file to update\n";
    return r;
  }
  if (name == QLatin1String("manifest.txt")) {
    r.body = QStringLiteral("%1 %2 %3 ").arg(QLatin1String(kConsoleFile), version).arg(m_update.size).toUtf8() +
             m_update.sha256 + '\n';
    return r;
  }
  if (name != QLatin1String(kConsoleFile)) {
    r.status = 404;
    r.body = "not found\n";
    return r;
  }
  // The manifest promises the bytes hashed at start; a file rebuilt since then is not passed off
  // as them.
  const QFileInfo info(m_update.path);
  QFile file(m_update.path);
  if (info.size() != m_update.size || info.lastModified() != m_update.modified || !file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "hvsim: %s changed or vanished since the start, not served\n", qPrintable(m_update.path));
    r.status = 503;
    r.body = "the console file changed since the simulator started\n";
    return r;
  }
  r.contentType = "application/octet-stream";
  r.body = file.readAll();
  return r;
}

void SimService::Reset() {
  m_requests = QJsonArray();
  m_config = QJsonObject();
  m_sessions.clear();
  ApplyServerStates();
}

QList<QPair<QString, QString>> SimService::DecodeForm(const QByteArray& body) {
  QList<QPair<QString, QString>> out;
  for (const QByteArray& piece : body.split('&')) {
    if (piece.isEmpty()) continue;
    const qsizetype eq = piece.indexOf('=');
    QByteArray k = eq < 0 ? piece : piece.left(eq);
    QByteArray v = eq < 0 ? QByteArray() : piece.mid(eq + 1);
    k.replace('+', ' ');
    v.replace('+', ' ');
    out.append({QString::fromUtf8(QByteArray::fromPercentEncoding(k)), QString::fromUtf8(QByteArray::fromPercentEncoding(v))});
  }
  return out;
}

QString SimService::DecryptPassword(const QString& decoded) {
  // decoded: the form value after percent-decoding, i.e. plain base64.
  const QByteArray cipher = QByteArray::fromBase64(decoded.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (cipher.isEmpty() || cipher.size() % 16 != 0) return QString();
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, reinterpret_cast<const unsigned char*>(kKey),
                                 reinterpret_cast<const unsigned char*>(kIv)) != 1)
    return QString();
  QByteArray plain(cipher.size() + 16, '\0');
  int n1 = 0, n2 = 0;
  auto* out = reinterpret_cast<unsigned char*>(plain.data());
  if (EVP_DecryptUpdate(ctx.get(), out, &n1, reinterpret_cast<const unsigned char*>(cipher.constData()),
                        int(cipher.size())) != 1 ||
      EVP_DecryptFinal_ex(ctx.get(), out + n1, &n2) != 1)
    return QString();
  plain.truncate(n1 + n2);
  return QString::fromUtf8(plain);
}

QString SimService::ServerState(int index) const {
  return m_config.value(QStringLiteral("servers")).toObject().value(QString::number(index)).toString(QStringLiteral("up"));
}

void SimService::ApplyServerStates() {
  for (int i = 0; i < m_servers.size(); ++i) {
    SimHttpServer* s = m_servers[i];
    const bool down = ServerState(i) == QLatin1String("down");
    if (down && s->IsListening()) {
      s->Close();
    } else if (!down && !s->IsListening()) {
      s->Listen(QHostAddress(m_hosts.value(i)), quint16(m_port));
    }
  }
}

QString SimService::BaseUrl(int serverIndex, bool tls) const {
  if (tls && m_https)
    return QStringLiteral("https://%1:%2/AuthWeb/").arg(m_hosts.value(0)).arg(m_https->Port());
  return QStringLiteral("http://%1:%2/AuthWeb/").arg(m_hosts.value(serverIndex)).arg(m_port);
}

SimResponse SimService::Handle(int serverIndex, bool tls, const SimRequest& req) {
  if (req.path.startsWith(QLatin1String("/_sim/"))) return Control(req);

  QJsonObject rec;
  rec.insert(QStringLiteral("server"), serverIndex);
  rec.insert(QStringLiteral("tls"), tls);
  rec.insert(QStringLiteral("method"), req.method);
  rec.insert(QStringLiteral("path"), req.path);
  rec.insert(QStringLiteral("query"), req.query);
  QJsonObject headers;
  for (const auto& h : req.headers) headers.insert(QString::fromLatin1(h.first).toLower(), QString::fromUtf8(h.second));
  rec.insert(QStringLiteral("headers"), headers);
  rec.insert(QStringLiteral("body"), QString::fromUtf8(req.body));
  QJsonArray form;
  for (const auto& f : DecodeForm(req.body)) form.append(QJsonArray{f.first, f.second});
  rec.insert(QStringLiteral("form"), form);
  rec.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
  m_requests.append(rec);

  const QString state = ServerState(serverIndex);
  SimResponse answer;
  if (state == QLatin1String("drop")) {
    answer.drop = true;
    return answer;
  }
  if (state == QLatin1String("hang") || m_config.value(QStringLiteral("hang")).toBool()) {
    answer.hang = true;
    return answer;
  }

  const QString page = req.path.startsWith(QLatin1String("/AuthWeb/")) ? req.path.mid(9) : req.path.mid(1);
  const QString rawAnswer = m_config.value(QStringLiteral("raw_answer")).toString();
  if (!rawAnswer.isNull() && m_config.contains(QStringLiteral("raw_answer"))) {
    const int repeat = qBound(1, m_config.value(QStringLiteral("raw_answer_repeat")).toInt(1), 1000000);
    answer.body = rawAnswer.toUtf8().repeated(repeat);
    if (m_config.contains(QStringLiteral("raw_answer_hex")))
      answer.body = QByteArray::fromHex(m_config.value(QStringLiteral("raw_answer_hex")).toString().toLatin1());
  } else if (const QString updatePrefix = QStringLiteral("/%1/").arg(QLatin1String(kUpdateDir));
             req.path.startsWith(updatePrefix)) {
    answer = req.method == QLatin1String("GET") ? UpdatePage(req.path.mid(updatePrefix.size()))
                                                : SimResponse{405, "text/plain", "GET only\n", 0, false, false};
  } else if (page == QLatin1String("AgentLoad.aspx")) {
    answer = Login(serverIndex, tls, req, 0);
  } else if (page.endsWith(QLatin1String("agent/external_user_login"))) {
    answer = Login(serverIndex, tls, req, 1);
  } else if (page.endsWith(QLatin1String("agent/external_group_login"))) {
    answer = Login(serverIndex, tls, req, 2);
  } else if (page == QLatin1String("LoginOk.aspx")) {
    const QString encurid = FormField(DecodeForm(req.body), "encurid");
    answer = Tags(T("RETCODE", m_sessions.contains(encurid) ? 100 : 9999));
  } else if (page == QLatin1String("Logout.aspx") || page == QLatin1String("Logout4Session.aspx")) {
    QString encurid = FormField(DecodeForm(req.body), "encurid");
    if (encurid.isEmpty()) encurid = FormField(DecodeForm(req.query.toUtf8()), "encurid");
    const bool known = m_sessions.removeAll(encurid) > 0;
    answer = Tags(T("RETCODE", known ? 100 : 9999));
  } else if (page.startsWith(QLatin1String("ServiceUrl.aspx/"))) {
    const QString base = BaseUrl(serverIndex, tls);
    answer = Tags(T("RETCODE", 100) + T("URL_FAVORITE", base + QStringLiteral("Favorite2.aspx")) +
                  T("URL_USER_INFO", base + QStringLiteral("UserInfo.aspx/{agentId}")) +
                  T("URL_REPORT", base + QStringLiteral("Report2.aspx")));
  } else if (page.startsWith(QLatin1String("UserInfo.aspx/"))) {
    const bool known = m_sessions.contains(page.mid(14));
    answer = Json(QJsonObject{{QStringLiteral("RETCODE"), known ? 100 : 9999},
                              {QStringLiteral("userId"), QString::fromLatin1(kDemoId)},
                              {QStringLiteral("familyName"), QStringLiteral("Agent")},
                              {QStringLiteral("givenName"), QStringLiteral("Demo")},
                              {QStringLiteral("displayName"), QString::fromLatin1(kDemoName)},
                              {QStringLiteral("email"), QStringLiteral("demo@helvora.test")},
                              {QStringLiteral("telephone"), QStringLiteral("010-1234-5678")}});
  } else if (req.path.startsWith(QLatin1String("/AuthWeb/"))) {
    answer = Tags(T("RETCODE", 100));
  } else {
    answer.status = 404;
    answer.body = "not found\n";
  }
  const QJsonObject pageCodes = m_config.value(QStringLiteral("page_retcode")).toObject();
  if (pageCodes.contains(page)) answer = Tags(T("RETCODE", pageCodes.value(page).toInt()));
  answer.delayMs = m_config.value(QStringLiteral("delay_ms")).toInt(0);
  return answer;
}

SimResponse SimService::Login(int serverIndex, bool tls, const SimRequest& req, int mode) {
  const auto form = DecodeForm(req.body);
  QString id;
  int code = 100;
  if (mode == 0) {
    id = FormField(form, "id");
    const QString password = DecryptPassword(FormField(form, "password"));
    if (id != QLatin1String(kDemoId))
      code = 101;
    else if (password != QLatin1String(kDemoPassword))
      code = 102;
  } else {
    id = FormField(form, "externalUserId");
    if (id.isEmpty()) code = 101;
  }
  int forced = m_config.value(QStringLiteral("login_retcode")).toInt(0);
  const QJsonObject byServer = m_config.value(QStringLiteral("server_retcode")).toObject();
  if (byServer.contains(QString::number(serverIndex))) forced = byServer.value(QString::number(serverIndex)).toInt();
  if (m_config.value(QStringLiteral("locked")).toBool()) code = 106;
  if (m_config.value(QStringLiteral("password_expired")).toBool()) code = 122;
  if (forced != 0) code = forced;

  if (code != 100) {
    QString text = T("RETCODE", code);
    if (code == 106) {
      text += T("REMAINING_MINUTE", m_config.value(QStringLiteral("remaining_minute")).toInt(4));
      text += T("REMAINING_SECOND", m_config.value(QStringLiteral("remaining_second")).toInt(30));
    }
    if (code == 122 || code == 123)
      text += T("PASSWORD_EXPIRED_MESSAGE", m_config.value(QStringLiteral("password_expired_message"))
                                                .toString(QStringLiteral("Your password has expired.")));
    const int inUse = m_config.value(QStringLiteral("in_use")).toInt(0);
    if (inUse > 0) text += T("INUSECOUNT", inUse);
    return Tags(text);
  }
  const QString encurid = QStringLiteral("ENC%1%2").arg(QDateTime::currentMSecsSinceEpoch() % 100000000).arg(++m_sessionCounter);
  m_sessions.append(encurid);
  return Tags(SuccessAnswer(serverIndex, tls, id, encurid));
}

QString SimService::SuccessAnswer(int serverIndex, bool tls, const QString& id, const QString& encurid) const {
  const QString base = BaseUrl(serverIndex, tls);
  const QString host = m_hosts.value(serverIndex);
  QString a;
  a += T("RETCODE", 100) + T("ENCURID", encurid) + T("USR_NAME", QString::fromLatin1(kDemoName));
  a += T("SENCURID", QStringLiteral("S") + id) + T("SCENTERID", QStringLiteral("C001")) + T("SGROUPID", QStringLiteral("G001"));
  a += T("SEPARATE_TYPE", QStringLiteral("0"));
  const SessionServerInfo first = m_sessionServers.value(0, SessionServerInfo{QStringLiteral("127.0.0.1"), 0, QString()});
  a += T("SESSIONADDR", first.host) + T("SESSIONPORT", first.port) + T("SESSIONIP", first.host);
  a += T("NOTICE_CONTENT", QString()) + T("ORBENTA", 0);
  a += T("AUTHADDRLOCAL", host);
  a += T("PENDINGDELETEVIEWERLOG", m_config.value(QStringLiteral("log_days")).toInt(30));
  a += T("AGENTLOGFILERECORD", m_config.value(QStringLiteral("log_record")).toInt(0));
  QStringList auth;
  for (int i = 0; i < m_hosts.size(); ++i) auth << QStringLiteral("%1|%2|auth%3|0").arg(m_hosts[i]).arg(m_port).arg(i);
  a += T("MULTI_AUTH_SERVER", auth.join(QLatin1Char(',')));
  QStringList sessions;
  for (const SessionServerInfo& s : m_sessionServers) sessions << QStringLiteral("%1|%2|%3").arg(s.host).arg(s.port).arg(s.id);
  if (!sessions.isEmpty()) a += T("MULTI_SESSION_SERVER", sessions.join(QLatin1Char(',')));
  // The update server is the primary server's plain HTTP listener.
  a += T("MULTI_UPDATE_SERVER", QStringLiteral("%1|%2|0").arg(m_hosts.value(0)).arg(m_port));
  a += T("UPDATEDIR", QLatin1String(kUpdateDir));
  a += T("SSL_TYPE", m_config.value(QStringLiteral("ssl_type")).toInt(0));
  a += T("CAM_REPORT", 1) + T("REPORT", 1) + T("CONFIG_AGENT", 3) + T("CONFIG_FUNCTION", 0x801);
  a += T("MAXFILEUPLOADSIZE", 10485760);
  a += T("REMOTECTRL", 1) + T("WEBCHAT", 1) + T("REMOTEMOBILE", 1) + T("MOBILE_NUMBER_SUPPORT", 1);
  a += T("REMOTEUSB", 0) + T("REMOTECAM", 1) + T("PALLIDOR", 0);
  a += T("NETWORKRECORDPATH", QString()) + T("FORMATTED_MOBILE_NUMBER", 1);
  a += T("AUTHADDR", host) + T("AUTHPORT", QString::number(m_port)) + T("AUTHUSESSL", QStringLiteral("0"));
  a += T("FEEDBACK", 1) + T("SKINDIR", QStringLiteral("skin"));
  static const char* const kPages[][2] = {
      {"URL_LOGOUT", "Logout.aspx"}, {"URL_LOGINOK", "LoginOk.aspx"}, {"URL_LOGOUT4SESSION", "Logout4Session.aspx"},
      {"URL_KILLAGENT", "KillAgent.aspx"}, {"URL_AGENTACTION", "AgentAction.aspx"},
      {"URL_SESSIONTRANSFER_CONFIRM", "SessionTransferConfirm.aspx"},
      {"URL_SUPPORT_ROUNDSHARE_CONFIRM", "RoundShareConfirm.aspx"},
      {"URL_CHATSESSIONSHARE_CONFIRM", "ChatShareConfirm.aspx"}, {"URL_CHATSESSIONSHARE_LIST", "ChatShareList.aspx"},
      {"URL_CHATSESSIONSHARE_REQUEST", "ChatShareRequest.aspx"},
      {"URL_CHATSESSIONSHARE_CONNECTOK", "ChatShareConnectOk.aspx"}, {"URL_CHATSESSIONSHARE_WAIT", "ChatShareWait.aspx"},
      {"URL_MOBILE_VIEWER_CLOSE", "MobileViewerClose.aspx"}, {"URL_XVIEWER_WAIT", "XViewerWait.aspx"},
      {"URL_ZVIEWER_WAIT", "ZViewerWait.aspx"}, {"URL_SESSIONCHECK", "SessionCheck.aspx"},
      {"URL_GUIDEIMG", "GuideImg.aspx"}, {"URL_GUIDETHUMB_DOWN", "GuideThumbDown.aspx"},
      {"URL_GUIDEIMG_DOWN", "GuideImgDown.aspx"}, {"URL_SUPPORT_LOG_SAVE", "SupportLogSave.aspx"},
      {"URL_FAVORITE", "Favorite.aspx"}, {"URL_SHORTMSG", "ShortMsg.aspx"},
      {"URL_SUPPORTREQUEST_LIST", "SupportRequestList.aspx"}, {"URL_SUPPORTREQUEST_ACCEPT", "SupportRequestAccept.aspx"},
      {"URL_SUPPORTREQUEST_VIEW", "SupportRequestView.aspx"}, {"URL_RESERVATION_LIST", "ReservationList.aspx"},
      {"URL_RESERVATION_VIEW", "ReservationView.aspx"}, {"URL_RESERVATION_CHANGE_STATUS", "ReservationStatus.aspx"},
      {"URL_USE_HISTORY", "UseHistory.aspx"}, {"URL_HISTORY_VIEW", "HistoryView.aspx"},
      {"URL_HISTORY_EXCEL", "HistoryExcel.aspx"}, {"URL_FILEBOX_SAVE", "FileBoxSave.aspx"},
      {"URL_FILEBOX_DELETE", "FileBoxDelete.aspx"}, {"URL_FAVORITE_DELETE", "FavoriteDelete.aspx"},
      {"URL_USER_INFO", "UserInfo.aspx/{agentId}"}, {"URL_USER_INFO_SAVE", "UserInfoSave.aspx"},
      {"URL_CHANGEPASSWORD", "ChangePassword.aspx"}, {"URL_FEEDBACK", "Feedback.aspx"},
      {"URL_HELPER_CUSTOMER", "HelperCustomer.aspx"}, {"URL_SHORTMSG_SAVE", "ShortMsgSave.aspx"},
      {"URL_REPORT", "Report.aspx"}, {"URL_REPORT_SAVE", "ReportSave.aspx"}, {"URL_USERCHAT", "UserChat.aspx"},
      {"URL_USERMCHAT", "UserMChat.aspx"}, {"URL_VIEWFAVORITE", "ViewFavorite.aspx"},
      {"URL_VIEWFILEBOX", "ViewFileBox.aspx"}, {"URL_SALES_CONNECT", "SalesConnect.aspx"},
      {"URL_SALES_CANCEL", "SalesCancel.aspx"}, {"URL_CLOSECHAT", "CloseChat.aspx"},
      {"URL_CLOSECHAT4SESSION", "CloseChat4Session.aspx"}, {"URL_SUPPORT_ROUNDSHARE", "RoundShare.aspx"},
      {"URL_SUPPORT_ROUNDSHARE_LIST", "RoundShareList.aspx"}, {"URL_SESSIONTRANSFER", "SessionTransfer.aspx"},
      {"URL_SESSIONTRANSFER_LIST", "SessionTransferList.aspx"}, {"URL_USERWAIT", "UserWait.aspx"},
      {"URL_USERWAIT_SESSIONCHK", "UserWaitSessionChk.aspx"}, {"URL_WHITEBOARDINIT", "WhiteboardInit.aspx"},
      {"URL_MEDIA_VIEWER_DOWN", "MediaViewerDown.aspx"},
  };
  for (const auto& p : kPages) a += T(p[0], base + QLatin1String(p[1]));
  const QJsonObject extra = m_config.value(QStringLiteral("extra_tags")).toObject();
  QString prefix;
  for (auto it = extra.begin(); it != extra.end(); ++it)
    prefix += QLatin1Char('<') + it.key() + QLatin1Char('>') + it.value().toVariant().toString() + QLatin1String("</") +
              it.key() + QLatin1Char('>');
  const int inUse = m_config.value(QStringLiteral("in_use")).toInt(0);
  QString tail;
  if (inUse > 0) {
    tail += T("INUSECOUNT", inUse);
    QString list;
    for (int i = 0; i < inUse; ++i)
      list += T("USR_NAME", QStringLiteral("Other seat %1").arg(i + 1)) + T("LOCALIP", QStringLiteral("10.0.0.%1").arg(i + 2));
    tail += QStringLiteral("<INUSERLIST>") + list + QStringLiteral("</INUSERLIST>");
  }
  // Extra tags go first so that they win over the defaults (the first occurrence is read).
  return prefix + a + tail;
}

SimResponse SimService::Control(const SimRequest& req) {
  const QString path = req.path;
  if (path == QLatin1String("/_sim/requests") && req.method == QLatin1String("GET")) {
    SimResponse r;
    r.contentType = "application/json";
    r.body = QJsonDocument(m_requests).toJson(QJsonDocument::Compact);
    return r;
  }
  if (path == QLatin1String("/_sim/reset") && req.method == QLatin1String("POST")) {
    Reset();
    return Json({{QStringLiteral("ok"), true}});
  }
  if (path == QLatin1String("/_sim/config")) {
    if (req.method == QLatin1String("POST")) {
      QJsonParseError err;
      const QJsonDocument doc = QJsonDocument::fromJson(req.body, &err);
      if (!doc.isObject()) return Json({{QStringLiteral("error"), err.errorString()}}, 400);
      const QJsonObject in = doc.object();
      const QJsonValue version = in.value(QStringLiteral("update_version"));
      if (!version.isUndefined() && !version.isNull() && !ValidVersion(version.toString()))
        return Json({{QStringLiteral("error"), QStringLiteral("update_version must be 1-64 visible ASCII characters")}}, 400);
      for (auto it = in.begin(); it != in.end(); ++it) {
        if (it.value().isNull())
          m_config.remove(it.key());
        else
          m_config.insert(it.key(), it.value());
      }
      ApplyServerStates();
    }
    return Json(m_config);
  }
  if (path.startsWith(QLatin1String("/_sim/sserver/")) && req.method == QLatin1String("POST")) {
    const QStringList parts = path.mid(14).split(QLatin1Char('/'));
    bool ok = false;
    const int index = parts.value(0).toInt(&ok);
    if (!ok || parts.size() != 2 || !m_sserverControl || index < 0 || index >= m_sessionServers.size())
      return Json({{QStringLiteral("error"), QStringLiteral("no such SessionServer")}}, 404);
    const QJsonObject args = QJsonDocument::fromJson(req.body).object();
    return Json(m_sserverControl(index, parts[1], args));
  }
  return Json({{QStringLiteral("error"), QStringLiteral("unknown control page")}}, 404);
}
