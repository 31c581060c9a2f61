#pragma once

#include <QByteArray>
#include <QString>

// The SessionServer carries some texts in the "ANSI" code page of the machine. On Linux that is
// the code set of the locale (nl_langinfo(CODESET)); a deployment whose service speaks another
// code page (a Korean service: CP949) sets HV_ANSI_CODEPAGE=CP949 or calls SetCodePage. Any name
// iconv knows is accepted; UTF-8 and ASCII locales use the UTF-8 fast path.
namespace hv::ansi {

QByteArray FromUnicode(const QString& text);
QString ToUnicode(const QByteArray& bytes);

// Empty name: back to the locale's code set (or HV_ANSI_CODEPAGE). False when iconv cannot
// convert between the name and UTF-16; the previous code page then stays.
bool SetCodePage(const QByteArray& name);
QByteArray CodePage();

}  // namespace hv::ansi
