#include "resources/HVRes.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLocale>

#include "common/IniFile.h"
#include "platform/LogSink.h"
#include "platform/Paths.h"

namespace {

const char* const kCodes[] = {"kor", "eng", "jpn", "chi_sim", "chi_tra", "fre", "spa", "por"};
const char* const kConsoleCodes[] = {"ko", "en", "ja", "zh_CN", "zh_TW", "fr", "es", "pt"};
const char* const kProxyFiles[] = {"hvv_kor_proxy.lng", "hvv_eng_proxy.lng", "hvv_jpn_proxy.lng",
                                   "hvv_chi_sim_proxy.lng", "hvv_chi_tra_proxy.lng", "hvv_fre_proxy.lng",
                                   "hvv_spa_proxy.lng", "hvv_eng_proxy.lng"};

bool Known(int index) { return index >= 0 && index < 8; }

}  // namespace

HVRes& HVRes::GetInstance() {
  static HVRes* s_instance = new HVRes();  // used until the process ends, from every thread
  return *s_instance;
}

HVRes::HVRes() { Reload(); }

QString HVRes::FileCode(int index) { return QLatin1String(Known(index) ? kCodes[index] : "eng"); }
QString HVRes::ConsoleLanguageCode(int index) { return QLatin1String(Known(index) ? kConsoleCodes[index] : "en"); }
QString HVRes::ProxyFileName(int index) { return QLatin1String(Known(index) ? kProxyFiles[index] : "hvv_eng_proxy.lng"); }
QString HVRes::LanguageFileName(int index) { return QStringLiteral("hvv_%1.lng").arg(FileCode(index)); }

bool HVRes::LanguageFileExists(int index, const QString& programDir) {
  const QString dir = programDir.isEmpty() ? hv::paths::ProgramDir() : programDir;
  const QString file = QDir(dir).filePath(QStringLiteral("Languages/") + LanguageFileName(index));
  if (QFileInfo(file).isFile()) return true;
  hv::PlatformLog(3, QStringLiteral("Resources: language file %1 is missing; the program cannot start").arg(file));
  return false;
}

int HVRes::IndexForUiLanguage(int langId) {
  switch (langId) {
    case 1042: return 0;
    case 1041: return 2;
    case 2052: return 3;
    case 1028: return 4;
    case 1036: return 5;
    case 1046: case 2070: return 7;
    default: break;
  }
  // The Spanish identifiers: primary language 0x0A with sub-languages 1 to 20.
  if ((langId & 0x3FF) == 0x0A && (langId >> 10) >= 1 && (langId >> 10) <= 20) return 6;
  return 1;
}

int HVRes::SystemUiLanguageId() {
  const QLocale locale = QLocale::system();
  switch (locale.language()) {
    case QLocale::Korean: return 1042;
    case QLocale::Japanese: return 1041;
    case QLocale::Chinese:
      return (locale.script() == QLocale::TraditionalChineseScript || locale.territory() == QLocale::Taiwan ||
              locale.territory() == QLocale::HongKong)
                 ? 1028
                 : 2052;
    case QLocale::French: return 1036;
    case QLocale::Spanish: return 3082;
    case QLocale::Portuguese: return locale.territory() == QLocale::Portugal ? 2070 : 1046;
    default: return 1033;
  }
}

QString HVRes::ProgramDir() const {
  QMutexLocker lock(&m_lock);
  return m_programDir;
}
QString HVRes::LanguagesDir() const { return QDir(ProgramDir()).filePath(QStringLiteral("Languages")) + u'/'; }
QString HVRes::ImagesDir() const { return QDir(ProgramDir()).filePath(QStringLiteral("Images")) + u'/'; }

// Installations with the product code "Tavrin" carry their own texts ("hvv_<code>_tavrin.lng");
// where one of those is missing, the ordinary file is used.
QString HVRes::FilePathFor(const QString& code) const {
  const QString dir = QDir(m_programDir).filePath(QStringLiteral("Languages/"));
  const QString productCode = CIniFile(QDir(m_programDir).filePath(QStringLiteral("info.ini")))
                                  .GetString(QStringLiteral("Settings"), QStringLiteral("ProductCode"));
  if (productCode.compare(QLatin1String("Tavrin"), Qt::CaseInsensitive) == 0) {
    const QString special = dir + QStringLiteral("hvv_%1_tavrin.lng").arg(code);
    if (QFileInfo(special).isFile()) return special;
  }
  return dir + QStringLiteral("hvv_%1.lng").arg(code);
}

