#include "agent/config/ProgramSetup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QStandardPaths>

#include "agent/config/AgentRegistry.h"
#include "agent/log/DeveloperLog.h"
#include "common/IniFile.h"
#include "platform/Paths.h"

#ifndef HV_PRODUCT_VERSION
#define HV_PRODUCT_VERSION ""
#endif

namespace hv::config {
namespace {

QString ProgramDirOr(const QString& dir) { return dir.isEmpty() ? hv::paths::ProgramDir() : dir; }

// A value of a desktop entry: backslash and line breaks escaped (freedesktop rules).
QString DesktopValue(QString v) {
  v.replace(u'\\', QLatin1String("\\\\"));
  v.replace(u'\n', QLatin1String("\\n"));
  v.replace(u'\r', QLatin1String("\\r"));
  return v;
}

// An Exec argument: quoted, with the characters the quoting rules name escaped.
QString ExecArgument(const QString& path) {
  QString q;
  for (const QChar c : path) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') q += u'\\';
    q += c;
  }
  return u'"' + q + u'"';
}

bool WriteLauncher(const QString& file, const QString& program, const QString& icon) {
  QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\nName=Helvora\nComment=Helvora\n");
  text += QStringLiteral("Exec=") + DesktopValue(ExecArgument(program)) + u'\n';
  text += QStringLiteral("Path=") + DesktopValue(QFileInfo(program).absolutePath()) + u'\n';
  if (QFileInfo::exists(icon)) text += QStringLiteral("Icon=") + DesktopValue(icon) + u'\n';
  text += QStringLiteral("Terminal=false\nCategories=Network;RemoteAccess;\n");
  QDir().mkpath(QFileInfo(file).absolutePath());
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit()) return false;
  // Desktops only start launchers that are marked executable.
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
  return true;
}

QString MenuDir() {
  const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  const QString base = dataHome.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : dataHome;
  return base + QStringLiteral("/applications/KESTRIX/Helvora");
}

// Exec= of a desktop entry, reduced to its program (field codes and arguments dropped).
QString ProgramOfDesktopEntry(const QString& desktopId) {
  QStringList dirs;
  const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  dirs << (dataHome.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : dataHome);
  const QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
  dirs << dataDirs.split(u':', Qt::SkipEmptyParts);
  for (const QString& d : std::as_const(dirs)) {
    const QString file = d + QStringLiteral("/applications/") + desktopId;
    if (!QFileInfo::exists(file)) continue;
    QString exec = CIniFile(file).GetString(QStringLiteral("Desktop Entry"), QStringLiteral("Exec"));
    exec = exec.trimmed();
    QString program;
    if (exec.startsWith(u'"')) {
      program = exec.mid(1, exec.indexOf(u'"', 1) - 1);
    } else {
      program = exec.section(u' ', 0, 0);
    }
    const QString found = QFileInfo(program).isAbsolute() ? program : QStandardPaths::findExecutable(program);
    if (!found.isEmpty()) return found;
  }
  return QString();
}

}  // namespace

QString DefaultDocPath(const QString& productKey) {
  QString path = QDir(hv::paths::DocumentsDir()).filePath(QStringLiteral("Kestrix"));
  if (!productKey.isEmpty()) path += u'/' + productKey;
  return path + u'/';
}

QString InitDocPath(CAgentRegistry& reg) {
  if (reg.m_strDocPath.isEmpty()) {
    const QString path = DefaultDocPath(reg.ProductKey());
    if (!QDir().mkpath(path)) HVLOG(3, "InitDocPath : cannot create %s", path.toUtf8().constData());
    reg.m_strDocPath = path;
  }
  DeveloperLog::Instance().SetFolder(reg.m_strDocPath);
  return reg.m_strDocPath;
}

QString LoadVersion(const QString& programDir) {
  const QString version = CIniFile(QDir(ProgramDirOr(programDir)).filePath(QStringLiteral("bldinfo.ini")))
                              .GetString(QStringLiteral("General"), QStringLiteral("Version"));
  if (!version.isEmpty()) return version;
  // There is no version resource in a program file here; the build's own version stands in.
  const QStringList parts = QString::fromLatin1(HV_PRODUCT_VERSION).split(u'.', Qt::SkipEmptyParts);
  if (parts.isEmpty()) return QString();
  QStringList four = parts.mid(0, 4);
  while (four.size() < 4) four << QStringLiteral("0");
  return four.join(u'.');
}

bool RefreshDesktopShortcut(const QString& programDir) {
  const QString dir = ProgramDirOr(programDir);
  CIniFile ini(QDir(dir).filePath(QStringLiteral("info.ini")));
  if (ini.GetInt(QStringLiteral("General"), QStringLiteral("AgentIconReflash"), 0) == 1) return false;
  const QString program = QDir(dir).filePath(QStringLiteral("HVAgent"));
  if (!QFileInfo::exists(program)) return false;
  const QString icon = QDir(dir).filePath(QStringLiteral("Images/128.png"));
  const QString desktop = QDir(hv::paths::DesktopDir()).filePath(QStringLiteral("Helvora.desktop"));
  if (!WriteLauncher(desktop, program, icon)) {
    HVLOG(3, "RefreshDesktopShortcut : cannot write %s", desktop.toUtf8().constData());
    return false;
  }
  const QString menu = MenuDir() + QStringLiteral("/Helvora.desktop");
  if (QFileInfo::exists(menu)) WriteLauncher(menu, program, icon);
  ini.SetInt(QStringLiteral("General"), QStringLiteral("AgentIconReflash"), 1);
  return true;
}

QString GetBrowserPath() {
  // $BROWSER is the user's explicit choice; then the desktop's handler for web addresses.
  const QString env = qEnvironmentVariable("BROWSER").section(u':', 0, 0).trimmed();
  if (!env.isEmpty()) {
    const QString found = QFileInfo(env).isAbsolute() ? env : QStandardPaths::findExecutable(env);
    if (!found.isEmpty()) return found;
  }
  const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
  const QString id = CIniFile(configHome + QStringLiteral("/mimeapps.list"))
                         .GetString(QStringLiteral("Default Applications"), QStringLiteral("x-scheme-handler/http"))
                         .section(u';', 0, 0);
  if (!id.isEmpty()) {
    const QString found = ProgramOfDesktopEntry(id);
    if (!found.isEmpty()) return found;
  }
  return QStandardPaths::findExecutable(QStringLiteral("x-www-browser"));
}

}  // namespace hv::config
