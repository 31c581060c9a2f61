#pragma once

#include <QList>
#include <QString>

// Records the SessionServer channel decodes and the control object keeps. Field order follows
// the control object's own model.

// A customer request. s0 customer ID, s1 customer name, s2 room ID, s3..s9 further texts the
// SessionServer sends with the request.
struct CustomerRecord {
  QString s[10];
  // bit 0 or 1: announced to all agents; bit 2: addressed to this agent (also a reservation);
  // bit 3: a redistributed request offered to this agent (sub-command 307).
  int flags = 0;

  const QString& CustomerId() const { return s[0]; }
  const QString& CustomerName() const { return s[1]; }
  const QString& RoomId() const { return s[2]; }
};

// A session transfer (365..368) or share (316..319) notice.
struct SessionTransferInfo {
  int NotifyID = 0;  // the sub-command that carried it
  QString RequesterID;
  QString RequesterName;
  QString RoomID;
  QString GUID;
  QString URID;
  int STType = 0;  // 1 chat, 2 viewer, 3 both; transfers also 4 and 5
  QString Extra;
};

// A session reconnect notice (371).
struct HostReconnectInfo {
  QString KillRoomID;
  QString ViewerGUID;
  int STType = 0;  // 4, 5 or 6
  QString Month;
  QString Day;
  QString Hour;
  QString Minute;
  QString MobileKey;
};

// One SessionServer of the set the channel walks. The control object fills the set from the
// login answer (MULTI_SESSION_SERVER, or the SESSIONADDR/SESSIONPORT fallback entry).
struct ChannelServer {
  QString host;
  int port = 0;
  QString serverId;
};
using ChannelServerSet = QList<ChannelServer>;
