#include "agent/web/HttpClient.h"

#include "agent/log/DeveloperLog.h"

#include <QNetworkProxyFactory>
#include <QUrl>

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace {

// Raw bytes kept from an answer: enough for kAnswerUnits of any UTF-8 text; past this the
// transfer is stopped instead of growing a buffer by what the server chooses to send.
constexpr qsizetype kMaxAnswerBytes = qsizetype(HttpClient::kAnswerUnits) * 3 + 4;

struct Sink {
  QByteArray data;
  bool truncated = false;
};

size_t WriteBody(char* ptr, size_t size, size_t nmemb, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t n = size * nmemb;
  const qsizetype room = kMaxAnswerBytes - sink->data.size();
  if (qsizetype(n) > room) {
    sink->data.append(ptr, room);
    sink->truncated = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR; what we have is the answer
  }
  sink->data.append(ptr, qsizetype(n));
  return n;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

HttpClient::HttpClient() { GlobalInit(); }
HttpClient::~HttpClient() = default;

void HttpClient::AddUserHeader(const QString& name, const QString& value) {
  DelUserHeader(name);
  m_headers.append({name, value});
}

void HttpClient::DelUserHeader(const QString& name) {
  m_headers.removeIf([&](const QPair<QString, QString>& h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
}

void HttpClient::ClearUserHeader() { m_headers.clear(); }

void HttpClient::CleanAnswer(QString& answer) {
  answer.replace(QLatin1String("%26"), QLatin1String("&"));
  answer.replace(QLatin1String("%20"), QLatin1String(" "));
  answer.replace(QLatin1String("%3C"), QLatin1String("<"));
  answer.replace(QLatin1String("%3E"), QLatin1String(">"));
}

bool HttpClient::DiscoverProxy(const QString& url) {
  const QList<QNetworkProxy> found = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(url)));
  for (const QNetworkProxy& p : found) {
    if (p.type() != QNetworkProxy::HttpProxy || p.hostName().isEmpty()) continue;
    ServerRecord& rec = m_settings.proxy;
    rec.SetHost(p.hostName());
    rec.port = p.port();
    rec.SetUser(p.user());
    rec.SetPassword(p.password());
    HVLOG(0, "proxy discovered: %s:%d", qUtf8Printable(p.hostName()), int(p.port()));
    return true;
  }
  HVLOG(0, "proxy discovery found no proxy, the record stays");
  return false;
}

HttpClient::PostResult HttpClient::Post(const QString& url, const QString& body, QString& answer) {
  if (m_settings.proxyType & 4) DiscoverProxy(url);
  const QByteArray bytes = body.toUtf8();
  return Transfer(url, &bytes, answer, (m_settings.proxyType & 1) != 0);
}

HttpClient::PostResult HttpClient::Get(const QString& url, QString& answer, bool useProxy) {
  return Transfer(url, nullptr, answer, useProxy);
}

HttpClient::PostResult HttpClient::Transfer(const QString& url, const QByteArray* body, QString& answer,
                                            bool useProxy) {
  PostResult r;
  answer.clear();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) {
    r.errorCode = CURLE_FAILED_INIT;
    r.errorText = QStringLiteral("libcurl could not start a transfer");
    m_lastError = r.errorCode;
    return r;
  }
  CURL* c = curl.get();
  char errorBuffer[CURL_ERROR_SIZE] = {};
  Sink sink;
  const QByteArray urlBytes = url.toUtf8();
  curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for name look-ups
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(m_timeoutMs));
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "Helvora Agent");
  // Verification stays on; a test or a private deployment adds its CA instead.
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  const QByteArray caFile = m_caFile.toLocal8Bit();
  if (!caFile.isEmpty()) curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());

  if (body) {
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body->size()));
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body->constData());
  }

  // An empty proxy host means direct, whatever the environment says.
  const ServerRecord& proxy = m_settings.proxy;
  const QByteArray proxyHost = useProxy ? proxy.Host().toUtf8() : QByteArray();
  const QByteArray proxyUser = proxy.User().toUtf8();
  const QByteArray proxyPassword = proxy.Password().toUtf8();
  curl_easy_setopt(c, CURLOPT_PROXY, proxyHost.constData());
  if (!proxyHost.isEmpty()) {
    curl_easy_setopt(c, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
    curl_easy_setopt(c, CURLOPT_PROXYPORT, long(proxy.port));
    if (!proxyUser.isEmpty()) {
      curl_easy_setopt(c, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
      curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, proxyUser.constData());
      curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, proxyPassword.constData());
    }
  }

  curl_slist* headers = nullptr;
  QList<QByteArray> keep;
  auto addHeader = [&](const QByteArray& line) {
    keep.append(line);
    headers = curl_slist_append(headers, keep.last().constData());
  };
  if (body) addHeader("Content-Type: application/x-www-form-urlencoded; charset=UTF-8");
  addHeader("Cache-Control: no-cache");
  addHeader("Pragma: no-cache");
  addHeader("Expect:");  // no 100-continue round trip
  for (const auto& h : m_headers) {
    // Header names and values come from our own code, but never let a line break through.
    QString line = h.first + QStringLiteral(": ") + h.second;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    addHeader(line.toUtf8());
  }
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);

  const CURLcode rc = curl_easy_perform(c);
  curl_slist_free_all(headers);

  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  long connectStatus = 0;
  curl_easy_getinfo(c, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
  r.status = int(status != 0 ? status : connectStatus);
  r.truncated = sink.truncated;
  r.ok = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && sink.truncated);
  if (!r.ok) {
    r.errorCode = int(rc);
    r.errorText = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc));
    m_lastError = r.errorCode;
  }

  answer = QString::fromUtf8(sink.data);
  if (answer.size() >= kAnswerUnits) {
    answer.truncate(kAnswerUnits - 1);
    r.truncated = true;
  }
  CleanAnswer(answer);
  return r;
}
