// Random bytes as a received stream: cut into frames, each frame's payload through
// SocketDataReceive, and the payload alone as well.
#include "agent/channel/HVAgentSServer.h"
#include "agent/channel/SessionProtocol.h"
#include "tests/agent/channel/TestSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnsureApp();
  static RecordingListener listener;
  static CHVAgentSServer* channel = [] {
    auto* ch = new CHVAgentSServer(&listener);
    ch->SetIdentity(QStringLiteral("ENC123"), QStringLiteral("agent1"), QStringLiteral("G"), QStringLiteral("C"));
    return ch;
  }();
  listener.calls.clear();
  listener.customers.clear();
  listener.transfers.clear();
  listener.reconnects.clear();
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  channel->SocketDataReceive(bytes);
  hv::sserver::FrameDecoder decoder;
  decoder.Feed(bytes);
  QByteArray payload;
  while (decoder.Next(payload) == hv::sserver::FrameDecoder::Result::Frame) channel->SocketDataReceive(payload);
  QCoreApplication::processEvents();
  return 0;
}
