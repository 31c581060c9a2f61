#include "platform/SingleInstance.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  hvtest::ScopedRuntimeDir runtime;
};

TEST_F(SingleInstanceTest, SecondHolderFailsUntilTheFirstLetsGo) {
  hv::SingleInstanceLock first;
  hv::SingleInstanceLock second;
  EXPECT_TRUE(first.LockPath().startsWith(runtime.Path()));
  ASSERT_TRUE(first.TryAcquire());
  EXPECT_FALSE(second.TryAcquire());
  first.Release();
  EXPECT_TRUE(second.TryAcquire());
}

TEST_F(SingleInstanceTest, LockOfAnotherProcessHoldsAndIsTakenOverAfterItDies) {
  QProcess holder;
  holder.start(QStringLiteral(HV_BUS_PEER), {QStringLiteral("hold-lock"), QStringLiteral("RemoteAgent")});
  ASSERT_TRUE(holder.waitForReadyRead(10000));
  ASSERT_EQ(holder.readLine().trimmed(), QByteArray("LOCKED"));

  hv::SingleInstanceLock lock;
  EXPECT_FALSE(lock.TryAcquire());

  holder.kill();  // a crash: the lock file stays behind
  ASSERT_TRUE(holder.waitForFinished(3000));
  EXPECT_TRUE(lock.TryAcquire());
  EXPECT_TRUE(lock.IsHeld());
}

}  // namespace
