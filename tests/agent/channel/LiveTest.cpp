// The channel against the simulator's SessionServer on 127.0.0.1: sign-in, keep-alive,
// reconnect and the server-set walk, the HTTP proxy relay, TLS, and hostile frames.
#include "agent/channel/BaseNet.h"
#include "agent/channel/HVAgentSServer.h"
#include "tests/agent/channel/TestSupport.h"
#include "tools/simulator/sserver/SimSessionServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

namespace {

bool WaitFor(const std::function<bool()>& done, int ms) { return QTest::qWaitFor(done, ms); }

// A port nothing listens on: bound once, then released.
quint16 DeadPort() {
  QTcpServer s;
  s.listen(QHostAddress::LocalHost, 0);
  const quint16 p = s.serverPort();
  s.close();
  return p;
}

// A small HTTP CONNECT proxy with basic authentication, enough to carry the channel.
class TestProxy : public QTcpServer {
 public:
  QByteArray user = "puser", password = "ppass";
  bool silent = false;  // accepts and never answers
  int tunnels = 0;
  QList<QByteArray> requests;

  TestProxy() {
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* in = nextPendingConnection()) {
        auto head = std::make_shared<QByteArray>();
        connect(in, &QTcpSocket::readyRead, this, [this, in, head] {
          if (head->endsWith("\r\n\r\n")) return;
          head->append(in->readAll());
          if (!head->contains("\r\n\r\n") || silent) return;
          requests.append(*head);
          const QByteArray auth = "Proxy-Authorization: Basic " + (user + ':' + password).toBase64();
          if (!head->contains(auth)) {
            in->write("HTTP/1.1 407 Proxy Authentication Required\r\n\r\n");
            in->disconnectFromHost();
            return;
          }
          const QList<QByteArray> target = head->split(' ').value(1).split(':');
          auto* out = new QTcpSocket(in);
          connect(out, &QTcpSocket::connected, in, [this, in] {
            ++tunnels;
            in->write("HTTP/1.1 200 Connection established\r\n\r\n");
          });
          connect(out, &QTcpSocket::readyRead, in, [in, out] { in->write(out->readAll()); });
          connect(in, &QTcpSocket::readyRead, out, [in, out] { out->write(in->readAll()); });
          connect(out, &QTcpSocket::disconnected, in, [in] { in->disconnectFromHost(); });
          connect(in, &QTcpSocket::disconnected, out, [out] { out->disconnectFromHost(); });
          head->append("\r\n\r\n");  // marks the head done
          out->connectToHost(QString::fromLatin1(target.value(0)), target.value(1).toUShort());
        });
      }
    });
  }
};

class Live : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApp(); }

  std::unique_ptr<SimSessionServer> StartServer(bool tls = false) {
    auto s = std::make_unique<SimSessionServer>();
    EXPECT_TRUE(s->Listen(QHostAddress::LocalHost, 0, tls, certPath, keyPath));
    return s;
  }
  std::unique_ptr<CHVAgentSServer> MakeChannel(const ChannelServerSet& set, const ServerRecord* proxy = nullptr,
                                               int security = 2) {
    auto ch = std::make_unique<CHVAgentSServer>(&listener);
    ch->SetIdentity(QStringLiteral("ENC123"), QStringLiteral("agent1"), QStringLiteral("G1"), QStringLiteral("C1"));
    ch->SetLogoutPageBase(QStringLiteral("http://svc/logout4session"), QStringLiteral("ENCURID9"));
    ch->SetServerSet(set);
    EXPECT_TRUE(ch->Create(QString(), 0, proxy, security));
    return ch;
  }
  static ChannelServerSet One(quint16 port, const QString& id = QStringLiteral("S1")) {
    return {{QStringLiteral("127.0.0.1"), port, id}};
  }
  bool SignedIn(int count = 1) {
    return WaitFor([&] { return listener.Count(QStringLiteral("AgentConnected")) >= count; }, 10000);
  }

  RecordingListener listener;
  QString certPath, keyPath;
};

}  // namespace

