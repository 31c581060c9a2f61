#include "tools/updater/UpdateCheck.h"

#include <QFileInfo>

namespace hv::updater {

std::optional<ServerManifest> FetchManifest(const QList<UpdateServer>& servers, Deadline deadline) {
  for (const UpdateServer& server : servers) {
    QByteArray body;
    const FetchResult fetched = HttpGetBytes(server.ManifestUrl(), kMaxManifestBytes, deadline, &body);
    if (!fetched.ok) {
      Log(QStringLiteral("no manifest: %1").arg(fetched.error));
      continue;
    }
    QString error;
    std::optional<QList<ManifestEntry>> entries = ParseManifest(body, &error);
    if (!entries) {
      Log(QStringLiteral("broken manifest from %1: %2").arg(server.ManifestUrl(), error));
      continue;
    }
    return ServerManifest{server, *entries};
  }
  return std::nullopt;
}

int CountUpdates(const QString& infoIniPath, int timeoutMs) {
  if (infoIniPath.isEmpty()) {
    Log(QStringLiteral("no info.ini given, no update"));
    return 0;
  }
  const QList<UpdateServer> servers = ServersFromInfoIni(infoIniPath);
  if (servers.isEmpty()) {
    Log(QStringLiteral("no update server in %1, no update").arg(infoIniPath));
    return 0;
  }
  const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const std::optional<ServerManifest> manifest = FetchManifest(servers, deadline);
  if (!manifest) {
    Log(QStringLiteral("update check failed, no update"));
    return 0;
  }
  // The console's info.ini lies in its program folder, beside the installed modules.
  const QString programDir = QFileInfo(infoIniPath).absolutePath();
  const int changed = static_cast<int>(ChangedModules(manifest->entries, programDir).size());
  Log(QStringLiteral("%1 of %2 module(s) to update from %3")
          .arg(changed)
          .arg(manifest->entries.size())
          .arg(manifest->server.ManifestUrl()));
  return changed;
}

}  // namespace hv::updater
