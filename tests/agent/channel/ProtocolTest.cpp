// Codec over bytes: payload values, frames, and the three messages the console sends.
#include "agent/channel/AnsiCodec.h"
#include "agent/channel/PacketBuffer.h"
#include "agent/channel/SessionProtocol.h"

#include <gtest/gtest.h>

#include <QList>
#include <QtEndian>

using namespace hv::sserver;

namespace {

QByteArray Int32(int32_t v) {
  QByteArray b(4, '\0');
  qToLittleEndian<int32_t>(v, b.data());
  return b;
}
QByteArray Ansi(const QByteArray& s) { return Int32(static_cast<int32_t>(s.size())) + s; }

}  // namespace

TEST(SessionProtocol, LoginPayloadIsByteExact) {
  const QByteArray got = MakeLoginPayload({QStringLiteral("ENC123"), QStringLiteral("agent1"), QStringLiteral("G1"),
                                           QStringLiteral("C9"), QStringLiteral("http://x/lo?encurid=E")});
  const QByteArray want = Int32(30100) + Ansi("Kestrix SessionServer For Agnet 3.0") + Int32(100) + Ansi("ENC123") +
                          Ansi("agent1") + Ansi("G1") + Ansi("C9") + Ansi("http://x/lo?encurid=E");
  EXPECT_EQ(got.toHex(), want.toHex());
}

TEST(SessionProtocol, KeepAliveAndAckAreByteExact) {
  EXPECT_EQ(MakeKeepAlivePayload(123456).toHex(), (Int32(30200) + Ansi("Session Keep - 123456l")).toHex());
  EXPECT_EQ(MakeAckPayload(kCmdAck, kResultOk).toHex(), (Int32(30301) + Int32(100)).toHex());
  // With data: base64 of (int32 code, raw bytes) as an ANSI text.
  const QByteArray data = MakeAckPayload(30301, 100, 7, QByteArray("ab"));
  const QByteArray b64 = (Int32(7) + QByteArray("ab")).toBase64();
  EXPECT_EQ(data.toHex(), (Int32(30301) + Int32(100) + Ansi(b64)).toHex());
}

TEST(SessionProtocol, FrameHasLengthWordAndMaskedPayload) {
  const QByteArray payload = Int32(30301) + Int32(100);
  const QByteArray frame = EncodeFrame(payload);
  ASSERT_EQ(frame.size(), 12);
  EXPECT_EQ(qFromLittleEndian<int32_t>(frame.constData()), 4);  // payload length - 4
  for (int i = 0; i < payload.size(); ++i)
    EXPECT_EQ(static_cast<uint8_t>(frame[4 + i]), static_cast<uint8_t>(payload[i]) ^ kPayloadMask);
}

TEST(SessionProtocol, DecoderReassemblesFramesFedOneByteAtATime) {
  const QByteArray p1 = MakeKeepAlivePayload(1);
  const QByteArray p2 = MakeAckPayload(30301, 100);
  const QByteArray stream = EncodeFrame(p1) + EncodeFrame(p2);
  FrameDecoder d;
  QList<QByteArray> got;
  for (char c : stream) {
    d.Feed(&c, 1);
    QByteArray p;
    while (d.Next(p) == FrameDecoder::Result::Frame) got.append(p);
  }
  ASSERT_EQ(got.size(), 2);
  EXPECT_EQ(got[0], p1);
  EXPECT_EQ(got[1], p2);
  EXPECT_EQ(d.Buffered(), 0);
}

TEST(SessionProtocol, DecoderRefusesLengthsOutOfRangeBeforeWaiting) {
  struct Case {
    int32_t word;
    bool ok;
  } cases[] = {{-1, false}, {INT32_MIN, false}, {kMaxPayloadLength - 3, false}, {INT32_MAX, false},
               {0, true}, {kMaxPayloadLength - 4, true}};
  for (const Case& c : cases) {
    FrameDecoder d;
    d.Feed(Int32(c.word));
    QByteArray p;
    const auto r = d.Next(p);
    EXPECT_EQ(r, c.ok ? FrameDecoder::Result::NeedMore : FrameDecoder::Result::Error)
        << c.word;
    if (!c.ok) {
      EXPECT_EQ(d.BadLength(), c.word);
      // Once broken the stream stays broken and nothing more is buffered.
      d.Feed(QByteArray(1000, 'x'));
      EXPECT_EQ(d.Buffered(), 0);
      EXPECT_EQ(d.Next(p), FrameDecoder::Result::Error);
    }
  }
  // A zero length word is a payload of only the command word.
  FrameDecoder d;
  d.Feed(EncodeFrame(Int32(30200)));
  QByteArray p;
  ASSERT_EQ(d.Next(p), FrameDecoder::Result::Frame);
  EXPECT_EQ(p, Int32(30200));
}

