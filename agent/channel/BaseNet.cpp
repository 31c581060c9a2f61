#include "agent/channel/BaseNet.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace hv::net {
namespace {

constexpr int kSliceMs = 100;

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

// Waits for `events` on fd in short slices. 1 ready, 0 time-out, -1 error, -2 cancelled.
int WaitFor(int fd, short events, int timeoutMs, const std::atomic<bool>* cancel, short* revents) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (Cancelled(cancel)) return -2;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return 0;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r > 0) {
      if (revents) *revents = p.revents;
      return 1;
    }
  }
}

QByteArray HostForUrl(const QByteArray& host) {
  return host.contains(':') ? '[' + host + ']' : host;
}

}  // namespace

int TcpConnect(const QByteArray& host, int port, int timeoutMs, const std::atomic<bool>* cancel,
               int* fd) {
  *fd = -1;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (host.isEmpty() || port <= 0 || port > 65535 ||
      ::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &res) != 0 || !res) {
    if (res) ::freeaddrinfo(res);
    return kConnectNotResolved;
  }
  const int s = ::socket(res->ai_family, res->ai_socktype | SOCK_CLOEXEC, res->ai_protocol);
  if (s < 0) {
    ::freeaddrinfo(res);
    return kConnectNoSocket;
  }
  const int flags = ::fcntl(s, F_GETFL);
  if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
    ::freeaddrinfo(res);
    ::close(s);
    return kConnectNonBlocking;
  }
  const int rc = ::connect(s, res->ai_addr, res->ai_addrlen);
  ::freeaddrinfo(res);
  if (rc != 0) {
    if (errno != EINPROGRESS) {
      ::close(s);
      return kConnectRefused;
    }
    short revents = 0;
    const int w = WaitFor(s, POLLOUT, timeoutMs, cancel, &revents);
    if (w == -2) {
      ::close(s);
      return kConnectCancelled;
    }
    if (w == 0) {
      ::close(s);
      return kConnectTimeout;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (w < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)) ||
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
      ::close(s);
      return kConnectWaitFailed;
    }
  }
  // A connect that completes at once (possible on loopback) is a connection like any other.
  if (::fcntl(s, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    ::close(s);
    return kConnectBlocking;
  }
  *fd = s;
  return kConnectOk;
}

void FillRelayText(char (&field)[1024], const QByteArray& text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text.constData(), static_cast<size_t>(std::min<qsizetype>(text.size(), sizeof field - 1)));
}

void ConnectProxyForRelay(const ProxyRelayRecord& record, int* status, int* fd, int timeoutMs,
                          const std::atomic<bool>* cancel) {
  *status = 0;
  *fd = -1;
  const QByteArray proxyHost(record.proxyHost, static_cast<qsizetype>(strnlen(record.proxyHost, 1024)));
  const QByteArray target(record.targetHost, static_cast<qsizetype>(strnlen(record.targetHost, 1024)));
  const QByteArray user(record.proxyUser, static_cast<qsizetype>(strnlen(record.proxyUser, 1024)));
  const QByteArray password(record.proxyPassword, static_cast<qsizetype>(strnlen(record.proxyPassword, 1024)));
  int s = -1;
  const int r = TcpConnect(proxyHost, record.proxyPort, timeoutMs, cancel, &s);
  if (r != kConnectOk) {
    *status = r;
    return;
  }
  const QByteArray authority = HostForUrl(target) + ':' + QByteArray::number(record.targetPort);
  QByteArray request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (!user.isEmpty())
    request += "Proxy-Authorization: Basic " + (user + ':' + password).toBase64() + "\r\n";
  request += "Proxy-Connection: Keep-Alive\r\n\r\n";
  qsizetype sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(s, request.constData() + sent, static_cast<size_t>(request.size() - sent), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(s);
      *status = kConnectWaitFailed;
      return;
    }
    sent += n;
  }
  // Read the answer head only: peek, then take exactly up to the blank line, so nothing of the
  // tunnel that follows is eaten. The head is bounded; a proxy that never ends it is dropped.
  constexpr qsizetype kMaxHead = 16384;
  QByteArray head(kMaxHead, Qt::Uninitialized);
  qsizetype have = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - std::chrono::steady_clock::now())
                                          .count());
    const int w = WaitFor(s, POLLIN, std::max(left, 0), cancel, nullptr);
    if (w != 1) {
      ::close(s);
      *status = w == -2 ? kConnectCancelled : (w == 0 ? kConnectTimeout : kConnectWaitFailed);
      return;
    }
    const ssize_t n = ::recv(s, head.data(), static_cast<size_t>(kMaxHead), MSG_PEEK);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(s);
      *status = kConnectWaitFailed;
      return;
    }
    const qsizetype end = QByteArray::fromRawData(head.constData(), n).indexOf("\r\n\r\n");
    if (end >= 0) {
      have = end + 4;
      break;
    }
    if (n >= kMaxHead) {
      ::close(s);
      *status = 0;
      return;
    }
    if (n == have) {
      // Nothing new since the last peek: wait a moment for the rest of the head.
      ::usleep(10000);
    }
    have = n;
  }
  qsizetype taken = 0;
  while (taken < have) {
    const ssize_t n = ::recv(s, head.data() + taken, static_cast<size_t>(have - taken), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    taken += n;
  }
  // "HTTP/1.1 200 Connection established"
  const QByteArray statusLine = head.left(head.indexOf("\r\n"));
  const QList<QByteArray> parts = statusLine.split(' ');
  bool ok = false;
  const int code = parts.size() >= 2 && statusLine.startsWith("HTTP/") ? parts.at(1).toInt(&ok) : 0;
  *status = ok ? code : 0;
  if (*status == 200 && taken == have) {
    *fd = s;
  } else {
    if (*status == 200) *status = kConnectWaitFailed;
    ::close(s);
  }
}

