#include "platform/MessageBus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A private program folder (the staged files, with the developer log switched on) and private
// user folders, so two consoles can be started without touching anything real.
struct ConsoleSandbox {
  QTemporaryDir root;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

  ConsoleSandbox() {
    const QString stage = QFileInfo(QStringLiteral(HV_AGENT_PATH)).absolutePath();
    const QString prog = root.path() + QStringLiteral("/program");
    QDir().mkpath(prog);
    QFile::link(stage + QStringLiteral("/Languages"), prog + QStringLiteral("/Languages"));
    QFile::link(stage + QStringLiteral("/Images"), prog + QStringLiteral("/Images"));
    QFile::copy(stage + QStringLiteral("/bldinfo.ini"), prog + QStringLiteral("/bldinfo.ini"));
    QFile ini(prog + QStringLiteral("/info.ini"));
    EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nautoUpdate=0\n[LOG]\nLOGLEVEL=1\n");
    ini.close();
    env.insert(QStringLiteral("HV_PROGRAM_DIR"), prog);
    for (const char* name : {"HV_CONFIG_DIR", "HV_DOCUMENTS_DIR", "HV_RUNTIME_DIR", "HV_DESKTOP_DIR"})
      env.insert(QString::fromLatin1(name), root.path() + QLatin1Char('/') + QString::fromLatin1(name).mid(3).toLower());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    qputenv("HV_RUNTIME_DIR", env.value(QStringLiteral("HV_RUNTIME_DIR")).toUtf8());
  }

  void Start(QProcess& p) {
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(HV_AGENT_PATH), {});
  }

  // Every developer-log line the consoles wrote.
  QString LogText() const {
    QString all;
    QDirIterator it(env.value(QStringLiteral("HV_DOCUMENTS_DIR")), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile f(it.next());
      if (f.open(QIODevice::ReadOnly)) all += QString::fromUtf8(f.readAll());
    }
    return all;
  }
};

TEST(SingleInstance, SecondStartAsksTheFirstToShowAndEnds) {
  ConsoleSandbox box;
  QProcess first;
  box.Start(first);
  ASSERT_TRUE(first.waitForStarted(5000));
  ASSERT_TRUE(QTest::qWaitFor([] { return hv::FindWindow(QString(), QStringLiteral("Helvora Agent")) != 0; }, 15000))
      << first.readAll().constData();

  QProcess second;
  box.Start(second);
  ASSERT_TRUE(second.waitForFinished(15000)) << "the second console did not end";
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_TRUE(QTest::qWaitFor([&] { return box.LogText().contains(QStringLiteral("WM_SHOW_MAIN 1")); }, 5000))
      << box.LogText().toStdString();

  first.terminate();
  if (!first.waitForFinished(5000)) first.kill();
}

}  // namespace
