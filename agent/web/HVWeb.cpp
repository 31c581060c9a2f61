#include "agent/web/HVWeb.h"

#include "agent/log/DeveloperLog.h"
#include "common/TagReader.h"

HVWeb::HVWeb() { m_settings.authServer.port = 80; }
HVWeb::~HVWeb() = default;

void HVWeb::ResetLoginMode() {
  m_loginMode = 0;
  m_externalGroupId.clear();
  m_externalUserId.clear();
}

QString HVWeb::PrimaryAuthPageUrl(const QString& page) const {
  const QString scheme = Secure() ? QStringLiteral("https://") : QStringLiteral("http://");
  const QString host = AuthServer().Host();
  const int port = AuthServer().port;
  // External logins with a group go to the page itself, not below /AuthWeb/.
  const bool bare = (m_loginMode == 1 || m_loginMode == 2) && !m_externalGroupId.isEmpty();
  const QString prefix = bare ? QString() : QStringLiteral("AuthWeb/");
  if (port == 0) return scheme + host + QLatin1Char('/') + prefix + page;
  return scheme + host + QLatin1Char(':') + QString::number(port) + QLatin1Char('/') + prefix + page;
}

QString HVWeb::AuthPageUrl(const QString& page) const { return PrimaryAuthPageUrl(page); }

int HVWeb::ParseLoginAnswer(const QString& answer) {
  const int code = hv::ToIntLeading(GetTag(answer, QStringLiteral("RETCODE")));
  return code == kRetSuccess ? 2 : code;
}

QString HVWeb::ServiceErrorText(int) const { return QString(); }
void HVWeb::OnSessionRejected() {}

QString HVWeb::GetTag(const QString& text, const QString& tag) { return hv::GetTag(text, tag); }

void HVWeb::GetTagArray(const QString& text, const QString& tag, QStringList& list) {
  hv::GetTagArray(text, tag, list);
}

void HVWeb::LogTransportFailure() {
  HVLOG(3, "Web Call Error :: Result is False , GetLastError Code : %d", LastError());
  HVLOG(3, "Web Call Error :: %s", qUtf8Printable(m_lastErrorText));
}

bool HVWeb::PostPage(const QString& url, const QString& body, QString& answer, int& status) {
  const PostResult r = Post(url, body.left(kBodyUnits - 1), answer);
  status = r.status;
  if (r.truncated) HVLOG(3, "Web answer longer than %d units, cut (%s)", kAnswerUnits, qUtf8Printable(url));
  if (!r.ok) {
    m_lastErrorText = r.errorText;
    return false;
  }
  m_lastErrorText.clear();
  return true;
}

QString HVWeb::CallPageEx(const QString& url, const QString& body) {
  m_lastReturnCode = 0;
  HVLOG(0, "Call Page1 : %s", qUtf8Printable(url));
  QString answer;
  int status = 0;
  if (!PostPage(url, body, answer, status)) {
    LogTransportFailure();
    return QString();
  }
  const QString ret = GetTag(answer, QStringLiteral("RETCODE"));
  HVLOG(0, "Call Page returncode : %s, status : %d", qUtf8Printable(ret), status);
  m_lastReturnCode = hv::ToIntLeading(ret);
  if (m_lastReturnCode != kRetSuccess) {
    HVLOG(3, "WebCall %s", qUtf8Printable(QString::asprintf("Error Code :: %d", m_lastReturnCode)));
  }
  return answer;
}

int HVWeb::CallPageCode(const QString& url, const QString& body) {
  if (url.isEmpty()) return PageNoUrl;
  HVLOG(0, "Call Page2 : %s", qUtf8Printable(url));
  QString answer;
  int status = 0;
  if (!PostPage(url, body, answer, status)) {
    LogTransportFailure();
    return PageTransportFailed;
  }
  const QString ret = GetTag(answer, QStringLiteral("RETCODE"));
  HVLOG(0, "Call Page returncode : %s, status : %d", qUtf8Printable(ret), status);
  const int code = hv::ToIntLeading(ret);
  if (code == kRetSuccess) return PageSuccess;
  if (code == kRetSessionRejected) OnSessionRejected();
  return PageRefused;
}

QString HVWeb::CallPageViewerForceClose(const QString& url, const QString& body) {
  HVLOG(0, "CallPageViewerForceClose : %s", qUtf8Printable(url));
  QString sent = body;
  sent.replace(QLatin1Char(' '), QLatin1Char('+'));
  QString answer;
  int status = 0;
  if (!PostPage(url, sent, answer, status)) {
    LogTransportFailure();
    return QString();
  }
  const QString ret = GetTag(answer, QStringLiteral("RETCODE"));
  HVLOG(0, "CallPageViewerForceClose returncode : %s, status : %d", qUtf8Printable(ret), status);
  const int code = hv::ToIntLeading(ret);
  if (code != kRetSuccess)
    HVLOG(3, "WebCall %s", qUtf8Printable(QString::asprintf("Error Code :: %d", code)));
  return answer;
}
