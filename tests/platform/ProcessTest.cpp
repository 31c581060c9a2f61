#include "platform/Process.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray WaitForFile(const QString& path) {
  QFile file(path);
  hvtest::SpinUntil([&] { return file.exists() && file.size() > 0; }, 5000);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().trimmed();
}

TEST(ProcessTest, StartDetachedUsesArgumentsAndWorkingFolder) {
  hvtest::App();
  QTemporaryDir dir;
  qint64 pid = 0;
  ASSERT_TRUE(hv::StartDetached(QStringLiteral("/bin/sh"),
                                {QStringLiteral("-c"), QStringLiteral("echo \"$0 $(pwd)\" > out.txt"),
                                 QStringLiteral("arg with space")},
                                dir.path(), &pid));
  EXPECT_GT(pid, 0);
  EXPECT_EQ(WaitForFile(dir.filePath(QStringLiteral("out.txt"))),
            (QStringLiteral("arg with space ") + dir.path()).toUtf8());

  EXPECT_FALSE(hv::StartDetached(dir.filePath(QStringLiteral("missing")), {}, {}, &pid));
  EXPECT_EQ(pid, 0);
}

TEST(ProcessTest, OpenPassesOneArgumentToTheOpener) {
  hvtest::App();
  QTemporaryDir dir;
  const QString script = dir.filePath(QStringLiteral("opener.sh"));
  const QString record = dir.filePath(QStringLiteral("opened.txt"));
  {
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '%1'\n").arg(record).toUtf8());
  }
  QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("HV_OPENER", script.toLocal8Bit());

  ASSERT_TRUE(hv::OpenUrl(QStringLiteral("https://example.invalid/a b?x=1;rm -rf")));
  EXPECT_EQ(WaitForFile(record), QByteArray("1|https://example.invalid/a%20b?x=1;rm%20-rf"));
  QFile::remove(record);

  ASSERT_TRUE(hv::OpenFile(script));
  EXPECT_EQ(WaitForFile(record), (QStringLiteral("1|") + script).toUtf8());

  EXPECT_FALSE(hv::OpenUrl(QStringLiteral("--help")));
  EXPECT_FALSE(hv::OpenUrl({}));
  EXPECT_FALSE(hv::OpenFile(dir.filePath(QStringLiteral("nothing.txt"))));
  qunsetenv("HV_OPENER");
}

}  // namespace
