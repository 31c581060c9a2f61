// Minimal body so the tree links; the full log (info.ini switching, files, retention) replaces it.
#include "agent/log/DeveloperLog.h"

#include <cstdarg>
#include <cstdio>

namespace {
DeveloperLog* g_log = nullptr;
}

DeveloperLog& DeveloperLog::Instance() {
  if (!g_log) g_log = new DeveloperLog();
  return *g_log;
}

void DeveloperLog::Destroy() {
  delete g_log;
  g_log = nullptr;
}

DeveloperLog::DeveloperLog() = default;

void DeveloperLog::Write(int level, const char* format, ...) {
  if (!m_enabled) return;
  char buf[22528];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  WriteLine(level, buf);
}

void DeveloperLog::WriteA(int level, const char* format, ...) {
  if (!m_enabled) return;
  char buf[22528];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  WriteLine(level, buf);
}

void DeveloperLog::WriteLine(int level, const char* text) {
  std::lock_guard<std::mutex> g(m_lock);
  fprintf(stderr, "[%d] %s\n", level, text);
}

void DeveloperLog::SetDebugLog(int enable, bool) { m_enabled = enable != 0; m_open = m_enabled; }
void DeveloperLog::SetDebugLogScap(int, bool) {}
void DeveloperLog::SetLogFileRecord(int value) { m_fileRecord = value; }
void DeveloperLog::LoadLogFileRecord() {}
void DeveloperLog::SetRetentionDays(int) {}
void DeveloperLog::SetFolder(const QString& folder) { m_folder = folder; }
QString DeveloperLog::LogName() const { return m_logName; }
QString DeveloperLog::FilePath() const { return m_folder + QLatin1Char('/') + m_logName; }
