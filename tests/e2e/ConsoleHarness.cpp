#include "tests/e2e/ConsoleHarness.h"

#include "platform/MessageBus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

namespace e2e {

namespace {

constexpr int kHttpTimeoutMs = 5000;

QString StageDir() { return QFileInfo(QStringLiteral(HV_AGENT_PATH)).absolutePath(); }

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(bytes) == bytes.size();
}

}  // namespace

// --- Simulator --------------------------------------------------------------------------------

Simulator::Simulator() {
  m_proc.setProcessChannelMode(QProcess::SeparateChannels);
  m_proc.setStandardErrorFile(QProcess::nullDevice());
  m_proc.start(QStringLiteral(HV_SIM_PATH), {QStringLiteral("--exit-on-stdin-eof"), QStringLiteral("--lifetime"),
                                             QStringLiteral("300")});
  if (!m_proc.waitForStarted(5000)) {
    m_error = QStringLiteral("hvsim did not start: ") + m_proc.errorString();
    return;
  }
  QByteArray line;
  for (int i = 0; i < 100 && !line.contains('\n'); ++i) {
    if (!m_proc.waitForReadyRead(100) && m_proc.state() == QProcess::NotRunning) break;
    line += m_proc.readAllStandardOutput();
  }
  const QJsonObject ports = QJsonDocument::fromJson(line.trimmed()).object();
  m_http = ports.value(QStringLiteral("http")).toInt();
  if (!m_http) m_error = QStringLiteral("hvsim printed no ports: ") + QString::fromUtf8(line);
}

Simulator::~Simulator() {
  if (m_proc.state() == QProcess::NotRunning) return;
  m_proc.closeWriteChannel();  // the lifeline: hvsim ends when its stdin closes
  if (!m_proc.waitForFinished(3000)) {
    m_proc.kill();
    m_proc.waitForFinished(3000);
  }
}

QJsonValue Simulator::Call(const QByteArray& method, const QString& path, const QJsonObject& body) {
  QTcpSocket s;
  s.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_http));
  if (!s.waitForConnected(kHttpTimeoutMs)) return {};
  const QByteArray payload = method == "GET" ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
  QByteArray request = method + ' ' + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (method != "GET")
    request += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(payload.size()) + "\r\n";
  s.write(request + "\r\n" + payload);
  QByteArray answer;
  while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(kHttpTimeoutMs)) answer += s.readAll();
  answer += s.readAll();
  const qsizetype head = answer.indexOf("\r\n\r\n");
  if (head < 0 || !answer.startsWith("HTTP/1.1 200")) return {};
  const QJsonDocument doc = QJsonDocument::fromJson(answer.mid(head + 4));
  if (doc.isArray()) return doc.array();
  if (doc.isObject()) return doc.object();
  return {};
}

bool Simulator::Configure(const QJsonObject& config) {
  return Call("POST", QStringLiteral("/_sim/config"), config).isObject();
}

QJsonArray Simulator::Requests() { return Call("GET", QStringLiteral("/_sim/requests")).toArray(); }

QJsonArray Simulator::RequestsTo(const QString& page) {
  QJsonArray out;
  for (const QJsonValue& r : Requests())
    if (r.toObject().value(QStringLiteral("path")).toString().endsWith(QLatin1Char('/') + page)) out.append(r);
  return out;
}

QJsonObject Simulator::SessionServer(const QString& action, const QJsonObject& args) {
  return Call("POST", QStringLiteral("/_sim/sserver/0/") + action, args).toObject();
}

// --- Console ----------------------------------------------------------------------------------

Console::Console(int authPort) : m_env(QProcessEnvironment::systemEnvironment()) {
  const QString stage = StageDir();
  const QString prog = m_root.path() + QStringLiteral("/program");
  QDir().mkpath(prog);
  QFile::link(stage + QStringLiteral("/Languages"), prog + QStringLiteral("/Languages"));
  QFile::link(stage + QStringLiteral("/Images"), prog + QStringLiteral("/Images"));
  QFile::copy(stage + QStringLiteral("/bldinfo.ini"), prog + QStringLiteral("/bldinfo.ini"));
  // No updater here; AgentRegUpdate=1 marks the old time settings as moved already, so the
  // stored auto-logout minutes are used as written.
  SetInfo(QStringLiteral("General"), QStringLiteral("autoUpdate"), QStringLiteral("0"));
  SetInfo(QStringLiteral("General"), QStringLiteral("AgentRegUpdate"), QStringLiteral("1"));
  SetInfo(QStringLiteral("AuthInfo"), QStringLiteral("AuthAddr"), QStringLiteral("127.0.0.1"));
  SetInfo(QStringLiteral("AuthInfo"), QStringLiteral("AuthPort"), QString::number(authPort));
  SetInfo(QStringLiteral("LOG"), QStringLiteral("LOGLEVEL"), QStringLiteral("1"));
  m_env.insert(QStringLiteral("HV_PROGRAM_DIR"), prog);
  for (const char* name : {"HV_CONFIG_DIR", "HV_DOCUMENTS_DIR", "HV_RUNTIME_DIR", "HV_DESKTOP_DIR"}) {
    const QString dir = m_root.path() + QLatin1Char('/') + QString::fromLatin1(name).mid(3).toLower();
    QDir().mkpath(dir);
    m_env.insert(QString::fromLatin1(name), dir);
  }
  m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  m_env.insert(QStringLiteral("HV_OPENER"), QStringLiteral("/bin/true"));  // never open a real browser
  m_env.remove(QStringLiteral("HV_LOG_STDERR"));
  m_env.remove(QStringLiteral("HV_AUTOCLOSE_UNIT_MS"));
}

