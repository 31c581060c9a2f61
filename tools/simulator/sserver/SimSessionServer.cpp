#include "tools/simulator/sserver/SimSessionServer.h"

#include "agent/channel/PacketBuffer.h"
#include "agent/channel/SessionProtocol.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>

using namespace hv::sserver;

struct SimSessionServer::Client {
  QTcpSocket* socket = nullptr;
  FrameDecoder decoder;
  bool loggedIn = false;
  QString identity;
};

class SimSessionServer::Server : public QTcpServer {
 public:
  explicit Server(SimSessionServer* owner) : QTcpServer(owner), m_owner(owner) {}

 protected:
  void incomingConnection(qintptr descriptor) override { m_owner->Accept(descriptor); }

 private:
  SimSessionServer* m_owner;
};

SimSessionServer::SimSessionServer(QObject* parent) : QObject(parent) { m_clock.start(); }

SimSessionServer::~SimSessionServer() {
  for (Client* c : std::as_const(m_clients)) {
    c->socket->disconnect(this);
    c->socket->abort();
    delete c;
  }
  m_clients.clear();
}

bool SimSessionServer::Listen(const QHostAddress& address, quint16 port, bool tls, const QString& certPath,
                              const QString& keyPath) {
  m_tls = tls;
  m_certPath = certPath;
  m_keyPath = keyPath;
  if (tls && (!QSslSocket::supportsSsl() || !QFile::exists(certPath) || !QFile::exists(keyPath))) return false;
  if (!m_server) m_server = new Server(this);
  return m_server->listen(address, port);
}

quint16 SimSessionServer::Port() const { return m_server ? m_server->serverPort() : 0; }

void SimSessionServer::Accept(qintptr descriptor) {
  auto* client = new Client;
  if (m_tls) {
    auto* ssl = new QSslSocket(this);
    if (!ssl->setSocketDescriptor(descriptor)) {
      delete ssl;
      delete client;
      return;
    }
    ssl->setLocalCertificate(m_certPath);
    QFile keyFile(m_keyPath);
    if (keyFile.open(QIODevice::ReadOnly)) ssl->setPrivateKey(QSslKey(&keyFile, QSsl::Rsa));
    ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
    client->socket = ssl;
    ssl->startServerEncryption();
  } else {
    auto* tcp = new QTcpSocket(this);
    if (!tcp->setSocketDescriptor(descriptor)) {
      delete tcp;
      delete client;
      return;
    }
    client->socket = tcp;
  }
  m_clients.append(client);
  ++m_connections;
  connect(client->socket, &QTcpSocket::readyRead, this, [this, client] { OnReadable(client); });
  connect(client->socket, &QTcpSocket::disconnected, this, [this, client] { Drop(client); });
  emit clientConnected();
}

void SimSessionServer::Drop(Client* client) {
  if (!m_clients.removeOne(client)) return;
  client->socket->disconnect(this);
  client->socket->abort();
  client->socket->deleteLater();
  delete client;
  emit clientDisconnected();
}

void SimSessionServer::OnReadable(Client* client) {
  client->decoder.Feed(client->socket->readAll());
  QByteArray payload;
  for (;;) {
    const FrameDecoder::Result r = client->decoder.Next(payload);
    if (r == FrameDecoder::Result::NeedMore) return;
    if (r == FrameDecoder::Result::Error) {
      m_errors.append(QStringLiteral("bad frame length %1").arg(client->decoder.BadLength()));
      Drop(client);
      return;
    }
    HandleFrame(client, payload);
    if (!m_clients.contains(client)) return;
  }
}

