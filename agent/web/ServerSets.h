#pragma once

#include <QList>
#include <QString>

// The service's alternate servers, as plain data. The login answer names them in
// MULTI_AUTH_SERVER, MULTI_SESSION_SERVER and MULTI_UPDATE_SERVER: entries separated by ",",
// fields by "|", no escaping. Integers follow the leading-digits rule.

struct AuthServerEntry {
  QString host;
  QString extra;  // only in the five-field form; kept, not used
  int port = 0;
  QString serverId;
  int secure = 0;  // 1 = https
};

struct SessionServerEntry {
  QString host;
  int port = 0;
  QString serverId;
};

struct UpdateServerEntry {
  QString host;
  int port = 0;
  int type = 0;
  int secure = 0;
};

namespace hv {

// Entries of four (host|port|id|secure) or five (host|extra|port|id|secure) fields, in the
// REVERSE order of the text (the stored set is walked from its end); other counts are skipped.
QList<AuthServerEntry> ParseAuthServerSet(const QString& text);
// host|port|id; missing fields read as empty or 0, an entry without a host is skipped.
QList<SessionServerEntry> ParseSessionServerSet(const QString& text);
// host|port|type[|secure]; missing fields read as 0, an entry without a host is skipped.
QList<UpdateServerEntry> ParseUpdateServerSet(const QString& text);

}  // namespace hv
