#include "agent/log/DeveloperLog.h"

#include "common/IniFile.h"
#include "platform/LogSink.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

DeveloperLog* g_log = nullptr;
std::mutex g_instanceLock;

const QString kSection = QStringLiteral("LOG");

void SinkToDeveloperLog(int level, const QString& line) {
  DeveloperLog& log = DeveloperLog::Instance();
  if (log.Enabled()) log.WriteText(level, line);
}

CIniFile InfoIni() { return CIniFile::InProgramDir(QStringLiteral("info.ini")); }

}  // namespace

DeveloperLog& DeveloperLog::Instance() {
  std::lock_guard<std::mutex> g(g_instanceLock);
  if (!g_log) {
    g_log = new DeveloperLog();
    hv::SetLogSink(&SinkToDeveloperLog);
  }
  return *g_log;
}

void DeveloperLog::Destroy() {
  std::lock_guard<std::mutex> g(g_instanceLock);
  hv::SetLogSink(nullptr);
  delete g_log;
  g_log = nullptr;
}

DeveloperLog::DeveloperLog() = default;
DeveloperLog::~DeveloperLog() = default;

void DeveloperLog::Write(int level, const char* format, ...) {
  if (!Enabled()) return;
  char buf[22528];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  QString line = QString::fromUtf8(buf);
  if (line.size() > kMaxLineUnits) line.truncate(kMaxLineUnits);
  WriteLine(level, line);
}

void DeveloperLog::WriteA(int level, const char* format, ...) {
  if (!Enabled()) return;
  char buf[22528];  // vsnprintf already cuts at 22527 bytes plus the terminator
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  WriteLine(level, QString::fromUtf8(buf));
}

void DeveloperLog::WriteText(int level, const QString& line) {
  if (!Enabled()) return;
  WriteLine(level, line.size() > kMaxLineUnits ? line.left(kMaxLineUnits) : line);
}

QString DeveloperLog::Mask(const QString& line) const {
  static const QRegularExpression kField(
      QStringLiteral("\\b(password|passwd|pwd|newpassword|oldpassword|encurid|agentId)=([^&\\s]*)"),
      QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression kTag(QStringLiteral("<ENCURID>[^<]*</ENCURID>"));
  QString out = line;
  out.replace(kField, QStringLiteral("\\1=****"));
  out.replace(kTag, QStringLiteral("<ENCURID>****</ENCURID>"));
  QStringList secrets;
  {
    std::lock_guard<std::mutex> g(m_lock);
    secrets = m_secrets;
  }
  for (const QString& s : secrets) out.replace(s, QStringLiteral("****"));
  return out;
}

void DeveloperLog::AddSecret(const QString& value) {
  if (value.size() < 3) return;
  std::lock_guard<std::mutex> g(m_lock);
  if (!m_secrets.contains(value)) m_secrets.append(value);
}

void DeveloperLog::ForgetSecrets() {
  std::lock_guard<std::mutex> g(m_lock);
  m_secrets.clear();
}

bool DeveloperLog::OpenFileLocked() {
  if (m_file.isOpen()) return true;
  if (m_logName.isEmpty()) return false;
  QDir().mkpath(Folder());
  m_file.setFileName(QDir(Folder()).filePath(m_logName + QStringLiteral(".log")));
  if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
    fprintf(stderr, "DeveloperLog: cannot open %s\n", qPrintable(m_file.fileName()));
    return false;
  }
  return true;
}

void DeveloperLog::WriteLine(int level, const QString& text) {
  const QString masked = Mask(text);
  const QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8() +
                          " [" + QByteArray::number(level & 0xFFFF) + "] " + masked.toUtf8() + '\n';
  std::lock_guard<std::mutex> g(m_lock);
  if (!m_open || m_logName.isEmpty() || !Enabled()) return;
  // The debugger output of this platform: stderr, only when asked for, so tests stay quiet.
  static const bool toStderr = qEnvironmentVariableIntValue("HV_LOG_STDERR") != 0;
  if (toStderr) fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
  if (!OpenFileLocked()) return;
  m_file.write(line);
  m_file.flush();  // a crash must not swallow the lines that lead up to it
}