void SimSessionServer::HandleFrame(Client* client, const QByteArray& payload) {
  ++m_frames;
  PacketBuffer b(payload);
  int32_t command = 0;
  b.ReadInt(command);
  emit frameReceived(command);
  if (command == kCmdLogin) {
    QString banner, identity, loginId, group, center, logoutPage;
    int32_t version = 0;
    b.ReadAnsi(banner, 4096);
    b.ReadInt(version);
    b.ReadAnsi(identity, 4096);
    b.ReadAnsi(loginId, 4096);
    b.ReadAnsi(group, 4096);
    b.ReadAnsi(center, 4096);
    b.ReadAnsi(logoutPage, 4096);
    QJsonObject login{{QStringLiteral("banner"), banner},         {QStringLiteral("version"), version},
                      {QStringLiteral("identity"), identity},     {QStringLiteral("loginId"), loginId},
                      {QStringLiteral("group"), group},           {QStringLiteral("center"), center},
                      {QStringLiteral("logoutPage"), logoutPage}, {QStringLiteral("timeMs"), m_clock.elapsed()}};
    QString problem;
    if (b.Failed())
      problem = QStringLiteral("login frame too short");
    else if (banner != QLatin1String(kAgentBanner))
      problem = QStringLiteral("bad banner");
    else if (version != kProtocolVersion)
      problem = QStringLiteral("bad version");
    else if (identity.isEmpty() || loginId.isEmpty())
      problem = QStringLiteral("empty identity or login ID");
    login.insert(QStringLiteral("accepted"), problem.isEmpty() && !m_refuseLogin);
    if (!problem.isEmpty()) login.insert(QStringLiteral("error"), problem);
    m_logins.append(login);
    emit loginReceived(login);
    if (!problem.isEmpty() || m_refuseLogin) {
      if (!problem.isEmpty()) m_errors.append(problem);
      Drop(client);
      return;
    }
    client->loggedIn = true;
    client->identity = identity;
    PacketBuffer answer;
    answer.WriteInt(kCmdLogin);
    answer.WriteAnsi(QLatin1String(kComBanner));
    answer.WriteInt(kResultOk);
    for (int i = 0; i < 4; ++i) answer.WriteAnsi(QString());
    client->socket->write(EncodeFrame(answer.Bytes()));
    return;
  }
  if (command == kCmdKeepAlive) {
    ++m_keepAlives;
    m_keepAliveTimes.append(m_clock.elapsed());
    emit keepAliveReceived(m_keepAlives);
    if (!m_answerKeepAlive) return;
    QString text;
    b.ReadAnsi(text, 2048);
    PacketBuffer answer;
    answer.WriteInt(kCmdKeepAlive);
    answer.WriteAnsi(text);
    client->socket->write(EncodeFrame(answer.Bytes()));
  }
}

namespace {

// One field of a pushed command: a number is an int32, a string UTF-16, and an object one of
// {"int": n}, {"utf16": s}, {"ansi": s}, {"raw": base64}, optionally with "count": n to send a
// byte count that lies about the text that follows.
void WriteField(PacketBuffer& b, const QJsonValue& v) {
  if (v.isDouble()) {
    b.WriteInt(static_cast<int32_t>(v.toInteger()));
    return;
  }
  if (v.isString()) {
    b.WriteUtf16(v.toString());
    return;
  }
  const QJsonObject o = v.toObject();
  if (o.contains(QStringLiteral("int"))) {
    b.WriteInt(static_cast<int32_t>(o.value(QStringLiteral("int")).toInteger()));
    return;
  }
  if (o.contains(QStringLiteral("raw"))) {
    const QByteArray raw = QByteArray::fromBase64(o.value(QStringLiteral("raw")).toString().toLatin1());
    b.WriteBytes(raw.constData(), raw.size());
    return;
  }
  PacketBuffer text;
  if (o.contains(QStringLiteral("ansi")))
    text.WriteAnsi(o.value(QStringLiteral("ansi")).toString());
  else
    text.WriteUtf16(o.value(QStringLiteral("utf16")).toString());
  QByteArray bytes = text.Bytes();
  if (o.contains(QStringLiteral("count"))) {
    const int32_t lie = static_cast<int32_t>(o.value(QStringLiteral("count")).toInteger());
    bytes.replace(0, 4, QByteArray(reinterpret_cast<const char*>(&lie), 4));
  }
  b.WriteBytes(bytes.constData(), bytes.size());
}

}  // namespace

