#pragma once

#include "agent/channel/ChannelRecords.h"

#include <QString>

// What the SessionServer channel tells its owner (the control object). Every call is made on
// the thread that owns the channel, one at a time, in the order the events happened: connect
// result, then the frames of that connection in arrival order, then its loss.
//
// The owner must not delete the channel from inside one of these calls; use deleteLater()
// (or close it, which is safe anywhere).
class IChannelListener {
 public:
  virtual ~IChannelListener() = default;

  // --- settings and state the channel consults --------------------------------------------
  // 2 = signed in (from a successful web login until logout).
  virtual int SignInState() const = 0;
  // The "AgentReconnect" setting: 1 = reconnect after a loss, else log out.
  virtual int AgentReconnect() const = 0;
  // The text of an IDS_ key of the active language (customer preparation progress).
  virtual QString ResourceText(const QString& key) const { return key; }

  // --- lifecycle -----------------------------------------------------------------------------
  // Every connect result (0 = connected), before the channel acts on it. Information only.
  virtual void SessionConnectionDone(int /*connectCode*/, int /*error*/) {}
  virtual void AgentReconnecting() {}
  // The SessionServer accepted the login (30100).
  virtual void AgentConnected() {}
  // The channel lost the agent (server logout, lost connection without reconnect, failed
  // login send): only called while SignInState() is 2. The owner logs the agent out.
  virtual void LogOut() {}
  // Signed in elsewhere (303): the owner sets logout reason 5 and shows the logout.
  virtual void AgentKilled() {}

  // --- pushed commands -----------------------------------------------------------------------
  // status 0 supportable, 1 away, 2 supporting, 3 offline; the channel passes webCall 0.
  virtual void AgentState(int /*status*/, int /*webCall*/) {}
  // withdrawn 1: the request of the record's room is taken back (323).
  virtual void CustomerNotify(const CustomerRecord& /*record*/, int /*withdrawn*/) {}
  virtual void SupportStartedNotify(const CustomerRecord& /*record*/) {}
  // withGuid false: the three-value form (311, 320, 353, 363); true: 310, 312.
  virtual void ChatState(int /*code*/, const QString& /*roomId*/, const QString& /*customerName*/,
                         const QString& /*guid*/, bool /*withGuid*/) {}
  // supportType: 2 remote control (313-315), 8 mobile (350-352, 380-382), 0x20 camera (360-362).
  virtual void ViewerState(int /*code*/, const QString& /*guid*/, const QString& /*roomId*/,
                           const QString& /*customerName*/, int /*supportType*/) {}
  // 322: to the viewer of the room.
  virtual void CustomerConnectInfo(const QString& /*roomId*/, const QString& /*browser*/,
                                   const QString& /*os*/) {}
  virtual void SessionShareNotify(const SessionTransferInfo& /*info*/) {}
  virtual void SessionTransferNotify(const SessionTransferInfo& /*info*/) {}
  virtual void SessionReconnectNotify(const HostReconnectInfo& /*info*/) {}
  // 325: to the viewer of the room.
  virtual void ViewerDownloadFile(const QString& /*roomId*/, const QString& /*fileName*/) {}
  // 30304, statuses 1000..1014 with a text: viewer message 1313 to the viewer addressed by key.
  virtual void CustomerPreparing(const QString& /*key*/, int /*status*/, const QString& /*text*/) {}
  // 404: the service rejected the request (type is the number in the third text).
  virtual void SSvrMsgRequestReject(const QString& /*name*/, const QString& /*guid*/, int /*type*/) {}
  // 401: remove the popup of roomId, then cancel the request of guid.
  virtual void SSvrMsgRequestCancel(const QString& /*name*/, const QString& /*guid*/,
                                    const QString& /*roomId*/) {}
  // 620
  virtual void SetServiceUrl(const QString& /*url*/) {}
  // 621: a notice page, shown urgent.
  virtual void NotifyDialog(const QString& /*url*/, bool /*urgent*/) {}
};