void DeveloperLog::SetDebugLog(int enable, bool fromIni) {
  CIniFile ini = InfoIni();
  const int localLevel = ini.GetInt(kSection, QStringLiteral("LOGLEVEL"), 0);
  if (!fromIni && localLevel != 0) return;  // the local setting wins over the service
  const int effective = fromIni ? localLevel : enable;

  if (effective != 0) {
    {
      std::lock_guard<std::mutex> g(m_lock);
      // One file per run: switching on again within the same run keeps writing to it.
      if (!m_open) {
        m_logName = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss")) +
                    QStringLiteral("_Agent");
        m_open = true;
      }
      m_enabled.store(true);
    }
    ini.SetInt(kSection, QStringLiteral("DEBUG"), 1);
    for (const QString& key : {QStringLiteral("SELEVEL"), QStringLiteral("SDLEVEL")}) {
      if (!fromIni || ini.GetString(kSection, key) == QLatin1String("0x0000")) ini.DeleteKey(kSection, key);
    }
  } else {
    m_enabled.store(false);
    ini.SetInt(kSection, QStringLiteral("DEBUG"), 0);
    ini.SetString(kSection, QStringLiteral("SELEVEL"), QStringLiteral("0x0000"));
    ini.SetString(kSection, QStringLiteral("SDLEVEL"), QStringLiteral("0x0000"));
  }
}

void DeveloperLog::SetDebugLogScap(int enable, bool fromIni) {
  CIniFile ini = InfoIni();
  const int localLevel = ini.GetInt(kSection, QStringLiteral("LOGLEVEL"), 0);
  if (!fromIni && localLevel != 0) return;
  const int effective = fromIni ? localLevel : enable;
  if (effective != 0) {
    ini.SetInt(kSection, QStringLiteral("DEBUG"), 1);
    const struct { const char* level; const char* file; } pairs[] = {
        {"ScapEncLevel", "EnableSCapEncLogfile"}, {"SCapDecLevel", "EnableSCapDecLogfile"}};
    for (const auto& p : pairs) {
      const QString levelKey = QString::fromLatin1(p.level);
      if (!fromIni || ini.GetString(kSection, levelKey) == QLatin1String("7")) {
        ini.SetInt(kSection, QString::fromLatin1(p.file), 1);
        ini.SetInt(kSection, levelKey, 2);
      }
    }
  } else {
    ini.SetInt(kSection, QStringLiteral("DEBUG"), 0);
    ini.SetInt(kSection, QStringLiteral("ScapEncLevel"), 7);
    ini.SetInt(kSection, QStringLiteral("SCapDecLevel"), 7);
    ini.SetInt(kSection, QStringLiteral("EnableSCapEncLogfile"), 0);
    ini.SetInt(kSection, QStringLiteral("EnableSCapDecLogfile"), 0);
  }
}

void DeveloperLog::SetLogFileRecord(int value) {
  m_fileRecord = value;
  InfoIni().SetInt(kSection, QStringLiteral("AGENTLOGFILERECORD"), value);
}

void DeveloperLog::LoadLogFileRecord() {
  m_fileRecord = InfoIni().GetInt(kSection, QStringLiteral("AGENTLOGFILERECORD"), 0);
}

void DeveloperLog::SetRetentionDays(int days) {
  if (days < 1) days = 30;
  m_retentionDays = days;
  const QDateTime limit = QDateTime::currentDateTime().addDays(-days);
  QString current;
  {
    std::lock_guard<std::mutex> g(m_lock);
    current = m_file.fileName();
  }
  // Only our own files ("<14 digits>_Agent.log"); anything else in the document folder stays.
  static const QRegularExpression kOwn(QStringLiteral("^\\d{14}_Agent\\.log$"));
  const QFileInfoList files = QDir(Folder()).entryInfoList({QStringLiteral("*_Agent.log")}, QDir::Files);
  for (const QFileInfo& fi : files) {
    if (!kOwn.match(fi.fileName()).hasMatch() || fi.absoluteFilePath() == QFileInfo(current).absoluteFilePath())
      continue;
    if (fi.lastModified() < limit) QFile::remove(fi.absoluteFilePath());
  }
}

void DeveloperLog::SetFolder(const QString& folder) {
  std::lock_guard<std::mutex> g(m_lock);
  if (folder == m_folder) return;
  m_folder = folder;
  if (m_file.isOpen()) m_file.close();  // the next line opens the file in the new folder
}

QString DeveloperLog::Folder() const {
  return m_folder.isEmpty() ? hv::paths::DocumentsDir() : m_folder;
}

QString DeveloperLog::LogName() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_logName;
}

QString DeveloperLog::FilePath() const {
  std::lock_guard<std::mutex> g(m_lock);
  if (m_logName.isEmpty()) return QString();
  return QDir(m_folder.isEmpty() ? hv::paths::DocumentsDir() : m_folder).filePath(m_logName + QStringLiteral(".log"));
}
