#pragma once

#include "agent/channel/ChannelListener.h"
#include "agent/channel/PacketBuffer.h"
#include "agent/channel/SessionProtocol.h"

#include <QCoreApplication>
#include <QStringList>

#include <variant>
#include <vector>

inline QCoreApplication* EnsureApp() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "channel-test";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
  }
  return QCoreApplication::instance();
}

// Writes down every call, as one line each, plus the last records.
class RecordingListener : public IChannelListener {
 public:
  int signIn = 2;
  int reconnect = 1;
  QStringList calls;
  std::vector<CustomerRecord> customers;
  std::vector<SessionTransferInfo> transfers;
  std::vector<HostReconnectInfo> reconnects;
  std::vector<int> connectResults;

  int SignInState() const override { return signIn; }
  int AgentReconnect() const override { return reconnect; }
  QString ResourceText(const QString& key) const override { return QStringLiteral("<%1>").arg(key); }
  void SessionConnectionDone(int code, int error) override {
    connectResults.push_back(error);
    Add(QStringLiteral("ConnectionDone %1 %2").arg(code).arg(error));
  }
  void AgentReconnecting() override { Add(QStringLiteral("AgentReconnecting")); }
  void AgentConnected() override { Add(QStringLiteral("AgentConnected")); }
  void LogOut() override { Add(QStringLiteral("LogOut")); }
  void AgentKilled() override { Add(QStringLiteral("AgentKilled")); }
  void AgentState(int status, int webCall) override { Add(QStringLiteral("AgentState %1 %2").arg(status).arg(webCall)); }
  void CustomerNotify(const CustomerRecord& r, int withdrawn) override {
    customers.push_back(r);
    Add(QStringLiteral("CustomerNotify %1 %2 %3 flags=%4 withdrawn=%5")
            .arg(r.s[0], r.s[1], r.s[2]).arg(r.flags).arg(withdrawn));
  }
  void SupportStartedNotify(const CustomerRecord& r) override {
    customers.push_back(r);
    Add(QStringLiteral("SupportStarted %1 %2 %3").arg(r.s[0], r.s[1], r.s[2]));
  }
  void ChatState(int code, const QString& room, const QString& name, const QString& guid, bool withGuid) override {
    Add(withGuid ? QStringLiteral("ChatState %1 %2 %3 %4").arg(code).arg(room, name, guid)
                 : QStringLiteral("ChatState %1 %2 %3").arg(code).arg(room, name));
  }
  void ViewerState(int code, const QString& guid, const QString& room, const QString& name, int type) override {
    Add(QStringLiteral("ViewerState %1 %2 %3 %4 %5").arg(code).arg(guid, room, name).arg(type));
  }
  void CustomerConnectInfo(const QString& room, const QString& browser, const QString& os) override {
    Add(QStringLiteral("CustomerConnectInfo %1 %2 %3").arg(room, browser, os));
  }
  void SessionShareNotify(const SessionTransferInfo& i) override {
    transfers.push_back(i);
    Add(QStringLiteral("Share %1").arg(i.NotifyID));
  }
  void SessionTransferNotify(const SessionTransferInfo& i) override {
    transfers.push_back(i);
    Add(QStringLiteral("Transfer %1").arg(i.NotifyID));
  }
  void SessionReconnectNotify(const HostReconnectInfo& i) override {
    reconnects.push_back(i);
    Add(QStringLiteral("Reconnect %1 %2 %3").arg(i.KillRoomID, i.ViewerGUID).arg(i.STType));
  }
  void ViewerDownloadFile(const QString& room, const QString& file) override {
    Add(QStringLiteral("DownloadFile %1 %2").arg(room, file));
  }
  void CustomerPreparing(const QString& key, int status, const QString& text) override {
    Add(QStringLiteral("Preparing %1 %2 %3").arg(key).arg(status).arg(text));
  }
  void SSvrMsgRequestReject(const QString& name, const QString& guid, int type) override {
    Add(QStringLiteral("Reject %1 %2 %3").arg(name, guid).arg(type));
  }
  void SSvrMsgRequestCancel(const QString& name, const QString& guid, const QString& room) override {
    Add(QStringLiteral("Cancel %1 %2 %3").arg(name, guid, room));
  }
  void SetServiceUrl(const QString& url) override { Add(QStringLiteral("ServiceUrl %1").arg(url)); }
  void NotifyDialog(const QString& url, bool urgent) override {
    Add(QStringLiteral("NotifyDialog %1 %2").arg(url).arg(urgent ? 1 : 0));
  }

  int Count(const QString& prefix) const {
    int n = 0;
    for (const QString& c : calls) n += c.startsWith(prefix) ? 1 : 0;
    return n;
  }

 private:
  void Add(const QString& s) { calls.append(s); }
};

// A field of a test payload: an int32, a UTF-16 text or an ANSI text.
struct Ansi {
  QString text;
};
using Field = std::variant<int, QString, Ansi>;

inline void WriteFields(PacketBuffer& b, const std::vector<Field>& fields) {
  for (const Field& f : fields) {
    if (const int* i = std::get_if<int>(&f))
      b.WriteInt(*i);
    else if (const QString* s = std::get_if<QString>(&f))
      b.WriteUtf16(*s);
    else
      b.WriteAnsi(std::get<Ansi>(f).text);
  }
}

// Payload with header R (routed: 30300, 30403) or B (broadcast), as the service builds it.
inline QByteArray MakePush(int top, int sub, const std::vector<Field>& fields,
                           const QString& identity = QStringLiteral("ENC123"),
                           const QString& banner = QLatin1String(hv::sserver::kComBanner)) {
  PacketBuffer b;
  b.WriteInt(top);
  const bool routed = top == 30300 || top == 30403;
  b.WriteAnsi(banner);
  b.WriteInt(0);
  if (routed) b.WriteAnsi(identity);
  for (int i = 0; i < (routed ? 3 : 4); ++i) b.WriteAnsi(QStringLiteral("x"));
  b.WriteInt(sub);
  WriteFields(b, fields);
  return b.Bytes();
}

inline QString S(const char* s) { return QString::fromUtf8(s); }
