#include "agent/channel/HVAgentSServer.h"

#include "agent/channel/AnsiCodec.h"
#include "agent/channel/BaseNet.h"
#include "agent/channel/PacketBuffer.h"
#include "agent/log/DeveloperLog.h"

#include <QPointer>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace hv::sserver;

// Lines go to the developer log only while the channel is open for logging (Create..Close).
#define CHLOG(level, ...) \
  do { \
    if (m_logging) HVLOG(level, __VA_ARGS__); \
  } while (0)

namespace {

QByteArray U(const QString& s) { return s.toUtf8(); }

uint32_t TickCount() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// Owns a socket descriptor until someone takes it.
struct FdHolder {
  int fd = -1;
  explicit FdHolder(int f) : fd(f) {}
  ~FdHolder() {
    if (fd >= 0) ::close(fd);
  }
  int Release() {
    const int f = fd;
    fd = -1;
    return f;
  }
  FdHolder(const FdHolder&) = delete;
  FdHolder& operator=(const FdHolder&) = delete;
};

const char* StatusLabel(int status) {
  switch (status) {
    case 0: return "supportalbe";  // the service's own spelling in this line
    case 1: return "away";
    case 2: return "supporting";
    case 3: return "offline";
    default: return "supportable";
  }
}

}  // namespace

struct CHVAgentSServer::ConnectJob {
  std::atomic<bool> cancel{false};
  std::mutex lock;
  std::condition_variable cv;
  bool finished = false;
  CHVAgentSServer* target = nullptr;  // cleared under lock when the channel lets go
  std::thread thread;

  int index = 0;
  QByteArray host;
  int port = 0;
  int timeoutMs = 30000;
  bool proxy = false;
  hv::net::ProxyRelayRecord record{};
};

CHVAgentSServer::CHVAgentSServer(IChannelListener* listener, QObject* parent)
    : QObject(parent), m_listener(listener) {
  m_keepAliveTimer.setSingleShot(true);
  m_keepAliveTimer.setInterval(5000);
  m_keepAliveTimer.setTimerType(Qt::PreciseTimer);
  m_reconnectTimer.setSingleShot(true);
  m_reconnectTimer.setInterval(3000);
  connect(&m_keepAliveTimer, &QTimer::timeout, this, &CHVAgentSServer::OnKeepAliveTimer);
  connect(&m_reconnectTimer, &QTimer::timeout, this, &CHVAgentSServer::OnReconnectTimer);
}

CHVAgentSServer::~CHVAgentSServer() { Destroy(); }

void CHVAgentSServer::SetIdentity(const QString& sessionIdentity, const QString& loginId,
                                  const QString& group, const QString& center) {
  m_login.identity = sessionIdentity;
  m_login.loginId = loginId;
  m_login.group = group;
  m_login.center = center;
}

void CHVAgentSServer::SetLogoutPageBase(const QString& urlLogout4Session, const QString& encurid) {
  m_logoutUrl = urlLogout4Session;
  m_encurid = encurid;
}

QString CHVAgentSServer::CurrentServerId() const {
  if (m_serverIndex < 0 || m_serverIndex >= m_servers.size()) return {};
  return m_servers.at(m_serverIndex).serverId;
}

void CHVAgentSServer::SetTimerPeriods(int keepAliveMs, int reconnectMs) {
  m_keepAliveTimer.setInterval(keepAliveMs);
  m_reconnectTimer.setInterval(reconnectMs);
}

bool CHVAgentSServer::Create(const QString& /*host*/, int /*port*/, const ServerRecord* proxy,
                             int securityMode) {
  if (m_created) return true;
  m_logging = true;
  m_securityMode = securityMode;
  m_proxy = proxy && !proxy->Host().isEmpty();
  if (m_proxy) {
    m_proxyHost = hv::ansi::FromUnicode(proxy->Host());
    m_proxyPort = proxy->port;
    m_proxyUser = hv::ansi::FromUnicode(proxy->User());
    m_proxyPassword = hv::ansi::FromUnicode(proxy->Password());
  }
  // The network layer is bound with the socket window; a failed binding still creates the
  // window, and every connect then fails at once with the binding result.
  m_bindResult = hv::net::BaseNet::Bind(securityMode, &m_net, this);
  if (m_bindResult != 0) {
    CHLOG(3, "BaseNet binding failed (Result = %d, Security = %d)", m_bindResult, securityMode);
  } else {
    connect(m_net, &hv::net::BaseNet::ready, this, &CHVAgentSServer::OnSocketReady);
    connect(m_net, &hv::net::BaseNet::dataArrived, this, &CHVAgentSServer::OnDataArrived);
    connect(m_net, &hv::net::BaseNet::lost, this, &CHVAgentSServer::OnSocketLost);
  }
  m_created = true;
  m_state = Created;
  return true;
}

