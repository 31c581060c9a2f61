#include "common/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include "platform/LogSink.h"
#include "platform/Paths.h"

namespace {

// Read-modify-write of one file must not interleave between threads of this process.
QMutex g_writeLock;

// Latin1 stands for any file that is not valid UTF-8 (a legacy code page or damage): each byte
// maps to one character, so a rewrite gives back the untouched bytes exactly.
enum class Encoding { Utf8, Utf8Bom, Utf16Le, Latin1 };

struct Document {
  QStringList lines;
  Encoding encoding = Encoding::Utf8;
  bool crlf = false;
  bool finalNewline = true;
  bool existed = false;
};

enum class LineKind { Other, Section, Entry };

struct Line {
  LineKind kind = LineKind::Other;
  QString name;   // section name or key, trimmed
  QString value;  // entry value, trimmed
};

Line Classify(const QString& raw) {
  Line out;
  const QString t = raw.trimmed();
  if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#')) return out;
  if (t.startsWith(u'[')) {
    const qsizetype close = t.indexOf(u']');
    out.kind = LineKind::Section;
    out.name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    return out;
  }
  const qsizetype eq = t.indexOf(u'=');
  if (eq <= 0) return out;  // no '=' or an empty key: not an entry
  out.kind = LineKind::Entry;
  out.name = t.left(eq).trimmed();
  out.value = t.mid(eq + 1).trimmed();
  if (out.name.isEmpty()) out.kind = LineKind::Other;
  return out;
}

bool Same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

Document Load(const QString& path) {
  Document doc;
  QFile f(path);
  if (!f.exists()) return doc;
  if (!f.open(QIODevice::ReadOnly)) {
    hv::PlatformLog(3, QStringLiteral("INI: cannot read %1: %2").arg(path, f.errorString()));
    return doc;
  }
  doc.existed = true;
  QByteArray bytes = f.read(CIniFile::kMaxFileBytes);
  if (!f.atEnd()) {
    hv::PlatformLog(3, QStringLiteral("INI: %1 is larger than %2 bytes; the rest is ignored")
                           .arg(path)
                           .arg(CIniFile::kMaxFileBytes));
  }
  QString text;
  if (bytes.startsWith("\xFF\xFE")) {
    doc.encoding = Encoding::Utf16Le;
    text = QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
  } else if (bytes.startsWith("\xEF\xBB\xBF")) {
    doc.encoding = Encoding::Utf8Bom;
    text = QString::fromUtf8(bytes.mid(3));
  } else {
    QStringDecoder utf8(QStringDecoder::Utf8);
    text = utf8.decode(bytes);
    if (utf8.hasError()) {
      doc.encoding = Encoding::Latin1;
      text = QString::fromLatin1(bytes);
    }
  }
  doc.crlf = text.contains(QLatin1String("\r\n"));
  doc.finalNewline = text.isEmpty() || text.endsWith(u'\n');
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  doc.lines = text.split(u'\n');
  if (doc.finalNewline && !doc.lines.isEmpty() && doc.lines.last().isEmpty()) doc.lines.removeLast();
  return doc;
}

bool Save(const QString& path, const Document& doc) {
  QString text = doc.lines.join(doc.crlf ? QLatin1String("\r\n") : QLatin1String("\n"));
  if (!doc.lines.isEmpty() && doc.finalNewline) text += doc.crlf ? QLatin1String("\r\n") : QLatin1String("\n");
  QByteArray bytes;
  switch (doc.encoding) {
    case Encoding::Utf16Le: {
      bytes = QByteArray("\xFF\xFE", 2);
      for (const QChar c : std::as_const(text)) {
        const ushort u = c.unicode();
        bytes.append(char(u & 0xFF));
        bytes.append(char(u >> 8));
      }
      break;
    }
    case Encoding::Utf8Bom:
      bytes = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
      break;
    case Encoding::Utf8:
      bytes = text.toUtf8();
      break;
    case Encoding::Latin1: {
      bool narrow = true;
      for (const QChar c : std::as_const(text)) narrow = narrow && c.unicode() < 0x100;
      bytes = narrow ? text.toLatin1() : text.toUtf8();  // a new non-Latin value makes it UTF-8
      break;
    }
  }
  const QFileInfo info(path);
  if (!info.absoluteDir().exists()) QDir().mkpath(info.absolutePath());
  // Temp file + rename: a crash leaves either the old file or the new one, never half of one.
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
    hv::PlatformLog(3, QStringLiteral("INI: cannot write %1: %2").arg(path, out.errorString()));
    return false;
  }
  return true;
}

// Index of the section header line, or -1.
qsizetype FindSection(const QStringList& lines, const QString& section) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const Line l = Classify(lines[i]);
    if (l.kind == LineKind::Section && Same(l.name, section)) return i;
  }
  return -1;
}

// First line after the section's body (the next header or the end).
qsizetype SectionEnd(const QStringList& lines, qsizetype header) {
  qsizetype i = header + 1;
  while (i < lines.size() && Classify(lines[i]).kind != LineKind::Section) ++i;
  return i;
}

qsizetype FindKey(const QStringList& lines, qsizetype header, const QString& key) {
  const qsizetype end = SectionEnd(lines, header);
  for (qsizetype i = header + 1; i < end; ++i) {
    const Line l = Classify(lines[i]);
    if (l.kind == LineKind::Entry && Same(l.name, key)) return i;
  }
  return -1;
}

