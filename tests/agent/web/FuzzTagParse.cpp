// libFuzzer target: the tag reader and the login-answer parse over arbitrary bytes.
#include "agent/web/AgentWeb.h"

#include "common/TagReader.h"
#include "platform/Paths.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static AgentWeb* web = [] {
    // The parse writes info.ini; keep it in a scratch folder.
    hv::paths::SetProgramDirForTesting(QDir::tempPath() + QStringLiteral("/hv-fuzz-web"));
    QDir().mkpath(QDir::tempPath() + QStringLiteral("/hv-fuzz-web"));
    auto* w = new AgentWeb();
    w->SetSettingHooks([](const QString&) { return QVariant(); }, [](const QString&, const QVariant&) {});
    return w;
  }();
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  QStringList list;
  hv::GetTagArray(text, u"U", list);
  hv::GetTag(text, u"RETCODE");
  hv::ToIntLeading(text);
  web->ParseLoginAnswer(text);
  return 0;
}
