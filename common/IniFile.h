#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// INI files as the private-profile functions treat them: sections and keys match without regard
// to case, values are taken as they stand (no escaping, no quoting), a missing file reads as
// empty, and writing a null value deletes the key. Writes replace the file atomically.
class CIniFile {
 public:
  // A file in the program folder ("info.ini", "bldinfo.ini").
  static CIniFile InProgramDir(const QString& fileName);
  explicit CIniFile(const QString& path);

  QString Path() const { return m_path; }

  QString GetString(const QString& section, const QString& key, const QString& def = QString()) const;
  // Decimal text; a missing or non-numeric value yields the default.
  int GetInt(const QString& section, const QString& key, int def) const;
  // A null QString deletes the key.
  bool SetString(const QString& section, const QString& key, const QString& value);
  bool SetInt(const QString& section, const QString& key, int value);
  bool DeleteKey(const QString& section, const QString& key);
  // Removes the section header and every line below it up to the next section.
  bool DeleteSection(const QString& section);

  bool Exists() const;
  // Section names in file order (first spelling of each).
  QStringList GetSections() const;
  // Every key=value of a section in file order, first occurrence of each key only. One read of the
  // file, for callers that need many keys (language files).
  QList<QPair<QString, QString>> GetSectionEntries(const QString& section) const;

  // Files larger than this are read only up to the limit (a damaged or hostile file must not
  // exhaust memory); the rest is ignored with a log line.
  static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

 private:
  QString m_path;
};
