#pragma once

#include <QString>

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

 private:
  QString m_path;
};
