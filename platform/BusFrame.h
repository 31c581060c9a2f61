#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Frames of the per-user message bus (layout in docs/message-bus.md). Pure code over bytes:
// the bus sockets, the tests and the fuzzer all go through BusFrameReader.
//
//   hv::BusFrameReader reader;
//   qint64 want = reader.BytesWanted();      // never more than the current frame still needs
//   reader.Feed(socket.read(want));
//   while (auto frame = reader.Take()) ...;  // reader.Failed() -> drop the peer
namespace hv {

inline constexpr uint32_t kBusMagic = 0x424D5648;  // "HVMB" in the byte order on the wire
inline constexpr uint16_t kBusVersion = 1;
inline constexpr int kBusHeaderSize = 24;
inline constexpr uint32_t kBusMaxBody = 1024 * 1024;  // copy-data payload limit plus its id
inline constexpr int kBusMessageBodySize = 20;        // msg u32, wParam u64, lParam i64
inline constexpr int kBusReplyBodySize = 4;           // result i32

enum class BusKind : uint16_t {
  CopyData = 1,  // synchronous: id u32 + payload; answered with Reply
  Send = 2,      // synchronous numbered or registered message; answered with Reply
  Post = 3,      // same body as Send; never answered
  Reply = 4,     // result of a CopyData or Send with the same sequence number
};

struct BusFrame {
  BusKind kind = BusKind::Post;
  uint32_t sequence = 0;
  uint32_t sender = 0;  // handle of the sending window, 0 for none
  uint32_t target = 0;  // handle the frame is meant for
  QByteArray body;

  // Decoded views of the body; valid only for the matching kind (the reader checked the size).
  uint32_t CopyDataId() const;
  QByteArray CopyDataPayload() const;
  uint32_t Message() const;
  uint64_t WParam() const;
  int64_t LParam() const;
  int32_t Result() const;
};

QByteArray EncodeBusFrame(BusKind kind, uint32_t sequence, uint32_t sender, uint32_t target,
                          const QByteArray& body);
QByteArray EncodeCopyData(uint32_t sequence, uint32_t sender, uint32_t target, uint32_t id,
                          const QByteArray& payload);
QByteArray EncodeMessage(BusKind kind, uint32_t sequence, uint32_t sender, uint32_t target,
                         uint32_t msg, uint64_t wParam, int64_t lParam);
QByteArray EncodeReply(uint32_t sequence, uint32_t sender, uint32_t target, int32_t result);

// Incremental reader. The header is checked as soon as it is complete, so a bad magic, an
// unknown kind or a declared length above the limit fails before any body is awaited.
class BusFrameReader {
 public:
  // How many bytes to read next: the rest of the header, or the rest of the body.
  qint64 BytesWanted() const;
  void Feed(const QByteArray& bytes);
  std::optional<BusFrame> Take();
  bool Failed() const { return !m_error.isEmpty(); }
  QString Error() const { return m_error; }
  // True while part of a frame has arrived (a disconnect now loses it).
  bool MidFrame() const { return !m_buffer.isEmpty(); }

 private:
  void CheckHeader();

  QByteArray m_buffer;
  bool m_headerOk = false;
  uint32_t m_bodyLength = 0;
  QString m_error;
};

}  // namespace hv