TEST(PacketBuffer, CapacityRulesForAnsiAndUtf16) {
  PacketBuffer w;
  w.WriteAnsi(QString(600, QLatin1Char('a')));
  w.WriteUtf16(QString(600, QChar(0xAC00)));  // Hangul: two bytes each in UTF-16
  w.WriteUtf16(QStringLiteral("abc"));
  w.WriteInt(42);
  PacketBuffer r(w.Bytes());
  QString ansi, wide, small;
  int32_t tail = 0;
  ASSERT_TRUE(r.ReadAnsi(ansi, 256));
  EXPECT_EQ(ansi.size(), 255);  // c - 1 bytes
  ASSERT_TRUE(r.ReadUtf16(wide, 512));
  EXPECT_EQ(wide.size(), 255);  // c / 2 - 1 characters
  EXPECT_EQ(wide.at(0), QChar(0xAC00));
  ASSERT_TRUE(r.ReadUtf16(small, 512));
  EXPECT_EQ(small, QStringLiteral("abc"));
  ASSERT_TRUE(r.ReadInt(tail));  // the cut text was skipped whole: the next field lines up
  EXPECT_EQ(tail, 42);
}

TEST(PacketBuffer, ShortOrLyingPayloadFailsAndStaysFailed) {
  struct Case {
    const char* name;
    QByteArray bytes;
  } cases[] = {
      {"count beyond end", Int32(100) + QByteArray("abc")},
      {"negative count", Int32(-5) + QByteArray("abcdefgh")},
      {"huge count", Int32(INT32_MAX) + QByteArray("abc")},
      {"cut count", QByteArray("\x02\x00", 2)},
  };
  for (const Case& c : cases) {
    PacketBuffer r(c.bytes);
    QString text = QStringLiteral("old");
    EXPECT_FALSE(r.ReadUtf16(text, 512)) << c.name;
    EXPECT_TRUE(text.isEmpty()) << c.name;
    int32_t v = 77;
    EXPECT_FALSE(r.ReadInt(v)) << c.name;
    EXPECT_EQ(v, 77) << c.name;  // unchanged
    EXPECT_TRUE(r.Failed()) << c.name;
  }
}

TEST(PacketBuffer, GrowsFromTheInitialCapacity) {
  PacketBuffer w;
  EXPECT_EQ(w.Capacity(), 1024);
  w.WriteAnsi(QString(3000, QLatin1Char('z')));
  EXPECT_GE(w.Capacity(), 3004);
  EXPECT_EQ(w.Size(), 3004);
}

TEST(AnsiCodec, Cp949RoundTripWhenTheCodePageIsSet) {
  if (!hv::ansi::SetCodePage("CP949")) GTEST_SKIP() << "iconv has no CP949";
  const QString korean = QString::fromUtf8("상담원");
  const QByteArray bytes = hv::ansi::FromUnicode(korean);
  EXPECT_EQ(bytes.size(), 6);  // two bytes per syllable in CP949
  EXPECT_EQ(hv::ansi::ToUnicode(bytes), korean);
  EXPECT_FALSE(hv::ansi::SetCodePage("NO-SUCH-CODEPAGE"));
  hv::ansi::SetCodePage({});
}

TEST(SessionProtocol, GroupsThousands) {
  EXPECT_EQ(GroupThousands(0), QStringLiteral("0"));
  EXPECT_EQ(GroupThousands(999), QStringLiteral("999"));
  EXPECT_EQ(GroupThousands(1000), QStringLiteral("1,000"));
  EXPECT_EQ(GroupThousands(1234567), QStringLiteral("1,234,567"));
}
