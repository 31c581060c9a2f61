#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

// A plain HTTP(S) GET for the updater, bounded in time and in size. It runs on the caller's
// thread (the console calls the module from a worker thread) and never waits past the deadline.
namespace hv::updater {

using Deadline = std::chrono::steady_clock::time_point;

struct FetchResult {
  bool ok = false;
  long status = 0;   // HTTP status, 0 when no answer came
  QString error;     // why it failed, for the log
};

// Hands each piece of the body to sink; a sink that returns false stops the transfer. A body
// longer than maxBytes fails. Only a 200 answer is a success; redirects are not followed.
FetchResult HttpGet(const QString& url, qint64 maxBytes, Deadline deadline,
                    const std::function<bool(const char*, qsizetype)>& sink);

// The whole body in memory (for the manifest).
FetchResult HttpGetBytes(const QString& url, qint64 maxBytes, Deadline deadline, QByteArray* body);

}  // namespace hv::updater
