// The whole update road with the real programs: the console finds an update at start, starts the
// updater and quits; the updater waits for it, records the new version and starts it again; the
// new console finds nothing more and shows its login window.
#include "tests/tools/simulator/HvsimProcess.h"

#include "common/IniFile.h"
#include "platform/MessageBus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace {

QString StageFile(const char* path) { return QFileInfo(QString::fromUtf8(path)).absoluteFilePath(); }

// A private program folder with copies of the staged console, updater and updater module, and
// private user folders, so the console and the updater never touch anything real.
class UpdateSandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_root.isValid());
    m_prog = QDir(m_root.path()).canonicalPath() + QStringLiteral("/program");
    ASSERT_TRUE(QDir().mkpath(m_prog));
    const QString stage = QFileInfo(StageFile(HV_AGENT_PATH)).absolutePath();
    for (const QString& file : {StageFile(HV_AGENT_PATH), StageFile(HV_KXAUTOUP_PROGRAM), StageFile(HV_KXAUTOUP_MODULE),
                                stage + QStringLiteral("/bldinfo.ini")})
      ASSERT_TRUE(QFile::copy(file, m_prog + QLatin1Char('/') + QFileInfo(file).fileName())) << qPrintable(file);
    ASSERT_TRUE(QFile::link(stage + QStringLiteral("/Languages"), m_prog + QStringLiteral("/Languages")));
    ASSERT_TRUE(QFile::link(stage + QStringLiteral("/Images"), m_prog + QStringLiteral("/Images")));

    m_env = QProcessEnvironment::systemEnvironment();
    // The module's libcurl would send the loopback requests to a proxy named in the environment.
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
      m_env.remove(QString::fromLatin1(name));
    m_env.insert(QStringLiteral("HV_PROGRAM_DIR"), m_prog);
    for (const char* name : {"HV_CONFIG_DIR", "HV_DOCUMENTS_DIR", "HV_RUNTIME_DIR", "HV_DESKTOP_DIR"})
      m_env.insert(QString::fromLatin1(name), m_root.path() + QLatin1Char('/') + QString::fromLatin1(name).mid(3).toLower());
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_env.insert(QStringLiteral("HV_OPENER"), QStringLiteral("/bin/true"));
    // The test looks for the console's window on the same message bus.
    qputenv("HV_RUNTIME_DIR", m_env.value(QStringLiteral("HV_RUNTIME_DIR")).toUtf8());
  }

  void TearDown() override {
    // Whatever went wrong, no console or updater of this sandbox outlives the test.
    for (int round = 0; round < 2; ++round) {
      for (const qint64 pid : SandboxProcesses()) ::kill(pid_t(pid), round == 0 ? SIGTERM : SIGKILL);
      if (!QTest::qWaitFor([this] { return SandboxProcesses().isEmpty(); }, 5000)) continue;
      break;
    }
  }

  void WriteInfoIni(int autoUpdate, int port) {
    QFile ini(m_prog + QStringLiteral("/info.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    // The update keys as the console writes them after a sign-in against this server.
    ini.write(QStringLiteral("[General]\nautoUpdate=%1\nAgentReconnect=1\nUpSvrCount=1\nUpSvrAddr1=127.0.0.1\n"
                             "UpSvrPort1=%2\nUpSvrType1=0\nSvrAddr=127.0.0.1\nSvrPort=%2\nWorkDir=update\n"
                             "[AuthInfo]\nAuthAddr=127.0.0.1\nAuthPort=%2\n[LOG]\nLOGLEVEL=1\n")
                  .arg(autoUpdate)
                  .arg(port)
                  .toUtf8());
  }

  // stdout and stderr go to a file: the updater inherits them and must not write into a pipe
  // that closes when the first console has gone.
  void StartConsole(QProcess& console) {
    console.setProcessEnvironment(m_env);
    console.setStandardOutputFile(OutputPath(), QIODevice::Append);
    console.setStandardErrorFile(OutputPath(), QIODevice::Append);
    console.setWorkingDirectory(m_prog);
    console.start(m_prog + QStringLiteral("/HVAgent"), {});
    ASSERT_TRUE(console.waitForStarted(10000));
  }

  QString OutputPath() const { return m_root.path() + QStringLiteral("/output.txt"); }

  // The developer log of every console of the sandbox (one file per run).
  QString Log() const {
    QString all;
    QDirIterator it(m_env.value(QStringLiteral("HV_DOCUMENTS_DIR")) + QStringLiteral("/Kestrix/Helvora"), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile f(it.next());
      if (f.open(QIODevice::ReadOnly)) all += QString::fromUtf8(f.readAll());
    }
    return all;
  }
  // The log and what the console and the updater printed, for failure messages.
  QString Diagnostics() const {
    QFile out(OutputPath());
    return Log() + QStringLiteral("\n--- output ---\n") +
           (out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()) : QString());
  }

  // Processes that run a program of the sandbox's program folder.
  QList<qint64> SandboxProcesses(const QString& program = QString()) const {
    QList<qint64> pids;
    const QStringList names = program.isEmpty() ? QStringList{QStringLiteral("HVAgent"), QStringLiteral("kxautoup")}
                                                : QStringList{program};
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      bool numeric = false;
      const qint64 pid = entry.toLongLong(&numeric);
      if (!numeric) continue;
      const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(entry));
      for (const QString& name : names)
        if (exe == m_prog + QLatin1Char('/') + name) pids.append(pid);
    }
    return pids;
  }

  static int Count(const QString& text, const QString& what) { return int(text.count(what)); }

  static int UpdateRequests(const HvsimProcess& sim, const QString& path) {
    int n = 0;
    for (const QJsonValue& r : sim.Requests())
      if (r.toObject().value(QStringLiteral("path")).toString() == path) ++n;
    return n;
  }

  static QString Raised(const QString& version) {
    QStringList parts = version.split(QLatin1Char('.'));
    parts.last() = QString::number(parts.last().toInt() + 1);
    return parts.join(QLatin1Char('.'));
  }

  QTemporaryDir m_root{QDir::tempPath() + QStringLiteral("/hv-update-e2e-XXXXXX")};
  QString m_prog;
  QProcessEnvironment m_env;
};

