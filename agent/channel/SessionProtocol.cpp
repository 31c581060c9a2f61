#include "agent/channel/SessionProtocol.h"

#include "agent/channel/PacketBuffer.h"

#include <QtEndian>

namespace hv::sserver {

void MaskInPlace(char* data, qsizetype size) {
  for (qsizetype i = 0; i < size; ++i) data[i] = static_cast<char>(static_cast<uint8_t>(data[i]) ^ kPayloadMask);
}

QByteArray EncodeFrame(const QByteArray& payload) {
  QByteArray frame(4 + payload.size(), Qt::Uninitialized);
  qToLittleEndian<int32_t>(static_cast<int32_t>(payload.size() - 4), frame.data());
  for (qsizetype i = 0; i < payload.size(); ++i)
    frame[4 + i] = static_cast<char>(static_cast<uint8_t>(payload[i]) ^ kPayloadMask);
  return frame;
}

void FrameDecoder::Feed(const char* data, qsizetype size) {
  if (m_error || size <= 0) return;
  // Drop what was consumed before growing, so a long stream does not pile up.
  if (m_offset > 0 && (m_offset >= 65536 || m_offset == m_buffer.size())) {
    m_buffer.remove(0, m_offset);
    m_offset = 0;
  }
  m_buffer.append(data, size);
}

FrameDecoder::Result FrameDecoder::Next(QByteArray& payload) {
  if (m_error) return Result::Error;
  const qsizetype avail = m_buffer.size() - m_offset;
  if (avail < 4) return Result::NeedMore;
  const int32_t word = qFromLittleEndian<int32_t>(m_buffer.constData() + m_offset);
  if (word < 0 || word > kMaxPayloadLength - 4) {
    m_error = true;
    m_badLength = word;
    m_buffer.clear();
    m_offset = 0;
    return Result::Error;
  }
  const qsizetype payloadLen = qsizetype(word) + 4;
  if (avail - 4 < payloadLen) return Result::NeedMore;
  payload = QByteArray(m_buffer.constData() + m_offset + 4, payloadLen);
  MaskInPlace(payload.data(), payload.size());
  m_offset += 4 + payloadLen;
  if (m_offset == m_buffer.size()) {
    m_buffer.clear();
    m_offset = 0;
  }
  return Result::Frame;
}

void FrameDecoder::Reset() {
  m_buffer.clear();
  m_offset = 0;
  m_error = false;
  m_badLength = 0;
}

QByteArray MakeLoginPayload(const LoginFields& f) {
  PacketBuffer b;
  b.WriteInt(kCmdLogin);
  b.WriteAnsi(QString::fromLatin1(kAgentBanner));
  b.WriteInt(kProtocolVersion);
  b.WriteAnsi(f.identity);
  b.WriteAnsi(f.loginId);
  b.WriteAnsi(f.group);
  b.WriteAnsi(f.center);
  b.WriteAnsi(f.logoutPage);
  return b.Bytes();
}

QByteArray MakeKeepAlivePayload(uint32_t tickMs) {
  PacketBuffer b;
  b.WriteInt(kCmdKeepAlive);
  // The service's own format: the tick count followed by the letter l.
  b.WriteAnsi(QString::asprintf("Session Keep - %ul", tickMs));
  return b.Bytes();
}

QByteArray MakeAckPayload(int32_t reply, int32_t result) {
  PacketBuffer b;
  b.WriteInt(reply);
  b.WriteInt(result);
  return b.Bytes();
}

QByteArray MakeAckPayload(int32_t reply, int32_t result, int32_t code, const QByteArray& data) {
  PacketBuffer b;
  b.WriteInt(reply);
  b.WriteInt(result);
  QByteArray raw(4, Qt::Uninitialized);
  qToLittleEndian<int32_t>(code, raw.data());
  raw.append(data);
  b.WriteAnsiBytes(raw.toBase64());
  return b.Bytes();
}

QString GroupThousands(qint64 value) {
  const bool negative = value < 0;
  QString digits = QString::number(negative ? -value : value);
  for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
  return negative ? QLatin1Char('-') + digits : digits;
}

}  // namespace hv::sserver
