#include "tools/simulator/SimHttpServer.h"

#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {
const char* kBuffer = "hvsimBuffer";

QByteArray ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}
}  // namespace

QByteArray SimRequest::Header(const QByteArray& name) const {
  for (const auto& h : headers)
    if (h.first.compare(name, Qt::CaseInsensitive) == 0) return h.second;
  return QByteArray();
}

SimHttpServer::SimHttpServer(Handler handler, QObject* parent) : QObject(parent), m_handler(std::move(handler)) {}
SimHttpServer::~SimHttpServer() { Close(); }

bool SimHttpServer::Listen(const QHostAddress& address, quint16 port, bool tls, const QString& certPath,
                           const QString& keyPath) {
  Close();
  m_tls = tls;
  m_cert = certPath;
  m_key = keyPath;
  if (tls) {
    auto* ssl = new QSslServer(this);
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    QFile cf(certPath), kf(keyPath);
    if (!cf.open(QIODevice::ReadOnly) || !kf.open(QIODevice::ReadOnly)) {
      m_error = QStringLiteral("cannot read certificate or key");
      delete ssl;
      return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(cf.readAll(), QSsl::Pem);
    const QByteArray keyPem = kf.readAll();
    QSslKey key(keyPem, QSsl::Ec, QSsl::Pem);
    if (key.isNull()) key = QSslKey(keyPem, QSsl::Rsa, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
      m_error = QStringLiteral("bad certificate or key");
      delete ssl;
      return false;
    }
    conf.setLocalCertificateChain(chain);
    conf.setPrivateKey(key);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);  // clients are not asked for certificates
    ssl->setSslConfiguration(conf);
    // A client that refuses our certificate ends the handshake; nothing to do but drop it.
    connect(ssl, &QSslServer::errorOccurred, this, [](QSslSocket* s, QAbstractSocket::SocketError) { s->deleteLater(); });
    m_server = ssl;
  } else {
    m_server = new QTcpServer(this);
  }
  if (!m_server->listen(address, port)) {
    m_error = m_server->errorString();
    delete m_server;
    m_server = nullptr;
    return false;
  }
  m_address = address;
  m_port = m_server->serverPort();
  connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
    while (m_server && m_server->hasPendingConnections()) OnConnection(m_server->nextPendingConnection());
  });
  return true;
}

void SimHttpServer::Close() {
  if (!m_server) return;
  m_server->close();
  m_server->deleteLater();
  m_server = nullptr;
}

bool SimHttpServer::IsListening() const { return m_server && m_server->isListening(); }

void SimHttpServer::OnConnection(QTcpSocket* socket) {
  socket->setParent(this);
  connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadable(socket); });
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  // A client that never completes its request does not keep a socket forever.
  QTimer::singleShot(120000, socket, [socket] { socket->abort(); });
  if (socket->bytesAvailable() > 0) OnReadable(socket);
}

void SimHttpServer::OnReadable(QTcpSocket* socket) {
  QByteArray buffer = socket->property(kBuffer).toByteArray() + socket->readAll();
  const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
  if (headEnd < 0) {
    if (buffer.size() > kMaxHeadBytes) {
      Answer(socket, SimResponse{400, "text/plain", "request head too large\n", 0, false, false});
      return;
    }
    socket->setProperty(kBuffer, buffer);
    return;
  }
  const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
  SimRequest req;
  const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
  if (first.size() < 3) {
    Answer(socket, SimResponse{400, "text/plain", "bad request line\n", 0, false, false});
    return;
  }
  req.method = QString::fromLatin1(first[0]);
  const QString target = QString::fromUtf8(first[1]);
  const qsizetype q = target.indexOf(QLatin1Char('?'));
  req.path = q < 0 ? target : target.left(q);
  req.query = q < 0 ? QString() : target.mid(q + 1);
  qint64 length = 0;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QByteArray line = lines[i].trimmed();
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) continue;
    req.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
  }
  const QByteArray cl = req.Header("Content-Length");
  if (!cl.isEmpty()) {
    bool ok = false;
    length = cl.toLongLong(&ok);
    if (!ok || length < 0) {
      Answer(socket, SimResponse{400, "text/plain", "bad Content-Length\n", 0, false, false});
      return;
    }
  }
  if (length > kMaxBodyBytes) {
    Answer(socket, SimResponse{413, "text/plain", "body too large\n", 0, false, false});
    return;
  }
  const qsizetype bodyStart = headEnd + 4;
  if (buffer.size() - bodyStart < length) {
    socket->setProperty(kBuffer, buffer);
    return;
  }
  req.body = buffer.mid(bodyStart, qsizetype(length));
  socket->setProperty(kBuffer, QVariant());
  disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
  const SimResponse response = m_handler(req);
  if (response.hang) return;  // the client's time-out (or our two-minute guard) ends it
  if (response.delayMs > 0) {
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(response.delayMs, this, [this, guard, response] {
      if (guard) Answer(guard, response);
    });
    return;
  }
  Answer(socket, response);
}

void SimHttpServer::Answer(QTcpSocket* socket, const SimResponse& response) {
  if (response.drop) {
    socket->abort();
    return;
  }
  QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + ReasonPhrase(response.status) + "\r\n";
  out += "Content-Type: " + response.contentType + "\r\n";
  out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
  out += "Cache-Control: no-cache\r\nConnection: close\r\n\r\n";
  out += response.body;
  socket->write(out);
  socket->disconnectFromHost();
}
