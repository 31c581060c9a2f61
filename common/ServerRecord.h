#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The 1020-byte address record for the authentication server and the proxy. It is stored as it
// is in the settings tree and read by the viewer and the report tool, so the layout never
// changes: host 252 UTF-16 units, port int32 LE, user 128 units, password 128 units, each text
// NUL-terminated.
struct ServerRecord {
  static constexpr int kHostUnits = 252;
  static constexpr int kUserUnits = 128;
  static constexpr int kPasswordUnits = 128;
  static constexpr int kSize = 1020;

  char16_t host[kHostUnits] = {};
  int32_t port = 0;
  char16_t user[kUserUnits] = {};
  char16_t password[kPasswordUnits] = {};

  QString Host() const { return Read(host, kHostUnits); }
  QString User() const { return Read(user, kUserUnits); }
  QString Password() const { return Read(password, kPasswordUnits); }
  void SetHost(const QString& v) { Write(host, kHostUnits, v); }
  void SetUser(const QString& v) { Write(user, kUserUnits, v); }
  void SetPassword(const QString& v) { Write(password, kPasswordUnits, v); }

  // Exactly kSize bytes, little-endian, as stored.
  QByteArray ToBytes() const;
  // False (record untouched) unless the block is exactly kSize bytes.
  bool FromBytes(const QByteArray& bytes);

 private:
  static QString Read(const char16_t* field, int units);
  static void Write(char16_t* field, int units, const QString& value);
};

static_assert(sizeof(ServerRecord) == ServerRecord::kSize, "ServerRecord must stay 1020 bytes");
