#include "agent/control/MainControl.h"

#include "resources/HVRes.h"

#include <QFileInfo>
#include <QFontDatabase>

// Texts, images and the language come from the resource manager.
QString CMainControl::ResourceText(const QString& key) const { return HVRes::GetInstance().LoadStringW(key); }

QString CMainControl::CurrentLanguageCode() const {
  return HVRes::ConsoleLanguageCode(HVRes::GetInstance().GetLanguage());
}

QString CMainControl::FontFace() const { return HVRes::GetInstance().GetFontName(); }

// The start-up check: the file of the active language must be there.
QString CMainControl::LanguageFilePath() const {
  const HVRes& res = HVRes::GetInstance();
  return res.LanguagesDir() + HVRes::LanguageFileName(res.GetLanguage());
}

bool CMainControl::LanguageFileExists() const { return QFileInfo::exists(LanguageFilePath()); }
