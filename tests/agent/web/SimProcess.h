#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <curl/curl.h>

// Starts hvsim on free ports for one test; it ends with the test (stdin closes) or after its
// lifetime at the latest.
class SimProcess {
 public:
  explicit SimProcess(const QStringList& args = {}) {
    m_process.setProgram(QStringLiteral(HVSIM_PATH));
    m_process.setArguments(QStringList{QStringLiteral("--exit-on-stdin-eof"), QStringLiteral("--lifetime"),
                                       QStringLiteral("120")} + args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000)) return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
    }
    m_ports = QJsonDocument::fromJson(m_process.readLine()).object();
  }
  ~SimProcess() {
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) m_process.kill();
    m_process.waitForFinished(2000);
  }
  bool Ok() const { return m_ports.value(QStringLiteral("http")).toInt() > 0; }
  int Port() const { return m_ports.value(QStringLiteral("http")).toInt(); }
  int HttpsPort() const { return m_ports.value(QStringLiteral("https")).toInt(); }
  QString Ca() const { return m_ports.value(QStringLiteral("ca")).toString(); }
  QJsonObject Ports() const { return m_ports; }
  QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(Port()); }

  // Control pages, over a plain curl handle so the client under test is not involved.
  QByteArray Call(const char* method, const QString& path, const QByteArray& body = QByteArray()) const {
    QByteArray out;
    CURL* c = curl_easy_init();
    const QByteArray url = (Base() + path).toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method);
    if (!body.isNull()) {
      curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
      curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    }
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* u) {
      static_cast<QByteArray*>(u)->append(p, qsizetype(s * n));
      return s * n;
    });
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &out);
    curl_easy_perform(c);
    curl_easy_cleanup(c);
    return out;
  }
  void Config(const QByteArray& json) const { Call("POST", QStringLiteral("/_sim/config"), json); }
  QJsonArray Requests() const { return QJsonDocument::fromJson(Call("GET", QStringLiteral("/_sim/requests"))).array(); }

 private:
  QProcess m_process;
  QJsonObject m_ports;
};
