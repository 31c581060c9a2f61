#pragma once

#include "agent/channel/ChannelListener.h"
#include "agent/channel/ChannelRecords.h"
#include "agent/channel/SessionProtocol.h"
#include "common/ServerRecord.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class PacketBuffer;

namespace hv::net {
class BaseNet;
}

// The console's one connection to the SessionServer: picks a server from the set, connects
// directly or through the HTTP proxy, signs the agent in, keeps the connection alive, decodes
// every pushed command into the listener and reconnects by the "AgentReconnect" setting.
//
// Threads: the connect attempt (name lookup, TCP connect, proxy CONNECT) runs on its own
// std::thread; its result is queued to the owning thread. The socket itself lives on the
// owning thread, so every frame, error and listener call happens there, in order.
//
// Owner's use:
//   auto* ch = new CHVAgentSServer(listener);
//   ch->SetIdentity(sencurid, loginId, group, center);
//   ch->SetLogoutPageBase(urlLogout4Session, encurid);
//   ch->SetServerSet(set);           // with the SESSIONADDR/SESSIONPORT entry as fallback
//   ch->Create(host, port, proxyOrNull, sslType == 1 ? 1 : 2);
//   ch->AgentLogin(0);
//   ...
//   ch->Close(); delete ch;          // or deleteLater() from inside a listener call
class CHVAgentSServer : public QObject {
  Q_OBJECT
 public:
  enum State { Created, Connecting, Unconnected, SigningIn, SignedIn, WaitingToReconnect, Closed };

  // Timer ids of the original, kept for the log and the docs.
  static constexpr int kKeepAliveTimerId = 2001;
  static constexpr int kReconnectTimerId = 2002;
  static constexpr int kConnectCodeFirst = 1125;
  static constexpr int kConnectCodeReconnect = 1127;
  static constexpr int kErrorReceiveFailed = 1001;
  static constexpr int kErrorSendClosed = 1004;
  static constexpr int kMaxMissedKeepAlives = 10;

  explicit CHVAgentSServer(IChannelListener* listener, QObject* parent = nullptr);
  ~CHVAgentSServer() override;

  // --- configuration (before Create / AgentLogin) ----------------------------------------------
  void SetIdentity(const QString& sessionIdentity, const QString& loginId, const QString& group,
                   const QString& center);
  // The logout page is rebuilt per server from these: "%s?encurid=%s&caller=session_agent&sessionServerId=%s".
  void SetLogoutPageBase(const QString& urlLogout4Session, const QString& encurid);
  void SetLogoutPage(const QString& page) { m_login.logoutPage = page; }
  void SetServerSet(const ChannelServerSet& set) { m_servers = set; }
  const ChannelServerSet& ServerSet() const { return m_servers; }
  // The current index into the set (0-based); the owner resets it to 0 at login.
  int ServerIndex() const { return m_serverIndex; }
  void SetServerIndex(int index) { m_serverIndex = index; }
  QString CurrentServerId() const;
  // Extra CA certificates (PEM file) trusted in security mode 1.
  void SetCaFile(const QString& path) { m_caFile = path; }
  // Periods of the keep-alive (2001) and reconnect (2002) timers; tests shorten them.
  void SetTimerPeriods(int keepAliveMs, int reconnectMs);
  void SetConnectTimeout(int ms) { m_connectTimeoutMs = ms; }

  // --- lifecycle --------------------------------------------------------------------------------
  // proxy: used when not null and its host is not empty. securityMode: 1 TLS, 2 plain.
  // host/port are not used for connecting: every attempt takes its server from the set.
  bool Create(const QString& host, int port, const ServerRecord* proxy, int securityMode);
  // Starts one connection attempt on a new connect thread (connect code 1127 when reconnect).
  void AgentLogin(int reconnect);
  // Stops logging, the timers, any running attempt and closes the socket; the channel stays
  // usable for AgentLogin.
  void Close();
  // What the destructor runs: stop the connect thread (bounded wait), drop the socket.
  void Destroy();