void CHVAgentSServer::AgentLogin(int reconnect) {
  if (!m_created) {
    CHLOG(0, "CHVAgentSServer::AgentLogin m_pSessionWnd == NULL, return");
    return;
  }
  CHLOG(0, "==> CHVAgentSServer::AgentLogin()");
  m_connectCode = reconnect ? kConnectCodeReconnect : kConnectCodeFirst;
  CHLOG(0, "CHVAgentSServer::AgentLogin(%d)", m_serverIndex);
  CHLOG(0, "CHVAgentSServer::AgentLogin THREAD");
  StartConnectThread();
  CHLOG(0, "<== CHVAgentSServer::AgentLogin(%d)", m_serverIndex);
}

void CHVAgentSServer::StartConnectThread() {
  // One attempt at a time: a new one replaces a running one.
  if (m_job) OpenSessionChannelStopThread();
  if (m_servers.isEmpty()) return;

  // Two attempts per server, then the next one, round and round.
  const qint16 old = m_attempt;
  m_attempt = static_cast<qint16>(old + 1);
  if (old < -1 || old > 1) {
    m_attempt = 1;
    ++m_serverIndex;
  }
  if (m_serverIndex < 0 || m_serverIndex >= m_servers.size()) m_serverIndex = 0;
  const ChannelServer entry = m_servers.at(m_serverIndex);
  if (!m_logoutUrl.isEmpty() || !m_encurid.isEmpty())
    m_login.logoutPage = QStringLiteral("%1?encurid=%2&caller=session_agent&sessionServerId=%3")
                             .arg(m_logoutUrl, m_encurid, entry.serverId);
  m_state = Connecting;

  auto job = std::make_shared<ConnectJob>();
  job->target = this;
  job->index = m_serverIndex;
  job->host = hv::ansi::FromUnicode(entry.host);
  job->port = entry.port;
  job->timeoutMs = m_connectTimeoutMs;
  job->proxy = m_proxy;
  m_peerName = entry.host;
  if (m_proxy) {
    hv::net::FillRelayText(job->record.proxyHost, m_proxyHost);
    job->record.proxyPort = m_proxyPort;
    hv::net::FillRelayText(job->record.proxyUser, m_proxyUser);
    hv::net::FillRelayText(job->record.proxyPassword, m_proxyPassword);
    hv::net::FillRelayText(job->record.targetHost, job->host);
    job->record.targetPort = entry.port;
  }

  if (!m_net) {
    // No network layer: the attempt fails without connecting, reported like any other.
    m_job = job;
    const int result = m_bindResult;
    QTimer::singleShot(0, this, [this, job, result] { OnConnectResult(job, result, -1); });
    return;
  }

  m_job = job;
  job->thread = std::thread([job] {
    int fd = -1;
    int result = 0;
    if (job->proxy) {
      int status = 0;
      hv::net::ConnectProxyForRelay(job->record, &status, &fd, job->timeoutMs, &job->cancel);
      result = status == 200 ? 0 : (status == 0 ? -1 : status);
    } else {
      result = hv::net::TcpConnect(job->host, job->port, job->timeoutMs, &job->cancel, &fd);
    }
    bool handed = false;
    {
      std::lock_guard<std::mutex> g(job->lock);
      if (job->target && !job->cancel) {
        CHVAgentSServer* target = job->target;
        auto holder = std::make_shared<FdHolder>(fd);
        handed = true;
        QMetaObject::invokeMethod(
            target, [target, job, result, holder] { target->OnConnectResult(job, result, holder->Release()); },
            Qt::QueuedConnection);
      }
      job->finished = true;
    }
    job->cv.notify_all();
    if (!handed && fd >= 0) ::close(fd);
  });
}

bool CHVAgentSServer::OpenSessionChannelStopThread() {
  CHLOG(0, "==> OpenSessionChannelStopThread");
  if (!m_job) {
    CHLOG(0, "OpenSessionChannelStopThread handle is null");
    return false;
  }
  std::shared_ptr<ConnectJob> job = std::move(m_job);
  job->cancel = true;
  bool finished = false;
  {
    std::unique_lock<std::mutex> g(job->lock);
    job->target = nullptr;
    finished = job->cv.wait_for(g, std::chrono::milliseconds(m_stopWaitMs), [&] { return job->finished; });
  }
  if (job->thread.joinable()) {
    // A thread stuck in the system resolver is not killed: it ends on its own and, holding only
    // its own job, touches nothing of ours.
    if (finished)
      job->thread.join();
    else
      job->thread.detach();
  }
  CHLOG(0, "<== OpenSessionChannelStopThread");
  return true;
}

