#include "tools/updater/UpdateManifest.h"

#include "common/IniFile.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <cstdio>

namespace hv::updater {
namespace {

const QString kGeneral = QStringLiteral("General");

// The files the updater itself keeps; a manifest that would overwrite them is not trusted.
bool IsReservedName(const QString& name) {
  const QString lower = name.toLower();
  return lower == QStringLiteral("info.ini") || lower == QStringLiteral("modules.ini");
}

// A plain file name in the program folder: no folders, no hidden files, no "..".
bool IsSafeName(const QString& name) {
  static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_+-][A-Za-z0-9._+-]{0,127}$"));
  return re.match(name).hasMatch() && !name.contains(QStringLiteral(".."));
}

bool IsSafeHost(const QString& host) {
  static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9._:\\[\\]-]{1,253}$"));
  return re.match(host).hasMatch();
}

// Strips a scheme written into the address ("https://host" for a secure update server).
UpdateServer MakeServer(QString address, int port, const QString& workDir) {
  UpdateServer server;
  if (address.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive)) {
    server.https = true;
    address = address.mid(8);
  } else if (address.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive)) {
    address = address.mid(7);
  }
  while (address.endsWith(QLatin1Char('/'))) address.chop(1);
  server.host = address.trimmed();
  server.port = (port > 0 && port <= 65535) ? port : (server.https ? 443 : 80);
  server.workDir = workDir;
  return server;
}

QString CleanWorkDir(QString dir) {
  dir = dir.trimmed();
  while (dir.startsWith(QLatin1Char('/'))) dir.remove(0, 1);
  while (dir.endsWith(QLatin1Char('/'))) dir.chop(1);
  return dir;
}

}  // namespace

QString UpdateServer::FileUrl(const QString& name) const {
  QUrl url;
  url.setScheme(https ? QStringLiteral("https") : QStringLiteral("http"));
  url.setHost(host);
  url.setPort(port);
  url.setPath(workDir.isEmpty() ? QLatin1Char('/') + name : QLatin1Char('/') + workDir + QLatin1Char('/') + name);
  return url.toString(QUrl::FullyEncoded);
}

QList<UpdateServer> ServersFromInfoIni(const QString& infoIniPath) {
  const CIniFile ini(infoIniPath);
  const QString workDir = CleanWorkDir(ini.GetString(kGeneral, QStringLiteral("WorkDir")));
  QList<UpdateServer> servers;
  int count = ini.GetInt(kGeneral, QStringLiteral("UpSvrCount"), 0);
  if (count > kMaxServers) {
    Log(QStringLiteral("UpSvrCount %1 is too large, only the first %2 servers are used").arg(count).arg(kMaxServers));
    count = kMaxServers;
  }
  for (int n = 1; n <= count; ++n) {
    const QString address = ini.GetString(kGeneral, QStringLiteral("UpSvrAddr%1").arg(n)).trimmed();
    if (address.isEmpty()) continue;
    const UpdateServer server = MakeServer(address, ini.GetInt(kGeneral, QStringLiteral("UpSvrPort%1").arg(n), 0), workDir);
    if (!IsSafeHost(server.host)) {
      Log(QStringLiteral("UpSvrAddr%1 is not a host name: %2").arg(n).arg(address));
      continue;
    }
    servers.append(server);
  }
  if (servers.isEmpty()) {
    // The single-server form writes UpSvrCount 0 and keeps the server in SvrAddr/SvrPort.
    const QString address = ini.GetString(kGeneral, QStringLiteral("SvrAddr")).trimmed();
    if (!address.isEmpty()) {
      const UpdateServer server = MakeServer(address, ini.GetInt(kGeneral, QStringLiteral("SvrPort"), 80), workDir);
      if (IsSafeHost(server.host))
        servers.append(server);
      else
        Log(QStringLiteral("SvrAddr is not a host name: %1").arg(address));
    }
  }
  return servers;
}

