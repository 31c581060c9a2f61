#include "platform/BusFrame.h"

#include <gtest/gtest.h>

#include <QtEndian>

namespace {

QByteArray Header(uint32_t magic, uint16_t version, uint16_t kind, uint32_t length) {
  QByteArray h(hv::kBusHeaderSize, '\0');
  qToLittleEndian<uint32_t>(magic, h.data());
  qToLittleEndian<uint16_t>(version, h.data() + 4);
  qToLittleEndian<uint16_t>(kind, h.data() + 6);
  qToLittleEndian<uint32_t>(length, h.data() + 20);
  return h;
}

TEST(BusFrameTest, FramesSurviveByteByByteDelivery) {
  const QByteArray payload("\x01\x00\xff payload", 11);
  QByteArray stream = hv::EncodeCopyData(7, 0x10001, 0x20002, 1102, payload);
  stream += hv::EncodeMessage(hv::BusKind::Post, 8, 0x10001, 0x20002, 0xC123,
                              0xFFFFFFFF00000001ull, -5);
  stream += hv::EncodeReply(9, 0x20002, 0x10001, -1);

  hv::BusFrameReader reader;
  std::vector<hv::BusFrame> frames;
  for (char c : stream) {
    ASSERT_LE(reader.BytesWanted(), hv::kBusHeaderSize + payload.size() + 4);
    reader.Feed(QByteArray(1, c));
    while (auto f = reader.Take()) frames.push_back(*f);
  }
  ASSERT_FALSE(reader.Failed());
  EXPECT_FALSE(reader.MidFrame());
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].kind, hv::BusKind::CopyData);
  EXPECT_EQ(frames[0].sequence, 7u);
  EXPECT_EQ(frames[0].sender, 0x10001u);
  EXPECT_EQ(frames[0].target, 0x20002u);
  EXPECT_EQ(frames[0].CopyDataId(), 1102u);
  EXPECT_EQ(frames[0].CopyDataPayload(), payload);
  EXPECT_EQ(frames[1].Message(), 0xC123u);
  EXPECT_EQ(frames[1].WParam(), 0xFFFFFFFF00000001ull);
  EXPECT_EQ(frames[1].LParam(), -5);
  EXPECT_EQ(frames[2].Result(), -1);
}

TEST(BusFrameTest, BadHeadersFailBeforeAnyBodyIsAwaited) {
  struct Case {
    const char* name;
    QByteArray header;
  } cases[] = {
      {"garbage", QByteArray(hv::kBusHeaderSize, 'x')},
      {"version", Header(hv::kBusMagic, 2, 1, 10)},
      {"kind 0", Header(hv::kBusMagic, 1, 0, 4)},
      {"kind 9", Header(hv::kBusMagic, 1, 9, 4)},
      {"huge length", Header(hv::kBusMagic, 1, 1, 0xFFFFFFF0u)},
      {"one above limit", Header(hv::kBusMagic, 1, 1, hv::kBusMaxBody + 1)},
      {"copy-data without id", Header(hv::kBusMagic, 1, 1, 3)},
      {"message too long", Header(hv::kBusMagic, 1, 2, 21)},
      {"reply too short", Header(hv::kBusMagic, 1, 4, 2)},
  };
  for (const Case& c : cases) {
    hv::BusFrameReader reader;
    reader.Feed(c.header);
    EXPECT_TRUE(reader.Failed()) << c.name;
    EXPECT_EQ(reader.BytesWanted(), 0) << c.name;
    EXPECT_FALSE(reader.Take()) << c.name;
  }

  hv::BusFrameReader atLimit;
  atLimit.Feed(Header(hv::kBusMagic, 1, 1, hv::kBusMaxBody));
  EXPECT_FALSE(atLimit.Failed());
  EXPECT_EQ(atLimit.BytesWanted(), qint64(hv::kBusMaxBody));
}

}  // namespace
