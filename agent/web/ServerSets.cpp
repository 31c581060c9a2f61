#include "agent/web/ServerSets.h"

#include "common/TagReader.h"

namespace hv {

QList<AuthServerEntry> ParseAuthServerSet(const QString& text) {
  QList<AuthServerEntry> set;
  const QStringList pieces = SplitString(text, QLatin1Char(','));
  for (qsizetype i = pieces.size() - 1; i >= 0; --i) {
    const QStringList f = SplitString(pieces[i], QLatin1Char('|'));
    AuthServerEntry e;
    if (f.size() == 4) {
      e.host = f[0];
      e.port = ToIntLeading(f[1]);
      e.serverId = f[2];
      e.secure = ToIntLeading(f[3]);
    } else if (f.size() == 5) {
      e.host = f[0];
      e.extra = f[1];
      e.port = ToIntLeading(f[2]);
      e.serverId = f[3];
      e.secure = ToIntLeading(f[4]);
    } else {
      continue;
    }
    set.append(e);
  }
  return set;
}

QList<SessionServerEntry> ParseSessionServerSet(const QString& text) {
  QList<SessionServerEntry> set;
  for (const QString& piece : SplitString(text, QLatin1Char(','))) {
    const QStringList f = SplitString(piece, QLatin1Char('|'));
    if (f.isEmpty() || f[0].trimmed().isEmpty()) continue;
    SessionServerEntry e;
    e.host = f[0].trimmed();
    e.port = f.size() > 1 ? ToIntLeading(f[1]) : 0;
    e.serverId = f.size() > 2 ? f[2] : QString();
    set.append(e);
  }
  return set;
}

QList<UpdateServerEntry> ParseUpdateServerSet(const QString& text) {
  QList<UpdateServerEntry> set;
  for (const QString& piece : SplitString(text, QLatin1Char(','))) {
    const QStringList f = SplitString(piece, QLatin1Char('|'));
    if (f.isEmpty() || f[0].trimmed().isEmpty()) continue;
    UpdateServerEntry e;
    e.host = f[0].trimmed();
    e.port = f.size() > 1 ? ToIntLeading(f[1]) : 0;
    e.type = f.size() > 2 ? ToIntLeading(f[2]) : 0;
    e.secure = f.size() > 3 ? ToIntLeading(f[3]) : 0;
    set.append(e);
  }
  return set;
}

}  // namespace hv
