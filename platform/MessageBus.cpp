#include "platform/MessageBus.h"

#include "platform/BusFrame.h"
#include "platform/LogSink.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <map>
#include <mutex>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hv {
namespace {

// A client that stalls inside a frame for this long is dropped (a slow reader costs a socket,
// not the program). Whole frames arrive in one write, so a healthy client never comes close.
constexpr int kStallMs = 5000;
constexpr int kMaxConnectionsPerWindow = 32;
constexpr int kMaxFramesPerConnection = 256;
constexpr int kConnectTimeoutMs = 1000;
constexpr qint64 kMaxInfoFileSize = 4096;

constexpr WindowHandle kFirstHandle = 0x10000;
constexpr WindowHandle kLastHandle = 0x7FFFFFFF;

std::atomic<uint32_t> g_sequence{1};

uint32_t NextSequence() {
  uint32_t s = g_sequence.fetch_add(1);
  return s ? s : g_sequence.fetch_add(1);
}

// Windows of this process, so that a send to a window on the calling thread is a plain call
// instead of a socket round trip that could never be served.
std::mutex g_localMutex;
std::map<WindowHandle, BusWindow*> g_local;

QString InfoPath(WindowHandle handle) {
  return BusFolder() + QStringLiteral("/%1.info").arg(handle);
}

bool BusFolderUsable(const QString& dir) {
  struct stat st {};
  const QByteArray path = QFile::encodeName(dir);
  if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    PlatformLog(3, QStringLiteral("MessageBus: bus folder %1 missing").arg(dir));
    return false;
  }
  // Whoever owns the folder or its parent could swap sockets under our windows' names.
  struct stat parent {};
  const QByteArray parentPath = QFile::encodeName(QFileInfo(dir).absolutePath());
  if (st.st_uid != ::getuid() || ::stat(parentPath.constData(), &parent) != 0 ||
      parent.st_uid != ::getuid()) {
    PlatformLog(3, QStringLiteral("MessageBus: bus folder %1 belongs to another user").arg(dir));
    return false;
  }
  if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
    PlatformLog(3, QStringLiteral("MessageBus: cannot restrict bus folder %1").arg(dir));
    return false;
  }
  return true;
}

bool PeerIsThisUser(QLocalSocket* socket) {
  struct ucred cred {};
  socklen_t len = sizeof(cred);
  const int fd = static_cast<int>(socket->socketDescriptor());
  if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == ::getuid();
}

bool ProcessRuns(qint64 pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString OneLine(QString text) {
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  return text;
}

struct WindowInfo {
  WindowHandle handle = 0;
  qint64 pid = 0;
  QString className;
  QString title;
  qint64 modified = 0;
};

bool ReadInfo(const QFileInfo& file, WindowInfo* info) {
  bool ok = false;
  info->handle = file.completeBaseName().toUInt(&ok);
  if (!ok || info->handle < kFirstHandle || info->handle > kLastHandle) return false;
  QFile f(file.absoluteFilePath());
  if (file.size() > kMaxInfoFileSize || !f.open(QIODevice::ReadOnly)) return false;
  const QList<QByteArray> lines = f.read(kMaxInfoFileSize).split('\n');
  for (const QByteArray& line : lines) {
    const int eq = line.indexOf('=');
    if (eq <= 0) continue;
    const QByteArray key = line.left(eq);
    const QString value = QString::fromUtf8(line.mid(eq + 1));
    if (key == "pid")
      info->pid = value.toLongLong();
    else if (key == "class")
      info->className = value;
    else if (key == "title")
      info->title = value;
  }
  info->modified = file.lastModified().toMSecsSinceEpoch();
  return true;
}

// A send to a window of this process on the calling thread. Returns false when the handle is
// not such a window.
bool TryLocalSend(WindowHandle target, const std::function<qint32(BusWindow*)>& call,
                  BusSendResult* out) {
  BusWindow* window = nullptr;
  {
    std::lock_guard lock(g_localMutex);
    auto it = g_local.find(target);
    if (it == g_local.end() || it->second->thread() != QThread::currentThread()) return false;
    window = it->second;
  }
  out->result = call(window);
  out->delivered = true;
  return true;
}

bool ConnectTo(QLocalSocket& socket, WindowHandle target, int timeoutMs) {
  if (target < kFirstHandle || target > kLastHandle) return false;
  socket.connectToServer(BusSocketPath(target));
  return socket.waitForConnected(qMin(timeoutMs, kConnectTimeoutMs));
}

BusSendResult Transact(WindowHandle target, uint32_t sequence, const QByteArray& frame,
                       int timeoutMs) {
  BusSendResult result;
  QDeadlineTimer deadline(qMax(0, timeoutMs));
  QLocalSocket socket;
  if (!ConnectTo(socket, target, timeoutMs)) return result;
  socket.write(frame);
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) return result;
  }
  BusFrameReader reader;
  while (true) {
    while (socket.bytesAvailable() > 0 && !reader.Failed()) {
      reader.Feed(socket.read(reader.BytesWanted()));
      if (std::optional<BusFrame> reply = reader.Take()) {
        if (reply->kind != BusKind::Reply || reply->sequence != sequence) {
          PlatformLog(3, QStringLiteral("MessageBus: window %1 answered with a stray frame")
                             .arg(target));
          return result;
        }
        result.delivered = true;
        result.result = reply->Result();
        socket.disconnectFromServer();
        return result;
      }
    }
    if (reader.Failed()) {
      PlatformLog(3, QStringLiteral("MessageBus: bad answer from window %1: %2")
                         .arg(target)
                         .arg(reader.Error()));
      return result;
    }
    if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState) break;
    if (!socket.waitForReadyRead(int(deadline.remainingTime())) && socket.bytesAvailable() == 0)
      break;
  }
  PlatformLog(deadline.hasExpired() ? 3 : 0,
              QStringLiteral("MessageBus: no answer from window %1 (%2)")
                  .arg(target)
                  .arg(deadline.hasExpired() ? QStringLiteral("time-out")
                                             : QStringLiteral("gone")));
  return result;
}

}  // namespace

