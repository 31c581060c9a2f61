#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

// One application object for the whole test binary, and a runtime folder per test so that
// message-bus sockets and locks never meet the user's real ones or another test's.
namespace hvtest {

inline QCoreApplication* App() {
  static int argc = 1;
  static char name[] = "hv_platform_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app =
      QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
  return app;
}

class ScopedRuntimeDir {
 public:
  ScopedRuntimeDir() {
    App();
    m_old = qgetenv("HV_RUNTIME_DIR");
    qputenv("HV_RUNTIME_DIR", m_dir.path().toLocal8Bit());
  }
  ~ScopedRuntimeDir() {
    if (m_old.isEmpty())
      qunsetenv("HV_RUNTIME_DIR");
    else
      qputenv("HV_RUNTIME_DIR", m_old);
  }
  QString Path() const { return m_dir.path(); }

 private:
  QTemporaryDir m_dir;
  QByteArray m_old;
};

// Runs the event loop until the condition holds or the time is up.
inline bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace hvtest