void CHVAgentSServer::OnConnectResult(const std::shared_ptr<ConnectJob>& job, int result, int fd) {
  FdHolder holder(fd);
  if (job != m_job) return;  // a stopped attempt; its socket is closed by the holder
  if (job->thread.joinable()) job->thread.join();
  m_job.reset();

  QString page = m_login.logoutPage;
  if (!m_encurid.isEmpty()) page.replace(m_encurid, QStringLiteral("****"));
  CHLOG(0, "AgentLoginProcess::SessionSvrConnect (LogoutPage = %s)", U(page).constData());
  CHLOG(0, "AgentLoginProcess::SessionSvrConnect (IP = %s, Port = %d, Result = %d)", job->host.constData(),
        job->port, result);
  QPointer<CHVAgentSServer> self(this);
  emit connectAttempted(job->index, QString::fromUtf8(job->host), job->port, result);
  if (!self) return;

  if (result != 0) {
    SocketConnectionDone(m_connectCode, result);
    return;
  }
  m_net->SetCaFile(m_caFile);
  const int taken = m_net->SetSocket(holder.Release(), m_peerName);
  if (taken != 0) {
    SocketConnectionDone(m_connectCode, taken);
    return;
  }
  ++m_generation;
  m_decoder.Reset();
  if (!m_net->NeedsHandshake()) SocketConnectionDone(m_connectCode, 0);
}

void CHVAgentSServer::OnSocketReady(int result) { SocketConnectionDone(m_connectCode, result); }

void CHVAgentSServer::SocketConnectionDone(int connectCode, long error) {
  CHLOG(0, "SocketConnectionDone(nConnectCode = %d, dwError = %ld)", connectCode, error);
  QPointer<CHVAgentSServer> self(this);
  if (m_listener) m_listener->SessionConnectionDone(connectCode, static_cast<int>(error));
  if (!self || m_connected) return;
  if (error != 0) {
    int detail = 0;
    const int last = m_net ? m_net->GetLastErrorNo(&detail) : m_bindResult;
    CHLOG(3, "ConnectionDone1(nResult = %d, Errorcode = %d, dwError = %d)", last, detail, static_cast<int>(error));
    if ((connectCode == kConnectCodeFirst || connectCode == kConnectCodeReconnect) && m_listener &&
        m_listener->AgentReconnect() == 1) {
      TryReConnect();
    } else {
      CloseSocket();
      m_state = Unconnected;
    }
    return;
  }
  const QByteArray login = MakeSocketSendData(kSendLogin);
  const int sent = SendPayload(login);
  if (sent == login.size() + 4) {
    m_connected = true;
    m_answered = true;
    m_missed = 0;
    m_state = SigningIn;
    m_keepAliveTimer.start();
    return;
  }
  int detail = 0;
  const int last = m_net ? m_net->GetLastErrorNo(&detail) : m_bindResult;
  CHLOG(3, "ConnectionDone2(nResult = %d, Errorcode = %d)", last, detail);
  if (m_listener && m_listener->AgentReconnect() == 1) {
    TryReConnect();
  } else {
    CloseSocket();
    m_state = Unconnected;
    OnAgentLogout();
  }
}

void CHVAgentSServer::OnDataArrived() {
  if (!m_net) return;
  QPointer<CHVAgentSServer> self(this);
  const quint64 generation = m_generation;
  // Read in bounded chunks so a flood is checked frame by frame, never held whole.
  char chunk[65536];
  for (;;) {
    QByteArray payload;
    for (;;) {
      const FrameDecoder::Result r = m_decoder.Next(payload);
      if (r == FrameDecoder::Result::NeedMore) break;
      if (r == FrameDecoder::Result::Error) {
        CHLOG(3, "SocketDataReceive: frame length %d out of range (0..%d), connection dropped",
              m_decoder.BadLength(), kMaxPayloadLength - 4);
        const qintptr handle = m_net->Handle();
        ConnectionClose(kErrorReceiveFailed, handle);
        return;
      }
      SocketDataReceive(payload);
      if (!self || generation != m_generation || !m_net) return;
    }
    const qint64 n = m_net->Read(chunk, sizeof chunk);
    if (n <= 0) return;
    m_decoder.Feed(chunk, n);
  }
}

void CHVAgentSServer::OnSocketLost(int code) {
  QPointer<CHVAgentSServer> self(this);
  const quint64 generation = m_generation;
  // What arrived before the loss is handled first.
  OnDataArrived();
  if (!self || generation != m_generation) return;
  ConnectionClose(code, m_net ? m_net->Handle() : -1);
}

