#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// The simulator's SessionServer: accepts the agent's login frame, checks it, answers 30100 and
// the keep-alives, and pushes any command a test or the command line asks for. Plain TCP or
// TLS. Several instances may run at once (one per port) for the server-set walk.
// Actions of Control() are documented in docs/simulator-sessionserver.md.
class SimSessionServer : public QObject {
  Q_OBJECT
 public:
  explicit SimSessionServer(QObject* parent = nullptr);
  ~SimSessionServer() override;

  bool Listen(const QHostAddress& address, quint16 port, bool tls, const QString& certPath,
              const QString& keyPath);
  quint16 Port() const;
  QJsonObject Control(const QString& action, const QJsonObject& args);

 signals:
  void clientConnected();
  void clientDisconnected();
  void loginReceived(const QJsonObject& login);
  void keepAliveReceived(int count);
  void frameReceived(int command);

 private:
  struct Client;
  class Server;
  void Accept(qintptr descriptor);
  void OnReadable(Client* client);
  void HandleFrame(Client* client, const QByteArray& payload);
  void Drop(Client* client);
  QJsonObject Push(const QJsonObject& args);
  QJsonObject State() const;

  Server* m_server = nullptr;
  bool m_tls = false;
  QString m_certPath;
  QString m_keyPath;
  bool m_answerKeepAlive = true;
  bool m_refuseLogin = false;
  QList<Client*> m_clients;
  QJsonArray m_logins;
  QJsonArray m_keepAliveTimes;
  QJsonArray m_errors;
  int m_keepAlives = 0;
  int m_frames = 0;
  int m_connections = 0;
  QElapsedTimer m_clock;
};
