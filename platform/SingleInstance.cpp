#include "platform/SingleInstance.h"

#include "platform/LogSink.h"
#include "platform/Paths.h"

#include <QLockFile>

namespace hv {

SingleInstanceLock::SingleInstanceLock(const QString& name)
    : m_path(paths::RuntimeDir() + QLatin1Char('/') + name + QStringLiteral(".lock")) {}

SingleInstanceLock::~SingleInstanceLock() { Release(); }

bool SingleInstanceLock::TryAcquire() {
  if (IsHeld()) return true;
  auto lock = std::make_unique<QLockFile>(m_path);
  // Never stale by age: a console may run for weeks. A lock whose process is gone is still
  // recognised as stale, because QLockFile checks the recorded process id.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) {
    if (lock->error() != QLockFile::LockFailedError)
      PlatformLog(3, QStringLiteral("SingleInstance: cannot create %1").arg(m_path));
    return false;
  }
  m_lock = std::move(lock);
  return true;
}

bool SingleInstanceLock::IsHeld() const { return m_lock && m_lock->isLocked(); }

void SingleInstanceLock::Release() {
  if (m_lock) m_lock->unlock();
  m_lock.reset();
}

}  // namespace hv
