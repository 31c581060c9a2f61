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
  if (pm.isNull()) return {};
  // Button images with states are strips of four equal frames: normal, hover, pressed, disabled.
  if (pm.height() > 0 && pm.width() == 4 * pm.height()) {
    const int h = pm.height();
    QIcon icon;
    icon.addPixmap(pm.copy(0, 0, h, h), QIcon::Normal);
    icon.addPixmap(pm.copy(0, 0, h, h), QIcon::Active);
    icon.addPixmap(pm.copy(2 * h, 0, h, h), QIcon::Selected);
    icon.addPixmap(pm.copy(3 * h, 0, h, h), QIcon::Disabled);
    return icon;
  }
  return QIcon(pm);
}

}  // namespace skin