TEST_F(Live, SignsInAndKeepsAliveEveryFiveSeconds) {
  auto server = StartServer();
  auto ch = MakeChannel(One(server->Port()));
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  EXPECT_EQ(ch->CurrentState(), CHVAgentSServer::SignedIn);
  const QJsonObject login = server->Control(QStringLiteral("state"), {}).value(QStringLiteral("logins")).toArray().at(0).toObject();
  EXPECT_TRUE(login.value(QStringLiteral("accepted")).toBool());
  EXPECT_EQ(login.value(QStringLiteral("identity")).toString(), S("ENC123"));
  EXPECT_EQ(login.value(QStringLiteral("loginId")).toString(), S("agent1"));
  EXPECT_EQ(login.value(QStringLiteral("group")).toString(), S("G1"));
  EXPECT_EQ(login.value(QStringLiteral("center")).toString(), S("C1"));
  EXPECT_EQ(login.value(QStringLiteral("logoutPage")).toString(),
            S("http://svc/logout4session?encurid=ENCURID9&caller=session_agent&sessionServerId=S1"));

  // The real period, two ticks.
  ASSERT_TRUE(WaitFor([&] { return server->Control(QStringLiteral("state"), {}).value(QStringLiteral("keepalives")).toInt() >= 2; }, 12000));
  const QJsonObject st = server->Control(QStringLiteral("state"), {});
  const QJsonArray times = st.value(QStringLiteral("keepaliveTimes")).toArray();
  const qint64 loginAt = login.value(QStringLiteral("timeMs")).toInteger();
  EXPECT_NEAR(times.at(0).toInteger() - loginAt, 5000, 1000);
  EXPECT_NEAR(times.at(1).toInteger() - times.at(0).toInteger(), 5000, 1000);
  QTest::qWait(100);
  EXPECT_EQ(ch->MissedKeepAlives(), 0);
}

TEST_F(Live, DroppedConnectionReconnectsAfterThreeSeconds) {
  auto server = StartServer();
  auto ch = MakeChannel(One(server->Port()));
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  QElapsedTimer t;
  t.start();
  server->Control(QStringLiteral("drop"), {});
  ASSERT_TRUE(WaitFor([&] { return listener.Count(QStringLiteral("AgentReconnecting")) == 1; }, 2000));
  EXPECT_EQ(ch->CurrentState(), CHVAgentSServer::WaitingToReconnect);
  ASSERT_TRUE(SignedIn(2));
  EXPECT_GE(t.elapsed(), 2900);
  EXPECT_LT(t.elapsed(), 6000);
  EXPECT_EQ(listener.calls.filter(QStringLiteral("LogOut")).size(), 0);
}

TEST_F(Live, WalksTheServerSetTwoAttemptsEach) {
  auto ch = MakeChannel({{QStringLiteral("127.0.0.1"), DeadPort(), S("A")},
                         {QStringLiteral("127.0.0.1"), DeadPort(), S("B")},
                         {QStringLiteral("127.0.0.1"), DeadPort(), S("C")}});
  ch->SetTimerPeriods(5000, 30);
  QList<int> order;
  QObject::connect(ch.get(), &CHVAgentSServer::connectAttempted, ch.get(),
                   [&](int index, const QString&, int, int result) {
                     order.append(index);
                     EXPECT_NE(result, 0);
                   });
  ch->AgentLogin(0);
  ASSERT_TRUE(WaitFor([&] { return order.size() >= 8; }, 10000));
  EXPECT_EQ(order.mid(0, 8), (QList<int>{0, 0, 1, 1, 2, 2, 0, 0}));
  EXPECT_GE(listener.Count(QStringLiteral("AgentReconnecting")), 7);
}

TEST_F(Live, FailedConnectWithoutReconnectStaysUnconnected) {
  listener.reconnect = 0;
  auto ch = MakeChannel(One(DeadPort()));
  ch->SetTimerPeriods(5000, 30);
  ch->AgentLogin(0);
  ASSERT_TRUE(WaitFor([&] { return !listener.connectResults.empty(); }, 5000));
  QTest::qWait(200);
  EXPECT_NE(listener.connectResults.at(0), 0);
  EXPECT_EQ(ch->CurrentState(), CHVAgentSServer::Unconnected);
  EXPECT_EQ(listener.Count(QStringLiteral("AgentReconnecting")), 0);
  EXPECT_EQ(listener.Count(QStringLiteral("LogOut")), 0);
}

TEST_F(Live, LostConnectionWithoutReconnectLogsOut) {
  listener.reconnect = 0;
  auto server = StartServer();
  auto ch = MakeChannel(One(server->Port()));
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  server->Control(QStringLiteral("drop"), {});
  ASSERT_TRUE(WaitFor([&] { return listener.Count(QStringLiteral("LogOut")) == 1; }, 3000));
  EXPECT_FALSE(ch->IsConnected());
}

TEST_F(Live, LossWhileLoggingOutNeitherReconnectsNorLogsOut) {
  auto server = StartServer();
  auto ch = MakeChannel(One(server->Port()));
  ch->SetTimerPeriods(5000, 30);
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  listener.signIn = 0;
  server->Control(QStringLiteral("drop"), {});
  ASSERT_TRUE(WaitFor([&] { return !ch->IsConnected(); }, 3000));
  QTest::qWait(200);
  EXPECT_EQ(listener.Count(QStringLiteral("AgentReconnecting")), 0);
  EXPECT_EQ(listener.Count(QStringLiteral("LogOut")), 0);
}

