#include "platform/WindowDirectory.h"
#include "platform/WindowMessages.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace {

struct Call {
  unsigned msg;
  uintptr_t wParam;
  intptr_t lParam;
  QThread* thread;
};

// A window in miniature: it is its own context, as the console's windows are.
class RecordingTarget : public QObject, public hv::MessageTarget {
 public:
  RecordingTarget() : hv::MessageTarget(this) {}
  intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override {
    calls.push_back({msg, wParam, lParam, QThread::currentThread()});
    return static_cast<intptr_t>(wParam) * 10 + lParam;
  }
  std::vector<Call> calls;
};

class WindowDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override { hvtest::App(); }
  hv::WindowDirectory dir;
};

TEST_F(WindowDirectoryTest, UnknownOrVanishedWindowGivesMinusOneAndZero) {
  EXPECT_EQ(dir.SendToWindow(3, hv::WM_SHOW_MAIN, 1, 0), -1);
  EXPECT_EQ(dir.PostToWindow(3, hv::WM_SHOW_MAIN, 1, 0), 0);

  auto* target = new RecordingTarget;
  dir.RegisterWindow(3, target);
  EXPECT_TRUE(dir.IsRegistered(3));
  delete target;  // a window that closes without unregistering
  EXPECT_FALSE(dir.IsRegistered(3));
  EXPECT_EQ(dir.SendToWindow(3, hv::WM_SHOW_MAIN, 1, 0), -1);
  EXPECT_EQ(dir.PostToWindow(3, hv::WM_SHOW_MAIN, 1, 0), 0);
}

TEST_F(WindowDirectoryTest, SameThreadSendIsDirectAndPostIsQueued) {
  RecordingTarget target;
  dir.RegisterWindow(0, &target);
  EXPECT_EQ(dir.SendToWindow(0, hv::WM_SET_STEP, 2, 1), 21);
  ASSERT_EQ(target.calls.size(), 1u);

  EXPECT_EQ(dir.PostToWindow(0, hv::WM_STEP_PENDING, 0, 0), 1);
  EXPECT_EQ(target.calls.size(), 1u) << "a post must not run inside the poster";
  ASSERT_TRUE(hvtest::SpinUntil([&] { return target.calls.size() == 2; }));
  EXPECT_EQ(target.calls[1].msg, hv::WM_STEP_PENDING);
}

TEST_F(WindowDirectoryTest, SendFromWorkerRunsOnTargetThreadAndReturnsResult) {
  RecordingTarget target;
  dir.RegisterWindow(0, &target);
  auto result = std::async(std::launch::async,
                           [&] { return dir.SendToWindow(0, hv::WM_LOGOUT_QUESTION, 4, 2); });
  ASSERT_TRUE(hvtest::SpinUntil([&] {
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  EXPECT_EQ(result.get(), 42);
  ASSERT_EQ(target.calls.size(), 1u);
  EXPECT_EQ(target.calls[0].thread, QThread::currentThread());
}

TEST_F(WindowDirectoryTest, TargetDestroyedWithMessagesInFlight) {
  auto* target = new RecordingTarget;
  dir.RegisterWindow(5, target);
  EXPECT_EQ(dir.PostToWindow(5, hv::WM_READY_LAYOUT), 1);
  EXPECT_EQ(dir.PostToWindow(5, hv::WM_READY_LAYOUT), 1);

  std::atomic<bool> queued{false};
  auto blocked = std::async(std::launch::async, [&] {
    queued = true;
    return dir.SendToWindow(5, hv::WM_RECONNECT_STATE, 1, 0);
  });
  while (!queued) QThread::msleep(1);
  QThread::msleep(50);  // let the send reach the queue
  delete target;        // the window goes before its loop ever sees the messages

  ASSERT_TRUE(hvtest::SpinUntil([&] {
    return blocked.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  EXPECT_EQ(blocked.get(), -1);
  QCoreApplication::processEvents();  // nothing left to deliver, nothing to crash on
}

TEST_F(WindowDirectoryTest, WorkerDoesNotHangWhenTheLoopNeverRuns) {
  RecordingTarget target;
  dir.RegisterWindow(0, &target);

  // Time-out: the handler has not started, so it must never run afterwards either, because
  // the caller's wParam may already be gone.
  bool delivered = true;
  auto timed = std::async(std::launch::async, [&] {
    return dir.SendToWindowTimeout(0, hv::WM_SHOW_MESSAGEBOX, 7, 0, 100, &delivered);
  });
  EXPECT_EQ(timed.get(), -1);
  EXPECT_FALSE(delivered);

  // Closing: a sender without a time-out is released by the closing flag.
  auto closing = std::async(std::launch::async, [&] { return dir.SendToWindow(0, hv::WM_SHOW_MAIN, 1, 0); });
  EXPECT_EQ(closing.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  dir.SetClosing(true);
  EXPECT_EQ(closing.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(closing.get(), -1);

  QCoreApplication::processEvents();
  EXPECT_TRUE(target.calls.empty()) << "abandoned sends must not run later";
}

TEST_F(WindowDirectoryTest, UnregisterKeepsASuccessor) {
  RecordingTarget first, second;
  dir.RegisterWindow(4, &first);
  dir.RegisterWindow(4, &second);
  dir.UnregisterWindow(4, &first);  // the old window closing late
  EXPECT_EQ(dir.SendToWindow(4, hv::WM_LOGIN_START, 1, 0), 10);
  EXPECT_EQ(second.calls.size(), 1u);
  dir.UnregisterWindow(4, &second);
  EXPECT_EQ(dir.SendToWindow(4, hv::WM_LOGIN_START, 1, 0), -1);
}

}  // namespace
