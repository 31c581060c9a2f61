#pragma once

#include "tools/updater/HttpFetch.h"
#include "tools/updater/UpdateManifest.h"

#include <optional>

namespace hv::updater {

struct ServerManifest {
  UpdateServer server;  // the server that answered; its modules are fetched from it too
  QList<ManifestEntry> entries;
};

// Asks each server in turn for its manifest until one gives a sound one. Every failure is logged;
// the deadline covers all servers together.
std::optional<ServerManifest> FetchManifest(const QList<UpdateServer>& servers, Deadline deadline);

// The number of modules to update for the console's info.ini; 0 whenever that cannot be known
// (no server configured, no answer, a broken manifest), so the agent can still work.
int CountUpdates(const QString& infoIniPath, int timeoutMs);

}  // namespace hv::updater
