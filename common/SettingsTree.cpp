#include "common/SettingsTree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <memory>

#include "platform/LogSink.h"
#include "platform/Paths.h"

namespace hv {
namespace {

constexpr char kHeader[] = "HELVORA-SETTINGS 1";

QString Fold(const QString& s) { return s.toCaseFolded(); }

// Names, key paths and strings are written as UTF-8 with the few characters that would break a
// line's structure written as %XX. Everything else stays readable.
QByteArray Escape(const QString& s) {
  const QByteArray utf8 = s.toUtf8();
  QByteArray out;
  out.reserve(utf8.size());
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || c == '%' || c == '=' || c == '[' || c == ']') {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out.append(buf, 3);
    } else {
      out.append(ch);
    }
  }
  return out;
}

bool Unescape(QByteArrayView in, QString* out) {
  QByteArray raw;
  raw.reserve(in.size());
  for (qsizetype i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      raw.append(in[i]);
      continue;
    }
    if (i + 2 >= in.size()) return false;
    bool ok = false;
    const int v = QByteArray(in.data() + i + 1, 2).toInt(&ok, 16);
    if (!ok) return false;
    raw.append(char(v));
    i += 2;
  }
  QStringDecoder utf8(QStringDecoder::Utf8);
  *out = utf8.decode(raw);
  return !utf8.hasError();
}

}  // namespace

SettingsTree& SettingsTree::ForCurrentUser() {
  static QMutex s_lock;
  static std::map<QString, std::unique_ptr<SettingsTree>> s_trees;
  const QString path = QDir(hv::paths::ConfigDir()).filePath(QString::fromLatin1(kFileName));
  QMutexLocker lock(&s_lock);
  auto& slot = s_trees[path];
  if (!slot) slot = std::make_unique<SettingsTree>(path);
  return *slot;
}

SettingsTree::SettingsTree(const QString& filePath) : m_path(filePath) {}

QString SettingsTree::NormaliseKey(const QString& key) {
  QStringList parts = QString(key).replace(u'/', u'\\').split(u'\\', Qt::SkipEmptyParts);
  for (QString& p : parts) p = p.trimmed();
  parts.removeAll(QString());
  return parts.join(u'\\');
}

SettingsTree::Stamp SettingsTree::ReadStamp() const {
  Stamp s;
  struct stat st {};
  const QByteArray native = QFile::encodeName(m_path);
  if (::stat(native.constData(), &st) != 0) return s;
  s.exists = true;
  s.size = st.st_size;
  s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.inode = st.st_ino;
  return s;
}

QByteArray SettingsTree::Serialise(const Tree& tree) {
  QByteArray out(kHeader);
  out += "\n; Helvora settings of this user. Written by the programs; edit only while they are closed.\n";
  for (const auto& [folded, key] : tree) {
    out += "\n[" + Escape(key.path) + "]\n";
    for (const auto& [fname, entry] : key.values) {
      const auto& [name, v] = entry;
      switch (v.type) {
        case SettingsType::Dword:
          out += "dword:" + Escape(name) + '=' + QByteArray::number(v.dword) + '\n';
          break;
        case SettingsType::String:
          out += "sz:" + Escape(name) + '=' + Escape(v.text) + '\n';
          break;
        case SettingsType::Binary:
          out += "hex:" + Escape(name) + '=' + v.bytes.toHex() + '\n';
          break;
      }
    }
  }
  return out;
}

bool SettingsTree::Parse(const QByteArray& bytes, Tree* out, QString* why) {
  Tree tree;
  const QList<QByteArray> lines = bytes.split('\n');
  if (lines.isEmpty() || lines.first().trimmed() != kHeader) {
    *why = QStringLiteral("missing header line");
    return false;
  }
  Key* current = nullptr;
  for (qsizetype n = 1; n < lines.size(); ++n) {
    QByteArray line = lines[n];
    if (line.endsWith('\r')) line.chop(1);
    const auto fail = [&](const char* what) {
      *why = QStringLiteral("line %1: %2").arg(n + 1).arg(QLatin1String(what));
      return false;
    };
    if (line.trimmed().isEmpty() || line.startsWith(';')) continue;
    if (line.startsWith('[')) {
      if (!line.endsWith(']')) return fail("unterminated key");
      QString path;
      if (!Unescape(QByteArrayView(line).sliced(1, line.size() - 2), &path)) return fail("bad key text");
      path = NormaliseKey(path);
      if (path.isEmpty()) return fail("empty key");
      Key& k = tree[Fold(path)];
      if (k.path.isEmpty()) k.path = path;
      current = &k;
      continue;
    }
    const qsizetype colon = line.indexOf(':');
    const qsizetype eq = line.indexOf('=');
    if (colon < 0 || eq < colon) return fail("not a value line");
    if (!current) return fail("value outside a key");
    const QByteArray type = line.left(colon);
    QString name;
    if (!Unescape(QByteArrayView(line).sliced(colon + 1, eq - colon - 1), &name)) return fail("bad value name");
    const QByteArrayView data = QByteArrayView(line).sliced(eq + 1);
    SettingsValue v;
    if (type == "dword") {
      bool ok = false;
      const qulonglong d = QByteArray(data.data(), data.size()).toULongLong(&ok);
      if (!ok || d > 0xFFFFFFFFull) return fail("bad dword");
      v = SettingsValue::FromDword(quint32(d));
    } else if (type == "sz") {
      QString text;
      if (!Unescape(data, &text)) return fail("bad string");
      v = SettingsValue::FromString(text);
    } else if (type == "hex") {
      if (data.size() % 2 != 0) return fail("bad hex length");
      for (const char c : data) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return fail("bad hex digit");
      }
      v = SettingsValue::FromBytes(QByteArray::fromHex(QByteArray(data.data(), data.size())));
    } else {
      return fail("unknown value type");
    }
    current->values[Fold(name)] = {name, v};
  }
  *out = std::move(tree);
  return true;
}

