#include "common/Cipher.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Expected outputs computed independently with the openssl command line:
//   printf '%s' "$pw" | openssl enc -aes-128-cbc -K <hex of key> -iv <hex of vector> -nosalt | base64
// then "+" and "=" escaped as the form body needs them.
TEST(Cipher, EncryptTextMatchesIndependentVectors) {
  struct Case { const char* password; const char* expected; };
  const Case cases[] = {
      {"a", "9F%2bw2lg69IAuQcpU62MZ9w%3d%3d"},                               // 1 byte
      {"pass12345678901", "yBivxtFzWwZDcosoKyNEnQ%3d%3d"},                   // 15 bytes
      {"pass123456789012", "eNlklTiW7qWJCZOSWn5cLFESJC%2bRqVDVsHNcWR101q8%3d"},  // 16: full pad block
      {"pass1234567890123", "eNlklTiW7qWJCZOSWn5cLHciydNfI4JOUpNOsh6mtYM%3d"},   // 17 bytes
      {"\xED\x95\x9C\xEA\xB8\x80\xEC\x95\x94\xED\x98\xB8", "6GLUmdmeGVS8CQ/wtfIngw%3d%3d"},  // UTF-8 text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hv::EncryptText(QString::fromUtf8(c.password)), QString::fromLatin1(c.expected))
        << c.password;
  }
}

TEST(Cipher, EncryptTextEmptyAndStable) {
  EXPECT_TRUE(hv::EncryptText(QString()).isEmpty());
  EXPECT_EQ(hv::EncryptText(QStringLiteral("secret")), hv::EncryptText(QStringLiteral("secret")));
  // Very long input is cut at the 1023-byte buffer instead of overflowing it.
  const QString longText(5000, QLatin1Char('x'));
  EXPECT_EQ(hv::EncryptText(longText), hv::EncryptText(QString(1023, QLatin1Char('x'))));
  EXPECT_NE(hv::EncryptText(longText), hv::EncryptText(QString(1022, QLatin1Char('x'))));
}

TEST(Cipher, Base64MatchesRfc4648ForEveryTailLength) {
  // RFC 4648 section 10 test vectors.
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [in, expected] : cases) {
    char buf[16];
    const int n = hv::Base64Encode(reinterpret_cast<const unsigned char*>(in.data()), in.size(), buf);
    EXPECT_EQ(n, static_cast<int>(expected.size()) + 1) << in;
    EXPECT_EQ(std::string(buf), expected) << in;
  }
  // All byte values, checked against Qt's encoder.
  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
  for (int len = 0; len <= all.size(); len += 37)
    EXPECT_EQ(hv::Base64Encode(all.left(len)), all.left(len).toBase64()) << len;
}

}  // namespace
