#pragma once

#include <QString>

// The low layers (platform, common) cannot use the developer log, which sits above them.
// They report through this sink; the developer log installs itself here when it is created.
// Without a sink, lines go to Qt's warning output so nothing is lost in tests.
namespace hv {

using LogSinkFn = void (*)(int level, const QString& line);

void SetLogSink(LogSinkFn sink);
// level: 0 ordinary, 1 milestone, 3 error or warning
void PlatformLog(int level, const QString& line);

}  // namespace hv
