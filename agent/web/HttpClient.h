#pragma once

#include "common/WebSettings.h"

#include <QList>
#include <QPair>
#include <QString>

#include <atomic>

// The bottom of the web client: synchronous form posts over HTTP or HTTPS through libcurl,
// optionally through a proxy. Every call runs on the caller's thread and waits at most the
// time-out; nothing here touches windows.
class HttpClient {
 public:
  // Answers are kept to this many UTF-16 units (the service's answers are far shorter); the
  // transfer is cut off once the raw bytes could no longer fit, so a huge answer costs no memory.
  static constexpr int kAnswerUnits = 10240;
  static constexpr int kDefaultTimeoutMs = 15000;

  // Result of one transfer, beyond the success flag.
  struct PostResult {
    bool ok = false;        // the request completed and an answer was read
    int status = 0;         // HTTP status (the proxy's CONNECT status when the tunnel failed)
    int errorCode = 0;      // libcurl's code, 0 on success
    QString errorText;      // libcurl's message for errorCode
    bool truncated = false; // the answer was longer than kAnswerUnits
  };

  HttpClient();
  virtual ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // The server, proxy and transport values (filled by the settings store).
  WebSettings& Settings() { return m_settings; }
  const WebSettings& Settings() const { return m_settings; }

  int ProductIndex() const { return m_productIndex; }
  void SetProductIndex(int index) { m_productIndex = index; }
  QString DiscoveryUrl() const { return m_discoveryUrl; }
  void SetDiscoveryUrl(const QString& url) { m_discoveryUrl = url; }

  // Custom request headers sent with every post.
  void AddUserHeader(const QString& name, const QString& value);
  void DelUserHeader(const QString& name);
  void ClearUserHeader();
  QList<QPair<QString, QString>> UserHeaders() const { return m_headers; }

  // Extra trust anchors for HTTPS (a PEM file). Verification itself is never switched off.
  void SetCaFile(const QString& path) { m_caFile = path; }
  QString CaFile() const { return m_caFile; }
  void SetTimeoutMs(int ms) { m_timeoutMs = ms; }
  int TimeoutMs() const { return m_timeoutMs; }

  // The form post: body sent as UTF-8, answer decoded from UTF-8 (bad bytes become U+FFFD) and
  // cleaned ("%26" "&", "%20" " ", "%3C" "<", "%3E" ">"). Proxy discovery and the proxy record
  // follow the proxy flags of the settings.
  PostResult Post(const QString& url, const QString& body, QString& answer);
  // A plain GET with the same transport rules (the web request object of the service URL refresh
  // and the profile query). useProxy: send through the proxy record.
  PostResult Get(const QString& url, QString& answer, bool useProxy);

  // Code of the last failed transfer on any thread (the "GetLastError" of the log lines).
  int LastError() const { return m_lastError; }

  // The proxy discovery of flag bit 2: the system/environment proxy for url. False (record
  // unchanged) when none is configured.
  bool DiscoverProxy(const QString& url);

  static void CleanAnswer(QString& answer);

 protected:
  WebSettings m_settings;

 private:
  PostResult Transfer(const QString& url, const QByteArray* body, QString& answer, bool useProxy);

  int m_productIndex = 0;
  QString m_discoveryUrl;
  QList<QPair<QString, QString>> m_headers;
  QString m_caFile;
  int m_timeoutMs = kDefaultTimeoutMs;
  std::atomic<int> m_lastError{0};
};
