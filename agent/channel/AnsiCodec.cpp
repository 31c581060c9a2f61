#include "agent/channel/AnsiCodec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <mutex>

namespace hv::ansi {
namespace {

std::mutex g_lock;
QByteArray g_codePage;  // empty: not decided yet
bool g_utf8 = true;

bool IsUtf8Like(const QByteArray& name) {
  const QByteArray n = name.toUpper();
  return n.isEmpty() || n == "UTF-8" || n == "UTF8" || n == "ANSI_X3.4-1968" || n == "ASCII" ||
         n == "US-ASCII";
}

void DecideLocked() {
  if (!g_codePage.isEmpty()) return;
  QByteArray name = qgetenv("HV_ANSI_CODEPAGE");
  if (name.isEmpty()) name = QByteArray(nl_langinfo(CODESET));
  if (name.isEmpty()) name = "UTF-8";
  g_codePage = name;
  g_utf8 = IsUtf8Like(name);
}

QByteArray Convert(const char* to, const char* from, const QByteArray& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  QByteArray out;
  out.resize(in.size() * 2 + 16);
  char* inPtr = const_cast<char*>(in.constData());
  size_t inLeft = static_cast<size_t>(in.size());
  size_t done = 0;
  while (inLeft > 0) {
    char* outPtr = out.data() + done;
    size_t outLeft = static_cast<size_t>(out.size()) - done;
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    done = static_cast<size_t>(out.size()) - outLeft;
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      // Unconvertible or cut sequence: skip one input byte, as a lossy code-page conversion does.
      ++inPtr;
      --inLeft;
      if (to[0] == 'U') {  // to UTF-16LE: put U+FFFD
        if (static_cast<size_t>(out.size()) - done < 2) out.resize(out.size() * 2);
        out[static_cast<qsizetype>(done)] = char(0xFD);
        out[static_cast<qsizetype>(done + 1)] = char(0xFF);
        done += 2;
      } else {
        if (static_cast<size_t>(out.size()) - done < 1) out.resize(out.size() * 2);
        out[static_cast<qsizetype>(done)] = '?';
        done += 1;
      }
    }
  }
  iconv_close(cd);
  out.resize(static_cast<qsizetype>(done));
  return out;
}

}  // namespace

QByteArray FromUnicode(const QString& text) {
  QByteArray cp;
  {
    std::lock_guard<std::mutex> g(g_lock);
    DecideLocked();
    if (g_utf8) return text.toUtf8();
    cp = g_codePage;
  }
  const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
  return Convert(cp.constData(), "UTF-16LE", utf16);
}

QString ToUnicode(const QByteArray& bytes) {
  QByteArray cp;
  {
    std::lock_guard<std::mutex> g(g_lock);
    DecideLocked();
    if (g_utf8) return QString::fromUtf8(bytes);
    cp = g_codePage;
  }
  const QByteArray utf16 = Convert("UTF-16LE", cp.constData(), bytes);
  return QString(reinterpret_cast<const QChar*>(utf16.constData()), utf16.size() / 2);
}

bool SetCodePage(const QByteArray& name) {
  std::lock_guard<std::mutex> g(g_lock);
  if (name.isEmpty()) {
    g_codePage.clear();
    DecideLocked();
    return true;
  }
  if (!IsUtf8Like(name)) {
    iconv_t cd = iconv_open(name.constData(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
  }
  g_codePage = name;
  g_utf8 = IsUtf8Like(name);
  return true;
}

QByteArray CodePage() {
  std::lock_guard<std::mutex> g(g_lock);
  DecideLocked();
  return g_codePage;
}

}  // namespace hv::ansi
