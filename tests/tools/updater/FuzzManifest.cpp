// The manifest comes from the network: any bytes must give a clean yes or no.
#include "tools/updater/UpdateManifest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QString error;
  const auto entries = hv::updater::ParseManifest(text, &error);
  if (entries) {
    for (const auto& entry : *entries) {
      if (entry.sha256.size() != 32 || entry.size < 0 || entry.size > hv::updater::kMaxModuleBytes) __builtin_trap();
      if (entry.name.contains(QLatin1Char('/')) || entry.name.startsWith(QLatin1Char('.'))) __builtin_trap();
    }
  }
  return 0;
}