TEST_F(Live, GivesUpAtTheEleventhUnansweredKeepAlive) {
  auto server = StartServer();
  auto ch = MakeChannel(One(server->Port()));
  ch->SetTimerPeriods(40, 5000);
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  server->Control(QStringLiteral("keepalive"), {{QStringLiteral("answer"), false}});
  ASSERT_TRUE(WaitFor([&] { return listener.Count(QStringLiteral("AgentReconnecting")) == 1; }, 5000));
  // The first tick still counts the login's answer; then ten missed ticks are borne.
  EXPECT_EQ(server->Control(QStringLiteral("state"), {}).value(QStringLiteral("keepalives")).toInt(), 11);
}

TEST_F(Live, PushedCommandsArriveAndLogoutIsAcknowledged) {
  auto server = StartServer();
  auto ch = MakeChannel(One(server->Port()));
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  QList<int> frames;
  QObject::connect(server.get(), &SimSessionServer::frameReceived, server.get(), [&](int c) { frames.append(c); });
  server->Control(QStringLiteral("push"),
                  {{QStringLiteral("command"), 30403},
                   {QStringLiteral("sub"), 301},
                   {QStringLiteral("fields"), QJsonArray{S("c1"), QString(600, QLatin1Char('n')), S("r1"), S(""), S("a"),
                                                         S("b"), S("c"), S("d"), S("e"), S("f")}}});
  server->Control(QStringLiteral("push"), {{QStringLiteral("command"), 30300}, {QStringLiteral("sub"), 303}});
  ASSERT_TRUE(WaitFor([&] { return listener.Count(QStringLiteral("AgentKilled")) == 1; }, 3000));
  ASSERT_EQ(listener.customers.size(), 1u);
  EXPECT_EQ(listener.customers[0].s[1].size(), 255);
  EXPECT_EQ(listener.customers[0].flags, 4);
  EXPECT_TRUE(WaitFor([&] { return frames.contains(30301); }, 2000));
}

TEST_F(Live, OversizedFrameDropsTheConnectionAndReconnects) {
  auto server = StartServer();
  auto ch = MakeChannel(One(server->Port()));
  ch->SetTimerPeriods(5000, 30);
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  for (int32_t word : {-8, 64 * 1024 * 1024}) {
    const int before = listener.Count(QStringLiteral("AgentConnected"));
    QByteArray bytes(4, '\0');
    qToLittleEndian<int32_t>(word, bytes.data());
    bytes.append(QByteArray(256 * 1024, 'x'));  // megabytes would follow; none is held
    server->Control(QStringLiteral("raw"), {{QStringLiteral("bytes"), QString::fromLatin1(bytes.toBase64())}});
    ASSERT_TRUE(SignedIn(before + 1)) << word;
  }
  EXPECT_EQ(listener.Count(QStringLiteral("LogOut")), 0);
}

TEST_F(Live, RelaysThroughAnHttpProxyWithBasicAuthentication) {
  auto server = StartServer();
  TestProxy proxy;
  ASSERT_TRUE(proxy.listen(QHostAddress::LocalHost, 0));
  ServerRecord rec;
  rec.SetHost(QStringLiteral("127.0.0.1"));
  rec.port = proxy.serverPort();
  rec.SetUser(QStringLiteral("puser"));
  rec.SetPassword(QStringLiteral("ppass"));
  auto ch = MakeChannel(One(server->Port()), &rec);
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn());
  EXPECT_EQ(proxy.tunnels, 1);
  EXPECT_TRUE(proxy.requests.value(0).startsWith("CONNECT 127.0.0.1:" + QByteArray::number(server->Port())));

  // A wrong password: the relay status is the attempt's failure code.
  listener.reconnect = 0;
  rec.SetPassword(QStringLiteral("wrong"));
  auto bad = std::make_unique<CHVAgentSServer>(&listener);
  bad->SetServerSet(One(server->Port()));
  bad->Create(QString(), 0, &rec, 2);
  listener.connectResults.clear();
  bad->AgentLogin(0);
  ASSERT_TRUE(WaitFor([&] { return !listener.connectResults.empty(); }, 5000));
  EXPECT_EQ(listener.connectResults.at(0), 407);
}

