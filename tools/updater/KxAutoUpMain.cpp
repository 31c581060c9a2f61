// The updater program the console starts with "-inifile" just before it quits: it waits for the
// console to end, fetches the modules the update server has in a newer version, and starts the
// console again.
//
//   kxautoup -inifile [path] [-wait ms] [-timeout ms]
//
// Without a path, info.ini of the program folder is used.
#include "common/IniFile.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/SingleInstance.h"
#include "tools/updater/UpdateCheck.h"

#include <QCoreApplication>

#include <csignal>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <chrono>

using namespace hv::updater;

namespace {

constexpr int kDefaultWaitMs = 30000;
constexpr int kDefaultTimeoutMs = 120000;

struct Options {
  QString infoIni;
  int waitMs = kDefaultWaitMs;
  int timeoutMs = kDefaultTimeoutMs;
};

Options ParseOptions(const QStringList& args) {
  Options options;
  for (int i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    const bool hasValue = i + 1 < args.size() && !args[i + 1].startsWith(QLatin1Char('-'));
    if (arg.compare(QStringLiteral("-inifile"), Qt::CaseInsensitive) == 0) {
      if (hasValue) options.infoIni = args[++i];
    } else if (arg == QStringLiteral("-wait") && hasValue) {
      options.waitMs = qBound(0, args[++i].toInt(), 600000);
    } else if (arg == QStringLiteral("-timeout") && hasValue) {
      options.timeoutMs = qBound(1000, args[++i].toInt(), 3600000);
    } else {
      Log(QStringLiteral("ignoring argument %1").arg(arg));
    }
  }
  return options;
}

// The console holds the "RemoteAgent" lock while it runs; replacing its files or starting a new
// one before it has quit would be refused by that lock.
bool WaitForConsoleExit(int waitMs) {
  hv::SingleInstanceLock lock;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (lock.TryAcquire()) {
      lock.Release();
      return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    QThread::msleep(100);
  }
}

// Written beside the old file and renamed over it only when size and checksum match, so a broken
// download never replaces a working module.
bool SameContent(const QString& path, const ManifestEntry& entry) {
  QFile file(path);
  if (file.size() != entry.size || !file.open(QIODevice::ReadOnly)) return false;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  return hash.addData(&file) && hash.result() == entry.sha256;
}

bool Download(const UpdateServer& server, const ManifestEntry& entry, const QString& programDir, int timeoutMs) {
  const QString target = programDir + QLatin1Char('/') + entry.name;
  // An all-new update lists every module; the ones already in place need no transfer.
  if (SameContent(target, entry)) {
    Log(QStringLiteral("%1 is already the listed file").arg(entry.name));
    return true;
  }
  const QFileInfo old(target);
  const bool wasExecutable = old.exists() && old.isExecutable();
  QSaveFile file(target);
  if (!file.open(QIODevice::WriteOnly)) {
    Log(QStringLiteral("cannot write %1: %2").arg(target, file.errorString()));
    return false;
  }
  QCryptographicHash hash(QCryptographicHash::Sha256);
  bool writeFailed = false;
  const FetchResult fetched =
      HttpGet(server.FileUrl(entry.name), entry.size,
              std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs),
              [&](const char* data, qsizetype n) {
                hash.addData(QByteArrayView(data, n));
                writeFailed = file.write(data, n) != n;
                return !writeFailed;
              });
  if (!fetched.ok) {
    file.cancelWriting();
    Log(QStringLiteral("download of %1 failed: %2").arg(entry.name, writeFailed ? file.errorString() : fetched.error));
    return false;
  }
  if (file.size() != entry.size || hash.result() != entry.sha256) {
    file.cancelWriting();
    Log(QStringLiteral("download of %1 does not match the manifest (size or sha256), old file kept").arg(entry.name));
    return false;
  }
  if (!file.commit()) {
    Log(QStringLiteral("cannot replace %1: %2").arg(target, file.errorString()));
    return false;
  }
  // Programs and libraries must stay runnable: a new file gets execute rights when it has no
  // extension (a program) or is a shared library.
  if (wasExecutable || !entry.name.contains(QLatin1Char('.')) || entry.name.endsWith(QStringLiteral(".so"))) {
    QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                      QFileDevice::ExeOther | QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ReadOther);
  }
  return true;
}

// AllNewUpdate (the service demanded a new version) fetches every module, not only the changed.
void ApplyUpdates(const QString& infoIni, const QString& programDir, bool allNew, int timeoutMs) {
  const QList<UpdateServer> servers = ServersFromInfoIni(infoIni);
  if (servers.isEmpty()) {
    Log(QStringLiteral("no update server in %1, nothing to fetch").arg(infoIni));
    return;
  }
  const auto manifest =
      FetchManifest(servers, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
  if (!manifest) {
    Log(QStringLiteral("no usable manifest, nothing fetched"));
    return;
  }
  const QList<ManifestEntry> wanted = allNew ? manifest->entries : ChangedModules(manifest->entries, programDir);
  int done = 0;
  for (const ManifestEntry& entry : wanted) {
    if (!Download(manifest->server, entry, programDir, timeoutMs)) continue;
    RecordInstalledVersion(programDir, entry.name, entry.version);
    Log(QStringLiteral("%1 updated to %2").arg(entry.name, entry.version));
    ++done;
  }
  Log(QStringLiteral("%1 of %2 module(s) updated").arg(done).arg(wanted.size()));
}

}  // namespace

int main(int argc, char** argv) {
  // The console that started us may have handed down a pipe that closes when it quits: a log
  // line must never end the update half-way.
  signal(SIGPIPE, SIG_IGN);
  QCoreApplication app(argc, argv);
  const Options options = ParseOptions(QCoreApplication::arguments());
  const QString programDir = hv::paths::ProgramDir();
  const QString infoIni = options.infoIni.isEmpty() ? programDir + QStringLiteral("/info.ini") : options.infoIni;
  Log(QStringLiteral("started in %1 with %2").arg(programDir, infoIni));

  if (WaitForConsoleExit(options.waitMs)) {
    const bool allNew = CIniFile(infoIni).GetInt(QStringLiteral("General"), QStringLiteral("AllNewUpdate"), 0) == 1;
    ApplyUpdates(infoIni, programDir, allNew, options.timeoutMs);
  } else {
    // Files of a running console are left alone; the new start below hands over to it.
    Log(QStringLiteral("the console is still running after %1 ms, no files replaced").arg(options.waitMs));
  }
  // Done once, whatever came of it: the next request sets it again.
  CIniFile(infoIni).SetString(QStringLiteral("General"), QStringLiteral("AllNewUpdate"), QString());

  const QString console = programDir + QStringLiteral("/HVAgent");
  if (!QFileInfo(console).isExecutable()) {
    Log(QStringLiteral("no console program at %1").arg(console));
    return 2;
  }
  qint64 pid = 0;
  if (!hv::StartDetached(console, {}, programDir, &pid)) {
    Log(QStringLiteral("cannot start %1").arg(console));
    return 1;
  }
  Log(QStringLiteral("console restarted (pid %1)").arg(pid));
  return 0;
}