void CHVAgentSServer::CloseSocket() {
  ++m_generation;
  if (m_net) m_net->Close();
  m_decoder.Reset();
}

int CHVAgentSServer::SendPayload(const QByteArray& payload) {
  if (!m_net || !m_net->IsOpen()) {
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
      if (generation == m_generation) ConnectionClose(kErrorSendClosed, 0);
    });
    return -1;
  }
  const QByteArray frame = EncodeFrame(payload);
  return m_net->Write(frame) == 0 ? static_cast<int>(frame.size()) : -1;
}

QByteArray CHVAgentSServer::MakeSocketSendData(int type) const {
  switch (type) {
    case kSendLogin: return MakeLoginPayload(m_login);
    case kSendKeepAlive: return MakeKeepAlivePayload(TickCount());
    case kSendAck: return MakeAckPayload(kCmdAck, kResultOk);
    default: return {};
  }
}

void CHVAgentSServer::OnKeepAliveTimer() {
  m_keepAliveTimer.stop();
  if (!m_connected) return;
  if (m_answered) {
    m_missed = 0;
  } else if (++m_missed > kMaxMissedKeepAlives) {
    m_missed = 0;
    ConnectionClose(0, 0);
    return;
  }
  m_answered = false;
  SendPayload(MakeSocketSendData(kSendKeepAlive));
  if (m_connected) m_keepAliveTimer.start();
}

void CHVAgentSServer::ConnectionClose(int code, qintptr handle) {
  const int reconnect = m_listener ? m_listener->AgentReconnect() : 0;
  int detail = 0;
  const int last = m_net ? m_net->GetLastErrorNo(&detail) : 0;
  Q_UNUSED(code);
  Q_UNUSED(handle);
  if (reconnect != 1) {
    if (m_connected) {
      CHLOG(3, "ConnectionClose2(nResult = %d, Errorcode = %d, ReConnect = %d)", last, detail, reconnect);
      m_keepAliveTimer.stop();
      CloseSocket();
      m_connected = false;
    } else {
      CloseSocket();
    }
    m_state = Unconnected;
    OnAgentLogout();
    return;
  }
  if (!m_connected) {
    // Lost before the login went out: the attempt's own failure path decides.
    CloseSocket();
    return;
  }
  CHLOG(3, "ConnectionClose1(nResult = %d, Errorcode = %d, ReConnect = %d)", last, detail, reconnect);
  if (m_listener && m_listener->SignInState() == 2) {
    TryReConnect();
  } else {
    // The agent is logging out: no reconnect, but the dead socket and its keep-alive stop.
    m_keepAliveTimer.stop();
    CloseSocket();
    m_connected = false;
    m_state = Unconnected;
  }
}

void CHVAgentSServer::TryReConnect() {
  m_keepAliveTimer.stop();
  m_reconnectTimer.stop();
  CloseSocket();
  m_connected = false;
  m_state = WaitingToReconnect;
  CHLOG(0, "Agent TryReConnect...");
  QPointer<CHVAgentSServer> self(this);
  if (m_listener) m_listener->AgentReconnecting();
  if (!self || m_state != WaitingToReconnect) return;
  m_reconnectTimer.start();
}

void CHVAgentSServer::OnReconnectTimer() {
  m_reconnectTimer.stop();
  AgentLogin(0);
}

void CHVAgentSServer::Close() {
  m_logging = false;
  m_keepAliveTimer.stop();
  m_reconnectTimer.stop();
  if (m_job) OpenSessionChannelStopThread();
  CloseSocket();
  m_connected = false;
  m_state = Closed;
}

void CHVAgentSServer::Destroy() {
  m_reconnectTimer.stop();
  m_keepAliveTimer.stop();
  OpenSessionChannelStopThread();
  if (m_net) {
    m_net->Close();
    m_net->disconnect(this);
    m_net->setParent(nullptr);
    m_net->deleteLater();  // may be inside one of its own signals
    m_net = nullptr;
  }
  m_connected = false;
  m_created = false;
  m_state = Closed;
}

void CHVAgentSServer::OnAgentLogout() {
  if (m_listener && m_listener->SignInState() == 2) {
    CHLOG(0, "SessionServer : Receive Agent Logout");
    m_listener->LogOut();
  }
}

void CHVAgentSServer::OnAgentKill() {
  CHLOG(0, "SessionServer : Receive Agent Kill");
  if (m_listener) m_listener->AgentKilled();
}

void CHVAgentSServer::OnAgentStatusChange(int status) {
  if (m_listener) m_listener->AgentState(status, 0);
}

