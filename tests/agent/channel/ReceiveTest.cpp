// Every pushed command of the protocol, through SocketDataReceive into a recording listener.
#include "agent/channel/HVAgentSServer.h"
#include "tests/agent/channel/TestSupport.h"

#include <gtest/gtest.h>

namespace {

class Receive : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    channel.SetIdentity(QStringLiteral("ENC123"), QStringLiteral("agent1"), QStringLiteral("G"), QStringLiteral("C"));
  }
  QStringList Push(const QByteArray& payload) {
    listener.calls.clear();
    channel.SocketDataReceive(payload);
    return listener.calls;
  }
  RecordingListener listener;
  CHVAgentSServer channel{&listener};
};

const QString ID = QStringLiteral("cust1"), NAME = QStringLiteral("Kim"), ROOM = QStringLiteral("room9"),
              GUID = QStringLiteral("{G}");

}  // namespace

TEST_F(Receive, EachCommandReachesItsHandler) {
  struct Case {
    const char* name;
    QByteArray payload;
    QStringList expected;
  };
  const std::vector<Field> three{ID, NAME, ROOM};
  auto plus = [&](std::vector<Field> more) {
    std::vector<Field> f = three;
    f.insert(f.end(), more.begin(), more.end());
    return f;
  };
  const std::vector<Field> customer = plus({S("skip"), S("s4"), S("s5"), S("s6"), S("s7"), S("s8"), S("s9")});
  const Case cases[] = {
      {"30300/303 logout", MakePush(30300, 303, {}), {S("AgentKilled")}},
      {"30300/304 status", MakePush(30300, 304, {2}), {S("AgentState 2 0")}},
      {"30300/304 status above 3", MakePush(30300, 304, {9}), {S("AgentState 0 0")}},
      {"30300/305 start", MakePush(30300, 305, three), {S("SupportStarted cust1 Kim room9")}},
      {"30300/306 reserve", MakePush(30300, 306, three), {S("CustomerNotify cust1 Kim room9 flags=4 withdrawn=0")}},
      {"30403/301", MakePush(30403, 301, customer), {S("CustomerNotify cust1 Kim room9 flags=4 withdrawn=0")}},
      {"30403/307", MakePush(30403, 307, customer), {S("CustomerNotify cust1 Kim room9 flags=12 withdrawn=0")}},
      {"30405/301", MakePush(30405, 301, customer), {S("CustomerNotify cust1 Kim room9 flags=2 withdrawn=0")}},
      {"30405/307", MakePush(30405, 307, customer), {S("CustomerNotify cust1 Kim room9 flags=10 withdrawn=0")}},
      {"30406/307", MakePush(30406, 307, customer), {S("CustomerNotify cust1 Kim room9 flags=9 withdrawn=0")}},
      {"30401/301", MakePush(30401, 301, customer), {S("CustomerNotify cust1 Kim room9 flags=2 withdrawn=0")}},
      {"30403/303 kill", MakePush(30403, 303, {}), {S("AgentKilled")}},
      {"30403/304", MakePush(30403, 304, {1}), {S("AgentState 1 0")}},
      {"30403/305", MakePush(30403, 305, three), {S("SupportStarted cust1 Kim room9")}},
      {"30405/305", MakePush(30405, 305, three), {S("SupportStarted cust1 Kim room9")}},
      {"30403/310", MakePush(30403, 310, plus({GUID})), {S("ChatState 1202 room9 Kim {G}")}},
      {"30403/312", MakePush(30403, 312, plus({GUID})), {S("ChatState 1204 room9 Kim {G}")}},
      {"30403/311", MakePush(30403, 311, three), {S("ChatState 1203 room9 Kim")}},
      {"30403/320", MakePush(30403, 320, three), {S("ChatState 1309 room9 Kim")}},
      {"30403/353", MakePush(30403, 353, three), {S("ChatState 1323 room9 Kim")}},
      {"30403/363", MakePush(30403, 363, three), {S("ChatState 1327 room9 Kim")}},
      {"30403/313", MakePush(30403, 313, plus({GUID})), {S("ViewerState 1302 {G} room9 Kim 2")}},
      {"30403/314", MakePush(30403, 314, plus({GUID})), {S("ViewerState 1304 {G} room9 Kim 2")}},
      {"30403/315", MakePush(30403, 315, plus({GUID})), {S("ViewerState 1318 {G} room9 Kim 2")}},
      {"30403/351", MakePush(30403, 351, plus({GUID})), {S("ViewerState 1321 {G} room9 Kim 8")}},
      {"30403/362", MakePush(30403, 362, plus({GUID})), {S("ViewerState 1326 {G} room9 Kim 32")}},
      {"30403/380", MakePush(30403, 380, plus({GUID})), {S("ViewerState 1350 {G} room9 Kim 8")}},
      {"30403/382", MakePush(30403, 382, plus({GUID})), {S("ViewerState 1352 {G} room9 Kim 8")}},
      {"30403/322", MakePush(30403, 322, plus({S("Edge"), S("x"), S("Win11")})),
       {S("CustomerConnectInfo room9 Edge Win11")}},
      {"30403/316", MakePush(30403, 316, plus({GUID, 2})), {S("Share 316")}},
      {"30403/317", MakePush(30403, 317, three), {S("Share 317")}},
      {"30403/318", MakePush(30403, 318, plus({GUID, 1})), {S("Share 318")}},
      {"30403/319", MakePush(30403, 319, plus({S("U1"), GUID, 2})), {S("Share 319")}},
      {"30403/365", MakePush(30403, 365, plus({GUID, 3, S("more")})), {S("Transfer 365")}},
      {"30403/366", MakePush(30403, 366, three), {S("Transfer 366")}},
      {"30403/367", MakePush(30403, 367, three), {S("Transfer 367")}},
      {"30403/368", MakePush(30403, 368, plus({S("U1"), GUID, 2})), {S("Transfer 368")}},
      {"30403/323 withdrawn", MakePush(30403, 323, plus({S("x")})), {S("CustomerNotify   room9 flags=4 withdrawn=1")}},
      {"30405/323 withdrawn", MakePush(30405, 323, plus({S("x")})), {S("CustomerNotify   room9 flags=2 withdrawn=1")}},
      {"30403/325", MakePush(30403, 325, {ROOM, S("a.txt")}), {S("DownloadFile room9 a.txt")}},
      {"30403/331 whiteboard", MakePush(30403, 331, three), {}},
      {"30403/371", MakePush(30403, 371, {ROOM, GUID, 5, S("03"), S("14"), S("09"), S("30"), S("010")}),
       {S("Reconnect room9 {G} 5")}},
      {"30403/404", MakePush(30403, 404, {NAME, GUID, S("3")}), {S("Reject Kim {G} 3")}},
      {"30403/999 unknown", MakePush(30403, 999, three), {}},
      {"30405/401 cancel", MakePush(30405, 401, {NAME, GUID, ROOM}), {S("Cancel Kim {G} room9")}},
      {"30406/999 unknown", MakePush(30406, 999, three), {}},
      {"30409/620", MakePush(30409, 620, {S("https://svc/x")}), {S("ServiceUrl https://svc/x")}},
      {"30409/621", MakePush(30409, 621, {S("https://n?agentNoticeId=1&language=en")}),
       {S("NotifyDialog https://n?agentNoticeId=1&language=en 1")}},
  };
  for (const Case& c : cases) EXPECT_EQ(Push(c.payload), c.expected) << c.name;
}