namespace detail {

// One accepted client of a BusWindow.
class BusConnection : public QObject {
  Q_OBJECT

 public:
  BusConnection(BusWindow* window, QLocalSocket* socket)
      : QObject(window), m_window(window), m_socket(socket) {
    socket->setParent(this);
    // Qt must not buffer more than one frame for us; the rest waits in the kernel.
    socket->setReadBufferSize(kBusHeaderSize + kBusMaxBody);
    m_stall.setSingleShot(true);
    m_stall.setInterval(kStallMs);
    connect(&m_stall, &QTimer::timeout, this, [this] {
      Drop(m_reader.MidFrame() ? 3 : 0,
           m_reader.MidFrame() ? QStringLiteral("stalled mid-frame") : QStringLiteral("idle"));
    });
    connect(socket, &QLocalSocket::readyRead, this, [this] { OnReadyRead(); });
    connect(socket, &QLocalSocket::disconnected, this, [this] {
      if (m_dropped) return;
      if (m_reader.MidFrame())
        Drop(3, QStringLiteral("disconnected mid-frame"));
      else
        Finish();
    });
    m_stall.start();
  }

  void Write(const QByteArray& frame) {
    if (m_dropped || m_socket->state() != QLocalSocket::ConnectedState) return;
    m_socket->write(frame);
    m_socket->flush();
  }

  void Drop(int level, const QString& why) {
    if (m_dropped) return;
    if (level > 0 || why != QStringLiteral("idle"))
      PlatformLog(level, QStringLiteral("MessageBus: window %1 dropped a client: %2")
                             .arg(m_window->Handle())
                             .arg(why));
    Finish();
  }

 private:
  void Finish() {
    if (m_dropped) return;
    m_dropped = true;
    m_stall.stop();
    m_socket->abort();
    deleteLater();
  }

  void OnReadyRead() {
    QPointer<BusConnection> self(this);
    while (!m_dropped && m_socket->bytesAvailable() > 0) {
      m_reader.Feed(m_socket->read(m_reader.BytesWanted()));
      if (m_reader.Failed()) {
        Drop(3, QStringLiteral("malformed frame: ") + m_reader.Error());
        return;
      }
      while (std::optional<BusFrame> frame = m_reader.Take()) {
        if (++m_frames > kMaxFramesPerConnection) {
          Drop(3, QStringLiteral("more than %1 frames on one connection").arg(kMaxFramesPerConnection));
          return;
        }
        Handle(*frame);
        if (!self || m_dropped) return;
      }
    }
    if (!m_dropped) m_stall.start();
  }

