#pragma once

// Runs the real console against the real service simulator, each in its own process, and lets a
// test act on them from outside only: the simulator's control pages, the console's message bus
// and its developer log. Everything a test starts ends with the objects below.

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <utility>

namespace e2e {

// hvsim with one SessionServer. Its stdin stays open as a lifeline, and --lifetime guards a
// test binary that dies without running destructors.
class Simulator {
 public:
  Simulator();
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  bool Started() const { return m_http != 0; }
  QString Error() const { return m_error; }
  int HttpPort() const { return m_http; }

  // One HTTP exchange with the control interface; the answer body as JSON (null on failure).
  QJsonValue Call(const QByteArray& method, const QString& path, const QJsonObject& body = {});
  bool Configure(const QJsonObject& config);
  QJsonArray Requests();
  // Requests whose path ends with this page name, in order.
  QJsonArray RequestsTo(const QString& page);
  QJsonObject SessionServer(const QString& action, const QJsonObject& args = {});

 private:
  QProcess m_proc;
  int m_http = 0;
  QString m_error;
};

// A console in a sandbox of its own: a private program folder (the staged files and an info.ini
// that points at the simulator), private config, documents, runtime and desktop folders.
class Console {
 public:
  explicit Console(int authPort);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Stored settings the console reads at start: the do-not-ask-again bits (0x1 logout question,
  // 0x2 close question) and the auto-logout minutes. Call before Start.
  void WriteSettings(int doNotSeeAgain, int autoCloseMinutes = 0);
  void SetEnv(const QString& name, const QString& value) { m_env.insert(name, value); }
  // One value of the program folder's info.ini. Call before Start.
  void SetInfo(const QString& section, const QString& key, const QString& value);

  bool Start(const QStringList& args);
  bool Running() const { return m_proc.state() != QProcess::NotRunning; }
  bool WaitExit(int timeoutMs);
  int ExitCode() const { return m_proc.exitCode(); }
  QProcess::ExitStatus ExitStatus() const { return m_proc.exitStatus(); }

  // The developer log of this console (all files), and what the process wrote on stdout/stderr.
  QString Log() const;
  QString Output() const;
  // Waits until the log holds needle at or after position from (a length of Log()).
  bool WaitLog(const QString& needle, int timeoutMs, qsizetype from = 0) const;
  qsizetype CountLog(const QString& needle, qsizetype from = 0) const;

  // Posts a message to the console's bus window ("Helvora Agent"); false when not delivered.
  bool Post(quint32 msg, quint64 wParam = 0);

  QString ConfigDir() const { return m_env.value(QStringLiteral("HV_CONFIG_DIR")); }

 private:
  void WriteInfoIni() const;

  QTemporaryDir m_root;
  QProcessEnvironment m_env;
  QList<std::pair<QString, QList<std::pair<QString, QString>>>> m_info;
  QProcess m_proc;
};

// The text of a key in the staged English language file, as the console would show it.
QString LanguageText(const QString& key);

// The auto-login hand-over the console accepts as one command-line argument.
QString AutoLoginArg(const QString& id, const QString& password);

// The line the main window logs for every message box it shows.
QString MessageBoxLine(int style, const QString& text);

}  // namespace e2e
