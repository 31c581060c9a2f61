#include "agent/control/MainControl.h"

// Texts by key and the language code; bound to the resource manager.
QString CMainControl::ResourceText(const QString& key) const { return key; }
QString CMainControl::CurrentLanguageCode() const { return QStringLiteral("en"); }
QString CMainControl::FontFace() const { return QString(); }
bool CMainControl::LanguageFileExists() const { return true; }
QString CMainControl::LanguageFilePath() const { return QString(); }
