#include "platform/BusFrame.h"
#include "platform/MessageBus.h"
#include "platform/WindowMessages.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSet>
#include <QtEndian>

#include <memory>

namespace {

const QString kClass = QStringLiteral("Afx:400000:0");
const QString kTitle = QStringLiteral("Helvora Agent");

// A real second process that owns one bus window.
class Peer {
 public:
  explicit Peer(const QStringList& extra = {}) {
    m_process.setProgram(QStringLiteral(HV_BUS_PEER));
    m_process.setArguments(QStringList{QStringLiteral("serve"), kClass, kTitle} + extra);
    m_process.start();
    QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine() && !deadline.hasExpired()) m_process.waitForReadyRead(100);
    const QByteArray line = m_process.readLine().trimmed();
    if (line.startsWith("HANDLE ")) handle = line.mid(7).toUInt();
  }
  ~Peer() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished(3000);
    }
  }
  bool WaitForExit() { return m_process.waitForFinished(5000); }
  void Kill() {
    m_process.kill();
    m_process.waitForFinished(3000);
  }
  QString Log() {
    m_stderr += m_process.readAllStandardError();
    return QString::fromUtf8(m_stderr);
  }

  hv::WindowHandle handle = 0;

 private:
  QProcess m_process;
  QByteArray m_stderr;
};

class MessageBusTest : public ::testing::Test {
 protected:
  hvtest::ScopedRuntimeDir runtime;
};

TEST_F(MessageBusTest, RoundTripWithAnotherProcess) {
  Peer peer;
  ASSERT_NE(peer.handle, 0u);
  EXPECT_LE(peer.handle, 0x7FFFFFFFu) << "handles are written with %d";

  EXPECT_EQ(hv::FindWindow({}, kTitle), peer.handle);
  EXPECT_EQ(hv::FindWindow(kClass, {}), peer.handle);
  EXPECT_EQ(hv::FindWindow(kClass, QStringLiteral("helvora agent")), peer.handle);
  EXPECT_EQ(hv::FindWindow(QStringLiteral("Helvora Help by KESTRIX"), {}), 0u);
  EXPECT_TRUE(hv::IsWindowAlive(peer.handle));

  const QByteArray record(676, 'r');
  hv::BusSendResult r = hv::SendCopyData(peer.handle, 0, 7, record, 5000);
  EXPECT_TRUE(r.delivered);
  EXPECT_EQ(r.result, 676);
  r = hv::SendCopyData(peer.handle, 0, hv::copydata::RM_AGENT_ACTIVATE, {}, 5000);
  EXPECT_TRUE(r.delivered);
  EXPECT_EQ(r.result, 1);

  const quint32 alived = hv::RegisterWindowMessage(QLatin1String(hv::RM_APPLICATION_ALIVED));
  r = hv::SendBusMessage(peer.handle, 0, alived, 0, 0, 3000);
  EXPECT_TRUE(r.delivered);
  EXPECT_EQ(r.result, 1);
  r = hv::SendBusMessage(peer.handle, 0, hv::WM_USER + 1, 0, -21, 3000);
  EXPECT_EQ(r.result, -42);
}

TEST_F(MessageBusTest, RegisteredMessageArrivesWithTheSameNumber) {
  hv::BusWindow mine(QStringLiteral("Helvora Report"), QStringLiteral("report"));
  quint32 gotMsg = 0;
  quint64 gotW = 0;
  qint64 gotL = 0;
  mine.SetMessageHandler([&](hv::WindowHandle, quint32 msg, quint64 w, qint64 l) {
    gotMsg = msg;
    gotW = w;
    gotL = l;
    return 0;
  });
  ASSERT_TRUE(mine.Open());

  Peer peer({QString::number(mine.Handle())});
  ASSERT_NE(peer.handle, 0u);
  ASSERT_TRUE(hvtest::SpinUntil([&] { return gotMsg != 0; }));
  EXPECT_EQ(gotMsg, hv::RegisterWindowMessage(QStringLiteral("RM_APPLICATION_OPENED")));
  EXPECT_EQ(gotW, peer.handle);
  EXPECT_EQ(gotL, 3);
}

TEST_F(MessageBusTest, RegisteredNumbersAreDistinctAndInRange) {
  QSet<quint32> seen;
  for (const char* name : {hv::RM_APPLICATION_OPENED, hv::RM_APPLICATION_CLOSED,
                           hv::RM_APPLICATION_ALIVED, hv::RM_APPLICATION_FOREGROUND,
                           hv::RM_APPLICATION_TOPMOST}) {
    const quint32 n = hv::RegisterWindowMessage(QLatin1String(name));
    EXPECT_GE(n, hv::WM_REGISTERED_FIRST);
    EXPECT_LE(n, hv::WM_REGISTERED_LAST);
    EXPECT_EQ(n, hv::RegisterWindowMessage(QLatin1String(name).toString().toLower()));
    seen.insert(n);
  }
  EXPECT_EQ(seen.size(), 5);
}