bool Lookup(const Document& doc, const QString& section, const QString& key, QString* value) {
  const qsizetype header = FindSection(doc.lines, section);
  if (header < 0) return false;
  const qsizetype at = FindKey(doc.lines, header, key);
  if (at < 0) return false;
  *value = Classify(doc.lines[at]).value;
  return true;
}

}  // namespace

CIniFile CIniFile::InProgramDir(const QString& fileName) {
  return CIniFile(QDir(hv::paths::ProgramDir()).filePath(fileName));
}

CIniFile::CIniFile(const QString& path) : m_path(path) {}

bool CIniFile::Exists() const { return QFileInfo::exists(m_path); }

QString CIniFile::GetString(const QString& section, const QString& key, const QString& def) const {
  QString value;
  if (section.isEmpty() || key.isEmpty() || !Lookup(Load(m_path), section, key, &value)) return def;
  return value;
}

int CIniFile::GetInt(const QString& section, const QString& key, int def) const {
  QString text;
  if (section.isEmpty() || key.isEmpty() || !Lookup(Load(m_path), section, key, &text)) return def;
  // As the private-profile reader: optional sign, then leading digits; trailing text is ignored.
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  qint64 v = 0;
  const qsizetype digitsFrom = i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    if (v <= qint64(INT_MAX) + 1) v = v * 10 + (text[i].unicode() - u'0');
  }
  if (i == digitsFrom) return def;
  if (negative) v = -v;
  // Out-of-range numbers saturate rather than wrap into a surprising value.
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return int(v);
}

bool CIniFile::SetString(const QString& section, const QString& key, const QString& value) {
  if (value.isNull()) return DeleteKey(section, key);
  if (section.trimmed().isEmpty() || key.trimmed().isEmpty()) return false;
  // A line break in a key or value would split the entry and corrupt the file.
  if (key.contains(u'=') || key.contains(u'\n') || key.contains(u'\r') || value.contains(u'\n') ||
      value.contains(u'\r') || section.contains(u']') || section.contains(u'\n') || section.contains(u'\r')) {
    hv::PlatformLog(3, QStringLiteral("INI: refused to write [%1] %2 into %3: line break or separator in name or value")
                           .arg(section, key, m_path));
    return false;
  }
  QMutexLocker lock(&g_writeLock);
  Document doc = Load(m_path);
  const QString entry = key.trimmed() + u'=' + value;
  qsizetype header = FindSection(doc.lines, section);
  if (header < 0) {
    if (!doc.lines.isEmpty() && !doc.lines.last().trimmed().isEmpty()) doc.lines.append(QString());
    doc.lines.append(u'[' + section.trimmed() + u']');
    doc.lines.append(entry);
    return Save(m_path, doc);
  }
  const qsizetype at = FindKey(doc.lines, header, key);
  if (at >= 0) {
    if (doc.lines[at] == entry) return true;
    doc.lines[at] = entry;
    return Save(m_path, doc);
  }
  // New key: after the last non-blank line of the section, so blank separators stay in place.
  qsizetype insertAt = SectionEnd(doc.lines, header);
  while (insertAt > header + 1 && doc.lines[insertAt - 1].trimmed().isEmpty()) --insertAt;
  doc.lines.insert(insertAt, entry);
  return Save(m_path, doc);
}

bool CIniFile::SetInt(const QString& section, const QString& key, int value) {
  return SetString(section, key, QString::number(value));
}

bool CIniFile::DeleteKey(const QString& section, const QString& key) {
  QMutexLocker lock(&g_writeLock);
  Document doc = Load(m_path);
  const qsizetype header = FindSection(doc.lines, section);
  if (header < 0) return true;  // nothing to delete counts as done, as the private-profile writer does
  bool removed = false;
  for (qsizetype at = FindKey(doc.lines, header, key); at >= 0; at = FindKey(doc.lines, header, key)) {
    doc.lines.removeAt(at);  // every duplicate goes, or the next read would find the old one
    removed = true;
  }
  return removed ? Save(m_path, doc) : true;
}

bool CIniFile::DeleteSection(const QString& section) {
  QMutexLocker lock(&g_writeLock);
  Document doc = Load(m_path);
  bool removed = false;
  for (qsizetype header = FindSection(doc.lines, section); header >= 0;
       header = FindSection(doc.lines, section)) {
    const qsizetype end = SectionEnd(doc.lines, header);
    doc.lines.remove(header, end - header);
    removed = true;
  }
  return removed ? Save(m_path, doc) : true;
}

QStringList CIniFile::GetSections() const {
  QStringList out;
  const Document doc = Load(m_path);
  for (const QString& raw : doc.lines) {
    const Line l = Classify(raw);
    if (l.kind != LineKind::Section) continue;
    bool seen = false;
    for (const QString& s : std::as_const(out)) seen = seen || Same(s, l.name);
    if (!seen) out.append(l.name);
  }
  return out;
}

QList<QPair<QString, QString>> CIniFile::GetSectionEntries(const QString& section) const {
  QList<QPair<QString, QString>> out;
  const Document doc = Load(m_path);
  const qsizetype header = FindSection(doc.lines, section);
  if (header < 0) return out;
  const qsizetype end = SectionEnd(doc.lines, header);
  QSet<QString> seen;  // lower-cased keys, for first-occurrence-wins
  for (qsizetype i = header + 1; i < end; ++i) {
    const Line l = Classify(doc.lines[i]);
    if (l.kind != LineKind::Entry) continue;
    const QString folded = l.name.toLower();
    if (seen.contains(folded)) continue;
    seen.insert(folded);
    out.append({l.name, l.value});
  }
  return out;
}
