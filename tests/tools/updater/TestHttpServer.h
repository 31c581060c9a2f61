#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// A tiny HTTP server for the updater tests: 127.0.0.1, port 0, one request per connection. It runs
// on its own thread with Qt's blocking socket calls, so a test may block in the code under test,
// and it stops when destroyed. A path not set answers 404; Hang() accepts and never answers.
class TestHttpServer {
 public:
  TestHttpServer() {
    std::promise<quint16> port;
    auto ready = port.get_future();
    m_thread = std::thread([this, &port] { Run(&port); });
    m_port = ready.get();
  }
  ~TestHttpServer() {
    m_stop = true;
    m_thread.join();
  }

  quint16 Port() const { return m_port; }
  void Set(const QString& path, const QByteArray& body, int status = 200) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_routes[path] = {status, body};
  }
  void Hang() { m_hang = true; }
  QStringList Requested() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_requested;
  }

 private:
  struct Route {
    int status = 200;
    QByteArray body;
  };

  void Run(std::promise<quint16>* port) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    port->set_value(server.serverPort());
    std::list<std::unique_ptr<QTcpSocket>> hanging;
    while (!m_stop) {
      if (!server.waitForNewConnection(50)) continue;
      std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
      if (!socket) continue;
      if (m_hang) {
        hanging.push_back(std::move(socket));
        continue;
      }
      QByteArray head;
      while (!head.contains("\r\n\r\n") && head.size() < 65536 && socket->waitForReadyRead(2000))
        head += socket->readAll();
      const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
      const QString path = words.size() >= 2 ? QString::fromLatin1(words[1]) : QString();
      Route route{404, QByteArrayLiteral("not found")};
      {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_requested.append(path);
        if (m_routes.contains(path)) route = m_routes.value(path);
      }
      socket->write("HTTP/1.1 " + QByteArray::number(route.status) + " X\r\nContent-Length: " +
                    QByteArray::number(route.body.size()) + "\r\nConnection: close\r\n\r\n" + route.body);
      while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(2000)) {
      }
      socket->disconnectFromHost();
      if (socket->state() != QAbstractSocket::UnconnectedState) socket->waitForDisconnected(1000);
    }
  }

  std::thread m_thread;
  quint16 m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_hang{false};
  mutable std::mutex m_lock;
  QMap<QString, Route> m_routes;
  QStringList m_requested;
};
