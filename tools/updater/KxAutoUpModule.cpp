// The updater module the console loads at run time: it tells how many modules the update server
// has in a version other than the installed one. Only the three C functions are exported.
#include "tools/updater/UpdateCheck.h"

#include <QFile>

#include <mutex>

namespace {

constexpr int kDefaultTimeoutMs = 5000;
// A caller's time-out beyond this is a mistake; the console must not hang on its update check.
constexpr int kMaxTimeoutMs = 120000;

std::mutex g_lock;
QString g_infoIni;
int g_timeoutMs = kDefaultTimeoutMs;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void KXSetInfofile(const char* utf8Path) {
  const std::lock_guard<std::mutex> guard(g_lock);
  g_infoIni = utf8Path ? QFile::decodeName(utf8Path) : QString();
}

__attribute__((visibility("default"))) void KXSetDownloadTimeout(int ms) {
  const std::lock_guard<std::mutex> guard(g_lock);
  g_timeoutMs = ms <= 0 ? kDefaultTimeoutMs : (ms > kMaxTimeoutMs ? kMaxTimeoutMs : ms);
}

__attribute__((visibility("default"))) int KXUpdateCountCheck() {
  QString infoIni;
  int timeoutMs = kDefaultTimeoutMs;
  {
    const std::lock_guard<std::mutex> guard(g_lock);
    infoIni = g_infoIni;
    timeoutMs = g_timeoutMs;
  }
  // Nothing may unwind into the console's C call.
  try {
    return hv::updater::CountUpdates(infoIni, timeoutMs);
  } catch (...) {
    hv::updater::Log(QStringLiteral("update check failed unexpectedly, no update"));
    return 0;
  }
}

}  // extern "C"
