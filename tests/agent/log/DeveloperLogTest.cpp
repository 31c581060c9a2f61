#include "agent/log/DeveloperLog.h"

#include "common/IniFile.h"
#include "platform/LogSink.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class DeveloperLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    hv::paths::SetProgramDirForTesting(m_dir.path());
    m_docs = m_dir.path() + QStringLiteral("/docs");
    DeveloperLog::Instance().SetFolder(m_docs);
  }
  void TearDown() override { DeveloperLog::Destroy(); }

  CIniFile Ini() const { return CIniFile(m_dir.path() + QStringLiteral("/info.ini")); }
  QString ReadLog() const {
    QFile f(DeveloperLog::Instance().FilePath());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }

  QTemporaryDir m_dir;
  QString m_docs;
};

TEST_F(DeveloperLogTest, SwitchingWritesTheIniKeysAndTheLocalSettingWins) {
  DeveloperLog& log = DeveloperLog::Instance();
  CIniFile ini = Ini();

  // The service switches the log on: DEBUG 1, the codec levels removed.
  ini.SetString(QStringLiteral("LOG"), QStringLiteral("SELEVEL"), QStringLiteral("0x0000"));
  ini.SetString(QStringLiteral("LOG"), QStringLiteral("SDLEVEL"), QStringLiteral("0x0000"));
  log.SetDebugLog(1, false);
  EXPECT_TRUE(log.Enabled());
  EXPECT_TRUE(log.IsOpen());
  EXPECT_EQ(ini.GetInt(QStringLiteral("LOG"), QStringLiteral("DEBUG"), -1), 1);
  EXPECT_TRUE(ini.GetString(QStringLiteral("LOG"), QStringLiteral("SELEVEL")).isEmpty());
  EXPECT_TRUE(ini.GetString(QStringLiteral("LOG"), QStringLiteral("SDLEVEL")).isEmpty());
  EXPECT_TRUE(log.LogName().endsWith(QStringLiteral("_Agent")));
  EXPECT_EQ(log.LogName().size(), 14 + 6);

  // ...and off again: "0x0000" for both.
  log.SetDebugLog(0, false);
  EXPECT_FALSE(log.Enabled());
  EXPECT_EQ(ini.GetInt(QStringLiteral("LOG"), QStringLiteral("DEBUG"), -1), 0);
  EXPECT_EQ(ini.GetString(QStringLiteral("LOG"), QStringLiteral("SELEVEL")), QStringLiteral("0x0000"));
  EXPECT_EQ(ini.GetString(QStringLiteral("LOG"), QStringLiteral("SDLEVEL")), QStringLiteral("0x0000"));

  // LOGLEVEL 1 forces it on at start and the service's 0 cannot switch it off.
  ini.SetInt(QStringLiteral("LOG"), QStringLiteral("LOGLEVEL"), 1);
  log.SetDebugLog(0, true);
  EXPECT_TRUE(log.Enabled());
  log.SetDebugLog(0, false);
  EXPECT_TRUE(log.Enabled());

  // The codec variant, from the INI: only levels still at "7" are raised.
  ini.SetString(QStringLiteral("LOG"), QStringLiteral("ScapEncLevel"), QStringLiteral("7"));
  ini.SetString(QStringLiteral("LOG"), QStringLiteral("SCapDecLevel"), QStringLiteral("5"));
  log.SetDebugLogScap(0, true);
  EXPECT_EQ(ini.GetInt(QStringLiteral("LOG"), QStringLiteral("ScapEncLevel"), -1), 2);
  EXPECT_EQ(ini.GetInt(QStringLiteral("LOG"), QStringLiteral("EnableSCapEncLogfile"), -1), 1);
  EXPECT_EQ(ini.GetInt(QStringLiteral("LOG"), QStringLiteral("SCapDecLevel"), -1), 5);

  log.SetLogFileRecord(1);
  log.LoadLogFileRecord();
  EXPECT_EQ(log.FileRecord(), 1);
  EXPECT_EQ(ini.GetInt(QStringLiteral("LOG"), QStringLiteral("AGENTLOGFILERECORD"), -1), 1);
}

