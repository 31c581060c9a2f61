#include "common/ServerRecord.h"

#include <QtEndian>

#include <cstring>

QString ServerRecord::Read(const char16_t* field, int units) {
  int n = 0;
  while (n < units && field[n] != 0) ++n;  // a record without terminator still stays in bounds
  return QString::fromUtf16(field, n);
}

void ServerRecord::Write(char16_t* field, int units, const QString& value) {
  std::memset(field, 0, sizeof(char16_t) * units);
  const int n = std::min<int>(value.size(), units - 1);
  std::memcpy(field, value.utf16(), sizeof(char16_t) * n);
}

QByteArray ServerRecord::ToBytes() const {
  QByteArray out(kSize, '\0');
  char* p = out.data();
  for (int i = 0; i < kHostUnits; ++i) qToLittleEndian<quint16>(host[i], p + 2 * i);
  qToLittleEndian<qint32>(port, p + 504);
  for (int i = 0; i < kUserUnits; ++i) qToLittleEndian<quint16>(user[i], p + 508 + 2 * i);
  for (int i = 0; i < kPasswordUnits; ++i) qToLittleEndian<quint16>(password[i], p + 764 + 2 * i);
  return out;
}

bool ServerRecord::FromBytes(const QByteArray& bytes) {
  if (bytes.size() != kSize) return false;
  const char* p = bytes.constData();
  for (int i = 0; i < kHostUnits; ++i) host[i] = qFromLittleEndian<quint16>(p + 2 * i);
  port = qFromLittleEndian<qint32>(p + 504);
  for (int i = 0; i < kUserUnits; ++i) user[i] = qFromLittleEndian<quint16>(p + 508 + 2 * i);
  for (int i = 0; i < kPasswordUnits; ++i) password[i] = qFromLittleEndian<quint16>(p + 764 + 2 * i);
  return true;
}