// ---------------------------------------------------------------------------------------------
// Receiving

void CHVAgentSServer::SocketDataReceive(const QByteArray& data) {
  PacketBuffer b(data);
  int32_t top = 0;
  b.ReadInt(top);
  if (top != kCmdKeepAlive) CHLOG(0, "SocketDataReceive(topcommand=%d)", top);
  QString text;
  int32_t value = 0;
  switch (top) {
    case kCmdLogin:
    case kCmdLoginOther: {
      b.ReadAnsi(text, 512);
      b.ReadInt(value);
      for (int i = 0; i < 4; ++i) b.ReadAnsi(text, 512);
      if (top == kCmdLoginOther) return;
      m_reconnectTimer.stop();
      CHLOG(0, "Agent Connected...");
      if (m_connected) m_state = SignedIn;
      if (m_listener) m_listener->AgentConnected();
      return;
    }
    case kCmdKeepAlive:
      // The answer is not inspected: that it came is enough.
      m_answered = true;
      return;
    case kCmdRouted:
      ReceiveRouted(b, top);
      return;
    case kCmdCustomerProgress:
      ReceiveCustomerProgress(b);
      return;
    case kCmdRoutedNoop:
      return;
    case kCmdBroadcast:
    case kCmdBroadcastAll:
    case kCmdBroadcastOther:
      ReceiveBroadcast(b, top);
      return;
    case kCmdRoutedAgent:
      ReceiveRoutedAgent(b);
      return;
    case kCmdServiceNotice:
      ReceiveServiceNotice(b);
      return;
    case kCmdNetworkLogin:
      if (b.ReadInt(value)) NetworkLoginRequest(value);
      return;
    default: {
      int detail = 0;
      const int last = m_net ? m_net->GetLastErrorNo(&detail) : 0;
      CHLOG(3, "Invalid Receive Main Command(nResult = %d, Errorcode = %d, Command = %d)", last, detail, top);
      return;
    }
  }
}

bool CHVAgentSServer::ReadHeaderR(PacketBuffer& b, int32_t& sub) {
  QString banner, target, unused;
  int32_t word = 0;
  b.ReadAnsi(banner, 256);
  b.ReadInt(word);
  b.ReadAnsi(target, 512);
  for (int i = 0; i < 3; ++i) b.ReadAnsi(unused, 512);
  b.ReadInt(sub);
  // Not ours, or not from the service: ignored without a word.
  return banner == QLatin1String(kComBanner) && !b.Failed() &&
         target.compare(m_login.identity, Qt::CaseInsensitive) == 0;
}

bool CHVAgentSServer::ReadHeaderB(PacketBuffer& b, int32_t& sub) {
  QString banner, unused;
  int32_t word = 0;
  b.ReadAnsi(banner, 256);
  b.ReadInt(word);
  for (int i = 0; i < 4; ++i) b.ReadAnsi(unused, 512);
  b.ReadInt(sub);
  return banner == QLatin1String(kComBanner) && !b.Failed();
}

namespace {
QString Utf16(PacketBuffer& b, int capacity) {
  QString s;
  b.ReadUtf16(s, capacity);
  return s;
}
int32_t Int(PacketBuffer& b) {
  int32_t v = 0;
  b.ReadInt(v);
  return v;
}
void ReadCustomer(PacketBuffer& b, CustomerRecord& r) {
  r.s[0] = Utf16(b, 512);
  r.s[1] = Utf16(b, 512);
  r.s[2] = Utf16(b, 512);
}
void ReadFullCustomer(PacketBuffer& b, CustomerRecord& r) {
  ReadCustomer(b, r);
  Utf16(b, 512);  // sent, not kept
  r.s[4] = Utf16(b, 300);
  r.s[5] = Utf16(b, 60);
  r.s[6] = Utf16(b, 200);
  r.s[7] = Utf16(b, 200);
  r.s[8] = Utf16(b, 200);
  r.s[9] = Utf16(b, 1024);
}
}  // namespace

// Commands that arrive both routed to this agent and announced to all take one road each.
void CHVAgentSServer::NotifySupportStarted(PacketBuffer& b) {
  CHLOG(0, "SessionServer : received(ALL) command from the COM : Customer Support Start");
  CustomerRecord r;
  ReadCustomer(b, r);
  CHLOG(0, "SessionServer : Receive SupportStartedNotify");
  if (m_listener) m_listener->SupportStartedNotify(r);
}

void CHVAgentSServer::NotifyCustomerRequest(PacketBuffer& b, int flags) {
  CustomerRecord r;
  ReadFullCustomer(b, r);
  r.flags = flags;
  CHLOG(0, "SessionServer : Receive CustomerNotify");
  if (m_listener) m_listener->CustomerNotify(r, 0);
}

