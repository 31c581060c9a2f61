#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

// One request as the simulator received it.
struct SimRequest {
  QString method;
  QString path;   // without the query
  QString query;  // after "?", raw
  QList<QPair<QByteArray, QByteArray>> headers;
  QByteArray body;
  QByteArray Header(const QByteArray& name) const;
};

struct SimResponse {
  int status = 200;
  QByteArray contentType = "text/html; charset=utf-8";
  QByteArray body;
  int delayMs = 0;
  bool hang = false;  // accept, never answer (the client's time-out is under test)
  bool drop = false;  // close the connection without an answer
};

// A small HTTP/1.1 server (optionally TLS) on Qt sockets: one request per connection, answered
// with Connection: close. Request heads and bodies are size-checked before they are buffered.
class SimHttpServer : public QObject {
  Q_OBJECT
 public:
  using Handler = std::function<SimResponse(const SimRequest&)>;
  static constexpr qsizetype kMaxHeadBytes = 64 * 1024;
  static constexpr qsizetype kMaxBodyBytes = 4 * 1024 * 1024;

  SimHttpServer(Handler handler, QObject* parent = nullptr);
  ~SimHttpServer() override;

  // tls: certPath/keyPath are PEM files.
  bool Listen(const QHostAddress& address, quint16 port, bool tls = false, const QString& certPath = QString(),
              const QString& keyPath = QString());
  void Close();
  bool IsListening() const;
  quint16 Port() const { return m_port; }
  QHostAddress Address() const { return m_address; }
  QString ErrorString() const { return m_error; }

 private:
  void OnConnection(QTcpSocket* socket);
  void OnReadable(QTcpSocket* socket);
  void Answer(QTcpSocket* socket, const SimResponse& response);

  Handler m_handler;
  QTcpServer* m_server = nullptr;
  QHostAddress m_address;
  quint16 m_port = 0;
  bool m_tls = false;
  QString m_cert;
  QString m_key;
  QString m_error;
};
