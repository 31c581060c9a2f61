#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The SessionServer's framed protocol, as pure code over bytes (no sockets), so that the
// channel, the simulator, the tests and the fuzzer share one definition.
//
// Frame: int32 LE length word = payload length - 4, then the payload, every byte XOR-ed with
// kPayloadMask. The payload starts with an int32 command word.
namespace hv::sserver {

// The one-byte payload mask of the service's protocol. Both ends must agree on it.
inline constexpr uint8_t kPayloadMask = 0xA7;

// The largest payload this side accepts. The service's frames are a few kilobytes (the longest
// field is a 4096-byte URL); 1 MiB leaves ample room and bounds what a peer can make us hold.
inline constexpr int32_t kMaxPayloadLength = 1024 * 1024;

inline constexpr char kAgentBanner[] = "Kestrix SessionServer For Agnet 3.0";
inline constexpr char kComBanner[] = "Kestrix SessionServer For Com 3.0";
inline constexpr int32_t kProtocolVersion = 100;
inline constexpr int32_t kResultOk = 100;

enum Command : int32_t {
  kCmdLogin = 30100,
  kCmdLoginOther = 30101,
  kCmdKeepAlive = 30200,
  kCmdRouted = 30300,
  kCmdAck = 30301,
  kCmdCustomerProgress = 30304,
  kCmdRoutedNoop = 30305,
  kCmdBroadcast = 30401,
  kCmdRoutedAgent = 30403,
  kCmdBroadcastAll = 30405,
  kCmdBroadcastOther = 30406,
  kCmdServiceNotice = 30409,
  kCmdNetworkLogin = 40201,
};

inline constexpr int32_t kNetworkLoginServerType = 30000;

// Whole frame: length word, masked payload.
QByteArray EncodeFrame(const QByteArray& payload);
// XOR with the mask, in place (its own inverse).
void MaskInPlace(char* data, qsizetype size);

// Cuts a byte stream into payloads. The length word is checked before anything is waited for
// or allocated: a length outside 0..kMaxPayloadLength - 4 puts the decoder in the error state
// for good (the stream cannot be resynchronised).
class FrameDecoder {
 public:
  enum class Result { NeedMore, Frame, Error };

  void Feed(const char* data, qsizetype size);
  void Feed(const QByteArray& bytes) { Feed(bytes.constData(), bytes.size()); }
  // The next whole frame's unmasked payload, when there is one.
  Result Next(QByteArray& payload);
  bool HasError() const { return m_error; }
  int32_t BadLength() const { return m_badLength; }
  qsizetype Buffered() const { return m_buffer.size() - m_offset; }
  void Reset();

 private:
  QByteArray m_buffer;
  qsizetype m_offset = 0;
  bool m_error = false;
  int32_t m_badLength = 0;
};

struct LoginFields {
  QString identity;  // SENCURID
  QString loginId;
  QString group;     // SGROUPID
  QString center;    // SCENTERID
  QString logoutPage;
};

// Payloads (unframed) of the messages the console sends.
QByteArray MakeLoginPayload(const LoginFields& fields);
QByteArray MakeKeepAlivePayload(uint32_t tickMs);
// int32 reply, int32 result and, with data, an ANSI text holding base64(int32 code, bytes).
QByteArray MakeAckPayload(int32_t reply, int32_t result);
QByteArray MakeAckPayload(int32_t reply, int32_t result, int32_t code, const QByteArray& data);

// "1,234,567"
QString GroupThousands(qint64 value);

}  // namespace hv::sserver
