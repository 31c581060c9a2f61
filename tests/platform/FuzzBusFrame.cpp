// libFuzzer target: whatever a client writes, the frame reader must neither crash nor ask for
// more than one frame's worth of bytes.
#include "platform/BusFrame.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hv::BusFrameReader reader;
  size_t pos = 0;
  while (pos < size && !reader.Failed()) {
    const qint64 want = reader.BytesWanted();
    if (want <= 0 || want > hv::kBusHeaderSize + qint64(hv::kBusMaxBody)) std::abort();
    // Feed in small uneven pieces, as a socket would deliver them.
    const size_t piece = std::min<size_t>({size - pos, size_t(want), size_t(1 + data[pos] % 37)});
    reader.Feed(QByteArray(reinterpret_cast<const char*>(data + pos), qsizetype(piece)));
    pos += piece;
    while (auto frame = reader.Take()) {
      if (frame->kind == hv::BusKind::CopyData) (void)frame->CopyDataPayload();
      if (frame->kind == hv::BusKind::Send || frame->kind == hv::BusKind::Post)
        (void)frame->LParam();
      if (frame->kind == hv::BusKind::Reply) (void)frame->Result();
    }
  }
  return 0;
}