  void Handle(const BusFrame& frame) {
    QPointer<BusConnection> self(this);
    const WindowHandle me = m_window->Handle();
    if (frame.target != me) {
      Drop(3, QStringLiteral("frame addressed to window %1").arg(frame.target));
      return;
    }
    switch (frame.kind) {
      case BusKind::CopyData: {
        const qint32 r =
            m_window->DispatchCopyData(frame.sender, frame.CopyDataId(), frame.CopyDataPayload());
        if (self) Write(EncodeReply(frame.sequence, me, frame.sender, r));
        break;
      }
      case BusKind::Send: {
        const qint32 r = m_window->DispatchMessage(frame.sender, frame.Message(), frame.WParam(),
                                                   frame.LParam());
        if (self) Write(EncodeReply(frame.sequence, me, frame.sender, r));
        break;
      }
      case BusKind::Post:
        m_window->DispatchMessage(frame.sender, frame.Message(), frame.WParam(), frame.LParam());
        break;
      case BusKind::Reply:
        Drop(3, QStringLiteral("unexpected reply frame"));
        break;
    }
  }

  BusWindow* m_window;
  QLocalSocket* m_socket;
  BusFrameReader m_reader;
  QTimer m_stall;
  int m_frames = 0;
  bool m_dropped = false;
};

}  // namespace detail

using detail::BusConnection;

QString BusFolder() {
  const QString dir = paths::RuntimeDir() + QStringLiteral("/bus");
  if (!QFileInfo::exists(dir)) {
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  return dir;
}

QString BusSocketPath(WindowHandle handle) {
  return BusFolder() + QStringLiteral("/%1.sock").arg(handle);
}

quint32 RegisterWindowMessage(const QString& name) {
  if (name.isEmpty()) return 0;
  uint32_t hash = 2166136261u;
  for (char c : name.toUpper().toUtf8()) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return 0xC000u + hash % 0x4000u;
}

BusWindow::BusWindow(const QString& className, const QString& title, QObject* parent)
    : QObject(parent), m_className(OneLine(className)), m_title(OneLine(title)) {}

BusWindow::~BusWindow() { Close(); }

bool BusWindow::Open() {
  if (IsOpen()) return true;
  const QString folder = BusFolder();
  if (!BusFolderUsable(folder)) return false;
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  server->setMaxPendingConnections(kMaxConnectionsPerWindow);
  for (int attempt = 0; attempt < 16; ++attempt) {
    const WindowHandle candidate = QRandomGenerator::global()->bounded(kFirstHandle, kLastHandle);
    // The socket file itself reserves the handle; never take over a path that exists, even
    // a stale one (the search cleans those up once their program is gone).
    const QString path = BusSocketPath(candidate);
    if (QFileInfo::exists(path) || QFileInfo::exists(InfoPath(candidate))) continue;
    if (!server->listen(path)) continue;
    m_handle = candidate;
    break;
  }
  if (!m_handle) {
    PlatformLog(3, QStringLiteral("MessageBus: cannot listen in %1: %2")
                       .arg(folder, server->errorString()));
    delete server;
    return false;
  }
  m_server = server;
  connect(server, &QLocalServer::newConnection, this, [this] { OnNewConnection(); });
  {
    std::lock_guard lock(g_localMutex);
    g_local[m_handle] = this;
  }
  if (!WriteInfo()) {
    Close();
    return false;
  }
  return true;
}

void BusWindow::Close() {
  if (!m_handle) return;
  {
    std::lock_guard lock(g_localMutex);
    g_local.erase(m_handle);
  }
  QFile::remove(InfoPath(m_handle));
  const QList<BusConnection*> clients = findChildren<BusConnection*>(Qt::FindDirectChildrenOnly);
  for (BusConnection* c : clients) c->Drop(0, QStringLiteral("window closed"));
  m_server->close();  // removes the socket file
  m_server->deleteLater();
  m_server = nullptr;
  m_handle = 0;
}

void BusWindow::SetTitle(const QString& title) {
  m_title = OneLine(title);
  if (IsOpen()) WriteInfo();
}

bool BusWindow::WriteInfo() {
  QSaveFile file(InfoPath(m_handle));
  if (!file.open(QIODevice::WriteOnly)) {
    PlatformLog(3, QStringLiteral("MessageBus: cannot write %1").arg(file.fileName()));
    return false;
  }
  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  const QString text = QStringLiteral("pid=%1\nclass=%2\ntitle=%3\n")
                           .arg(QCoreApplication::applicationPid())
                           .arg(m_className, m_title);
  file.write(text.toUtf8());
  return file.commit();
}

void BusWindow::OnNewConnection() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    if (!PeerIsThisUser(socket)) {
      PlatformLog(3, QStringLiteral("MessageBus: window %1 refused a client of another user")
                         .arg(m_handle));
      socket->abort();
      socket->deleteLater();
      continue;
    }
    if (findChildren<BusConnection*>(Qt::FindDirectChildrenOnly).size() >=
        kMaxConnectionsPerWindow) {
      PlatformLog(3, QStringLiteral("MessageBus: window %1 has %2 clients; refused one more")
                         .arg(m_handle)
                         .arg(kMaxConnectionsPerWindow));
      socket->abort();
      socket->deleteLater();
      continue;
    }
    new BusConnection(this, socket);
  }
}

