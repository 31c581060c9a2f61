// hvsim: the service simulator's web side (and, when built with it, its SessionServers).
// Prints one line of JSON with every port, then serves until SIGTERM/SIGINT, --lifetime, or the
// end of stdin with --exit-on-stdin-eof.
#include "tools/simulator/SimHttpServer.h"
#include "tools/simulator/SimService.h"
#include "tools/simulator/TestCertificate.h"

#ifdef HVSIM_HAVE_SSERVER
#include "tools/simulator/sserver/SimSessionServer.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

int Fail(const QString& message) {
  std::fprintf(stderr, "hvsim: %s\n", qPrintable(message));
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("hvsim"));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Helvora service simulator"));
  parser.addHelpOption();
  const QCommandLineOption hostOpt(QStringLiteral("host"), QStringLiteral("Address to listen on."), QStringLiteral("addr"), QStringLiteral("127.0.0.1"));
  const QCommandLineOption httpOpt(QStringLiteral("http-port"), QStringLiteral("HTTP port (0 = free port)."), QStringLiteral("n"), QStringLiteral("0"));
  const QCommandLineOption httpsOpt(QStringLiteral("https-port"), QStringLiteral("HTTPS port (0 = free port, -1 = none)."), QStringLiteral("n"), QStringLiteral("-1"));
  const QCommandLineOption altOpt(QStringLiteral("alt-auth-servers"), QStringLiteral("Alternate authentication servers."), QStringLiteral("k"), QStringLiteral("0"));
  const QCommandLineOption ssOpt(QStringLiteral("sserver-count"), QStringLiteral("SessionServers to start."), QStringLiteral("k"), QStringLiteral("1"));
  const QCommandLineOption ssTlsOpt(QStringLiteral("sserver-tls"), QStringLiteral("SessionServers use TLS."));
  const QCommandLineOption certOpt(QStringLiteral("cert"), QStringLiteral("PEM certificate (default: generated)."), QStringLiteral("file"));
  const QCommandLineOption keyOpt(QStringLiteral("key"), QStringLiteral("PEM private key."), QStringLiteral("file"));
  const QCommandLineOption demoOpt(QStringLiteral("demo"), QStringLiteral("Print the demo account on stderr."));
  const QCommandLineOption eofOpt(QStringLiteral("exit-on-stdin-eof"), QStringLiteral("Stop when stdin closes."));
  const QCommandLineOption lifeOpt(QStringLiteral("lifetime"), QStringLiteral("Stop after this many seconds."), QStringLiteral("s"), QStringLiteral("0"));
  const QCommandLineOption programOpt(QStringLiteral("program-dir"),
                                      QStringLiteral("Program folder whose HVAgent the update pages offer (default: hvsim's own)."),
                                      QStringLiteral("dir"));
  parser.addOptions({hostOpt, httpOpt, httpsOpt, altOpt, ssOpt, ssTlsOpt, certOpt, keyOpt, demoOpt, eofOpt, lifeOpt, programOpt});
  parser.process(app);

  const QString host = parser.value(hostOpt);
  const int httpPort = parser.value(httpOpt).toInt();
  const int httpsPort = parser.value(httpsOpt).toInt();
  const int alternates = qBound(0, parser.value(altOpt).toInt(), 32);
  const int sserverCount = qBound(0, parser.value(ssOpt).toInt(), 32);
  const QHostAddress address(host);
  if (address.isNull()) return Fail(QStringLiteral("bad --host"));

  QTemporaryDir tmp;
  QString certPath = parser.value(certOpt);
  QString keyPath = parser.value(keyOpt);
  const bool wantTls = httpsPort >= 0 || parser.isSet(ssTlsOpt);
  if (wantTls && certPath.isEmpty()) {
    QString error;
    if (!WriteTestCertificate(tmp.path(), certPath, keyPath, error)) return Fail(error);
  }

  auto* service = new SimService(&app);
  // hvsim is staged beside the console, so by default it offers the staged console as the update.
  const QString programDir = parser.isSet(programOpt) ? parser.value(programOpt) : QCoreApplication::applicationDirPath();
  if (!service->SetUpdateFolder(programDir))
    std::fprintf(stderr, "hvsim: the update pages list nothing: %s\n", qPrintable(service->UpdateProblem()));
  // The primary and the alternates share one port number on consecutive loopback addresses
  // (127.0.0.1, .2, ...), so the console's host switch in the service URLs lands on them.
  QList<SimHttpServer*> servers;
  QStringList hosts;
  int port = httpPort;
  for (int attempt = 0; attempt < 20; ++attempt) {
    qDeleteAll(servers);
    servers.clear();
    hosts.clear();
    bool ok = true;
    for (int i = 0; i <= alternates && ok; ++i) {
      QHostAddress a = address;
      if (i > 0) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol || !address.isLoopback())
          return Fail(QStringLiteral("alternate servers need a loopback IPv4 --host"));
        a = QHostAddress(address.toIPv4Address() + quint32(i));
      }
      auto* s = new SimHttpServer([service, i](const SimRequest& r) { return service->Handle(i, false, r); }, &app);
      ok = s->Listen(a, quint16(i == 0 ? port : port));
      if (ok && i == 0) port = s->Port();
      if (!ok && (httpPort != 0 || i == 0)) {
        if (httpPort != 0) return Fail(QStringLiteral("cannot listen on %1:%2: %3").arg(a.toString()).arg(port).arg(s->ErrorString()));
      }
      servers.append(s);
      hosts.append(a.toString());
    }
    if (ok) break;
    port = 0;  // another free port for all of them
    if (attempt == 19) return Fail(QStringLiteral("no common free port for the alternate servers"));
  }

  SimHttpServer* https = nullptr;
  if (httpsPort >= 0) {
    https = new SimHttpServer([service](const SimRequest& r) { return service->Handle(0, true, r); }, &app);
    if (!https->Listen(address, quint16(httpsPort), true, certPath, keyPath))
      return Fail(QStringLiteral("cannot listen for HTTPS: %1").arg(https->ErrorString()));
  }
  service->SetServers(servers, hosts, port, https);

  QJsonArray sserverPorts;
  QList<SimService::SessionServerInfo> sessionInfos;
