#include "common/TagReader.h"

#include <climits>

namespace hv {

bool GetTagStr(QStringView text, QStringView open, QStringView close, QString& value) {
  value.clear();
  if (text.isEmpty() || open.isEmpty() || close.isEmpty()) return false;
  const qsizetype start = text.indexOf(open);
  if (start < 0) return false;
  const qsizetype from = start + open.size();
  const qsizetype end = text.indexOf(close, from);
  if (end < 0) return false;
  value = text.mid(from, end - from).toString();
  return true;
}

QString GetTag(QStringView text, QStringView tag) {
  if (text.isEmpty() || tag.isEmpty()) return QString();
  const QString open = QLatin1Char('<') + tag.toString() + QLatin1Char('>');
  const QString close = QLatin1String("</") + tag.toString() + QLatin1Char('>');
  QString value;
  GetTagStr(text, open, close, value);
  return value;
}

void GetTagArray(QStringView text, QStringView tag, QStringList& list) {
  if (text.isEmpty() || tag.isEmpty()) return;
  const QString open = QLatin1Char('<') + tag.toString() + QLatin1Char('>');
  const QString close = QLatin1String("</") + tag.toString() + QLatin1Char('>');
  const qsizetype n = tag.size();
  qsizetype p = 0;
  while (p <= text.size()) {
    const qsizetype o = text.indexOf(open, p);
    if (o < 0) break;
    const qsizetype c = text.indexOf(close, p);
    if (c < 0) break;
    // A closing tag before its opening one gives no value (the service's reader would take a
    // negative length here); the walk still moves on past that closing tag.
    if (c >= o + n + 2) list.append(text.mid(o + n + 2, c - o - n - 2).toString());
    p = c + n + 2;
  }
}

int ToIntLeading(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t') ||
                             text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  long long v = 0;
  for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
    v = v * 10 + (text[i].unicode() - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

QStringList SplitString(const QString& text, QChar separator) {
  if (text.isEmpty()) return {};
  return text.split(separator);
}

}  // namespace hv
