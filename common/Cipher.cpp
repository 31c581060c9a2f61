#include "common/Cipher.h"

#include "platform/LogSink.h"

#include <openssl/evp.h>

#include <memory>

namespace hv {
namespace {

constexpr char kKey[] = "Tz8Wq3Ke+Mc7Ya1D";
constexpr char kIv[] = "Gd5Nv/Hs2Qj9Lo4F";
// The text is converted into a 1024-byte buffer before encryption; longer texts are cut there.
constexpr int kMaxPlainBytes = 1023;

QByteArray ToLocalBytes(const QString& text) {
  QByteArray bytes = text.toLocal8Bit();
  if (bytes.size() <= kMaxPlainBytes) return bytes;
  // Cut without splitting a multi-byte character, so the service never sees a broken sequence.
  int n = kMaxPlainBytes;
  while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;
  bytes.truncate(n);
  return bytes;
}

}  // namespace

int Base64Encode(const unsigned char* data, std::size_t length, char* out) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::size_t o = 0;
  std::size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const unsigned v = (unsigned(data[i]) << 16) | (unsigned(data[i + 1]) << 8) | data[i + 2];
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = kAlphabet[v & 63];
  }
  const std::size_t rest = length - i;
  if (rest == 1) {
    const unsigned v = unsigned(data[i]) << 16;
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = '=';
    out[o++] = '=';
  } else if (rest == 2) {
    const unsigned v = (unsigned(data[i]) << 16) | (unsigned(data[i + 1]) << 8);
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = '=';
  }
  out[o] = '\0';
  return static_cast<int>(o + 1);
}

QByteArray Base64Encode(const QByteArray& data) {
  QByteArray out((data.size() + 2) / 3 * 4 + 1, '\0');
  const int n = Base64Encode(reinterpret_cast<const unsigned char*>(data.constData()),
                             static_cast<std::size_t>(data.size()), out.data());
  out.truncate(n - 1);
  return out;
}

QString EncryptText(const QString& text) {
  const QByteArray plain = ToLocalBytes(text);
  if (plain.isEmpty()) return QString();

  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                       &EVP_CIPHER_CTX_free);
  // EVP's default padding is exactly the scheme the service expects: p bytes of value p,
  // a whole block of 16 when the text fills its last block.
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr,
                                 reinterpret_cast<const unsigned char*>(kKey),
                                 reinterpret_cast<const unsigned char*>(kIv)) != 1) {
    PlatformLog(3, QStringLiteral("EncryptText: cipher context could not be initialised"));
    return QString();
  }
  QByteArray cipher(plain.size() + 16, '\0');
  int n1 = 0;
  int n2 = 0;
  auto* out = reinterpret_cast<unsigned char*>(cipher.data());
  if (EVP_EncryptUpdate(ctx.get(), out, &n1, reinterpret_cast<const unsigned char*>(plain.constData()),
                        static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), out + n1, &n2) != 1 || n1 + n2 <= 0) {
    PlatformLog(3, QStringLiteral("EncryptText: encryption yielded no bytes"));
    return QString();
  }
  cipher.truncate(n1 + n2);

  QString encoded = QString::fromLatin1(Base64Encode(cipher));
  encoded.replace(QLatin1Char('+'), QLatin1String("%2b"));
  encoded.replace(QLatin1Char('='), QLatin1String("%3d"));
  return encoded;
}

}  // namespace hv
