#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

// The console's windows register under fixed numbers (0 main window ... 10 profile editor) and
// the control object and worker threads reach them only through this directory:
//
//   class CMainFrame : public QWidget, public hv::MessageTarget {
//     CMainFrame() : hv::MessageTarget(this) { directory.RegisterWindow(0, this); }
//     intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
//   };
//   directory.SendToWindow(0, hv::WM_SHOW_MAIN, 1, 0);   // any thread; waits for the handler
//   directory.PostToWindow(0, hv::WM_STEP_PENDING, 0, 0); // queued on the window's thread
//
// A target is called only on the thread of its context object. Destroy it on that thread; the
// context must be the target itself or outlive it. A target that goes away unregisters itself:
// posted messages still queued for it are dropped and a sender waiting for it gets -1.
namespace hv {

namespace detail {
struct TargetSlot;
}

class MessageTarget {
 public:
  explicit MessageTarget(QObject* context);
  virtual ~MessageTarget();
  MessageTarget(const MessageTarget&) = delete;
  MessageTarget& operator=(const MessageTarget&) = delete;

  virtual intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) = 0;

  QObject* MessageContext() const;

 private:
  friend class WindowDirectory;
  std::shared_ptr<detail::TargetSlot> m_slot;
};

class WindowDirectory {
 public:
  static constexpr int kWaitForever = -1;

  WindowDirectory() = default;
  ~WindowDirectory();
  WindowDirectory(const WindowDirectory&) = delete;
  WindowDirectory& operator=(const WindowDirectory&) = delete;

  // Replaces whatever was registered under the number. A null target unregisters.
  void RegisterWindow(int number, MessageTarget* target);
  // Removes the number only while it still names this target (a successor keeps its place).
  void UnregisterWindow(int number, MessageTarget* target);
  bool IsRegistered(int number) const;

  // Synchronous: on the target's thread a direct call, from any other thread the caller waits
  // until the handler has run. -1 when nothing is registered, the target went away, the
  // directory is closing, or the time-out passed before the handler started. A handler that
  // has started is always waited for, because wParam/lParam may point into the caller's stack.
  intptr_t SendToWindow(int number, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);
  intptr_t SendToWindowTimeout(int number, unsigned msg, uintptr_t wParam, intptr_t lParam,
                               int timeoutMs, bool* delivered = nullptr);

  // Queued on the target's event loop. 0 when nothing is registered under the number, else 1.
  int PostToWindow(int number, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);

  // Set while the program shuts down: senders on other threads stop waiting for handlers that
  // have not started, so a worker never hangs on a GUI thread that no longer runs its loop.
  void SetClosing(bool closing);
  bool IsClosing() const { return m_closing.load(); }

 private:
  std::shared_ptr<detail::TargetSlot> Find(int number) const;

  mutable std::mutex m_mutex;
  std::map<int, std::shared_ptr<detail::TargetSlot>> m_windows;
  std::atomic<bool> m_closing{false};
};

}  // namespace hv
