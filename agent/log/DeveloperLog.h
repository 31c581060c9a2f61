#pragma once

#include <QString>

#include <mutex>

// The console's diagnostic log. Off by default; switched on by info.ini or by the service.
// Write is called from every thread; a disabled log costs one flag test per line.
class DeveloperLog {
 public:
  static DeveloperLog& Instance();  // created on first use
  static void Destroy();            // at exit, in the control object's teardown order

  // printf-style; lines are UTF-8 here. Cut at 11263 units (Write) / 22527 bytes (WriteA).
  void Write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void WriteA(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  void SetDebugLog(int enable, bool fromIni);
  void SetDebugLogScap(int enable, bool fromIni);
  void SetLogFileRecord(int value);
  void LoadLogFileRecord();
  void SetRetentionDays(int days);
  void SetFolder(const QString& folder);

  bool Enabled() const { return m_enabled; }
  bool IsOpen() const { return m_open; }
  int FileRecord() const { return m_fileRecord; }
  QString LogName() const;
  QString FilePath() const;

 private:
  DeveloperLog();
  void WriteLine(int level, const char* text);

  mutable std::mutex m_lock;
  volatile bool m_enabled = false;
  bool m_open = false;
  int m_fileRecord = 0;
  QString m_logName;
  QString m_folder;
};

// Short form used everywhere: HVLOG(level, "format", args...)
#define HVLOG(level, ...) \
  do { \
    DeveloperLog& hvLog_ = DeveloperLog::Instance(); \
    if (hvLog_.Enabled()) hvLog_.Write((level), __VA_ARGS__); \
  } while (0)