TEST_F(MessageBusTest, SendToOwnWindowOnThisThreadDoesNotDeadlock) {
  hv::BusWindow mine(kClass, kTitle);
  mine.SetCopyDataHandler([](hv::WindowHandle, quint32 id, const QByteArray&) { return qint32(id); });
  ASSERT_TRUE(mine.Open());
  const hv::BusSendResult r = hv::SendCopyData(mine.Handle(), mine.Handle(), 1102, {}, 1000);
  EXPECT_TRUE(r.delivered);
  EXPECT_EQ(r.result, 1102);
}

TEST_F(MessageBusTest, HungPeerTimesOut) {
  Peer peer;
  ASSERT_NE(peer.handle, 0u);
  QElapsedTimer clock;
  clock.start();
  const hv::BusSendResult r = hv::SendCopyData(peer.handle, 0, 99, {}, 500);
  EXPECT_FALSE(r.delivered);
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_TRUE(hv::IsWindowAlive(peer.handle)) << "a hung window still exists";
}

TEST_F(MessageBusTest, ExitedOrKilledPeerIsNotAlive) {
  Peer closed;
  Peer killed;
  ASSERT_NE(closed.handle, 0u);
  ASSERT_NE(killed.handle, 0u);

  EXPECT_TRUE(hv::PostBusMessage(closed.handle, 0, hv::WM_CLOSE, 0, 0));
  ASSERT_TRUE(closed.WaitForExit());
  killed.Kill();  // leaves its socket and description behind

  for (hv::WindowHandle h : {closed.handle, killed.handle}) {
    EXPECT_FALSE(hv::IsWindowAlive(h));
    EXPECT_FALSE(hv::SendCopyData(h, 0, 7, "x", 1000).delivered);
    EXPECT_FALSE(hv::PostBusMessage(h, 0, hv::WM_USER, 0, 0));
  }
  EXPECT_EQ(hv::FindWindow({}, kTitle), 0u);
  EXPECT_TRUE(QDir(hv::BusFolder()).entryList(QDir::Files | QDir::System).isEmpty())
      << "the crashed peer's files are cleaned up by the search";
}

QByteArray RawHeader(uint16_t kind, uint32_t target, uint32_t length) {
  QByteArray h = hv::EncodeBusFrame(hv::BusKind::Post, 1, 0, target, {});
  qToLittleEndian<uint16_t>(kind, h.data() + 6);
  qToLittleEndian<uint32_t>(length, h.data() + 20);
  return h;
}

TEST_F(MessageBusTest, HostileClientsAreDroppedAndTheReceiverKeepsServing) {
  Peer peer;
  ASSERT_NE(peer.handle, 0u);
  QByteArray flood;
  for (int i = 0; i < 300; ++i)
    flood += hv::EncodeMessage(hv::BusKind::Post, i + 1, 0, peer.handle, hv::WM_USER, 0, 0);

  struct Case {
    const char* name;
    QByteArray bytes;
    bool weHangUp;      // the client disconnects itself in the middle of a frame
    const char* logged;
  } cases[] = {
      {"garbage", QByteArray(64, '\x5a'), false, "bad magic"},
      {"huge length", RawHeader(1, peer.handle, 0xFFFFFFF0u), false, "above the limit"},
      {"mid-frame", RawHeader(1, peer.handle, 100) + QByteArray(10, 'p'), true, "mid-frame"},
      {"wrong window", hv::EncodeCopyData(1, 0, peer.handle + 1, 7, "x"), false, "addressed to"},
      {"flood", flood, false, "frames on one connection"},
  };
  for (const Case& c : cases) {
    QLocalSocket socket;
    socket.connectToServer(hv::BusSocketPath(peer.handle));
    ASSERT_TRUE(socket.waitForConnected(1000)) << c.name;
    socket.write(c.bytes);
    socket.waitForBytesWritten(1000);
    if (c.weHangUp) {
      socket.disconnectFromServer();
    } else {
      // Dropped at once, long before the 5 s stall limit: nothing is awaited after a bad header.
      QElapsedTimer clock;
      clock.start();
      while (socket.state() == QLocalSocket::ConnectedState && clock.elapsed() < 3000)
        socket.waitForReadyRead(100), socket.readAll();
      EXPECT_NE(socket.state(), QLocalSocket::ConnectedState) << c.name;
    }
    const hv::BusSendResult r = hv::SendCopyData(peer.handle, 0, 7, "abc", 3000);
    EXPECT_TRUE(r.delivered) << c.name;
    EXPECT_EQ(r.result, 3) << c.name;
    ASSERT_TRUE(hvtest::SpinUntil([&] { return peer.Log().contains(QLatin1String(c.logged)); }, 3000))
        << c.name << ": " << peer.Log().toStdString();
  }
}

}  // namespace
