// libFuzzer target: damaged INI and settings-tree files must never crash the readers, and a
// write into a damaged INI file must leave it readable.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

#include "common/IniFile.h"
#include "common/SettingsTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QTemporaryDir dir;
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString ini = dir.filePath(QStringLiteral("f.ini"));
  {
    QFile f(ini);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(bytes);
  }
  CIniFile file(ini);
  for (const QString& section : file.GetSections()) file.GetSectionEntries(section);
  file.GetInt(QStringLiteral("General"), QStringLiteral("a"), 0);
  if (file.SetString(QStringLiteral("General"), QStringLiteral("k"), QStringLiteral("v")) &&
      file.GetString(QStringLiteral("general"), QStringLiteral("K")) != QStringLiteral("v"))
    __builtin_trap();

  // The settings tree sets a damaged file aside; start each run from the fuzzed bytes.
  QDir(dir.path()).removeRecursively();
  QDir().mkpath(dir.path());
  const QString tree = dir.filePath(QStringLiteral("registry.dat"));
  {
    QFile f(tree);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(bytes);
  }
  hv::SettingsTree t(tree);
  t.Query(QStringLiteral("Software\\KESTRIX\\Helvora\\Common"), QStringLiteral("AuthInfo"));
  return 0;
}
