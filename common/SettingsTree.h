#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>
#include <optional>

namespace hv {

// Value types with the registry's numbers, so code that stores the type keeps meaning the same.
enum class SettingsType : int { String = 1, Binary = 3, Dword = 4 };

struct SettingsValue {
  SettingsType type = SettingsType::Binary;
  QString text;      // String
  QByteArray bytes;  // Binary
  quint32 dword = 0; // Dword

  static SettingsValue FromString(const QString& s) { return {SettingsType::String, s, {}, 0}; }
  static SettingsValue FromBytes(const QByteArray& b) { return {SettingsType::Binary, {}, b, 0}; }
  static SettingsValue FromDword(quint32 v) { return {SettingsType::Dword, {}, {}, v}; }
  bool operator==(const SettingsValue&) const = default;
};

// The per-user settings tree that stands in for the registry: key paths such as
// "Software\KESTRIX\Helvora\Common" (case-insensitive), each with named values of three types.
// The console, the report tool and the bridge library share one file, so every read first checks
// whether the file changed on disk, and writers serialise on a lock file and re-read before they
// change anything. Writes go to a new file that replaces the old one (readable by the user only).
// The file format is described in docs/settings-tree.md.
class SettingsTree {
 public:
  static constexpr const char* kFileName = "registry.dat";
  // Bigger files are treated as damaged: no settings tree legitimately grows that large.
  static constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;

  // The tree of the current user (hv::paths::ConfigDir()/registry.dat). One object per path,
  // so tests that move HV_CONFIG_DIR get a fresh tree.
  static SettingsTree& ForCurrentUser();

  explicit SettingsTree(const QString& filePath);
  QString FilePath() const { return m_path; }

  bool KeyExists(const QString& key);
  bool CreateKey(const QString& key);
  // Removes the key, its values and every key below it.
  bool DeleteKey(const QString& key);

  std::optional<SettingsValue> Query(const QString& key, const QString& name);
  bool Set(const QString& key, const QString& name, const SettingsValue& value);
  bool DeleteValue(const QString& key, const QString& name);
  QStringList ValueNames(const QString& key);

  // Normalised form of a key path: backslash separators, no empty parts.
  static QString NormaliseKey(const QString& key);

  // Gathers the changes made while it lives and writes them in one go when it ends: a save of
  // twenty values then costs one file write instead of twenty. Reads see the changes at once.
  class Batch {
   public:
    explicit Batch(SettingsTree& tree);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    SettingsTree& m_tree;
  };

 private:
  struct Key {
    QString path;  // spelling of first creation
    std::map<QString, std::pair<QString, SettingsValue>> values;  // folded name -> (name, value)
  };
  using Tree = std::map<QString, Key>;  // folded path -> key

  struct Stamp {
    bool exists = false;
    qint64 size = -1;
    qint64 mtimeNs = -1;
    quint64 inode = 0;
    bool operator==(const Stamp&) const = default;
  };

  Stamp ReadStamp() const;
  void RefreshLocked();  // re-reads the file when its stamp changed
  bool LoadFromDisk(Tree* out, QString* why) const;
  void SetAsideDamaged(const QString& why);
  bool WriteLocked(const Tree& tree);
  template <typename Change>
  bool Modify(Change change);
  bool ModifyNow(const std::function<bool(Tree&)>& change);
  void EndBatch();

  static QByteArray Serialise(const Tree& tree);
  static bool Parse(const QByteArray& bytes, Tree* out, QString* why);

  QString m_path;
  QMutex m_mutex;
  Tree m_tree;
  Stamp m_stamp;
  bool m_loaded = false;
  int m_batchDepth = 0;
  std::vector<std::function<bool(Tree&)>> m_pending;
};

}  // namespace hv