TEST_F(Receive, RecordsCarryEveryFieldWithItsCapacity) {
  Push(MakePush(30403, 301,
                {ID, QString(600, QLatin1Char('n')), ROOM, S("skip"), QString(400, QLatin1Char('4')),
                 QString(100, QLatin1Char('5')), S("s6"), S("s7"), S("s8"), QString(2000, QLatin1Char('9'))}));
  ASSERT_EQ(listener.customers.size(), 1u);
  const CustomerRecord& r = listener.customers[0];
  EXPECT_EQ(r.s[1].size(), 255);  // a 600-character name keeps 255
  EXPECT_TRUE(r.s[3].isEmpty());  // sent, not kept
  EXPECT_EQ(r.s[4].size(), 149);
  EXPECT_EQ(r.s[5].size(), 29);
  EXPECT_EQ(r.s[6], S("s6"));
  EXPECT_EQ(r.s[8], S("s8"));
  EXPECT_EQ(r.s[9].size(), 511);

  Push(MakePush(30403, 365, {S("req"), S("Lee"), ROOM, GUID, 4, S("extra")}));
  Push(MakePush(30403, 368, {S("req"), S("Lee"), ROOM, S("URID1"), GUID, 2}));
  ASSERT_EQ(listener.transfers.size(), 2u);
  const SessionTransferInfo& t = listener.transfers[0];
  EXPECT_EQ(t.RequesterID, S("req"));
  EXPECT_EQ(t.RequesterName, S("Lee"));
  EXPECT_EQ(t.RoomID, ROOM);
  EXPECT_EQ(t.GUID, GUID);
  EXPECT_EQ(t.STType, 4);
  EXPECT_EQ(t.Extra, S("extra"));
  EXPECT_EQ(listener.transfers[1].URID, S("URID1"));
  EXPECT_EQ(listener.transfers[1].GUID, GUID);

  Push(MakePush(30403, 371, {ROOM, GUID, 6, QString(40, QLatin1Char('m')), S("14"), S("09"), S("30"), S("0101234")}));
  ASSERT_EQ(listener.reconnects.size(), 1u);
  const HostReconnectInfo& h = listener.reconnects[0];
  EXPECT_EQ(h.Month.size(), 15);  // 32-byte field
  EXPECT_EQ(h.Day, S("14"));
  EXPECT_EQ(h.Minute, S("30"));
  EXPECT_EQ(h.MobileKey, S("0101234"));
}

