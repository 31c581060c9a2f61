#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One console per user session. The lock file lives in hv::paths::RuntimeDir() and is held
// until Release() or destruction; a lock left by a crashed process is taken over.
//
//   hv::SingleInstanceLock lock;                  // "RemoteAgent"
//   if (!lock.TryAcquire()) { /* find the running console, ask it to show itself, end */ }
namespace hv {

class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(const QString& name = QStringLiteral("RemoteAgent"));
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // False while another live process (or another lock object) holds it.
  bool TryAcquire();
  bool IsHeld() const;
  void Release();
  QString LockPath() const { return m_path; }

 private:
  QString m_path;
  std::unique_ptr<QLockFile> m_lock;
};

}  // namespace hv