TEST_F(UpdateSandbox, ConsoleUpdatesItselfAndComesBackToTheLogin) {
  HvsimProcess sim;
  ASSERT_TRUE(sim.Ok());
  const QString staged = sim.Ports().value(QStringLiteral("update_version")).toString();
  ASSERT_FALSE(staged.isEmpty()) << "hvsim offers no console";
  const QString bumped = Raised(staged);
  ASSERT_EQ(sim.Config(QStringLiteral(R"({"update_version": "%1"})").arg(bumped).toUtf8()).status, 200);
  WriteInfoIni(1, sim.Port());
  const QByteArray consoleBytes = [&] {
    QFile f(m_prog + QStringLiteral("/HVAgent"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();

  QProcess first;
  StartConsole(first);
  const qint64 firstPid = first.processId();
  ASSERT_TRUE(first.waitForFinished(60000)) << "the console did not quit for the update\n"
                                            << Diagnostics().toStdString();
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0);

  // The updater restarts the console; that one checks again, finds nothing and shows the login.
  ASSERT_TRUE(QTest::qWaitFor([this] { return Log().contains(QStringLiteral("CMainFrame::EnterStep(2)")); }, 90000))
      << "the restarted console never reached the login window\n"
      << Diagnostics().toStdString();
  const QList<qint64> consoles = SandboxProcesses(QStringLiteral("HVAgent"));
  ASSERT_EQ(consoles.size(), 1) << Diagnostics().toStdString();
  EXPECT_NE(consoles.first(), firstPid);
  EXPECT_NE(hv::FindWindow(QString(), QStringLiteral("Helvora Agent")), hv::WindowHandle(0));

  const QString log = Log();
  EXPECT_EQ(Count(log, QStringLiteral("CMainControl::IsUpdate : 1 module(s) to update")), 1) << log.toStdString();
  EXPECT_EQ(Count(log, QStringLiteral("CMainControl::IsUpdate : 0 module(s) to update")), 1) << log.toStdString();
  // The console file already matched, so it was neither fetched nor touched; only its version moved.
  EXPECT_EQ(CIniFile(m_prog + QStringLiteral("/modules.ini")).GetString(QStringLiteral("Modules"), QStringLiteral("HVAgent")),
            bumped);
  EXPECT_EQ(UpdateRequests(sim, QStringLiteral("/update/manifest.txt")), 3);  // console, updater, console
  EXPECT_EQ(UpdateRequests(sim, QStringLiteral("/update/HVAgent")), 0);
  QFile after(m_prog + QStringLiteral("/HVAgent"));
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), consoleBytes);
  EXPECT_TRUE(CIniFile(m_prog + QStringLiteral("/info.ini")).GetString(QStringLiteral("General"), QStringLiteral("AllNewUpdate")).isEmpty());
  EXPECT_TRUE(SandboxProcesses(QStringLiteral("kxautoup")).isEmpty());

  ::kill(pid_t(consoles.first()), SIGTERM);
  EXPECT_TRUE(QTest::qWaitFor([this] { return SandboxProcesses().isEmpty(); }, 10000));
}

// With the check switched off the console neither asks the update server nor starts the updater,
// even when a new version is there.
TEST_F(UpdateSandbox, AutoUpdateOffNeverAsks) {
  HvsimProcess sim;
  ASSERT_TRUE(sim.Ok());
  sim.Config(QStringLiteral(R"({"update_version": "%1"})")
                 .arg(Raised(sim.Ports().value(QStringLiteral("update_version")).toString()))
                 .toUtf8());
  WriteInfoIni(0, sim.Port());
  QProcess console;
  StartConsole(console);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Log().contains(QStringLiteral("CMainFrame::EnterStep(2)")); }, 30000))
      << Diagnostics().toStdString();
  EXPECT_EQ(console.state(), QProcess::Running);
  EXPECT_EQ(UpdateRequests(sim, QStringLiteral("/update/manifest.txt")), 0);
  EXPECT_FALSE(QFile::exists(m_prog + QStringLiteral("/modules.ini")));
  EXPECT_TRUE(SandboxProcesses(QStringLiteral("kxautoup")).isEmpty());
  console.terminate();
  EXPECT_TRUE(console.waitForFinished(10000));
}

}  // namespace