QJsonObject SimSessionServer::Push(const QJsonObject& args) {
  const int command = args.value(QStringLiteral("command")).toInt();
  const bool header = args.value(QStringLiteral("header")).toBool(true);
  const QString banner = args.value(QStringLiteral("banner")).toString(QLatin1String(kComBanner));
  int sent = 0;
  for (Client* c : std::as_const(m_clients)) {
    if (!c->loggedIn && !args.value(QStringLiteral("any")).toBool()) continue;
    PacketBuffer b;
    b.WriteInt(command);
    const bool routed = command == kCmdRouted || command == kCmdRoutedAgent;
    const bool broadcast = command == kCmdBroadcast || command == kCmdBroadcastAll ||
                           command == kCmdBroadcastOther || command == kCmdServiceNotice;
    if (header && (routed || broadcast)) {
      b.WriteAnsi(banner);
      b.WriteInt(0);
      if (routed) b.WriteAnsi(args.value(QStringLiteral("identity")).toString(c->identity));
      for (int i = 0; i < (routed ? 3 : 4); ++i) b.WriteAnsi(QString());
      b.WriteInt(args.value(QStringLiteral("sub")).toInt());
    }
    const QJsonArray fields = args.value(QStringLiteral("fields")).toArray();
    for (const QJsonValue& f : fields) WriteField(b, f);
    c->socket->write(EncodeFrame(b.Bytes()));
    ++sent;
  }
  return {{QStringLiteral("ok"), sent > 0}, {QStringLiteral("sent"), sent}};
}

QJsonObject SimSessionServer::State() const {
  int loggedIn = 0;
  for (const Client* c : m_clients) loggedIn += c->loggedIn ? 1 : 0;
  return {{QStringLiteral("ok"), true},
          {QStringLiteral("port"), Port()},
          {QStringLiteral("listening"), m_server && m_server->isListening()},
          {QStringLiteral("clients"), static_cast<int>(m_clients.size())},
          {QStringLiteral("loggedIn"), loggedIn},
          {QStringLiteral("connections"), m_connections},
          {QStringLiteral("logins"), m_logins},
          {QStringLiteral("keepalives"), m_keepAlives},
          {QStringLiteral("keepaliveTimes"), m_keepAliveTimes},
          {QStringLiteral("frames"), m_frames},
          {QStringLiteral("answerKeepAlive"), m_answerKeepAlive},
          {QStringLiteral("refuseLogin"), m_refuseLogin},
          {QStringLiteral("errors"), m_errors}};
}

QJsonObject SimSessionServer::Control(const QString& action, const QJsonObject& args) {
  if (action == QLatin1String("push")) return Push(args);
  if (action == QLatin1String("raw")) {
    const QByteArray bytes = QByteArray::fromBase64(args.value(QStringLiteral("bytes")).toString().toLatin1());
    for (Client* c : std::as_const(m_clients)) c->socket->write(bytes);
    return {{QStringLiteral("ok"), true}, {QStringLiteral("sent"), static_cast<int>(m_clients.size())}};
  }
  if (action == QLatin1String("keepalive")) {
    m_answerKeepAlive = args.value(QStringLiteral("answer")).toBool(true);
    return {{QStringLiteral("ok"), true}};
  }
  if (action == QLatin1String("refuse-login")) {
    m_refuseLogin = args.value(QStringLiteral("refuse")).toBool(true);
    return {{QStringLiteral("ok"), true}};
  }
  if (action == QLatin1String("drop")) {
    const int n = static_cast<int>(m_clients.size());
    const QList<Client*> clients = m_clients;
    for (Client* c : clients) Drop(c);
    return {{QStringLiteral("ok"), true}, {QStringLiteral("dropped"), n}};
  }
  if (action == QLatin1String("close")) {
    if (m_server) m_server->close();
    const QList<Client*> clients = m_clients;
    for (Client* c : clients) Drop(c);
    return {{QStringLiteral("ok"), true}};
  }
  if (action == QLatin1String("reset")) {
    m_logins = {};
    m_keepAliveTimes = {};
    m_errors = {};
    m_keepAlives = 0;
    m_frames = 0;
    m_connections = 0;
    return {{QStringLiteral("ok"), true}};
  }
  if (action == QLatin1String("state")) return State();
  return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("unknown action")}};
}
