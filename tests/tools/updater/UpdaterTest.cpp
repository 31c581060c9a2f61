#include "tests/tools/updater/TestHttpServer.h"
#include "tools/updater/UpdateManifest.h"

#include "common/IniFile.h"
#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace hv::updater;

namespace {

QByteArray Line(const char* name, const char* version, const QByteArray& content) {
  return QByteArray(name) + ' ' + version + ' ' + QByteArray::number(content.size()) + ' ' +
         QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + '\n';
}

void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
  file.write(content);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WaitForFile(const QString& path, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!QFile::exists(path)) {
    if (timer.elapsed() > ms) return false;
    QThread::msleep(20);
  }
  return true;
}

// libcurl would send the loopback requests to a proxy named in the environment.
void ClearProxyEnvironment() {
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    unsetenv(name);
}

// ---- manifest ----

TEST(UpdateManifest, AcceptsOnlyWholeSoundManifests) {
  const QByteArray good = Line("HVAgent", "6.0.1.0", "x");
  const struct {
    const char* label;
    QByteArray text;
    int modules;  // -1: rejected
  } cases[] = {
      {"empty", "", 0},
      {"comments, blank lines, CRLF, tabs", "# modules\r\n\r\nHVAgent\t6.0.1.0  1 " + good.split(' ')[3].trimmed() + "\r\n", 1},
      {"three fields", "HVAgent 6.0.1.0 1\n", -1},
      {"short sha256", "HVAgent 6.0.1.0 1 abcd\n", -1},
      {"negative size", "HVAgent 6.0.1.0 -1 " + good.split(' ')[3], -1},
      {"size beyond the cap", "big 1 999999999999 " + good.split(' ')[3], -1},
      {"path in the name", good + Line("../evil", "1", "x"), -1},
      {"folder in the name", Line("lib/x.so", "1", "x"), -1},
      {"hidden file", Line(".profile", "1", "x"), -1},
      {"the updater's own info.ini", Line("Info.INI", "1", "x"), -1},
      {"listed twice", good + Line("hvagent", "7", "y"), -1},
      {"binary", QByteArray("HVAgent\0 1 1 x", 14), -1},
      {"longer than the cap", good + QByteArray(kMaxManifestBytes, '#'), -1},
  };
  for (const auto& c : cases) {
    QString error;
    const auto parsed = ParseManifest(c.text, &error);
    if (c.modules < 0) {
      EXPECT_FALSE(parsed.has_value()) << c.label;
      EXPECT_FALSE(error.isEmpty()) << c.label;
    } else {
      ASSERT_TRUE(parsed.has_value()) << c.label << ": " << qPrintable(error);
      EXPECT_EQ(parsed->size(), c.modules) << c.label;
    }
  }
}

TEST(UpdateManifest, TooManyModulesIsRejected) {
  QByteArray text;
  for (int i = 0; i <= kMaxModules; ++i) text += Line(QByteArray("m" + QByteArray::number(i)).constData(), "1", "");
  ASSERT_LE(text.size(), kMaxManifestBytes);
  EXPECT_FALSE(ParseManifest(text, nullptr).has_value());
}

TEST(UpdateServers, ReadFromTheUpdateKeysOfInfoIni) {
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("info.ini"));
  const struct {
    const char* label;
    QByteArray general;
    QStringList manifestUrls;
  } cases[] = {
      {"secure entry with default port, plain entry, folder with slashes",
       "UpSvrCount=2\nUpSvrAddr1=https://u1.example\nUpSvrAddr2=u2.example\nUpSvrPort2=8080\n"
       "SvrAddr=u1.example\nSvrPort=80\nWorkDir=/agent/6.0/\n",
       {QStringLiteral("https://u1.example:443/agent/6.0/manifest.txt"),
        QStringLiteral("http://u2.example:8080/agent/6.0/manifest.txt")}},
      {"single-server form", "UpSvrCount=0\nUpSvrAddr1=u1\nSvrAddr=u1\nSvrPort=81\nWorkDir=up\n",
       {QStringLiteral("http://u1:81/up/manifest.txt")}},
      {"address that is no host name is skipped",
       "UpSvrCount=2\nUpSvrAddr1=u1/../x?y\nUpSvrAddr2=u2\nUpSvrPort2=70000\n",
       {QStringLiteral("http://u2:80/manifest.txt")}},
      {"nothing configured", "autoUpdate=1\n", {}},
  };
  for (const auto& c : cases) {
    WriteFile(ini, "[General]\n" + c.general);
    QStringList urls;
    for (const UpdateServer& server : ServersFromInfoIni(ini)) urls << server.ManifestUrl();
    EXPECT_EQ(urls, c.manifestUrls) << c.label;
  }
}

// ---- the module as the console loads it ----

class UpdaterModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    ASSERT_TRUE(m_dir.isValid());
    m_lib.setFileName(QStringLiteral(HV_KXAUTOUP_MODULE));
    ASSERT_TRUE(m_lib.load()) << qPrintable(m_lib.errorString());
    m_setInfo = reinterpret_cast<void (*)(const char*)>(m_lib.resolve("KXSetInfofile"));
    m_setTimeout = reinterpret_cast<void (*)(int)>(m_lib.resolve("KXSetDownloadTimeout"));
    m_count = reinterpret_cast<int (*)()>(m_lib.resolve("KXUpdateCountCheck"));
    ASSERT_TRUE(m_setInfo && m_setTimeout && m_count);
    WriteFile(Path("bldinfo.ini"), "[General]\nVersion=6.0.1.0\n");
    WriteFile(Path("modules.ini"), "[Modules]\ntool.dat=2\n");
  }

  QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

  int Count(const QByteArray& general, int timeoutMs = 3000) {
    WriteFile(Path("info.ini"), "[General]\nautoUpdate=1\n" + general);
    m_setInfo(QFile::encodeName(Path("info.ini")).constData());
    m_setTimeout(timeoutMs);
    return m_count();
  }

  static quint16 DeadPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();  // closed again when probe goes
  }

  QTemporaryDir m_dir;
  QLibrary m_lib;
  void (*m_setInfo)(const char*) = nullptr;
  void (*m_setTimeout)(int) = nullptr;
  int (*m_count)() = nullptr;
};

TEST_F(UpdaterModule, CountsModulesWhoseVersionDiffers) {
  TestHttpServer server;
  const QByteArray port = QByteArray::number(server.Port());
  const QByteArray dead = QByteArray::number(DeadPort());
  const QByteArray sameAgent = Line("HVAgent", "6.0.1.0", "agent");
  const QByteArray multi = "UpSvrCount=1\nUpSvrAddr1=127.0.0.1\nUpSvrPort1=" + port + "\nWorkDir=/upd/\n";
  const struct {
    const char* label;
    QByteArray general;
    QByteArray manifest;  // empty: the server has none (404)
    int expected;
  } cases[] = {
      {"no server configured", "", {}, 0},
      {"one module changed", multi, sameAgent + Line("tool.dat", "3", "t"), 1},
      {"same versions", multi, sameAgent + Line("tool.dat", "2", "t"), 0},
      {"console newer and a module never installed", multi,
       Line("HVAgent", "6.0.2.0", "a") + Line("tool.dat", "2", "t") + Line("libnew.so", "1", "n"), 2},
      {"single-server form", "UpSvrCount=0\nSvrAddr=127.0.0.1\nSvrPort=" + port + "\nWorkDir=upd\n",
       sameAgent + Line("tool.dat", "3", "t"), 1},
      {"first server down, second answers",
       "UpSvrCount=2\nUpSvrAddr1=127.0.0.1\nUpSvrPort1=" + dead + "\nUpSvrAddr2=127.0.0.1\nUpSvrPort2=" + port +
           "\nWorkDir=upd\n",
       Line("tool.dat", "3", "t"), 1},
      {"unreachable server", "UpSvrCount=1\nUpSvrAddr1=127.0.0.1\nUpSvrPort1=" + dead + "\n", {}, 0},
      {"no manifest on the server", multi, {}, 0},
      {"malformed manifest", multi, "tool.dat 3\n", 0},
      {"manifest beyond the size cap", multi, Line("tool.dat", "3", "t") + QByteArray(1 << 20, '#'), 0},
      {"binary answer", multi, QByteArray(4096, '\xff'), 0},
      {"UpSvrCount far beyond its entries", "UpSvrCount=2000000000\n", {}, 0},
  };
  for (const auto& c : cases) {
    server.Set(QStringLiteral("/upd/manifest.txt"), c.manifest, c.manifest.isEmpty() ? 404 : 200);
    EXPECT_EQ(Count(c.general), c.expected) << c.label;
  }
  EXPECT_TRUE(server.Requested().contains(QStringLiteral("/upd/manifest.txt")));
}

TEST_F(UpdaterModule, SilentServerEndsAtTheTimeOut) {
  TestHttpServer server;
  server.Hang();
  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(Count("UpSvrCount=1\nUpSvrAddr1=127.0.0.1\nUpSvrPort1=" + QByteArray::number(server.Port()) + "\n", 300), 0);
  EXPECT_LT(timer.elapsed(), 3000);
}

// ---- the updater program ----

class UpdaterProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    ASSERT_TRUE(m_dir.isValid());
    QDir(m_dir.path()).mkdir(QStringLiteral("run"));
    // The test holds the console's lock in the same runtime folder as the updater.
    setenv("HV_RUNTIME_DIR", QFile::encodeName(Path("run")).constData(), 1);
    // The stand-in console records that it ran and in which folder.
    WriteFile(Path("HVAgent"), "#!/bin/sh\npwd > \"$(dirname \"$0\")/marker.tmp\" && mv \"$(dirname \"$0\")/marker.tmp\" \"$(dirname \"$0\")/marker\"\n");
    QFile::setPermissions(Path("HVAgent"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WriteFile(Path("bldinfo.ini"), "[General]\nVersion=6.0.1.0\n");
    WriteFile(Path("modules.ini"), "[Modules]\ntool.dat=2\nbad.bin=1\n");
  }

  QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

  void Start(QProcess* process) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HV_PROGRAM_DIR"), m_dir.path());
    env.insert(QStringLiteral("HV_RUNTIME_DIR"), Path("run"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(HV_KXAUTOUP_PROGRAM), {QStringLiteral("-inifile")});
    ASSERT_TRUE(process->waitForStarted(5000));
  }

  QString Ini(const char* file, const char* section, const char* key) const {
    return CIniFile(Path(file)).GetString(QString::fromLatin1(section), QString::fromLatin1(key));
  }

  QTemporaryDir m_dir;
};

