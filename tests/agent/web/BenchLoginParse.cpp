// Cost of parsing a full login answer (10240 units) relative to one std::string_view::find pass
// over the same text, both measured here in the same process.
#include "agent/web/AgentWeb.h"

#include "platform/Paths.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace {
QString FullAnswer() {
  QString a = QStringLiteral("<RETCODE>100</RETCODE><ENCURID>ENC0001</ENCURID><USR_NAME>Bench</USR_NAME>"
                             "<AUTHADDRLOCAL>auth.example</AUTHADDRLOCAL><SESSIONADDR>ss.example</SESSIONADDR>"
                             "<SESSIONPORT>7002</SESSIONPORT><MULTI_SESSION_SERVER>s1|1|a,s2|2|b</MULTI_SESSION_SERVER>");
  int i = 0;
  for (const char* tag : {"URL_LOGOUT", "URL_LOGINOK", "URL_AGENTACTION", "URL_FAVORITE", "URL_REPORT", "URL_USER_INFO",
                          "URL_SESSIONCHECK", "URL_USERCHAT", "URL_RESERVATION_LIST", "URL_SUPPORTREQUEST_LIST"})
    a += QStringLiteral("<%1>http://auth.example/AuthWeb/Page%2.aspx</%1>").arg(QString::fromLatin1(tag)).arg(++i);
  a += QStringLiteral("<INUSECOUNT>1</INUSECOUNT><INUSERLIST>");
  while (a.size() < 10240 - 20) a += QStringLiteral("<USR_NAME>x</USR_NAME>");
  a += QStringLiteral("</INUSERLIST>");
  return a.left(10239);
}

template <typename F>
double NsPerRun(F&& f, int runs) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) f();
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / runs;
}
}  // namespace

int main() {
  QTemporaryDir dir;
  hv::paths::SetProgramDirForTesting(dir.path());
  const QString answer = FullAnswer();
  const std::string utf8 = answer.toStdString();
  const std::string_view view(utf8);
  AgentWeb web;
  QMap<QString, QVariant> store;
  web.SetSettingHooks([&](const QString& n) { return store.value(n); },
                      [&](const QString& n, const QVariant& v) { store.insert(n, v); });
  volatile size_t sink = 0;
  const double find = NsPerRun([&] { sink = sink + view.find("</NOT_THERE>"); }, 20000);
  const double parse = NsPerRun([&] { sink = sink + size_t(web.ParseLoginAnswer(answer)); }, 200);
  std::printf("login answer %lld units: parse %.0f ns, string_view::find pass %.0f ns, ratio %.1f\n",
              static_cast<long long>(answer.size()), parse, find, parse / find);
  return 0;
}