  // --- protocol ---------------------------------------------------------------------------------
  enum SendType { kSendLogin = 1, kSendKeepAlive = 2, kSendAck = 3 };
  // Payload of the login, keep-alive or acknowledgement.
  QByteArray MakeSocketSendData(int type) const;
  // One received, unmasked payload.
  void SocketDataReceive(const QByteArray& payload);
  // Connect result (1525), loss of the connection (1527).
  void SocketConnectionDone(int connectCode, long error);
  void ConnectionClose(int code, qintptr handle);
  void TryReConnect();

  // --- state, for the owner and tests -----------------------------------------------------------
  State CurrentState() const { return m_state; }
  bool IsConnected() const { return m_connected; }
  bool KeepAliveAnswered() const { return m_answered; }
  int MissedKeepAlives() const { return m_missed; }
  qint16 AttemptCounter() const { return m_attempt; }
  bool HasSocketWindow() const { return m_created; }
  bool ConnectThreadRunning() const { return m_job != nullptr; }

 signals:
  // Each attempt's server and result, after the attempt (for the owner's status and tests).
  void connectAttempted(int index, const QString& host, int port, int result);

 private:
  struct ConnectJob;
  void StartConnectThread();
  bool OpenSessionChannelStopThread();
  void OnConnectResult(const std::shared_ptr<ConnectJob>& job, int result, int fd);
  void OnSocketReady(int result);
  void OnDataArrived();
  void OnSocketLost(int code);
  void CloseSocket();
  // Frames and sends a payload. Bytes sent, or -1 (a closed socket then reports 1527/1004).
  int SendPayload(const QByteArray& payload);
  void OnKeepAliveTimer();
  void OnReconnectTimer();
  void OnAgentLogout();
  void OnAgentKill();
  void OnAgentStatusChange(int status);
  void NetworkLoginRequest(int type);

  // Decoders of the pushed commands.
  void ReceiveRouted(PacketBuffer& b, int top);
  void ReceiveRoutedAgent(PacketBuffer& b);
  void NotifySupportStarted(PacketBuffer& b);
  void NotifyCustomerRequest(PacketBuffer& b, int flags);
  void ReceiveStatusChange(PacketBuffer& b, int which);
  void ReceiveBroadcast(PacketBuffer& b, int top);
  void ReceiveServiceNotice(PacketBuffer& b);
  void ReceiveCustomerProgress(PacketBuffer& b);
  bool ReadHeaderR(PacketBuffer& b, int32_t& sub);
  bool ReadHeaderB(PacketBuffer& b, int32_t& sub);
  bool Alive() const { return m_listener != nullptr; }

  IChannelListener* m_listener;
  State m_state = Created;
  hv::sserver::LoginFields m_login;
  QString m_logoutUrl;
  QString m_encurid;
  ChannelServerSet m_servers;
  int m_serverIndex = 0;
  QString m_caFile;

  bool m_created = false;  // the socket window exists
  bool m_logging = false;
  int m_connectCode = kConnectCodeFirst;
  bool m_proxy = false;
  QByteArray m_proxyHost, m_proxyUser, m_proxyPassword;
  int m_proxyPort = 0;
  int m_securityMode = 2;
  int m_bindResult = 0;
  QString m_peerName;

  hv::net::BaseNet* m_net = nullptr;
  hv::sserver::FrameDecoder m_decoder;
  quint64 m_generation = 0;  // one per connection, to drop stale reports

  bool m_connected = false;
  bool m_answered = false;
  int m_missed = 0;
  qint16 m_attempt = 0;

  QTimer m_keepAliveTimer;
  QTimer m_reconnectTimer;
  int m_connectTimeoutMs = 30000;
  int m_stopWaitMs = 2000;

  std::shared_ptr<ConnectJob> m_job;
};