TEST_F(UpdaterProgram, WithoutServerRestartsConsoleAndClearsAllNew) {
  WriteFile(Path("info.ini"), "[General]\nautoUpdate=1\nAllNewUpdate=1\nAgentReconnect=1\n");
  QProcess process;
  Start(&process);
  ASSERT_TRUE(process.waitForFinished(15000));
  EXPECT_EQ(process.exitCode(), 0);
  ASSERT_TRUE(WaitForFile(Path("marker"), 5000));
  EXPECT_EQ(QString::fromLocal8Bit(ReadFile(Path("marker"))).trimmed(), QDir(m_dir.path()).canonicalPath());
  EXPECT_TRUE(Ini("info.ini", "General", "AllNewUpdate").isEmpty());
  EXPECT_EQ(Ini("info.ini", "General", "AgentReconnect"), QStringLiteral("1"));
}

// An all-new update fetches every listed module that is not already in place; a normal one only
// the changed. Either way only a file that matches the manifest replaces the old one.
class UpdaterDownload : public UpdaterProgram, public ::testing::WithParamInterface<bool> {};

TEST_P(UpdaterDownload, ReplacesOnlyVerifiedModules) {
  const bool allNew = GetParam();
  TestHttpServer server;
  const QByteArray tool = "new tool";
  const QByteArray agent = ReadFile(Path("HVAgent"));
  // The server sends other bytes than the manifest promises for bad.bin; same.dat keeps its
  // version but its file differs, so only an all-new update fetches it.
  server.Set(QStringLiteral("/upd/manifest.txt"), Line("HVAgent", "6.0.1.0", agent) + Line("tool.dat", "3", tool) +
                                                      Line("bad.bin", "2", "promised") + Line("same.dat", "5", "fresh"));
  server.Set(QStringLiteral("/upd/tool.dat"), tool);
  server.Set(QStringLiteral("/upd/bad.bin"), "tampered");
  server.Set(QStringLiteral("/upd/same.dat"), "fresh");
  WriteFile(Path("tool.dat"), "old tool");
  WriteFile(Path("bad.bin"), "old bad");
  WriteFile(Path("same.dat"), "stale");
  CIniFile(Path("modules.ini")).SetString(QStringLiteral("Modules"), QStringLiteral("same.dat"), QStringLiteral("5"));
  WriteFile(Path("info.ini"), QByteArray("[General]\nAllNewUpdate=") + (allNew ? "1" : "0") +
                                  "\nUpSvrCount=1\nUpSvrAddr1=127.0.0.1\nUpSvrPort1=" +
                                  QByteArray::number(server.Port()) + "\nWorkDir=upd\n");
  QProcess process;
  Start(&process);
  ASSERT_TRUE(process.waitForFinished(15000));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_EQ(ReadFile(Path("tool.dat")), tool);
  EXPECT_EQ(Ini("modules.ini", "Modules", "tool.dat"), QStringLiteral("3"));
  EXPECT_EQ(ReadFile(Path("bad.bin")), QByteArray("old bad"));
  EXPECT_EQ(Ini("modules.ini", "Modules", "bad.bin"), QStringLiteral("1"));
  EXPECT_EQ(ReadFile(Path("same.dat")), allNew ? QByteArray("fresh") : QByteArray("stale"));
  EXPECT_FALSE(server.Requested().contains(QStringLiteral("/upd/HVAgent")));  // already in place
  EXPECT_TRUE(QFileInfo(Path("HVAgent")).isExecutable());
  ASSERT_TRUE(WaitForFile(Path("marker"), 5000));
  // No temporary download is left behind, whether kept or thrown away.
  EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            QStringList({QStringLiteral("HVAgent"), QStringLiteral("bad.bin"), QStringLiteral("bldinfo.ini"),
                         QStringLiteral("info.ini"), QStringLiteral("marker"), QStringLiteral("modules.ini"),
                         QStringLiteral("same.dat"), QStringLiteral("tool.dat")}));
  EXPECT_TRUE(Ini("info.ini", "General", "AllNewUpdate").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Modes, UpdaterDownload, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "AllNew" : "Changed"; });

TEST_F(UpdaterProgram, WaitsUntilTheConsoleHasQuit) {
  WriteFile(Path("info.ini"), "[General]\n");
  hv::SingleInstanceLock console;
  ASSERT_TRUE(console.TryAcquire());
  QProcess process;
  Start(&process);
  EXPECT_FALSE(process.waitForFinished(700));
  EXPECT_FALSE(QFile::exists(Path("marker")));
  console.Release();
  ASSERT_TRUE(process.waitForFinished(15000));
  EXPECT_TRUE(WaitForFile(Path("marker"), 5000));
}

}  // namespace
