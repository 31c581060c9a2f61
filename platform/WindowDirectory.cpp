#include "platform/WindowDirectory.h"

#include "platform/LogSink.h"

#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <condition_variable>

namespace hv {
namespace detail {

// Shared between a target, the directory and queued calls, so that either side may go first.
struct TargetSlot {
  std::mutex mutex;  // held while a call is queued, so the context cannot die meanwhile
  std::atomic<MessageTarget*> target{nullptr};
  QObject* context = nullptr;
};

}  // namespace detail

namespace {

// One cross-thread send. The sender may give up only before the handler starts.
struct PendingCall {
  std::mutex mutex;
  std::condition_variable cv;
  bool started = false;
  bool done = false;
  bool abandoned = false;
  bool delivered = false;
  intptr_t result = -1;

  bool TryStart() {
    std::lock_guard lock(mutex);
    if (abandoned) return false;
    started = true;
    return true;
  }
  void Finish(intptr_t value, bool wasDelivered) {
    {
      std::lock_guard lock(mutex);
      if (done) return;
      done = true;
      result = value;
      delivered = wasDelivered;
    }
    cv.notify_all();
  }
};

// Dropped together with the queued call: if the event never runs (context destroyed, loop
// gone), the waiting sender is released with -1.
struct CallGuard {
  explicit CallGuard(std::shared_ptr<PendingCall> c) : call(std::move(c)) {}
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;
  std::shared_ptr<PendingCall> call;
  ~CallGuard() { call->Finish(-1, false); }
};

}  // namespace

MessageTarget::MessageTarget(QObject* context) : m_slot(std::make_shared<detail::TargetSlot>()) {
  m_slot->context = context;
  m_slot->target.store(this);
}

MessageTarget::~MessageTarget() {
  std::lock_guard lock(m_slot->mutex);
  m_slot->target.store(nullptr);
  m_slot->context = nullptr;
}

QObject* MessageTarget::MessageContext() const { return m_slot->context; }

WindowDirectory::~WindowDirectory() { SetClosing(true); }

void WindowDirectory::RegisterWindow(int number, MessageTarget* target) {
  std::lock_guard lock(m_mutex);
  if (target)
    m_windows[number] = target->m_slot;
  else
    m_windows.erase(number);
}

void WindowDirectory::UnregisterWindow(int number, MessageTarget* target) {
  std::lock_guard lock(m_mutex);
  auto it = m_windows.find(number);
  if (it != m_windows.end() && (!target || it->second == target->m_slot)) m_windows.erase(it);
}

bool WindowDirectory::IsRegistered(int number) const {
  auto slot = Find(number);
  return slot && slot->target.load();
}

std::shared_ptr<detail::TargetSlot> WindowDirectory::Find(int number) const {
  std::lock_guard lock(m_mutex);
  auto it = m_windows.find(number);
  return it == m_windows.end() ? nullptr : it->second;
}

void WindowDirectory::SetClosing(bool closing) { m_closing.store(closing); }

intptr_t WindowDirectory::SendToWindow(int number, unsigned msg, uintptr_t wParam,
                                       intptr_t lParam) {
  return SendToWindowTimeout(number, msg, wParam, lParam, kWaitForever);
}

intptr_t WindowDirectory::SendToWindowTimeout(int number, unsigned msg, uintptr_t wParam,
                                              intptr_t lParam, int timeoutMs, bool* delivered) {
  if (delivered) *delivered = false;
  std::shared_ptr<detail::TargetSlot> slot = Find(number);
  if (!slot) return -1;

  std::unique_lock slotLock(slot->mutex);
  MessageTarget* target = slot->target.load();
  if (!target) return -1;
  if (slot->context->thread() == QThread::currentThread()) {
    // Same thread: a plain call. The target can only be destroyed on this thread, so it
    // stays valid until the handler returns.
    slotLock.unlock();
    if (delivered) *delivered = true;
    return target->HandleMessage(msg, wParam, lParam);
  }
  if (m_closing.load()) return -1;

  auto call = std::make_shared<PendingCall>();
  auto guard = std::make_shared<CallGuard>(call);
  QMetaObject::invokeMethod(
      slot->context,
      [slot, call, guard, msg, wParam, lParam] {
        MessageTarget* t = slot->target.load();
        if (!t || !call->TryStart()) {
          call->Finish(-1, false);
          return;
        }
        call->Finish(t->HandleMessage(msg, wParam, lParam), true);
      },
      Qt::QueuedConnection);
  guard.reset();
  slotLock.unlock();

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  std::unique_lock lock(call->mutex);
  while (!call->done) {
    // Wake regularly to notice the closing flag, which is set without a notification.
    call->cv.wait_for(lock, std::chrono::milliseconds(20));
    if (call->done || call->started) continue;
    const bool expired = timeoutMs >= 0 && Clock::now() >= deadline;
    if (m_closing.load() || expired) {
      call->abandoned = true;
      PlatformLog(expired ? 3 : 0,
                  QStringLiteral("WindowDirectory: send of message %1 to window %2 abandoned (%3)")
                      .arg(msg)
                      .arg(number)
                      .arg(expired ? QStringLiteral("time-out") : QStringLiteral("closing")));
      return -1;
    }
  }
  if (delivered) *delivered = call->delivered;
  return call->result;
}

int WindowDirectory::PostToWindow(int number, unsigned msg, uintptr_t wParam, intptr_t lParam) {
  std::shared_ptr<detail::TargetSlot> slot = Find(number);
  if (!slot) return 0;
  std::lock_guard slotLock(slot->mutex);
  if (!slot->target.load()) return 0;
  QMetaObject::invokeMethod(
      slot->context,
      [slot, msg, wParam, lParam] {
        if (MessageTarget* t = slot->target.load()) t->HandleMessage(msg, wParam, lParam);
      },
      Qt::QueuedConnection);
  return 1;
}

}  // namespace hv