TEST_F(Receive, HeaderMustMatchBannerAndIdentityIgnoringCase) {
  const std::vector<Field> three{ID, NAME, ROOM};
  EXPECT_EQ(Push(MakePush(30403, 305, three, S("enc123"))).size(), 1);  // case differs only
  EXPECT_TRUE(Push(MakePush(30403, 305, three, S("OTHER"))).isEmpty());
  EXPECT_TRUE(Push(MakePush(30403, 305, three, S("ENC123"), S("Kestrix SessionServer For Com 2.0"))).isEmpty());
  EXPECT_TRUE(Push(MakePush(30405, 305, three, {}, S("nope"))).isEmpty());
  // A banner longer than 255 characters cannot match.
  EXPECT_TRUE(Push(MakePush(30405, 305, three, {}, QString(300, QLatin1Char('K')))).isEmpty());
}

TEST_F(Receive, ShortPayloadStillDispatchesWithEmptyFields) {
  QByteArray full = MakePush(30403, 305, {ID, NAME, ROOM});
  // Cut inside the name: the name and room arrive empty, the command is still handled.
  const QByteArray cut = full.left(full.size() - 10 - 12);
  EXPECT_EQ(Push(cut), QStringList{S("SupportStarted cust1  ")});
  // Lengths that lie: a count far beyond the payload.
  PacketBuffer b;
  b.WriteBytes(MakePush(30403, 301, {}).constData(), MakePush(30403, 301, {}).size());
  b.WriteInt(0x7fffffff);
  EXPECT_EQ(Push(b.Bytes()), QStringList{S("CustomerNotify    flags=4 withdrawn=0")});
  // Fewer than four bytes: not even a command word, logged as unknown.
  EXPECT_TRUE(Push(QByteArray("\x01", 1)).isEmpty());
  EXPECT_TRUE(Push(QByteArray()).isEmpty());
}

TEST_F(Receive, ControlCommandsChangeChannelState) {
  PacketBuffer login;
  login.WriteInt(30100);
  EXPECT_EQ(Push(login.Bytes()), QStringList{S("AgentConnected")});
  PacketBuffer other;
  other.WriteInt(30101);
  EXPECT_TRUE(Push(other.Bytes()).isEmpty());
  // 30200 only sets the answered flag, whatever it carries.
  PacketBuffer ka;
  ka.WriteInt(30200);
  ka.WriteAnsi(S("anything"));
  EXPECT_TRUE(Push(ka.Bytes()).isEmpty());
  EXPECT_TRUE(channel.KeepAliveAnswered());
  PacketBuffer unknown;
  unknown.WriteInt(12345);
  EXPECT_TRUE(Push(unknown.Bytes()).isEmpty());
  // A network login request without a connection does nothing.
  PacketBuffer nl;
  nl.WriteInt(40201);
  nl.WriteInt(30000);
  EXPECT_TRUE(Push(nl.Bytes()).isEmpty());
}

TEST_F(Receive, CustomerPreparationProgressTexts) {
  struct Case {
    int status, current, total;
    QString text;  // empty: not shown
  } cases[] = {
      {1000, 0, 0, S("1/6 <IDS_MSG_CONNECT_PREPARING1>")},
      {1001, 0, 0, S("2/6 <IDS_MSG_UPDATING_SUPPORT_MODULE>")},
      {1001, 12345, 1234567, S("2/6 <IDS_MSG_UPDATING_SUPPORT_MODULE> (12,345/1,234,567)")},
      {1005, 0, 0, S("6/6 <IDS_MSG_RUNNING_SUPPORT_MODULE>")},
      {1007, 0, 0, S("<IDS_MSG_MODULE_UPDATE_FAIL>")},
      {1014, 0, 0, S("<IDS_MSG_FILE_COPY_FAILED>")},
      {1008, 0, 0, {}},
      {999, 0, 0, {}},
  };
  for (const Case& c : cases) {
    PacketBuffer b;
    b.WriteInt(30304);
    WriteFields(b, {Ansi{S("a")}, 0, Ansi{S("ENC123")}, Ansi{S("viewerKey")}, Ansi{S("")}, Ansi{S("")}, c.status,
                    c.current, c.total});
    const QStringList got = Push(b.Bytes());
    if (c.text.isEmpty())
      EXPECT_TRUE(got.isEmpty()) << c.status;
    else
      EXPECT_EQ(got, QStringList{QStringLiteral("Preparing viewerKey %1 %2").arg(c.status).arg(c.text)}) << c.status;
  }
}