#ifdef HVSIM_HAVE_SSERVER
  QList<SimSessionServer*> sessionServers;
  for (int i = 0; i < sserverCount; ++i) {
    auto* ss = new SimSessionServer(&app);
    if (!ss->Listen(address, 0, parser.isSet(ssTlsOpt), certPath, keyPath))
      return Fail(QStringLiteral("cannot start SessionServer %1").arg(i));
    sessionServers.append(ss);
    sserverPorts.append(int(ss->Port()));
    sessionInfos.append({address.toString(), int(ss->Port()), QStringLiteral("ss%1").arg(i)});
  }
  service->SetSessionServerControl([sessionServers](int index, const QString& action, const QJsonObject& args) {
    return sessionServers[index]->Control(action, args);
  });
#else
  Q_UNUSED(sserverCount);
#endif
  service->SetSessionServers(sessionInfos);

  QJsonArray altPorts, altHosts;
  for (int i = 1; i < servers.size(); ++i) {
    altPorts.append(int(servers[i]->Port()));
    altHosts.append(hosts[i]);
  }
  QJsonObject ports{{QStringLiteral("host"), host},
                    {QStringLiteral("http"), port},
                    {QStringLiteral("https"), https ? int(https->Port()) : 0},
                    {QStringLiteral("alt_auth"), altPorts},
                    {QStringLiteral("alt_auth_hosts"), altHosts},
                    {QStringLiteral("sserver"), sserverPorts},
                    {QStringLiteral("control"), port},
                    {QStringLiteral("ca"), wantTls ? certPath : QString()},
                    {QStringLiteral("update_version"), service->UpdateVersion()},
                    {QStringLiteral("demo"), QJsonObject{{QStringLiteral("id"), QString::fromLatin1(SimService::kDemoId)},
                                                         {QStringLiteral("password"), QString::fromLatin1(SimService::kDemoPassword)}}}};
  std::printf("%s\n", QJsonDocument(ports).toJson(QJsonDocument::Compact).constData());
  std::fflush(stdout);
  if (parser.isSet(demoOpt))
    std::fprintf(stderr, "hvsim: demo account ID \"%s\" password \"%s\" on http://%s:%d/AuthWeb/\n", SimService::kDemoId,
                 SimService::kDemoPassword, qPrintable(host), port);

  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
    auto* n = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(n, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
  }
  if (parser.isSet(eofOpt)) {
    auto* n = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(n, &QSocketNotifier::activated, &app, [n] {
      char buf[256];
      if (::read(STDIN_FILENO, buf, sizeof buf) <= 0) {
        n->setEnabled(false);
        QCoreApplication::quit();
      }
    });
  }
  const int lifetime = parser.value(lifeOpt).toInt();
  if (lifetime > 0) QTimer::singleShot(lifetime * 1000, &app, [] { QCoreApplication::quit(); });
  return app.exec();
}