void HVRes::Reload() {
  {
    QMutexLocker lock(&m_lock);
    m_programDir = hv::paths::ProgramDir();
    m_index = -1;
    m_code.clear();
    m_path.clear();
    m_texts.clear();
    m_images.clear();
  }
  const CIniFile test(QDir(hv::paths::ProgramDir()).filePath(QStringLiteral("test.ini")));
  if (test.Exists()) {
    const QString value = test.GetString(QStringLiteral("RESOURCE"), QStringLiteral("Language")).trimmed();
    if (!value.isEmpty()) {
      const int index = test.GetInt(QStringLiteral("RESOURCE"), QStringLiteral("Language"), kNoLanguage);
      if (index != kNoLanguage) {
        SelectLanguage(index);
        return;
      }
    }
  }
  SelectLanguage(IndexForUiLanguage(SystemUiLanguageId()));
}

bool HVRes::SelectLanguage(int index) {
  if (!Known(index)) index = 1;  // any other index reads the English file
  QMutexLocker lock(&m_lock);
  if (index == m_index && index != kNoLanguage) return !m_path.isEmpty();
  QString code = FileCode(index);
  QString path = FilePathFor(code);
  if (!QFileInfo(path).isFile()) {
    hv::PlatformLog(1, QStringLiteral("Resources: %1 is missing; using English").arg(path));
    index = 1;
    code = QStringLiteral("eng");
    path = FilePathFor(code);
  }
  if (!QFileInfo(path).isFile()) {
    hv::PlatformLog(3, QStringLiteral("Resources: no language file in %1").arg(QFileInfo(path).absolutePath()));
    m_index = kNoLanguage;
    m_code.clear();
    m_path.clear();
    m_texts.clear();
    m_fontFace.clear();
    return false;
  }
  m_index = index;
  m_code = code.toUpper();
  m_path = path;
  LoadTexts(path);
  return true;
}

void HVRes::LoadTexts(const QString& path) {
  m_texts.clear();
  const auto entries = CIniFile(path).GetSectionEntries(QStringLiteral("HELVORA"));
  for (const auto& [key, raw] : entries) {
    QString text = raw;
    // Quotes keep spaces at the ends of a text that is joined to a name ("<name> is asking ...").
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"')) text = text.mid(1, text.size() - 2);
    text.truncate(kMaxTextUnits);
    text.replace(QLatin1String("\\n"), QLatin1String("\n"));
    m_texts.insert(key.toLower(), text);
  }
  if (m_texts.isEmpty()) hv::PlatformLog(3, QStringLiteral("Resources: %1 holds no texts").arg(path));
  m_fontFace = m_texts.value(QStringLiteral("ids_font"));
}

int HVRes::GetLanguage() const {
  QMutexLocker lock(&m_lock);
  return m_index;
}

QString HVRes::LanguageCode() const {
  QMutexLocker lock(&m_lock);
  return m_code;
}

QString HVRes::LanguageFilePath() const {
  QMutexLocker lock(&m_lock);
  return m_path;
}

QString HVRes::LoadStringW(const QString& key) const {
  QMutexLocker lock(&m_lock);
  return m_texts.value(key.toLower());
}

QString HVRes::GetFontName() const {
  QString face;
  {
    QMutexLocker lock(&m_lock);
    face = m_fontFace;
  }
  // The font database needs the GUI application; without one the file's face is all we know.
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return face;
  if (!face.isEmpty() && QFontDatabase::hasFamily(face)) return face;
  return QFontDatabase::systemFont(QFontDatabase::TitleFont).family();
}

QImage HVRes::GetImage(int number) const {
  QMutexLocker lock(&m_lock);
  const auto cached = m_images.constFind(number);
  if (cached != m_images.constEnd()) return *cached;
  const QString base = QDir(m_programDir).filePath(QStringLiteral("Images/%1").arg(number));
  QImage image;
  for (const char* ext : {".png", ".svg"}) {
    const QString file = base + QLatin1String(ext);
    if (QFileInfo(file).isFile() && image.load(file)) break;
  }
  if (image.isNull()) hv::PlatformLog(3, QStringLiteral("Resources: image %1 is missing or unreadable").arg(number));
  m_images.insert(number, image);  // a missing image is logged once
  return image;
}

QImage HVRes::GetImageState(int number, int state, int states) const {
  const QImage strip = GetImage(number);
  if (strip.isNull() || states <= 1) return strip;
  const int w = strip.width() / states;
  if (w <= 0 || state < 0 || state >= states) return QImage();
  return strip.copy(w * state, 0, w, strip.height());
}
