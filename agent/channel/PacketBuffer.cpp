#include "agent/channel/PacketBuffer.h"

#include "agent/channel/AnsiCodec.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

PacketBuffer::PacketBuffer() { m_data.resize(kInitialCapacity); }

PacketBuffer::PacketBuffer(const char* data, qsizetype size) {
  m_data = QByteArray(data, size);
  m_size = size;
}

void PacketBuffer::Reserve(qsizetype extra) {
  if (m_size + extra <= m_data.size()) return;
  m_data.resize(m_size + std::max<qsizetype>(extra, kGrowStep));
}

void PacketBuffer::WriteBytes(const char* data, qsizetype size) {
  if (size <= 0) return;
  Reserve(size);
  std::memcpy(m_data.data() + m_size, data, static_cast<size_t>(size));
  m_size += size;
}

void PacketBuffer::WriteInt(int32_t value) {
  char b[4];
  qToLittleEndian<int32_t>(value, b);
  WriteBytes(b, 4);
}

void PacketBuffer::WriteAnsiBytes(const QByteArray& bytes) {
  WriteInt(static_cast<int32_t>(bytes.size()));
  WriteBytes(bytes.constData(), bytes.size());
}

void PacketBuffer::WriteAnsi(const QString& text) { WriteAnsiBytes(hv::ansi::FromUnicode(text)); }

void PacketBuffer::WriteUtf16(const QString& text) {
  QByteArray bytes(text.size() * 2, Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i)
    qToLittleEndian<uint16_t>(text.at(i).unicode(), bytes.data() + i * 2);
  WriteAnsiBytes(bytes);
}

const char* PacketBuffer::Take(qsizetype n) {
  if (m_failed || n < 0 || n > m_size - m_pos) {
    m_failed = true;
    return nullptr;
  }
  const char* p = m_data.constData() + m_pos;
  m_pos += n;
  return p;
}

bool PacketBuffer::ReadInt(int32_t& value) {
  const char* p = Take(4);
  if (!p) return false;
  value = qFromLittleEndian<int32_t>(p);
  return true;
}

bool PacketBuffer::ReadCount(qsizetype& n) {
  int32_t count = 0;
  if (!ReadInt(count)) return false;
  // The count comes from the peer: it must fit in what is left.
  if (count < 0 || count > m_size - m_pos) {
    m_failed = true;
    return false;
  }
  n = count;
  return true;
}

bool PacketBuffer::ReadAnsi(QString& text, int capacity) {
  text.clear();
  qsizetype n = 0;
  if (!ReadCount(n)) return false;
  const char* p = Take(n);
  const qsizetype keep = std::min<qsizetype>(n, std::max(capacity - 1, 0));
  text = hv::ansi::ToUnicode(QByteArray(p, keep));
  return true;
}

bool PacketBuffer::ReadUtf16(QString& text, int capacity) {
  text.clear();
  qsizetype n = 0;
  if (!ReadCount(n)) return false;
  const char* p = Take(n);
  const qsizetype keep = std::min<qsizetype>(n / 2, std::max(capacity / 2 - 1, 0));
  text.resize(keep);
  for (qsizetype i = 0; i < keep; ++i) text[i] = QChar(qFromLittleEndian<uint16_t>(p + i * 2));
  return true;
}