std::optional<QList<ManifestEntry>> ParseManifest(const QByteArray& text, QString* error) {
  auto fail = [error](int line, const QString& why) {
    if (error) *error = QStringLiteral("manifest line %1: %2").arg(line).arg(why);
    return std::nullopt;
  };
  if (text.size() > kMaxManifestBytes) {
    if (error) *error = QStringLiteral("manifest larger than %1 bytes").arg(kMaxManifestBytes);
    return std::nullopt;
  }
  if (text.contains('\0')) {
    if (error) *error = QStringLiteral("manifest is not text");
    return std::nullopt;
  }
  static const QRegularExpression hexRe(QStringLiteral("^[0-9A-Fa-f]{64}$"));
  static const QRegularExpression versionRe(QStringLiteral("^[\\x21-\\x7e]{1,64}$"));
  static const QRegularExpression sizeRe(QStringLiteral("^[0-9]{1,12}$"));
  static const QRegularExpression spaceRe(QStringLiteral("[ \\t]+"));
  QList<ManifestEntry> entries;
  QSet<QString> seen;
  const QList<QByteArray> lines = text.split('\n');
  for (int i = 0; i < lines.size(); ++i) {
    const QString line = QString::fromUtf8(lines[i]).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const QStringList fields = line.split(spaceRe, Qt::SkipEmptyParts);
    if (fields.size() != 4) return fail(i + 1, QStringLiteral("expected 4 fields, found %1").arg(fields.size()));
    ManifestEntry entry;
    entry.name = fields[0];
    entry.version = fields[1];
    if (!IsSafeName(entry.name)) return fail(i + 1, QStringLiteral("bad module name"));
    if (IsReservedName(entry.name)) return fail(i + 1, QStringLiteral("%1 is kept by the updater").arg(entry.name));
    if (!versionRe.match(entry.version).hasMatch()) return fail(i + 1, QStringLiteral("bad version"));
    if (!sizeRe.match(fields[2]).hasMatch()) return fail(i + 1, QStringLiteral("bad size"));
    entry.size = fields[2].toLongLong();
    if (entry.size > kMaxModuleBytes) return fail(i + 1, QStringLiteral("module larger than %1 bytes").arg(kMaxModuleBytes));
    if (!hexRe.match(fields[3]).hasMatch()) return fail(i + 1, QStringLiteral("bad sha256"));
    entry.sha256 = QByteArray::fromHex(fields[3].toLatin1());
    if (seen.contains(entry.name.toLower())) return fail(i + 1, QStringLiteral("%1 listed twice").arg(entry.name));
    seen.insert(entry.name.toLower());
    if (entries.size() >= kMaxModules) return fail(i + 1, QStringLiteral("more than %1 modules").arg(kMaxModules));
    entries.append(entry);
  }
  return entries;
}

QString InstalledVersion(const QString& programDir, const QString& name) {
  const QString recorded =
      CIniFile(programDir + QStringLiteral("/modules.ini")).GetString(QStringLiteral("Modules"), name).trimmed();
  if (!recorded.isEmpty() || name != QStringLiteral("HVAgent")) return recorded;
  return CIniFile(programDir + QStringLiteral("/bldinfo.ini")).GetString(kGeneral, QStringLiteral("Version")).trimmed();
}

void RecordInstalledVersion(const QString& programDir, const QString& name, const QString& version) {
  CIniFile(programDir + QStringLiteral("/modules.ini")).SetString(QStringLiteral("Modules"), name, version);
}

QList<ManifestEntry> ChangedModules(const QList<ManifestEntry>& manifest, const QString& programDir) {
  QList<ManifestEntry> changed;
  for (const ManifestEntry& entry : manifest)
    if (InstalledVersion(programDir, entry.name) != entry.version) changed.append(entry);
  return changed;
}

void Log(const QString& line) {
  std::fprintf(stderr, "kxautoup: %s\n", line.toLocal8Bit().constData());
  std::fflush(stderr);
}

}  // namespace hv::updater