// which: 1 for the routed command, 2 for the agent-routed one (their log lines differ).
void CHVAgentSServer::ReceiveStatusChange(PacketBuffer& b, int which) {
  const int32_t status = Int(b);
  CHLOG(0, "SessionServer : received command from the COM %d: Agent Status Change : %s", which, StatusLabel(status));
  OnAgentStatusChange(status >= 0 && status <= 3 ? status : 0);
}

void CHVAgentSServer::ReceiveRouted(PacketBuffer& b, int /*top*/) {
  int32_t sub = 0;
  if (!ReadHeaderR(b, sub)) return;
  QPointer<CHVAgentSServer> self(this);
  switch (sub) {
    case 303:
      CHLOG(0, "SessionServer : received command from the COM : Agent Logout");
      SendPayload(MakeSocketSendData(kSendAck));
      OnAgentKill();
      return;
    case 304:
      ReceiveStatusChange(b, 1);
      if (self) SendPayload(MakeSocketSendData(kSendAck));
      return;
    case 305:
      NotifySupportStarted(b);
      return;
    case 306: {
      CHLOG(0, "SessionServer : received command from the COM : Customer Reserve");
      CustomerRecord r;
      ReadCustomer(b, r);
      r.flags = 4;
      CHLOG(0, "SessionServer : Receive CustomerNotify");
      if (m_listener) m_listener->CustomerNotify(r, 0);
      return;
    }
    default:
      CHLOG(0, "SessionServer : received(NoAck) command from the COM : Invalid Command");
      return;
  }
}

