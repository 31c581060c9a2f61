#include "agent/startup/Texts.h"

#include "agent/control/MainControl.h"

QString Txt(const char* key) {
  const QString k = QString::fromLatin1(key);
  const QString text = AfxMainControl()->ResourceText(k);
  return text.isEmpty() ? k : text;
}
