#include "platform/LogSink.h"

#include <QDebug>

#include <atomic>

namespace hv {
namespace {
std::atomic<LogSinkFn> g_sink{nullptr};
}

void SetLogSink(LogSinkFn sink) { g_sink.store(sink); }

void PlatformLog(int level, const QString& line) {
  if (LogSinkFn sink = g_sink.load()) {
    sink(level, line);
    return;
  }
  if (level >= 3)
    qWarning().noquote() << line;
  else
    qDebug().noquote() << line;
}

}  // namespace hv