qint32 BusWindow::DispatchCopyData(WindowHandle sender, quint32 id, const QByteArray& data) {
  return m_onCopyData ? m_onCopyData(sender, id, data) : 0;
}

qint32 BusWindow::DispatchMessage(WindowHandle sender, quint32 msg, quint64 wParam,
                                  qint64 lParam) {
  return m_onMessage ? m_onMessage(sender, msg, wParam, lParam) : 0;
}

QList<WindowHandle> FindWindows(const QString& className, const QString& title) {
  const QString folder = BusFolder();
  QList<WindowInfo> found;
  if (!BusFolderUsable(folder)) return {};
  const QFileInfoList files =
      QDir(folder).entryInfoList({QStringLiteral("*.info")}, QDir::Files, QDir::Time);
  for (const QFileInfo& file : files) {
    WindowInfo info;
    if (!ReadInfo(file, &info)) continue;
    if (!className.isEmpty() && info.className.compare(className, Qt::CaseInsensitive) != 0)
      continue;
    if (!title.isEmpty() && info.title.compare(title, Qt::CaseInsensitive) != 0) continue;
    if (!IsWindowAlive(info.handle)) {
      if (!ProcessRuns(info.pid)) {
        // Left by a program that crashed: nobody else will ever remove it.
        QFile::remove(file.absoluteFilePath());
        QFile::remove(BusSocketPath(info.handle));
      }
      continue;
    }
    found.append(info);
  }
  QList<WindowHandle> handles;
  for (const WindowInfo& info : found) handles.append(info.handle);
  return handles;
}

WindowHandle FindWindow(const QString& className, const QString& title) {
  const QList<WindowHandle> all = FindWindows(className, title);
  return all.isEmpty() ? 0 : all.first();
}

bool IsWindowAlive(WindowHandle handle) {
  {
    std::lock_guard lock(g_localMutex);
    if (g_local.count(handle)) return true;
  }
  if (handle < kFirstHandle || handle > kLastHandle) return false;
  if (!QFileInfo::exists(BusSocketPath(handle))) return false;
  QLocalSocket socket;
  const bool alive = ConnectTo(socket, handle, kConnectTimeoutMs);
  socket.abort();
  return alive;
}

BusSendResult SendCopyData(WindowHandle target, WindowHandle sender, quint32 id,
                           const QByteArray& data, int timeoutMs) {
  BusSendResult result;
  if (data.size() > qsizetype(kBusMaxBody - 4)) {
    PlatformLog(3, QStringLiteral("MessageBus: copy-data %1 of %2 bytes is above the limit")
                       .arg(id)
                       .arg(data.size()));
    return result;
  }
  if (TryLocalSend(
          target, [&](BusWindow* w) { return w->DispatchCopyData(sender, id, data); }, &result))
    return result;
  const uint32_t seq = NextSequence();
  return Transact(target, seq, EncodeCopyData(seq, sender, target, id, data), timeoutMs);
}

BusSendResult SendBusMessage(WindowHandle target, WindowHandle sender, quint32 msg,
                             quint64 wParam, qint64 lParam, int timeoutMs) {
  BusSendResult result;
  if (TryLocalSend(
          target, [&](BusWindow* w) { return w->DispatchMessage(sender, msg, wParam, lParam); },
          &result))
    return result;
  const uint32_t seq = NextSequence();
  return Transact(target, seq,
                  EncodeMessage(BusKind::Send, seq, sender, target, msg, wParam, lParam),
                  timeoutMs);
}

bool PostBusMessage(WindowHandle target, WindowHandle sender, quint32 msg, quint64 wParam,
                    qint64 lParam) {
  {
    std::lock_guard lock(g_localMutex);
    auto it = g_local.find(target);
    if (it != g_local.end()) {
      QPointer<BusWindow> window(it->second);
      QMetaObject::invokeMethod(
          it->second,
          [window, sender, msg, wParam, lParam] {
            if (window) window->DispatchMessage(sender, msg, wParam, lParam);
          },
          Qt::QueuedConnection);
      return true;
    }
  }
  QLocalSocket socket;
  if (!ConnectTo(socket, target, kConnectTimeoutMs)) return false;
  socket.write(EncodeMessage(BusKind::Post, NextSequence(), sender, target, msg, wParam, lParam));
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(kConnectTimeoutMs)) return false;
  }
  socket.disconnectFromServer();
  return true;
}

}  // namespace hv

#include "MessageBus.moc"