void CHVAgentSServer::ReceiveRoutedAgent(PacketBuffer& b) {
  int32_t sub = 0;
  if (!ReadHeaderR(b, sub)) return;
  IChannelListener* l = m_listener;
  switch (sub) {
    case 301:
    case 307:
      NotifyCustomerRequest(b, 4 | (sub == 307 ? 8 : 0));
      return;
    case 303:
      CHLOG(0, "SessionServer : received command from the COM : Agent Logout");
      OnAgentKill();
      return;
    case 304:
      ReceiveStatusChange(b, 2);
      return;
    case 305:
      NotifySupportStarted(b);
      return;
    case 310:
    case 312: {
      CustomerRecord r;
      ReadCustomer(b, r);
      const QString guid = Utf16(b, 512);
      CHLOG(0, "SocketDataReceive chat Command = %d, GUID = %s", sub, U(guid).constData());
      CHLOG(0, "SessionServer : ChatNotify : %u", static_cast<unsigned>(sub));
      if (l) l->ChatState(sub == 310 ? 1202 : 1204, r.RoomId(), r.CustomerName(), guid, true);
      return;
    }
    case 311:
    case 320:
    case 353:
    case 363: {
      CustomerRecord r;
      ReadCustomer(b, r);
      const int code = sub == 311 ? 1203 : sub == 320 ? 1309 : sub == 353 ? 1323 : 1327;
      CHLOG(0, "SessionServer : ChatNotify : %u", static_cast<unsigned>(sub));
      if (l) l->ChatState(code, r.RoomId(), r.CustomerName(), QString(), false);
      return;
    }
    case 313:
    case 314:
    case 315:
    case 350:
    case 351:
    case 352:
    case 360:
    case 361:
    case 362:
    case 380:
    case 381:
    case 382: {
      CustomerRecord r;
      ReadCustomer(b, r);
      const QString guid = Utf16(b, 512);
      int code = 0;
      int supportType = 2;
      if (sub >= 313 && sub <= 315) {
        CHLOG(0, "SocketDataReceive viewer Command = %d, GUID = %s", sub, U(guid).constData());
        code = sub == 313 ? 1302 : sub == 314 ? 1304 : 1318;
      } else if (sub >= 350 && sub <= 352) {
        CHLOG(0, "SocketDataReceive android Command = %d, GUID = %s", sub, U(guid).constData());
        code = 1320 + (sub - 350);
        supportType = 8;
      } else if (sub >= 360 && sub <= 362) {
        code = 1324 + (sub - 360);
        supportType = 0x20;
      } else {
        CHLOG(0, "SocketDataReceive android Command = %d, GUID = %s", sub, U(guid).constData());
        code = 1350 + (sub - 380);
        supportType = 8;
      }
      if (l) l->ViewerState(code, guid, r.RoomId(), r.CustomerName(), supportType);
      return;
    }
    case 322: {
      CustomerRecord r;
      ReadCustomer(b, r);
      const QString browser = Utf16(b, 512);
      Utf16(b, 512);
      const QString os = Utf16(b, 512);
      if (l) l->CustomerConnectInfo(r.RoomId(), browser, os);
      return;
    }
    case 316:
    case 317:
    case 318:
    case 319:
    case 365:
    case 366:
    case 367:
    case 368: {
      SessionTransferInfo info;
      info.NotifyID = sub;
      info.RequesterID = Utf16(b, 512);
      info.RequesterName = Utf16(b, 512);
      info.RoomID = Utf16(b, 512);
      if (sub == 316 || sub == 318) {
        info.GUID = Utf16(b, 512);
        info.STType = Int(b);
      } else if (sub == 319 || sub == 368) {
        info.URID = Utf16(b, 512);
        info.GUID = Utf16(b, 512);
        info.STType = Int(b);
      } else if (sub == 365) {
        info.GUID = Utf16(b, 512);
        info.STType = Int(b);
        info.Extra = Utf16(b, 512);
      }
      if (!l) return;
      if (sub < 365)
        l->SessionShareNotify(info);
      else
        l->SessionTransferNotify(info);
      return;
    }
    case 323: {
      CustomerRecord r;
      for (int i = 0; i < 3; ++i) {
        const QString t = Utf16(b, 512);
        if (i == 2) r.s[2] = t;
      }
      Utf16(b, 512);
      r.flags = 4;
      CHLOG(0, "SessionServer : Receive CustomerNotify");
      if (l) l->CustomerNotify(r, 1);
      return;
    }
    case 325: {
      const QString room = Utf16(b, 512);
      const QString file = Utf16(b, 512);
      CHLOG(0, "SessionServer : HVS_NOTIFY_HTTPVIEWER_DOWNLOAD_FILE : RoomID = %s, Filename = %s", U(room).constData(),
            U(file).constData());
      if (l) l->ViewerDownloadFile(room, file);
      return;
    }
    case 330:
    case 331:
    case 332:
    case 333: {
      CustomerRecord r;
      ReadCustomer(b, r);
      CHLOG(0, "SessionServer : WhiteBoardNotify : %u", static_cast<unsigned>(sub));
      return;
    }
    case 371: {
      HostReconnectInfo info;
      info.KillRoomID = Utf16(b, 512);
      info.ViewerGUID = Utf16(b, 512);
      info.STType = Int(b);
      info.Month = Utf16(b, 32);
      info.Day = Utf16(b, 32);
      info.Hour = Utf16(b, 32);
      info.Minute = Utf16(b, 32);
      info.MobileKey = Utf16(b, 256);
      if (l) l->SessionReconnectNotify(info);
      return;
    }
    case 404: {
      const QString name = Utf16(b, 512);
      const QString guid = Utf16(b, 512);
      const QString type = Utf16(b, 512);
      if (l) l->SSvrMsgRequestReject(name, guid, type.trimmed().toInt());
      return;
    }
    default:
      CHLOG(0, "SessionServer : received(NoAck) command from the COM : Invalid Command");
      return;
  }
}

void CHVAgentSServer::ReceiveBroadcast(PacketBuffer& b, int top) {
  int32_t sub = 0;
  if (!ReadHeaderB(b, sub)) return;
  IChannelListener* l = m_listener;
  // 30401 is a broadcast too; it takes the "announced to all" bit of 30405.
  const int base = top == kCmdBroadcastOther ? 1 : 2;
  switch (sub) {
    case 301:
    case 307:
      NotifyCustomerRequest(b, base | (sub == 307 ? 8 : 0));
      return;
    case 305:
      NotifySupportStarted(b);
      return;
    case 323: {
      CustomerRecord r;
      for (int i = 0; i < 3; ++i) {
        const QString t = Utf16(b, 512);
        if (i == 2) r.s[2] = t;
      }
      Utf16(b, 512);
      r.flags = base;
      CHLOG(0, "SessionServer : Receive CustomerNotify");
      if (l) l->CustomerNotify(r, 1);
      return;
    }
    case 401: {
      CHLOG(0, "SessionServer : received(ALL) command from the COM : Customer Reservation Canceled or Switch to book");
      const QString name = Utf16(b, 512);
      const QString guid = Utf16(b, 512);
      const QString room = Utf16(b, 512);
      if (l) l->SSvrMsgRequestCancel(name, guid, room);
      return;
    }
    default:
      CHLOG(0, "SessionServer : received(ALL) command from the COM : Invalid Command, %d", sub);
      return;
  }
}

