#include "common/TagReader.h"

#include <gtest/gtest.h>

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

TEST(TagReader, GetTagOnGoodAndBadInput) {
  struct Case { const char* text; const char* tag; const char* expected; };
  const Case cases[] = {
      {"<RETCODE>100</RETCODE>", "RETCODE", "100"},
      {"x<A></A>y", "A", ""},
      {"", "A", ""},                                  // empty text
      {"<A>1</A>", "", ""},                           // empty tag name
      {"<A>1", "A", ""},                              // unterminated
      {"1</A>", "A", ""},                             // closing tag only
      {"<A>1</A><A>2</A>", "A", "1"},                 // repeated: the first wins
      {"<A><A>x</A></A>", "A", "<A>x"},               // nested: up to the first close
      {"<AB>1</AB><A>2</A>", "A", "2"},               // a longer name is not a match
      {"<a>1</a>", "A", ""},                          // names are case-sensitive
      {"<NAME>\xEA\xB9\x80</NAME>", "NAME", "\xEA\xB9\x80"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(hv::GetTag(S(c.text), S(c.tag)), S(c.expected)) << c.text << " / " << c.tag;
}

TEST(TagReader, GetTagArrayWalksFromTheSearchPosition) {
  struct Case { const char* text; QStringList expected; };
  const Case cases[] = {
      {"<U>a</U>x<U>b</U>", {S("a"), S("b")}},
      {"<U>a", {}},                                   // opening tag without closing
      {"<U>a</U><U>b", {S("a")}},                     // second one unterminated
      {"</U><U>a</U>", {S("a")}},                     // stray close first is skipped
      {"<U></U>", {S("")}},
      {"", {}},
  };
  for (const Case& c : cases) {
    QStringList out;
    hv::GetTagArray(S(c.text), u"U", out);
    EXPECT_EQ(out, c.expected) << c.text;
  }
  QStringList appended{S("keep")};
  hv::GetTagArray(u"<U>1</U>", u"U", appended);
  EXPECT_EQ(appended, (QStringList{S("keep"), S("1")}));
}

TEST(TagReader, HugeAnswerWithManyOpenTagsStaysLinear) {
  // A million opening tags and no close: one search each way, nothing collected.
  QString text;
  for (int i = 0; i < 100000; ++i) text += QStringLiteral("<U>x");
  QStringList out;
  hv::GetTagArray(text, u"U", out);
  EXPECT_TRUE(out.isEmpty());
  EXPECT_TRUE(hv::GetTag(text, u"U").isEmpty());
}

TEST(TagReader, LeadingDigitsRule) {
  struct Case { const char* text; int expected; };
  const Case cases[] = {
      {"100", 100}, {"", 0}, {"abc", 0}, {"12abc", 12}, {"  7", 7}, {"-5", -5},
      {"+9", 9}, {"99999999999999", INT_MAX}, {"-99999999999999", INT_MIN}, {"0x10", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(hv::ToIntLeading(S(c.text)), c.expected) << c.text;
}

}  // namespace
