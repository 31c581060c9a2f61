#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What the updater module and the updater program share: where the update server is (from the
// update-server keys the console writes into info.ini), what its manifest says, and which of the
// listed modules differ from the installed ones.
//
// The manifest is "manifest.txt" in the server's work folder: UTF-8 text, one module a line,
//   <name> <version> <size> <sha256>
// separated by spaces or tabs; blank lines and lines starting with "#" are ignored. The module
// file itself is served next to the manifest under its name. docs/updater.md has the details.
namespace hv::updater {

constexpr qsizetype kMaxManifestBytes = 64 * 1024;
constexpr int kMaxModules = 256;
constexpr qint64 kMaxModuleBytes = 256LL * 1024 * 1024;
// UpSvrCount comes from the service; more entries than this are not believed.
constexpr int kMaxServers = 16;

struct UpdateServer {
  bool https = false;
  QString host;
  int port = 80;
  QString workDir;  // without leading or trailing "/"

  QString ManifestUrl() const { return FileUrl(QStringLiteral("manifest.txt")); }
  QString FileUrl(const QString& name) const;
};

struct ManifestEntry {
  QString name;
  QString version;
  qint64 size = 0;
  QByteArray sha256;  // 32 raw bytes
};

// The update servers named in info.ini, in the order to try: UpSvrAddr1..UpSvrAddr<UpSvrCount>,
// else the single server SvrAddr/SvrPort. Empty when none is configured.
QList<UpdateServer> ServersFromInfoIni(const QString& infoIniPath);

// The whole manifest or nothing: one bad line rejects it, so a damaged file never causes a partial
// update. *error says why.
std::optional<QList<ManifestEntry>> ParseManifest(const QByteArray& text, QString* error);

// The installed version of a module: modules.ini [Modules] <name> in the program folder; for the
// console ("HVAgent") bldinfo.ini [General] Version when modules.ini does not name it.
QString InstalledVersion(const QString& programDir, const QString& name);
void RecordInstalledVersion(const QString& programDir, const QString& name, const QString& version);

// The modules whose version differs from the installed one (never installed counts as differing).
QList<ManifestEntry> ChangedModules(const QList<ManifestEntry>& manifest, const QString& programDir);

// One line to stderr with the "kxautoup: " prefix; the updater has no developer log of its own.
void Log(const QString& line);

}  // namespace hv::updater
