#pragma once

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QString>

// The resource manager: texts by IDS_ key from the active language file, the UI font face and
// images by number. Language files are INI files ("Languages/hvv_<code>.lng", section HELVORA);
// images are "Images/<number>.png" (or .svg) in the program folder. Button images that have
// several states are horizontal strips of equal frames (see GetImageState).
class HVRes {
 public:
  static constexpr int kNoLanguage = 8;
  static constexpr int kMaxTextUnits = 511;  // longer texts are cut, as the original readers did

  static HVRes& GetInstance();

  // Chooses the language again from the current program folder (start-up and tests).
  void Reload();
  // Selects an index; a missing file falls back to English, then to kNoLanguage. True when a
  // language file is active afterwards.
  bool SelectLanguage(int index);

  int GetLanguage() const;
  QString LanguageCode() const;      // the active file code in upper case ("ENG"), empty without a file
  QString LanguageFilePath() const;  // empty without a file

  // The text of the key; empty when the key or the file is missing, so callers apply fallbacks.
  // A "\n" written in the file becomes a line break.
  QString LoadStringW(const QString& key) const;
  QString LoadString(const QString& key) const { return LoadStringW(key); }
  QString GetFontName() const;

  // The image of a number; a null image when its file is missing or unreadable.
  QImage GetImage(int number) const;
  // One frame of a horizontal strip of `states` equal frames.
  QImage GetImageState(int number, int state, int states) const;

  QString ProgramDir() const;
  QString LanguagesDir() const;  // with trailing separator
  QString ImagesDir() const;     // with trailing separator

  // The tables of the language index.
  static QString FileCode(int index);             // "kor", "eng", ... ("eng" for others)
  static QString ConsoleLanguageCode(int index);  // "ko", "en", ..., "zh_TW"
  static QString ProxyFileName(int index);        // "hvv_kor_proxy.lng", ...
  static QString LanguageFileName(int index);     // "hvv_kor.lng", ... (start-up check)
  // Whether the language file of the index exists in Languages/ of the program folder; start-up
  // ends without it.
  static bool LanguageFileExists(int index, const QString& programDir = QString());
  // Maps a Windows-style UI language identifier (1042 Korean, ...) to an index.
  static int IndexForUiLanguage(int langId);
  // The user's UI language as such an identifier, from the system locale.
  static int SystemUiLanguageId();

 private:
  HVRes();
  void LoadTexts(const QString& path);
  QString FilePathFor(const QString& code) const;

  mutable QMutex m_lock;
  int m_index = -1;
  QString m_code;
  QString m_path;
  QString m_programDir;
  QString m_fontFace;
  QHash<QString, QString> m_texts;  // key folded to lower case
  mutable QHash<int, QImage> m_images;
};

inline HVRes& AfxRes() { return HVRes::GetInstance(); }
