#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <curl/curl.h>

// hvsim on free ports for one test. It ends with the test (its stdin closes) or after two minutes
// at the latest, so a crashed test leaves nothing running.
class HvsimProcess {
 public:
  struct Reply {
    long status = 0;  // 0: no answer
    QByteArray body;
  };

  explicit HvsimProcess(const QStringList& args = {}) {
    m_process.setProgram(QStringLiteral(HVSIM_PATH));
    m_process.setArguments(QStringList{QStringLiteral("--exit-on-stdin-eof"), QStringLiteral("--lifetime"),
                                       QStringLiteral("120")} + args);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000)) return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    m_ports = QJsonDocument::fromJson(m_process.readLine()).object();
  }
  ~HvsimProcess() {
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) m_process.kill();
    m_process.waitForFinished(2000);
  }
  HvsimProcess(const HvsimProcess&) = delete;
  HvsimProcess& operator=(const HvsimProcess&) = delete;

  bool Ok() const { return Port() > 0; }
  int Port() const { return m_ports.value(QStringLiteral("http")).toInt(); }
  int HttpsPort() const { return m_ports.value(QStringLiteral("https")).toInt(); }
  QString Ca() const { return m_ports.value(QStringLiteral("ca")).toString(); }
  QJsonObject Ports() const { return m_ports; }
  QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(Port()); }

  // A plain curl handle with no proxy, so nothing of the code under test is involved.
  Reply Call(const char* method, const QString& path, const QByteArray& body = QByteArray()) const {
    Reply reply;
    CURL* c = curl_easy_init();
    const QByteArray url = QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path).toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method);
    if (!body.isNull()) {
      curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
      curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    }
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* u) {
      static_cast<QByteArray*>(u)->append(p, qsizetype(s * n));
      return s * n;
    });
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply.body);
    if (curl_easy_perform(c) == CURLE_OK) curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_cleanup(c);
    return reply;
  }
  Reply Get(const QString& path) const { return Call("GET", path); }
  Reply Config(const QByteArray& json) const { return Call("POST", QStringLiteral("/_sim/config"), json); }
  QJsonArray Requests() const { return QJsonDocument::fromJson(Get(QStringLiteral("/_sim/requests")).body).array(); }

 private:
  QProcess m_process;
  QJsonObject m_ports;
};
