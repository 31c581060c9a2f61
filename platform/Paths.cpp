#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace hv::paths {
namespace {

QString g_programDirOverride;

QString FromEnv(const char* name) {
  return QString::fromLocal8Bit(qgetenv(name));
}

QString Ensure(const QString& dir) {
  QDir().mkpath(dir);
  return QDir::cleanPath(dir);
}

}  // namespace

QString ProgramDir() {
  if (!g_programDirOverride.isEmpty()) return g_programDirOverride;
  const QString env = FromEnv("HV_PROGRAM_DIR");
  if (!env.isEmpty()) return QDir::cleanPath(env);
  if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
  // Without an application object, ask the kernel where the executable lives.
  const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  return exe.isEmpty() ? QDir::currentPath() : QFileInfo(exe).absolutePath();
}

QString ConfigDir() {
  const QString env = FromEnv("HV_CONFIG_DIR");
  if (!env.isEmpty()) return Ensure(env);
  return Ensure(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/helvora"));
}

QString DocumentsDir() {
  const QString env = FromEnv("HV_DOCUMENTS_DIR");
  if (!env.isEmpty()) return Ensure(env);
  QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (docs.isEmpty()) docs = QDir::homePath() + QStringLiteral("/Documents");
  return Ensure(docs);
}

QString RuntimeDir() {
  const QString env = FromEnv("HV_RUNTIME_DIR");
  if (!env.isEmpty()) return Ensure(env);
  // Sockets and locks of this user only: keep others out of our own folder.
  const QString xdg = FromEnv("XDG_RUNTIME_DIR");
  const QString dir = Ensure(xdg.isEmpty() ? QStringLiteral("/tmp/helvora-%1").arg(getuid())
                                           : xdg + QStringLiteral("/helvora"));
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return dir;
}

QString DesktopDir() {
  const QString env = FromEnv("HV_DESKTOP_DIR");
  if (!env.isEmpty()) return Ensure(env);
  QString desk = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (desk.isEmpty()) desk = QDir::homePath() + QStringLiteral("/Desktop");
  return desk;
}

void SetProgramDirForTesting(const QString& dir) { g_programDirOverride = dir; }

}  // namespace hv::paths