TEST_F(Live, RelaysThroughTinyproxy) {
  const QString exe = QFile::exists(QStringLiteral("/usr/sbin/tinyproxy")) ? QStringLiteral("/usr/sbin/tinyproxy")
                                                                          : QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
  if (exe.isEmpty()) GTEST_SKIP() << "tinyproxy is not installed";
  auto server = StartServer();
  QTemporaryDir dir;
  const quint16 port = DeadPort();
  QFile conf(dir.filePath(QStringLiteral("tinyproxy.conf")));
  ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
  conf.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 5\nAllow 127.0.0.1\n"
                            "BasicAuth puser ppass\nConnectPort %2\nLogLevel Error\nPidFile \"%3\"\n")
                 .arg(port)
                 .arg(server->Port())
                 .arg(dir.filePath(QStringLiteral("tp.pid")))
                 .toUtf8());
  conf.close();
  QProcess tp;
  tp.start(exe, {QStringLiteral("-d"), QStringLiteral("-c"), conf.fileName()});
  ASSERT_TRUE(tp.waitForStarted(3000));
  ASSERT_TRUE(WaitFor([&] {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    return probe.waitForConnected(100);
  }, 5000));
  ServerRecord rec;
  rec.SetHost(QStringLiteral("127.0.0.1"));
  rec.port = port;
  rec.SetUser(QStringLiteral("puser"));
  rec.SetPassword(QStringLiteral("ppass"));
  auto ch = MakeChannel(One(server->Port()), &rec);
  ch->AgentLogin(0);
  EXPECT_TRUE(SignedIn());
  ch.reset();
  tp.terminate();
  if (!tp.waitForFinished(3000)) tp.kill();
}

TEST_F(Live, ClosingDuringAHangingAttemptReturnsWithinTheBound) {
  TestProxy proxy;
  proxy.silent = true;
  ASSERT_TRUE(proxy.listen(QHostAddress::LocalHost, 0));
  ServerRecord rec;
  rec.SetHost(QStringLiteral("127.0.0.1"));
  rec.port = proxy.serverPort();
  auto ch = MakeChannel(One(DeadPort()), &rec);
  ch->AgentLogin(0);
  QTest::qWait(300);
  ASSERT_TRUE(ch->ConnectThreadRunning());
  QElapsedTimer t;
  t.start();
  ch->Close();
  ch.reset();
  EXPECT_LT(t.elapsed(), 2000);
  QTest::qWait(200);
  EXPECT_TRUE(listener.connectResults.empty());
}

class LiveTls : public Live {
 protected:
  void SetUp() override {
    Live::SetUp();
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) GTEST_SKIP() << "no openssl";
    ASSERT_TRUE(dir.isValid());
    auto run = [&](const QStringList& args) {
      QProcess p;
      p.setWorkingDirectory(dir.path());
      p.start(QStringLiteral("openssl"), args);
      return p.waitForFinished(30000) && p.exitCode() == 0;
    };
    QFile ext(dir.filePath(QStringLiteral("ext.cnf")));
    ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
    ext.close();
    ASSERT_TRUE(run({S("req"), S("-x509"), S("-newkey"), S("rsa:2048"), S("-nodes"), S("-keyout"), S("ca.key"),
                     S("-out"), S("ca.pem"), S("-days"), S("2"), S("-subj"), S("/CN=Helvora Test CA")}));
    ASSERT_TRUE(run({S("req"), S("-newkey"), S("rsa:2048"), S("-nodes"), S("-keyout"), S("server.key"), S("-out"),
                     S("server.csr"), S("-subj"), S("/CN=127.0.0.1")}));
    ASSERT_TRUE(run({S("x509"), S("-req"), S("-in"), S("server.csr"), S("-CA"), S("ca.pem"), S("-CAkey"), S("ca.key"),
                     S("-CAcreateserial"), S("-out"), S("server.pem"), S("-days"), S("2"), S("-extfile"), S("ext.cnf")}));
    certPath = dir.filePath(QStringLiteral("server.pem"));
    keyPath = dir.filePath(QStringLiteral("server.key"));
  }
  QTemporaryDir dir;
};

TEST_F(LiveTls, SignsInOverTlsWithTheCaFile) {
  auto server = StartServer(true);
  auto ch = MakeChannel(One(server->Port()), nullptr, 1);
  ch->SetCaFile(dir.filePath(QStringLiteral("ca.pem")));
  ch->AgentLogin(0);
  ASSERT_TRUE(SignedIn()) << listener.calls.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(listener.connectResults.at(0), 0);
}

TEST_F(LiveTls, RefusesACertificateItCannotVerify) {
  listener.reconnect = 0;
  auto server = StartServer(true);
  auto ch = MakeChannel(One(server->Port()), nullptr, 1);  // no CA file: not trusted
  ch->AgentLogin(0);
  ASSERT_TRUE(WaitFor([&] { return !listener.connectResults.empty(); }, 10000));
  EXPECT_EQ(listener.connectResults.at(0), hv::net::kTlsCertificateRefused);
  EXPECT_EQ(listener.Count(QStringLiteral("AgentConnected")), 0);
  EXPECT_EQ(server->Control(QStringLiteral("state"), {}).value(QStringLiteral("logins")).toArray().size(), 0);
}
