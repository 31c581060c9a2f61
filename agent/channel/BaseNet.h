#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>

class QSslSocket;
class QTimer;

// Our stand-in for the maker's network library: a connected TCP socket with an optional TLS
// layer (Qt's OpenSSL backend).
//   mode 1 "Real SSL": TLS, the server certificate verified against the system store plus an
//          optional CA file and the host name; a bad certificate refuses the connection.
//   mode 2 "Fake SSL": no TLS on this platform; the frames travel masked only (see
//          docs/sessionserver-protocol.md).
namespace hv::net {

// Results of Bind, kept from the original binding so callers read them the same way.
enum BindResult : int {
  kBindOk = 0,
  kBindNoLibrary = -1,     // no TLS backend can be loaded for mode 1
  kBindMissingPart = -2,   // the backend lacks certificate verification
  kBindNoInstance = -3,    // no instance for this security mode
};

// Connect failure codes.
enum ConnectResult : int {
  kConnectOk = 0,
  kConnectNoSocket = -1,
  kConnectNonBlocking = -2,
  kConnectRefused = -3,
  kConnectTimeout = -4,
  kConnectWaitFailed = -5,
  kConnectNoProgress = -6,
  kConnectBlocking = -7,
  kConnectCancelled = -8,  // the channel was closed while the attempt ran
  kConnectNotResolved = -10,
  // From the TLS layer, reported in place of the take-over result.
  kTlsHandshakeFailed = -20,
  kTlsCertificateRefused = -21,
};

// Blocking TCP connect with a time-out, run on the connect thread. The wait is sliced so a set
// cancel flag ends it within about 100 ms with kConnectCancelled. On 0, *fd is a connected,
// blocking socket that the caller owns.
int TcpConnect(const QByteArray& host, int port, int timeoutMs, const std::atomic<bool>* cancel,
               int* fd);

// The relay record of the proxy library's ConnectProxyForRelay, zero-filled ANSI texts.
struct ProxyRelayRecord {
  char proxyHost[1024];
  int32_t proxyPort;
  char proxyUser[1024];
  char proxyPassword[1024];
  char targetHost[1024];
  int32_t targetPort;
};
static_assert(sizeof(ProxyRelayRecord) == 4104, "relay record layout");

void FillRelayText(char (&field)[1024], const QByteArray& text);

// HTTP CONNECT through the proxy, with basic authentication when a user is given. *status is
// the proxy's answer (200 = the tunnel is up, *fd then owned by the caller); when the proxy
// cannot be reached or answers nonsense, *status is the connect failure code (< 0) or 0.
void ConnectProxyForRelay(const ProxyRelayRecord& record, int* status, int* fd, int timeoutMs,
                          const std::atomic<bool>* cancel);

class BaseNet : public QObject {
  Q_OBJECT
 public:
  // -1 / -2 / -3 when the layer cannot start for this mode; 0 and a new instance otherwise.
  static int Bind(int securityMode, BaseNet** out, QObject* parent = nullptr);
  ~BaseNet() override;

  int SecurityMode() const { return m_mode; }
  // Extra trusted CA certificates (PEM) for mode 1.
  void SetCaFile(const QString& path) { m_caFile = path; }
  void SetHandshakeTimeout(int ms) { m_handshakeMs = ms; }

  // Takes over a connected socket. 0 = taken over; for mode 1 the TLS handshake then runs and
  // ends with ready(0) or ready(kTls...). peerName is the name the certificate must carry.
  int SetSocket(int fd, const QString& peerName);
  bool NeedsHandshake() const { return m_mode == 1; }
  bool IsOpen() const;
  qintptr Handle() const;

  // 0 = every byte accepted for sending, other = failure.
  int Write(const QByteArray& bytes);
  qint64 Read(char* buffer, qint64 max);
  qint64 BytesAvailable() const;
  void Close();
  // Nothing to renegotiate with TLS 1.3 and Qt: succeeds while the session is up.
  int RealSslReHandshake();
  int GetLastErrorNo(int* detail) const;

 signals:
  void ready(int result);
  void dataArrived();
  void lost(int code);

 private:
  explicit BaseNet(int mode, QObject* parent);
  void OnError();

  int m_mode = 0;
  QString m_caFile;
  int m_handshakeMs = 30000;
  QSslSocket* m_socket = nullptr;
  QTimer* m_handshakeTimer = nullptr;
  bool m_ready = false;
  bool m_closing = false;
  int m_lastError = 0;
  int m_lastDetail = 0;
};

}  // namespace hv::net