int BaseNet::Bind(int securityMode, BaseNet** out, QObject* parent) {
  *out = nullptr;
  if (securityMode == 1) {
    if (!QSslSocket::supportsSsl()) return kBindNoLibrary;
    if (!QSslSocket::isFeatureSupported(QSsl::SupportedFeature::CertificateVerification))
      return kBindMissingPart;
  } else if (securityMode != 2) {
    return kBindNoInstance;
  }
  *out = new BaseNet(securityMode, parent);
  return kBindOk;
}

BaseNet::BaseNet(int mode, QObject* parent) : QObject(parent), m_mode(mode) {}

BaseNet::~BaseNet() { Close(); }

int BaseNet::SetSocket(int fd, const QString& peerName) {
  Close();
  m_closing = false;
  m_ready = false;
  m_lastError = 0;
  m_lastDetail = 0;
  m_socket = new QSslSocket(this);
  if (!m_socket->setSocketDescriptor(fd)) {
    ::close(fd);
    m_lastError = static_cast<int>(m_socket->error());
    delete m_socket;
    m_socket = nullptr;
    return -1;
  }
  QSslSocket* sock = m_socket;
  connect(sock, &QSslSocket::readyRead, this, [this, sock] {
    if (sock == m_socket && m_ready) emit dataArrived();
  });
  connect(sock, &QSslSocket::errorOccurred, this, [this, sock] {
    if (sock == m_socket) OnError();
  });
  connect(sock, &QSslSocket::disconnected, this, [this, sock] {
    if (sock == m_socket) OnError();
  });
  if (m_mode != 1) {
    m_ready = true;
    return 0;
  }
  QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
  conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
  conf.setProtocol(QSsl::TlsV1_2OrLater);
  if (!m_caFile.isEmpty()) {
    QList<QSslCertificate> cas = conf.caCertificates();
    cas += QSslCertificate::fromPath(m_caFile, QSsl::Pem);
    conf.setCaCertificates(cas);
  }
  sock->setSslConfiguration(conf);
  sock->setPeerVerifyName(peerName);
  connect(sock, &QSslSocket::sslErrors, this, [this, sock](const QList<QSslError>& errors) {
    if (sock != m_socket) return;
    // Never ignored: the handshake fails and the attempt reports the refused certificate.
    m_lastError = kTlsCertificateRefused;
    m_lastDetail = errors.isEmpty() ? 0 : static_cast<int>(errors.first().error());
  });
  connect(sock, &QSslSocket::encrypted, this, [this, sock] {
    if (sock != m_socket || m_ready) return;
    m_handshakeTimer->stop();
    m_ready = true;
    emit ready(0);
    if (sock == m_socket && sock->bytesAvailable() > 0) emit dataArrived();
  });
  if (!m_handshakeTimer) {
    m_handshakeTimer = new QTimer(this);
    m_handshakeTimer->setSingleShot(true);
    connect(m_handshakeTimer, &QTimer::timeout, this, [this] {
      if (!m_socket || m_ready) return;
      m_lastError = kTlsHandshakeFailed;
      Close();
      emit ready(kTlsHandshakeFailed);
    });
  }
  m_handshakeTimer->start(m_handshakeMs);
  sock->startClientEncryption();
  return 0;
}

void BaseNet::OnError() {
  if (m_closing || !m_socket) return;
  QSslSocket* sock = m_socket;
  if (m_lastError == 0 || m_ready) {
    m_lastError = static_cast<int>(sock->error());
    m_lastDetail = 0;
  }
  if (!m_ready) {
    // Still in the handshake: the attempt fails.
    const int code = m_lastError == kTlsCertificateRefused ? kTlsCertificateRefused : kTlsHandshakeFailed;
    if (m_handshakeTimer) m_handshakeTimer->stop();
    Close();
    emit ready(code);
    return;
  }
  m_closing = true;  // one loss report per connection
  emit lost(1001);
}

bool BaseNet::IsOpen() const {
  return m_socket && !m_closing && m_socket->state() == QAbstractSocket::ConnectedState;
}

qintptr BaseNet::Handle() const { return m_socket ? m_socket->socketDescriptor() : -1; }

int BaseNet::Write(const QByteArray& bytes) {
  if (!IsOpen() || !m_ready) return -1;
  return m_socket->write(bytes) == bytes.size() ? 0 : -1;
}

qint64 BaseNet::Read(char* buffer, qint64 max) { return m_socket ? m_socket->read(buffer, max) : -1; }

qint64 BaseNet::BytesAvailable() const { return m_socket ? m_socket->bytesAvailable() : 0; }

void BaseNet::Close() {
  if (m_handshakeTimer) m_handshakeTimer->stop();
  if (!m_socket) return;
  QSslSocket* sock = m_socket;
  m_closing = true;
  m_socket = nullptr;
  m_ready = false;
  sock->disconnect(this);
  sock->abort();
  // Close may run inside one of the socket's own signals: delete it from the event loop.
  sock->deleteLater();
}

int BaseNet::RealSslReHandshake() { return IsOpen() ? 1 : 0; }

int BaseNet::GetLastErrorNo(int* detail) const {
  if (detail) *detail = m_lastDetail;
  return m_lastError;
}

}  // namespace hv::net
