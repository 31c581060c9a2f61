#include "platform/Process.h"

#include "platform/LogSink.h"

#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace hv {
namespace {

QString Opener() {
  const QString env = QString::fromLocal8Bit(qgetenv("HV_OPENER"));
  return env.isEmpty() ? QStringLiteral("xdg-open") : env;
}

}  // namespace

bool StartDetached(const QString& program, const QStringList& arguments,
                   const QString& workingDir, qint64* pid) {
  qint64 started = 0;
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  if (!workingDir.isEmpty()) process.setWorkingDirectory(workingDir);
  const bool ok = process.startDetached(&started);
  if (pid) *pid = ok ? started : 0;
  if (!ok)
    PlatformLog(3, QStringLiteral("StartDetached: cannot start %1 (%2)")
                       .arg(program, process.errorString()));
  return ok;
}

bool OpenUrl(const QString& url) {
  const QUrl parsed(url);
  if (url.isEmpty() || !parsed.isValid() || parsed.scheme().isEmpty()) {
    PlatformLog(3, QStringLiteral("OpenUrl: not an address: %1").arg(url));
    return false;
  }
  // Passed as one argument, never through a shell, so the address cannot add commands.
  return StartDetached(Opener(), {parsed.toString(QUrl::FullyEncoded)});
}

bool OpenFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) {
    PlatformLog(3, QStringLiteral("OpenFile: no such file: %1").arg(path));
    return false;
  }
  return StartDetached(Opener(), {info.absoluteFilePath()});
}

}  // namespace hv