Console::~Console() {
  if (m_proc.state() == QProcess::NotRunning) return;
  m_proc.terminate();
  if (!m_proc.waitForFinished(3000)) {
    m_proc.kill();
    m_proc.waitForFinished(3000);
  }
}

void Console::SetInfo(const QString& section, const QString& key, const QString& value) {
  auto sec = std::find_if(m_info.begin(), m_info.end(), [&](const auto& e) { return e.first == section; });
  if (sec == m_info.end()) sec = m_info.insert(m_info.end(), {section, {}});
  auto entry = std::find_if(sec->second.begin(), sec->second.end(), [&](const auto& e) { return e.first == key; });
  if (entry == sec->second.end())
    sec->second.append({key, value});
  else
    entry->second = value;
}

void Console::WriteInfoIni() const {
  QByteArray text;
  for (const auto& [section, entries] : m_info) {
    text += '[' + section.toUtf8() + "]\n";
    for (const auto& [key, value] : entries) text += key.toUtf8() + '=' + value.toUtf8() + '\n';
  }
  WriteFile(m_root.path() + QStringLiteral("/program/info.ini"), text);
}

void Console::WriteSettings(int doNotSeeAgain, int autoCloseMinutes) {
  QByteArray text = "HELVORA-SETTINGS 1\n[Software\\KESTRIX\\Helvora\\Settings]\n";
  text += "dword:DoNotSeeAgain=" + QByteArray::number(doNotSeeAgain) + '\n';
  text += "dword:AutoCloseTime_6.0=" + QByteArray::number(autoCloseMinutes) + '\n';
  WriteFile(ConfigDir() + QStringLiteral("/registry.dat"), text);
}

bool Console::Start(const QStringList& args) {
  WriteInfoIni();
  // The bus is found through the runtime folder: this process looks where the console listens.
  qputenv("HV_RUNTIME_DIR", m_env.value(QStringLiteral("HV_RUNTIME_DIR")).toUtf8());
  m_proc.setProcessEnvironment(m_env);
  m_proc.setProcessChannelMode(QProcess::MergedChannels);
  m_proc.setStandardOutputFile(m_root.path() + QStringLiteral("/output.txt"));
  m_proc.start(QStringLiteral(HV_AGENT_PATH), args);
  if (!m_proc.waitForStarted(5000)) return false;
  return QTest::qWaitFor([] { return hv::FindWindow(QString(), QStringLiteral("Helvora Agent")) != 0; }, 15000);
}

bool Console::WaitExit(int timeoutMs) {
  return m_proc.state() == QProcess::NotRunning || m_proc.waitForFinished(timeoutMs);
}

QString Console::Log() const {
  QString all;
  QStringList files;
  QDirIterator it(m_env.value(QStringLiteral("HV_DOCUMENTS_DIR")), {QStringLiteral("*_Agent.log")}, QDir::Files,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) files << it.next();
  files.sort();
  for (const QString& name : files) {
    QFile f(name);
    if (f.open(QIODevice::ReadOnly)) all += QString::fromUtf8(f.readAll());
  }
  return all;
}

QString Console::Output() const {
  QFile f(m_root.path() + QStringLiteral("/output.txt"));
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool Console::WaitLog(const QString& needle, int timeoutMs, qsizetype from) const {
  return QTest::qWaitFor([&] { return Log().indexOf(needle, from) >= 0; }, timeoutMs);
}

qsizetype Console::CountLog(const QString& needle, qsizetype from) const {
  const QString log = Log();
  qsizetype n = 0;
  for (qsizetype at = log.indexOf(needle, from); at >= 0; at = log.indexOf(needle, at + needle.size())) ++n;
  return n;
}

bool Console::Post(quint32 msg, quint64 wParam) {
  const hv::WindowHandle h = hv::FindWindow(QString(), QStringLiteral("Helvora Agent"));
  return h != 0 && hv::PostBusMessage(h, 0, msg, wParam, 0);
}

// --- texts ------------------------------------------------------------------------------------

QString LanguageText(const QString& key) {
  QFile f(StageDir() + QStringLiteral("/Languages/hvv_eng.lng"));
  if (!f.open(QIODevice::ReadOnly)) return QString();
  bool inSection = false;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      inSection = line.compare(QLatin1String("[HELVORA]"), Qt::CaseInsensitive) == 0;
      continue;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (!inSection || eq < 0 || line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0) continue;
    QString value = line.mid(eq + 1).trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
      value = value.mid(1, value.size() - 2);
    return value.replace(QLatin1String("\\n"), QLatin1String("\n"));
  }
  return QString();
}

QString AutoLoginArg(const QString& id, const QString& password) {
  return QStringLiteral("<AUTOLOGIN><ID>%1</ID><PASS>%2</PASS><MODE>0</MODE></AUTOLOGIN>").arg(id, password);
}

QString MessageBoxLine(int style, const QString& text) {
  return QStringLiteral("CMainFrame::MessageBox(style %1) : %2").arg(style).arg(text);
}

}  // namespace e2e