TEST_F(DeveloperLogTest, NothingIsWrittenWhileOff) {
  DeveloperLog& log = DeveloperLog::Instance();
  log.SetDebugLog(0, false);
  HVLOG(0, "silent %d", 1);
  hv::PlatformLog(3, QStringLiteral("silent too"));
  EXPECT_FALSE(QDir(m_docs).exists() && !QDir(m_docs).entryList(QDir::Files).isEmpty());
}

TEST_F(DeveloperLogTest, LinesCarryLevelAreCutAndMasked) {
  DeveloperLog& log = DeveloperLog::Instance();
  log.SetDebugLog(1, false);
  log.AddSecret(QStringLiteral("hunter22"));
  HVLOG(3, "Call Page1 : %s", "https://h/AuthWeb/x?encurid=TOKEN123&caller=agent");
  HVLOG(0, "body id=demo&password=abc%%2b%%3d&lang=en");
  HVLOG(0, "answer <ENCURID>TOKEN123</ENCURID><USR_NAME>Demo</USR_NAME>");
  HVLOG(0, "typed hunter22 by mistake");
  hv::PlatformLog(1, QStringLiteral("from the platform layer"));
  log.Write(0, "%s", std::string(30000, 'x').c_str());
  log.WriteA(0, "%s", std::string(30000, 'y').c_str());

  const QString text = ReadLog();
  EXPECT_TRUE(text.contains(QStringLiteral("[3] Call Page1 : https://h/AuthWeb/x?encurid=****&caller=agent")));
  EXPECT_TRUE(text.contains(QStringLiteral("id=demo&password=****&lang=en")));
  EXPECT_TRUE(text.contains(QStringLiteral("<ENCURID>****</ENCURID><USR_NAME>Demo</USR_NAME>")));
  EXPECT_TRUE(text.contains(QStringLiteral("typed **** by mistake")));
  EXPECT_TRUE(text.contains(QStringLiteral("[1] from the platform layer")));
  EXPECT_FALSE(text.contains(QStringLiteral("TOKEN123")));
  EXPECT_FALSE(text.contains(QStringLiteral("hunter22")));
  EXPECT_TRUE(text.contains(QStringLiteral(" ") + QString(DeveloperLog::kMaxLineUnits, QLatin1Char('x')) + QLatin1Char('\n')));
  EXPECT_TRUE(text.contains(QStringLiteral(" ") + QString(DeveloperLog::kMaxLineBytes, QLatin1Char('y')) + QLatin1Char('\n')));
}

TEST_F(DeveloperLogTest, ConcurrentWritersLoseNoLine) {
  DeveloperLog& log = DeveloperLog::Instance();
  log.SetDebugLog(1, false);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) HVLOG(0, "thread %d line %d", t, i);
    });
  for (auto& th : threads) th.join();
  const QStringList lines = ReadLog().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  int ours = 0;
  for (const QString& l : lines) ours += l.contains(QStringLiteral("] thread ")) ? 1 : 0;
  EXPECT_EQ(ours, 2000);
}

TEST_F(DeveloperLogTest, RetentionDeletesOnlyOldLogFilesOfOurs) {
  QDir().mkpath(m_docs);
  auto make = [&](const QString& name, int ageDays) {
    QFile f(m_docs + QLatin1Char('/') + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.flush();
    f.setFileTime(QDateTime::currentDateTime().addDays(-ageDays), QFileDevice::FileModificationTime);
  };
  make(QStringLiteral("20200101000000_Agent.log"), 40);
  make(QStringLiteral("20200201000000_Agent.log"), 5);
  make(QStringLiteral("notes_Agent.log"), 40);
  DeveloperLog::Instance().SetRetentionDays(0);  // below 1 means 30
  EXPECT_EQ(DeveloperLog::Instance().RetentionDays(), 30);
  const QStringList left = QDir(m_docs).entryList(QDir::Files);
  EXPECT_FALSE(left.contains(QStringLiteral("20200101000000_Agent.log")));
  EXPECT_TRUE(left.contains(QStringLiteral("20200201000000_Agent.log")));
  EXPECT_TRUE(left.contains(QStringLiteral("notes_Agent.log")));
}

}  // namespace
