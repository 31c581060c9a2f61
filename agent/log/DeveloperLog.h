#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>

// The console's diagnostic log. Off by default; switched on by info.ini or by the service.
// Write is called from every thread; a disabled log costs one flag test per line.
//
// Lines go to a file named after LogName ("<start time>_Agent.log") in the folder given by
// SetFolder (the document folder; the documents folder of platform/Paths.h until then).
// Passwords and session tokens never reach the file in clear: every line is masked first.
class DeveloperLog {
 public:
  static DeveloperLog& Instance();  // created on first use; installs itself as the platform log sink
  static void Destroy();            // at exit, in the control object's teardown order

  // Lines are cut at this many UTF-16 units (Write) or bytes (WriteA), terminator excluded.
  static constexpr int kMaxLineUnits = 11263;
  static constexpr int kMaxLineBytes = 22527;

  // printf-style; lines are UTF-8 here. Cut at 11263 units (Write) / 22527 bytes (WriteA).
  void Write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void WriteA(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // An already formatted line (used by the platform log sink and the web client).
  void WriteText(int level, const QString& line);

  // The switching of the log by info.ini (fromIni) and by the service; see the .cpp.
  void SetDebugLog(int enable, bool fromIni);
  void SetDebugLogScap(int enable, bool fromIni);
  void SetLogFileRecord(int value);
  void LoadLogFileRecord();
  // Deletes this console's log files in the folder that are older than days (below 1 -> 30).
  void SetRetentionDays(int days);
  void SetFolder(const QString& folder);

  // A value that must never appear in clear (the agent's password, its encrypted form, the
  // session token). Values shorter than 3 characters are ignored: masking them would garble
  // ordinary text. ForgetSecrets clears the list at logout.
  void AddSecret(const QString& value);
  void ForgetSecrets();
  // The line as it would be written: "password=", "encurid=", "agentId=" values and the
  // <ENCURID> tag are starred out, and so is every registered secret.
  QString Mask(const QString& line) const;

  bool Enabled() const { return m_enabled.load(std::memory_order_relaxed); }
  bool IsOpen() const { return m_open; }
  int FileRecord() const { return m_fileRecord; }
  int RetentionDays() const { return m_retentionDays; }
  QString LogName() const;
  QString FilePath() const;
  QString Folder() const;

 private:
  DeveloperLog();
  ~DeveloperLog();
  void WriteLine(int level, const QString& text);
  bool OpenFileLocked();

  mutable std::mutex m_lock;
  std::atomic<bool> m_enabled{false};
  bool m_open = false;
  int m_fileRecord = 0;
  int m_retentionDays = 30;
  QString m_logName;
  QString m_folder;
  QFile m_file;
  QStringList m_secrets;
};

// Short form used everywhere: HVLOG(level, "format", args...)
#define HVLOG(level, ...) \
  do { \
    DeveloperLog& hvLog_ = DeveloperLog::Instance(); \
    if (hvLog_.Enabled()) hvLog_.Write((level), __VA_ARGS__); \
  } while (0)
