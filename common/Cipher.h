#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// The fixed-key string encryption used for passwords in form bodies, and the base64 encoder it
// shares with the SessionServer acknowledgements. The key and vector are constants of the
// console: the service decrypts with the same pair, so they never change.
namespace hv {

// AES-128-CBC under the console's key, padded to whole blocks (always at least one pad byte),
// base64, then "+" -> "%2b" and "=" -> "%3d" so the result drops straight into a form body.
// Empty input, or a cipher that cannot run, gives the empty text.
QString EncryptText(const QString& text);

// RFC 4648 base64 with the standard alphabet, no line breaks, NUL-terminated. The caller sizes
// out as (length + 2) / 3 * 4 + 1 bytes. Returns the number of characters written plus one.
int Base64Encode(const unsigned char* data, std::size_t length, char* out);

// Convenience over the buffer form.
QByteArray Base64Encode(const QByteArray& data);

}  // namespace hv
