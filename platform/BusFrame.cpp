#include "platform/BusFrame.h"

#include <QtEndian>

namespace hv {
namespace {

template <typename T>
T ReadLE(const QByteArray& bytes, int offset) {
  return qFromLittleEndian<T>(bytes.constData() + offset);
}

template <typename T>
void AppendLE(QByteArray& out, T value) {
  char buf[sizeof(T)];
  qToLittleEndian<T>(value, buf);
  out.append(buf, sizeof(T));
}

bool BodySizeFits(BusKind kind, uint32_t length) {
  switch (kind) {
    case BusKind::CopyData:
      return length >= 4 && length <= kBusMaxBody;
    case BusKind::Send:
    case BusKind::Post:
      return length == kBusMessageBodySize;
    case BusKind::Reply:
      return length == kBusReplyBodySize;
  }
  return false;
}

}  // namespace

uint32_t BusFrame::CopyDataId() const { return ReadLE<uint32_t>(body, 0); }
QByteArray BusFrame::CopyDataPayload() const { return body.mid(4); }
uint32_t BusFrame::Message() const { return ReadLE<uint32_t>(body, 0); }
uint64_t BusFrame::WParam() const { return ReadLE<uint64_t>(body, 4); }
int64_t BusFrame::LParam() const { return ReadLE<int64_t>(body, 12); }
int32_t BusFrame::Result() const { return ReadLE<int32_t>(body, 0); }

QByteArray EncodeBusFrame(BusKind kind, uint32_t sequence, uint32_t sender, uint32_t target,
                          const QByteArray& body) {
  QByteArray out;
  out.reserve(kBusHeaderSize + body.size());
  AppendLE<uint32_t>(out, kBusMagic);
  AppendLE<uint16_t>(out, kBusVersion);
  AppendLE<uint16_t>(out, static_cast<uint16_t>(kind));
  AppendLE<uint32_t>(out, sequence);
  AppendLE<uint32_t>(out, sender);
  AppendLE<uint32_t>(out, target);
  AppendLE<uint32_t>(out, static_cast<uint32_t>(body.size()));
  out.append(body);
  return out;
}

QByteArray EncodeCopyData(uint32_t sequence, uint32_t sender, uint32_t target, uint32_t id,
                          const QByteArray& payload) {
  QByteArray body;
  AppendLE<uint32_t>(body, id);
  body.append(payload);
  return EncodeBusFrame(BusKind::CopyData, sequence, sender, target, body);
}

QByteArray EncodeMessage(BusKind kind, uint32_t sequence, uint32_t sender, uint32_t target,
                         uint32_t msg, uint64_t wParam, int64_t lParam) {
  QByteArray body;
  AppendLE<uint32_t>(body, msg);
  AppendLE<uint64_t>(body, wParam);
  AppendLE<int64_t>(body, lParam);
  return EncodeBusFrame(kind, sequence, sender, target, body);
}

QByteArray EncodeReply(uint32_t sequence, uint32_t sender, uint32_t target, int32_t result) {
  QByteArray body;
  AppendLE<int32_t>(body, result);
  return EncodeBusFrame(BusKind::Reply, sequence, sender, target, body);
}

qint64 BusFrameReader::BytesWanted() const {
  if (Failed()) return 0;
  if (!m_headerOk) return kBusHeaderSize - m_buffer.size();
  return qint64(kBusHeaderSize) + m_bodyLength - m_buffer.size();
}

void BusFrameReader::Feed(const QByteArray& bytes) {
  if (Failed()) return;
  m_buffer.append(bytes);
  if (!m_headerOk && m_buffer.size() >= kBusHeaderSize) CheckHeader();
}

void BusFrameReader::CheckHeader() {
  const uint32_t magic = ReadLE<uint32_t>(m_buffer, 0);
  const uint16_t version = ReadLE<uint16_t>(m_buffer, 4);
  const uint16_t kind = ReadLE<uint16_t>(m_buffer, 6);
  const uint32_t length = ReadLE<uint32_t>(m_buffer, 20);
  if (magic != kBusMagic) {
    m_error = QStringLiteral("bad magic 0x%1").arg(magic, 8, 16, QLatin1Char('0'));
  } else if (version != kBusVersion) {
    m_error = QStringLiteral("unsupported version %1").arg(version);
  } else if (kind < 1 || kind > 4) {
    m_error = QStringLiteral("unknown kind %1").arg(kind);
  } else if (length > kBusMaxBody) {
    m_error = QStringLiteral("declared length %1 above the limit %2").arg(length).arg(kBusMaxBody);
  } else if (!BodySizeFits(static_cast<BusKind>(kind), length)) {
    m_error = QStringLiteral("declared length %1 does not fit kind %2").arg(length).arg(kind);
  }
  if (Failed()) {
    m_buffer.clear();
    return;
  }
  m_headerOk = true;
  m_bodyLength = length;
}

std::optional<BusFrame> BusFrameReader::Take() {
  if (Failed() || !m_headerOk) return std::nullopt;
  const qint64 total = qint64(kBusHeaderSize) + m_bodyLength;
  if (m_buffer.size() < total) return std::nullopt;
  BusFrame frame;
  frame.kind = static_cast<BusKind>(ReadLE<uint16_t>(m_buffer, 6));
  frame.sequence = ReadLE<uint32_t>(m_buffer, 8);
  frame.sender = ReadLE<uint32_t>(m_buffer, 12);
  frame.target = ReadLE<uint32_t>(m_buffer, 16);
  frame.body = m_buffer.mid(kBusHeaderSize, m_bodyLength);
  m_buffer.remove(0, total);
  m_headerOk = false;
  m_bodyLength = 0;
  if (m_buffer.size() >= kBusHeaderSize) CheckHeader();
  return frame;
}

}  // namespace hv