bool SettingsTree::LoadFromDisk(Tree* out, QString* why) const {
  QFile f(m_path);
  if (!f.exists()) {
    out->clear();
    return true;
  }
  if (!f.open(QIODevice::ReadOnly)) {
    *why = QStringLiteral("cannot open: %1").arg(f.errorString());
    return false;
  }
  if (f.size() > kMaxFileBytes) {
    *why = QStringLiteral("file of %1 bytes is too large").arg(f.size());
    return false;
  }
  return Parse(f.readAll(), out, why);
}

void SettingsTree::SetAsideDamaged(const QString& why) {
  QString aside = QStringLiteral("%1.damaged-%2")
                      .arg(m_path, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
  for (int i = 2; QFileInfo::exists(aside); ++i) aside = aside.section(u'~', 0, 0) + u'~' + QString::number(i);
  if (QFile::rename(m_path, aside)) {
    PlatformLog(3, QStringLiteral("Settings: %1 is damaged (%2); kept as %3, defaults are used")
                       .arg(m_path, why, aside));
  } else {
    PlatformLog(3, QStringLiteral("Settings: %1 is damaged (%2) and could not be moved aside; defaults are used, "
                                  "changes are not saved")
                       .arg(m_path, why));
  }
}

void SettingsTree::RefreshLocked() {
  const Stamp now = ReadStamp();
  if (m_loaded && now == m_stamp) return;
  Tree tree;
  QString why;
  if (LoadFromDisk(&tree, &why)) {
    m_tree = std::move(tree);
    m_stamp = now;
    m_loaded = true;
    return;
  }
  // Another process may be replacing a damaged file at this moment; decide under the lock file.
  QLockFile lock(m_path + QStringLiteral(".lock"));
  lock.setStaleLockTime(10000);
  const bool locked = lock.tryLock(5000);
  if (locked && LoadFromDisk(&tree, &why)) {
    m_tree = std::move(tree);
  } else {
    if (locked) SetAsideDamaged(why);
    else PlatformLog(3, QStringLiteral("Settings: %1 is unreadable (%2); defaults are used").arg(m_path, why));
    m_tree.clear();
  }
  m_stamp = ReadStamp();
  m_loaded = true;
}

bool SettingsTree::WriteLocked(const Tree& tree) {
  const QFileInfo info(m_path);
  QDir dir = info.absoluteDir();
  if (!dir.exists()) {
    if (!QDir().mkpath(dir.absolutePath())) {
      PlatformLog(3, QStringLiteral("Settings: cannot create %1").arg(dir.absolutePath()));
      return false;
    }
    QFile::setPermissions(dir.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  // QTemporaryFile creates the file with mode 0600: the saved password is never readable by others.
  QTemporaryFile tmp(m_path + QStringLiteral(".XXXXXX"));
  tmp.setAutoRemove(true);
  const QByteArray bytes = Serialise(tree);
  if (!tmp.open() || tmp.write(bytes) != bytes.size() || !tmp.flush() || ::fsync(tmp.handle()) != 0) {
    PlatformLog(3, QStringLiteral("Settings: cannot write %1: %2").arg(tmp.fileName(), tmp.errorString()));
    return false;
  }
  tmp.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  tmp.close();
  if (::rename(QFile::encodeName(tmp.fileName()).constData(), QFile::encodeName(m_path).constData()) != 0) {
    PlatformLog(3, QStringLiteral("Settings: cannot replace %1").arg(m_path));
    return false;
  }
  tmp.setAutoRemove(false);
  return true;
}

template <typename Change>
bool SettingsTree::Modify(Change change) {
  {
    QMutexLocker guard(&m_mutex);
    if (m_batchDepth > 0) {
      // Applied in memory now for the readers, and again under the lock when the batch ends; the
      // changes capture their values by copy, since they outlive the call that made them.
      RefreshLocked();
      std::function<bool(Tree&)> f = change;
      const bool changed = f(m_tree);
      if (changed) m_pending.push_back(std::move(f));
      return changed;
    }
  }
  return ModifyNow(change);
}

SettingsTree::Batch::Batch(SettingsTree& tree) : m_tree(tree) {
  QMutexLocker guard(&m_tree.m_mutex);
  ++m_tree.m_batchDepth;
}

SettingsTree::Batch::~Batch() { m_tree.EndBatch(); }

void SettingsTree::EndBatch() {
  std::vector<std::function<bool(Tree&)>> pending;
  {
    QMutexLocker guard(&m_mutex);
    if (--m_batchDepth > 0) return;
    pending.swap(m_pending);
  }
  if (pending.empty()) return;
  ModifyNow([&pending](Tree& t) {
    bool any = false;
    for (const auto& change : pending) any = change(t) || any;
    return any;
  });
}

bool SettingsTree::ModifyNow(const std::function<bool(Tree&)>& change) {
  QMutexLocker guard(&m_mutex);
  QLockFile lock(m_path + QStringLiteral(".lock"));
  lock.setStaleLockTime(10000);
  QDir().mkpath(QFileInfo(m_path).absolutePath());
  if (!lock.tryLock(5000)) {
    PlatformLog(3, QStringLiteral("Settings: %1 is locked by another program; the change is not saved").arg(m_path));
    return false;
  }
  // Re-read under the lock so a change made by another program in between is not lost.
  Tree tree;
  QString why;
  if (!LoadFromDisk(&tree, &why)) {
    SetAsideDamaged(why);
    if (QFileInfo::exists(m_path)) return false;  // could not move it: never overwrite it silently
    tree.clear();
  }
  if (!change(tree)) {
    m_tree = std::move(tree);
    m_stamp = ReadStamp();
    m_loaded = true;
    return false;
  }
  const bool ok = WriteLocked(tree);
  if (ok) m_tree = std::move(tree);
  m_stamp = ReadStamp();
  m_loaded = ok;
  return ok;
}

bool SettingsTree::KeyExists(const QString& key) {
  const QString path = NormaliseKey(key);
  if (path.isEmpty()) return false;
  QMutexLocker guard(&m_mutex);
  RefreshLocked();
  return m_tree.count(Fold(path)) > 0;
}

bool SettingsTree::CreateKey(const QString& key) {
  const QString path = NormaliseKey(key);
  if (path.isEmpty()) return false;
  {
    QMutexLocker guard(&m_mutex);
    RefreshLocked();
    if (m_tree.count(Fold(path))) return true;
  }
  return Modify([=](Tree& t) {
    Key& k = t[Fold(path)];
    if (k.path.isEmpty()) k.path = path;
    return true;
  });
}

bool SettingsTree::DeleteKey(const QString& key) {
  const QString path = NormaliseKey(key);
  if (path.isEmpty()) return false;
  const QString folded = Fold(path);
  return Modify([=](Tree& t) {
    bool any = false;
    for (auto it = t.begin(); it != t.end();) {
      if (it->first == folded || it->first.startsWith(folded + u'\\')) {
        it = t.erase(it);
        any = true;
      } else {
        ++it;
      }
    }
    return any;
  });
}

std::optional<SettingsValue> SettingsTree::Query(const QString& key, const QString& name) {
  const QString path = NormaliseKey(key);
  QMutexLocker guard(&m_mutex);
  RefreshLocked();
  const auto k = m_tree.find(Fold(path));
  if (k == m_tree.end()) return std::nullopt;
  const auto v = k->second.values.find(Fold(name));
  if (v == k->second.values.end()) return std::nullopt;
  return v->second.second;
}

bool SettingsTree::Set(const QString& key, const QString& name, const SettingsValue& value) {
  const QString path = NormaliseKey(key);
  if (path.isEmpty()) return false;
  {
    // Most saves rewrite unchanged values: skip the file write when nothing changes.
    QMutexLocker guard(&m_mutex);
    RefreshLocked();
    const auto k = m_tree.find(Fold(path));
    if (k != m_tree.end()) {
      const auto v = k->second.values.find(Fold(name));
      if (v != k->second.values.end() && v->second.second == value) return true;
    }
  }
  return Modify([=](Tree& t) {
    Key& k = t[Fold(path)];
    if (k.path.isEmpty()) k.path = path;
    auto& slot = k.values[Fold(name)];
    if (slot.first.isEmpty()) slot.first = name;
    slot.second = value;
    return true;
  });
}

bool SettingsTree::DeleteValue(const QString& key, const QString& name) {
  const QString path = NormaliseKey(key);
  return Modify([=](Tree& t) {
    const auto k = t.find(Fold(path));
    return k != t.end() && k->second.values.erase(Fold(name)) > 0;
  });
}

QStringList SettingsTree::ValueNames(const QString& key) {
  QStringList out;
  QMutexLocker guard(&m_mutex);
  RefreshLocked();
  const auto k = m_tree.find(Fold(NormaliseKey(key)));
  if (k == m_tree.end()) return out;
  for (const auto& [f, entry] : k->second.values) out.append(entry.first);
  return out;
}

}  // namespace hv
