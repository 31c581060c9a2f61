#include "skin/Skin.h"

#include "platform/Paths.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QHash>
#include <QMutex>

// Resources of a static library must be pulled in by name, outside any namespace.
static void InitSkinResources() { Q_INIT_RESOURCE(skin); }

namespace skin {
namespace {

ImageProvider& Provider() {
  static ImageProvider provider;
  return provider;
}

QPixmap LoadFromProgramFolder(int number) {
  const QString base = hv::paths::ProgramDir() + QStringLiteral("/Images/%1").arg(number);
  for (const char* ext : {".svg", ".png"}) {
    QPixmap pm(base + QLatin1String(ext));
    if (!pm.isNull()) return pm;
  }
  return {};
}

}  // namespace

void ApplyStyle(QApplication& app, const QString& fontFace) {
  InitSkinResources();
  QFile qss(QStringLiteral(":/skin/helvora.qss"));
  if (qss.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(qss.readAll()));
  QFont font = app.font();
  // The language's face first, then faces that cover Latin and Hangul on a plain Debian desktop.
  QStringList families;
  if (!fontFace.isEmpty()) families << fontFace;
  families << QStringLiteral("Noto Sans") << QStringLiteral("Noto Sans CJK KR") << QStringLiteral("DejaVu Sans");
  font.setFamilies(families);
  font.setPointSizeF(10);
  app.setFont(font);
}

void SetImageProvider(ImageProvider provider) { Provider() = std::move(provider); }

QPixmap Image(int number) {
  if (Provider()) {
    QPixmap pm = Provider()(number);
    if (!pm.isNull()) return pm;
  }
  return LoadFromProgramFolder(number);
}

QIcon Icon(int number) {
  const QPixmap pm = Image(number);
  return pm.isNull() ? QIcon() : QIcon(pm);
}

}  // namespace skin
