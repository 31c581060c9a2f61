#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The payload of one SessionServer frame: little-endian int32 values and texts with a 32-bit
// byte count, no alignment, no terminators. Writing grows the buffer; reading never passes the
// end: the first read that would fails, and every read after it fails too, so a short payload
// leaves the remaining fields empty (texts) or unchanged (integers).
class PacketBuffer {
 public:
  static constexpr int kInitialCapacity = 1024;
  static constexpr int kGrowStep = 1024;

  PacketBuffer();
  // A copy of the bytes, positioned at their start for reading.
  PacketBuffer(const char* data, qsizetype size);
  explicit PacketBuffer(const QByteArray& data) : PacketBuffer(data.constData(), data.size()) {}

  void WriteInt(int32_t value);
  void WriteBytes(const char* data, qsizetype size);
  // int32 byte count, then the text in the ANSI code page.
  void WriteAnsi(const QString& text);
  void WriteAnsiBytes(const QByteArray& bytes);
  // int32 byte count, then UTF-16LE.
  void WriteUtf16(const QString& text);

  bool ReadInt(int32_t& value);
  // Keeps at most capacity - 1 bytes of the text; the rest is skipped.
  bool ReadAnsi(QString& text, int capacity);
  // capacity in bytes: keeps at most capacity / 2 - 1 characters; the rest is skipped.
  bool ReadUtf16(QString& text, int capacity);

  const char* Data() const { return m_data.constData(); }
  qsizetype Size() const { return m_size; }
  qsizetype Capacity() const { return m_data.size(); }
  qsizetype Position() const { return m_pos; }
  bool Failed() const { return m_failed; }
  QByteArray Bytes() const { return m_data.left(m_size); }

 private:
  void Reserve(qsizetype extra);
  // The next n bytes, or nullptr (and the buffer failed) when fewer remain.
  const char* Take(qsizetype n);
  bool ReadCount(qsizetype& n);

  QByteArray m_data;
  qsizetype m_size = 0;
  qsizetype m_pos = 0;
  bool m_failed = false;
};