void CHVAgentSServer::ReceiveServiceNotice(PacketBuffer& b) {
  int32_t sub = 0;
  if (!ReadHeaderB(b, sub)) return;
  switch (sub) {
    case 620: {
      const QString url = Utf16(b, 4096);
      if (m_listener) m_listener->SetServiceUrl(url);
      return;
    }
    case 621: {
      const QString url = Utf16(b, 4096);
      if (m_listener) m_listener->NotifyDialog(url, true);
      return;
    }
    default:
      CHLOG(0, "SessionServer : received(ALL) command from the COM : Invalid Command, %d", sub);
      return;
  }
}

void CHVAgentSServer::ReceiveCustomerProgress(PacketBuffer& b) {
  QString unused, identity, key;
  b.ReadAnsi(unused, 512);
  Int(b);
  b.ReadAnsi(identity, 512);
  b.ReadAnsi(key, 512);
  b.ReadAnsi(unused, 512);
  b.ReadAnsi(unused, 512);
  const int32_t status = Int(b);
  const int32_t current = Int(b);
  const int32_t total = Int(b);

  struct Step {
    int status;
    const char* format;
    const char* key;
  };
  static constexpr Step kSteps[] = {
      {1000, "1/6 %1", "IDS_MSG_CONNECT_PREPARING1"},
      {1001, "2/6 %1", "IDS_MSG_UPDATING_SUPPORT_MODULE"},
      {1002, "3/6 %1", "IDS_MSG_PROXY_INFO_CONFIRMING"},
      {1003, "4/6 %1", "IDS_MSG_SUPPORT_DRIVER_INSTALLING"},
      {1004, "5/6 %1", "IDS_MSG_CONNECTION_INFO_CONFIRMING"},
      {1005, "6/6 %1", "IDS_MSG_RUNNING_SUPPORT_MODULE"},
      {1006, "%1", "IDS_MSG_MODULE_UPDATE_FAIL"},
      {1007, "%1", "IDS_MSG_MODULE_UPDATE_FAIL"},
      {1010, "%1", "IDS_MSG_SUPPORT_MODULE_RUNNING_FAIL"},
      {1012, "%1", "IDS_MSG_USER_CANCEL_UPDATE"},
      {1013, "%1", "IDS_MSG_UNPACKING_ERROR"},
      {1014, "%1", "IDS_MSG_FILE_COPY_FAILED"},
  };
  for (const Step& step : kSteps) {
    if (step.status != status) continue;
    const QString label = m_listener ? m_listener->ResourceText(QLatin1String(step.key)) : QLatin1String(step.key);
    QString text;
    if (status == 1001 && total > 0)
      text = QStringLiteral("2/6 %1 (%2/%3)").arg(label, GroupThousands(current), GroupThousands(total));
    else
      text = QString::fromLatin1(step.format).arg(label);
    CHLOG(0, "SessionServer : HVS_NOTIFY_AGENT_NOTICE : Customer Status = %d, %s", status, U(text).constData());
    QPointer<CHVAgentSServer> self(this);
    if (m_listener) m_listener->CustomerPreparing(key, status, text);
    if (!self) return;
    break;
  }
  CHLOG(0, "SessionServer : received command from the Agent : Command : %d", status);
}

void CHVAgentSServer::NetworkLoginRequest(int type) {
  if (type != kNetworkLoginServerType || !m_net || !m_net->IsOpen()) return;
  CHLOG(0, "=> KXNET_LOGIN_SERVER_TYPE RealSslReHandshake");
  int detail = 0;
  if (!m_net->RealSslReHandshake()) {
    const int last = m_net->GetLastErrorNo(&detail);
    CHLOG(3, "KXNET_LOGIN_SERVER_TYPE1(nResult = %d, Errorcode = %d)", last, detail);
  }
  CHLOG(0, "=> MakeSocketSendData(login)");
  const QByteArray login = MakeSocketSendData(kSendLogin);
  CHLOG(0, "<= MakeSocketSendData(login, %d bytes)", static_cast<int>(login.size()));
  CHLOG(0, "=> SocketSendBuff(%d)", static_cast<int>(login.size() + 4));
  const int sent = SendPayload(login);
  CHLOG(0, "<= SocketSendBuff(%d)", sent);
  if (sent >= login.size() + 4) return;
  const int last = m_net ? m_net->GetLastErrorNo(&detail) : 0;
  CHLOG(3, "KXNET_LOGIN_SERVER_TYPE2(nResult = %d, Errorcode = %d)", last, detail);
  if (m_listener && m_listener->AgentReconnect() == 1) {
    TryReConnect();
  } else {
    m_keepAliveTimer.stop();
    CloseSocket();
    m_connected = false;
    m_state = Unconnected;
    OnAgentLogout();
  }
}
