#include "tools/updater/HttpFetch.h"

#include <curl/curl.h>

#include <memory>

namespace hv::updater {
namespace {

struct Transfer {
  const std::function<bool(const char*, qsizetype)>* sink = nullptr;
  qint64 maxBytes = 0;
  qint64 received = 0;
  bool tooLarge = false;
  bool refused = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  // Checked before the bytes are kept: a server may send far more than it announced.
  if (t->received + static_cast<qint64>(bytes) > t->maxBytes) {
    t->tooLarge = true;
    return 0;
  }
  t->received += static_cast<qint64>(bytes);
  if (!(*t->sink)(data, static_cast<qsizetype>(bytes))) {
    t->refused = true;
    return 0;
  }
  return bytes;
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

}  // namespace

FetchResult HttpGet(const QString& url, qint64 maxBytes, Deadline deadline,
                    const std::function<bool(const char*, qsizetype)>& sink) {
  FetchResult result;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) {
    result.error = QStringLiteral("no time left for %1").arg(url);
    return result;
  }
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    result.error = QStringLiteral("cannot start a transfer");
    return result;
  }
  Transfer transfer;
  transfer.sink = &sink;
  transfer.maxBytes = maxBytes;
  const QByteArray urlBytes = url.toUtf8();
  char errorBuffer[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  // No signals: the module runs on a worker thread of a program that owns its own handlers.
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(left.count()));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "kxautoup");
  // Verification stays on; a private deployment or a test names its CA as the console does.
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  const QByteArray caFile = qgetenv("HV_CA_FILE");
  if (!caFile.isEmpty()) curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());
  if (maxBytes < (1LL << 31)) curl_easy_setopt(c, CURLOPT_MAXFILESIZE, static_cast<long>(maxBytes));

  const CURLcode code = curl_easy_perform(c);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.status);
  if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    result.error = QStringLiteral("%1: answer larger than %2 bytes").arg(url).arg(maxBytes);
  } else if (transfer.refused) {
    result.error = QStringLiteral("%1: transfer stopped").arg(url);
  } else if (code != CURLE_OK) {
    const QString text = errorBuffer[0] ? QString::fromUtf8(errorBuffer) : QString::fromUtf8(curl_easy_strerror(code));
    result.error = QStringLiteral("%1: %2").arg(url, text);
  } else if (result.status != 200) {
    result.error = QStringLiteral("%1: HTTP status %2").arg(url).arg(result.status);
  } else {
    result.ok = true;
  }
  return result;
}

FetchResult HttpGetBytes(const QString& url, qint64 maxBytes, Deadline deadline, QByteArray* body) {
  body->clear();
  return HttpGet(url, maxBytes, deadline, [body](const char* data, qsizetype n) {
    body->append(data, n);
    return true;
  });
}

}  // namespace hv::updater
