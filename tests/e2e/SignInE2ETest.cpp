// The sign-in road of the real console against the real simulator: success and presence,
// refusals, the SessionServer dropping or refusing the agent, logout, auto-logout, a service
// that never answers, and closing. Every path must end signed in or at the login window.

#include "platform/WindowMessages.h"
#include "tests/e2e/ConsoleHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>

namespace {

using e2e::AutoLoginArg;
using e2e::Console;
using e2e::LanguageText;
using e2e::MessageBoxLine;
using e2e::Simulator;

constexpr quint32 kWmCommand = 0x0111;
constexpr quint64 kTrayLogin = 2010;
constexpr quint64 kTrayLogout = 2013;
// Both questions (logout 0x1, close 0x2) answered for good: no modal box can stop a test.
constexpr int kDoNotAskAny = 0x3;

const QString kWorkStep = QStringLiteral("CMainFrame::EnterStep(3)");
const QString kLoginStep = QStringLiteral("CMainFrame::EnterStep(2)");
const QString kProgressStep = QStringLiteral("CMainFrame::EnterStep(1)");

QString Str(const char* s) { return QString::fromUtf8(s); }

QStringList FormNames(const QJsonObject& request) {
  QStringList names;
  for (const QJsonValue& f : request.value(QStringLiteral("form")).toArray()) names << f.toArray().at(0).toString();
  return names;
}

QString FormValue(const QJsonObject& request, const QString& name) {
  for (const QJsonValue& f : request.value(QStringLiteral("form")).toArray())
    if (f.toArray().at(0).toString() == name) return f.toArray().at(1).toString();
  return QString();
}

class SignInE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Started()) << sim.Error().toStdString();
    console = std::make_unique<Console>(sim.HttpPort());
    console->WriteSettings(kDoNotAskAny);
  }

  void TearDown() override {
    if (HasFailure() && console) {
      const QString log = console->Log();
      std::cerr << "---- console log (tail) ----\n" << log.right(6000).toStdString() << "\n---- output ----\n"
                << console->Output().right(2000).toStdString() << std::endl;
    }
    console.reset();
  }

  void StartConsole(const QString& id = Str("demo"), const QString& password = Str("demo1234")) {
    ASSERT_TRUE(console->Start({AutoLoginArg(id, password)})) << "the console did not open its bus window";
  }

  void SignIn() {
    StartConsole();
    ASSERT_TRUE(console->WaitLog(kWorkStep, 20000)) << "the console never reached the work step";
  }

  // The log position where the login began: the console starts in the progress step, shows the
  // login window, and the auto-login then enters the progress step again.
  qsizetype LoginStartedAt() {
    qsizetype at = -1;
    (void)QTest::qWaitFor([&] {
      const QString log = console->Log();
      const qsizetype login = log.indexOf(kLoginStep);
      at = login < 0 ? -1 : log.indexOf(kProgressStep, login);
      return at >= 0;
    }, 15000);
    return at;
  }

  int SessionServerLogins() {
    return sim.SessionServer(Str("state")).value(QStringLiteral("logins")).toArray().size();
  }
  int SessionServerClients() { return sim.SessionServer(Str("state")).value(QStringLiteral("clients")).toInt(-1); }

  // Closing over the bus must end the process by itself, cleanly.
  void ExpectClosesCleanly() {
    ASSERT_TRUE(console->Post(hv::WM_CLOSE)) << "the console's bus window is gone";
    ASSERT_TRUE(console->WaitExit(8000)) << "the console did not end after WM_CLOSE";
    EXPECT_EQ(console->ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console->ExitCode(), 0);
    // A worker still running at exit aborts or corrupts the end of the process.
    EXPECT_FALSE(console->Output().contains(QStringLiteral("Destroyed while thread is still running")))
        << console->Output().toStdString();
  }

  Simulator sim;
  std::unique_ptr<Console> console;
};

// --- success ----------------------------------------------------------------------------------

TEST_F(SignInE2E, SignInReachesWorkAndStaysPresentOnTheSessionServer) {
  SignIn();

  // The sign-in post: its fields in the service's order, the agent's request header, the ID as
  // typed and the password never in clear.
  const QJsonArray signIns = sim.RequestsTo(Str("AgentLoad.aspx"));
  ASSERT_EQ(signIns.size(), 1);
  const QJsonObject signIn = signIns.at(0).toObject();
  EXPECT_EQ(signIn.value(QStringLiteral("method")).toString(), Str("POST"));
  EXPECT_EQ(FormNames(signIn), QStringList({Str("id"), Str("password"), Str("localip"), Str("os"), Str("pcname"),
                                            Str("mac"), Str("lang"), Str("productkey"), Str("usessl"), Str("version")}));
  EXPECT_EQ(FormValue(signIn, Str("id")), Str("demo"));
  EXPECT_FALSE(FormValue(signIn, Str("password")).isEmpty());
  EXPECT_FALSE(signIn.value(QStringLiteral("body")).toString().contains(Str("demo1234")));
  EXPECT_EQ(FormValue(signIn, Str("productkey")), Str("HELVO"));
  EXPECT_EQ(FormValue(signIn, Str("usessl")), Str("0"));
  EXPECT_EQ(signIn.value(QStringLiteral("headers")).toObject().value(QStringLiteral("x-kx-request")).toString(),
            Str("HV50-Agent"));

  // The confirmation names the token, the primary server (empty ID) and the SessionServer entry.
  const QJsonArray confirms = sim.RequestsTo(Str("LoginOk.aspx"));
  ASSERT_EQ(confirms.size(), 1);
  const QJsonObject confirm = confirms.at(0).toObject();
  EXPECT_EQ(FormNames(confirm), QStringList({Str("encurid"), Str("authServerId"), Str("sessionServerId")}));
  const QString encurid = FormValue(confirm, Str("encurid"));
  EXPECT_FALSE(encurid.isEmpty());
  EXPECT_EQ(FormValue(confirm, Str("authServerId")), QString());
  EXPECT_EQ(FormValue(confirm, Str("sessionServerId")), Str("ss0"));

  // The SessionServer login carries the identity of the sign-in answer and the logout page.
  const QJsonObject state = sim.SessionServer(Str("state"));
  const QJsonArray logins = state.value(QStringLiteral("logins")).toArray();
  ASSERT_EQ(logins.size(), 1);
  const QJsonObject login = logins.at(0).toObject();
  EXPECT_EQ(login.value(QStringLiteral("loginId")).toString(), Str("demo"));
  EXPECT_EQ(login.value(QStringLiteral("identity")).toString(), Str("Sdemo"));
  EXPECT_EQ(login.value(QStringLiteral("group")).toString(), Str("G001"));
  EXPECT_EQ(login.value(QStringLiteral("center")).toString(), Str("C001"));
  EXPECT_TRUE(login.value(QStringLiteral("accepted")).toBool());
  const QString logoutPage = login.value(QStringLiteral("logoutPage")).toString();
  EXPECT_TRUE(logoutPage.endsWith(QStringLiteral("/AuthWeb/Logout4Session.aspx?encurid=%1&caller=session_agent&sessionServerId=ss0")
                                      .arg(encurid)))
      << logoutPage.toStdString();

  // The order of the road: presence accepted, then confirmed, then the work step.
  const QString log = console->Log();
  const qsizetype connected = log.indexOf(Str("Agent Connected..."));
  const qsizetype confirmed = log.indexOf(Str("CMainControl::AgentConnected : RETCODE 100"));
  ASSERT_GE(connected, 0);
  ASSERT_GT(confirmed, connected);
  EXPECT_GT(log.indexOf(kWorkStep), confirmed);

  // Presence is kept: keep-alives arrive (every 5 s) on the same connection.
  EXPECT_TRUE(QTest::qWaitFor([&] { return sim.SessionServer(Str("state")).value(QStringLiteral("keepalives")).toInt() >= 1; },
                              12000));
  EXPECT_EQ(SessionServerClients(), 1);
  EXPECT_EQ(console->CountLog(kLoginStep, console->Log().indexOf(kWorkStep)), 0) << "the console left the work step";
}

// --- refusals of the service --------------------------------------------------------------------

struct Refusal {
  const char* name;
  const char* config;  // JSON merged into the simulator's configuration
  const char* password;
  int style;
  std::function<QString()> text;
};

QString CodeMessage(const char* key, int code) {
  return QStringLiteral("%1(%2:%3)").arg(LanguageText(Str(key)), LanguageText(Str("IDS_MESSAGE_CODE"))).arg(code);
}

QString WithCodeLine(const char* key, const char* lineKey, int code) {
  return LanguageText(Str(key)) + Str("\n\n") + QString::asprintf(LanguageText(Str(lineKey)).toUtf8().constData(), code);
}

QString WithRCode(const char* key, int code) {
  return LanguageText(Str(key)) + Str("\n\n") + QStringLiteral("[Error Code : R - %1]").arg(code);
}

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class RefusalE2E : public SignInE2E, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalE2E, ShowsItsMessageAndReturnsToTheLoginWindow) {
  const Refusal& r = GetParam();
  if (*r.config) {
    ASSERT_TRUE(sim.Configure(QJsonDocument::fromJson(r.config).object()));
  }
  StartConsole(Str("demo"), Str(r.password));

  const QString expected = MessageBoxLine(r.style, r.text());
  ASSERT_TRUE(console->WaitLog(expected, 20000)) << "expected the box: " << expected.toStdString();
  const qsizetype started = LoginStartedAt();
  ASSERT_GE(started, 0);
  EXPECT_TRUE(console->WaitLog(kLoginStep, 10000, started)) << "the login window did not come back";
  EXPECT_EQ(sim.RequestsTo(Str("AgentLoad.aspx")).size(), 1);
  EXPECT_EQ(SessionServerLogins(), 0);
  EXPECT_EQ(sim.RequestsTo(Str("LoginOk.aspx")).size(), 0);
  EXPECT_EQ(console->CountLog(kWorkStep), 0);
  ExpectClosesCleanly();
}

INSTANTIATE_TEST_SUITE_P(
    ServiceCodes, RefusalE2E,
    ::testing::Values(
        Refusal{"WrongPassword102", "", "wrong-pass", 48, [] { return CodeMessage("IDS_MSG_INVALID_ID_OR_PWD", 102); }},
        // 101 is reported as 102, so an unknown ID reads like a wrong password.
        Refusal{"UnknownId101", R"({"login_retcode": 101})", "demo1234", 48,
                [] { return CodeMessage("IDS_MSG_INVALID_ID_OR_PWD", 102); }},
        Refusal{"AccountLocked115", R"({"login_retcode": 115})", "demo1234", 48,
                [] { return CodeMessage("IDS_MSG_ACCOUNT_LOCK", 115); }},
        Refusal{"ProductTooOld200", R"({"login_retcode": 200})", "demo1234", 64,
                [] { return CodeMessage("IDS_MSG_PRODUCT_UPGRADE", 200); }},
        Refusal{"PcNotAllowed104", R"({"login_retcode": 104})", "demo1234", 16,
                [] { return WithCodeLine("IDS_MSG_INVALID_PC_ACCESS_ERROR", "IDS_ERROR_CODE2", 104); }},
        Refusal{"ServerError997", R"({"login_retcode": 997})", "demo1234", 16,
                [] { return WithCodeLine("IDS_MSG_SERVER_ERROR", "IDS_ERROR_CODE2", 997); }},
        // 950 asks for the next server; with none left it is reported as an unknown code.
        Refusal{"NextServerCode950", R"({"login_retcode": 950})", "demo1234", 16,
                [] { return WithRCode("IDS_UNDEFINED_ERROR", 950); }},
        Refusal{"UnknownCode555", R"({"login_retcode": 555})", "demo1234", 16,
                [] { return WithRCode("IDS_UNDEFINED_ERROR", 555); }},
        // 109 has no service text of its own: the account-in-use notice speaks instead.
        Refusal{"AccountInUse109", R"({"login_retcode": 109, "in_use": 1})", "demo1234", 48,
                [] { return LanguageText(Str("IDS_MSG_ACCOUNT_IN_USE")); }},
        Refusal{"PasswordExpired122", R"({"password_expired": true})", "demo1234", 48,
                [] { return LanguageText(Str("IDS_MSG_LOGIN_FAIL_REQUEST_NEW_PASSWORD")); }},
        Refusal{"PasswordExpired123", R"({"login_retcode": 123})", "demo1234", 48,
                [] { return LanguageText(Str("IDS_MSG_LOGIN_FAIL_REQUEST_NEW_PASSWORD")); }}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// Boxes the login window waits on (sent, not posted): the login window returns only once the
// agent answers. Meanwhile the console must stay responsive and close cleanly with the box open.
struct BlockingRefusal {
  const char* name;
  const char* config;
  std::function<QString()> text;
};

void PrintTo(const BlockingRefusal& r, std::ostream* os) { *os << r.name; }

class BlockingRefusalE2E : public SignInE2E, public ::testing::WithParamInterface<BlockingRefusal> {};

TEST_P(BlockingRefusalE2E, ShowsItsMessageStaysResponsiveAndCloses) {
  const BlockingRefusal& r = GetParam();
  ASSERT_TRUE(sim.Configure(QJsonDocument::fromJson(r.config).object()));
  StartConsole();
  const QString expected = MessageBoxLine(16, r.text());
  ASSERT_TRUE(console->WaitLog(expected, 20000)) << "expected the box: " << expected.toStdString();
  EXPECT_EQ(SessionServerLogins(), 0);
  const qsizetype mark = console->Log().size();
  ASSERT_TRUE(console->Post(hv::WM_SHOW_MAIN, 1));
  EXPECT_TRUE(console->WaitLog(QStringLiteral("WM_SHOW_MAIN 1"), 5000, mark));
  ExpectClosesCleanly();
  EXPECT_EQ(console->CountLog(kWorkStep), 0);
}

INSTANTIATE_TEST_SUITE_P(
    LockedAccount, BlockingRefusalE2E,
    ::testing::Values(
        BlockingRefusal{"TryAgainLater106", R"({"locked": true, "remaining_minute": 4, "remaining_second": 30})",
                        [] {
                          return QString::asprintf(
                              LanguageText(Str("IDS_MSG_LOGIN_FAIL_TRY_AGAIN_AFTER_TIME")).toUtf8().constData(), 4, 30);
                        }},
        // No time left to wait: only the administrator can help.
        BlockingRefusal{"ContactAdmin106", R"({"locked": true, "remaining_minute": 0, "remaining_second": 0})",
                        [] { return LanguageText(Str("IDS_MSG_LOGIN_FAIL_CONTACT_ADMIN")); }}),
    [](const ::testing::TestParamInfo<BlockingRefusal>& info) { return std::string(info.param.name); });

TEST_F(SignInE2E, ConnectionLostDuringSignInReportsTheErrorCode) {
  ASSERT_TRUE(sim.Configure(QJsonObject{{Str("servers"), QJsonObject{{Str("0"), Str("drop")}}}}));
  StartConsole();
  // The message ends with the code line; a failure must never be reported with code 0.
  static const QRegularExpression box(QStringLiteral(R"(MessageBox\(style 16\) : .+\n+\[Error Code : C - (\d+)\])"));
  QRegularExpressionMatch m;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (m = box.match(console->Log())).hasMatch(); }, 20000));
  EXPECT_GT(m.captured(1).toInt(), 0);
  EXPECT_EQ(sim.RequestsTo(Str("AgentLoad.aspx")).size(), 1);
  EXPECT_EQ(SessionServerLogins(), 0);
  ExpectClosesCleanly();
}

// --- the SessionServer and the confirmation -----------------------------------------------------

TEST_F(SignInE2E, SessionServerDropReconnectsAndConfirmsAgain) {
  SignIn();
  const qsizetype mark = console->Log().size();
  ASSERT_TRUE(sim.SessionServer(Str("drop")).value(QStringLiteral("ok")).toBool());

  EXPECT_TRUE(console->WaitLog(kProgressStep, 10000, mark)) << "no reconnect state shown";
  EXPECT_TRUE(console->WaitLog(QStringLiteral("Agent TryReConnect..."), 10000, mark));
  ASSERT_TRUE(console->WaitLog(kWorkStep, 20000, mark)) << "the console did not recover";
  EXPECT_EQ(SessionServerLogins(), 2);
  EXPECT_EQ(SessionServerClients(), 1);
  const QJsonArray confirms = sim.RequestsTo(Str("LoginOk.aspx"));
  ASSERT_EQ(confirms.size(), 2);
  // The same sign-in goes on: no second sign-in post, the same token confirmed.
  EXPECT_EQ(sim.RequestsTo(Str("AgentLoad.aspx")).size(), 1);
  EXPECT_EQ(FormValue(confirms.at(1).toObject(), Str("encurid")), FormValue(confirms.at(0).toObject(), Str("encurid")));
  EXPECT_EQ(console->CountLog(kLoginStep, mark), 0) << "the agent was logged out instead of reconnected";
}

// The SessionServer or the confirmation page turns the agent away after a good sign-in: the
// console logs out again and shows the login window, never the work step.
struct PresenceFailure {
  const char* name;
  std::function<void(Simulator&, Console&)> arrange;
};

void PrintTo(const PresenceFailure& r, std::ostream* os) { *os << r.name; }

class PresenceFailureE2E : public SignInE2E, public ::testing::WithParamInterface<PresenceFailure> {};

TEST_P(PresenceFailureE2E, LogsOutAndReturnsToTheLoginWindow) {
  GetParam().arrange(sim, *console);
  StartConsole();
  const qsizetype started = LoginStartedAt();
  ASSERT_GE(started, 0);
  ASSERT_TRUE(console->WaitLog(kLoginStep, 30000, started)) << "the login window did not come back";
  EXPECT_EQ(console->CountLog(kWorkStep), 0);
  EXPECT_GE(SessionServerLogins(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return SessionServerClients() == 0; }, 10000)) << "the channel stayed open";
  EXPECT_GE(sim.RequestsTo(Str("Logout.aspx")).size(), 1) << "the sign-in was not undone on the service";
  ExpectClosesCleanly();
}

INSTANTIATE_TEST_SUITE_P(
    TurnedAway, PresenceFailureE2E,
    ::testing::Values(
        // Without reconnecting, a connection the SessionServer closes logs the agent out.
        PresenceFailure{"SessionServerRefusesLoginNoReconnect",
                        [](Simulator& s, Console& c) {
                          c.SetInfo(Str("General"), Str("AgentReconnect"), Str("0"));
                          ASSERT_TRUE(s.SessionServer(Str("refuse-login")).value(QStringLiteral("ok")).toBool());
                        }},
        PresenceFailure{"ConfirmationRejected9999",
                        [](Simulator& s, Console&) {
                          ASSERT_TRUE(s.Configure(QJsonObject{{Str("page_retcode"), QJsonObject{{Str("LoginOk.aspx"), 9999}}}}));
                        }},
        // The confirmation address answers something that is not the tag format at all.
        PresenceFailure{"ConfirmationAnswersGarbage",
                        [](Simulator& s, Console&) {
                          const QString url = QStringLiteral("http://127.0.0.1:%1/AuthWeb/UserInfo.aspx/garbage").arg(s.HttpPort());
                          ASSERT_TRUE(s.Configure(QJsonObject{{Str("extra_tags"), QJsonObject{{Str("URL_LOGINOK"), url}}}}));
                        }}),
    [](const ::testing::TestParamInfo<PresenceFailure>& info) { return std::string(info.param.name); });

// With reconnecting on (the default) a refusing SessionServer is tried again every 3 s; the
// console stays in the progress step and can still be closed there.
TEST_F(SignInE2E, SessionServerRefusingWithReconnectKeepsTryingAndCloses) {
  ASSERT_TRUE(sim.SessionServer(Str("refuse-login")).value(QStringLiteral("ok")).toBool());
  StartConsole();
  const qsizetype started = LoginStartedAt();
  ASSERT_GE(started, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return SessionServerLogins() >= 2; }, 15000)) << "no second attempt";
  EXPECT_TRUE(console->Log().contains(QStringLiteral("Agent TryReConnect...")));
  EXPECT_EQ(console->CountLog(kWorkStep), 0);
  EXPECT_EQ(console->CountLog(kLoginStep, started), 0);
  EXPECT_EQ(sim.RequestsTo(Str("LoginOk.aspx")).size(), 0);
  ExpectClosesCleanly();
}

// --- logout, auto-logout, closing ---------------------------------------------------------------

TEST_F(SignInE2E, TrayLogoutPostsTheLogoutPageAndClosesTheChannel) {
  SignIn();
  const QString encurid = FormValue(sim.RequestsTo(Str("LoginOk.aspx")).at(0).toObject(), Str("encurid"));
  const qsizetype mark = console->Log().size();
  ASSERT_TRUE(console->Post(kWmCommand, kTrayLogout));

  ASSERT_TRUE(console->WaitLog(kLoginStep, 10000, mark));
  const QJsonArray logouts = sim.RequestsTo(Str("Logout.aspx"));
  ASSERT_EQ(logouts.size(), 1);
  EXPECT_EQ(FormValue(logouts.at(0).toObject(), Str("encurid")), encurid);
  EXPECT_EQ(FormValue(logouts.at(0).toObject(), Str("caller")), Str("agent"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return SessionServerClients() == 0; }, 5000)) << "the channel stayed open";
  // Logged out for good: no reconnect follows the closed channel.
  QTest::qWait(4000);
  EXPECT_EQ(SessionServerLogins(), 1);
  EXPECT_EQ(console->CountLog(kWorkStep, mark), 0);
  ExpectClosesCleanly();
  EXPECT_EQ(sim.RequestsTo(Str("Logout.aspx")).size(), 1) << "closing at the login window logs out again";
}

TEST_F(SignInE2E, AutoLogoutAfterTheStoredMinutes) {
  console->WriteSettings(kDoNotAskAny, /*autoCloseMinutes=*/1);
  console->SetEnv(Str("HV_AUTOCLOSE_UNIT_MS"), Str("3000"));  // one "minute" is 3 s here
  SignIn();
  const qsizetype mark = console->Log().size();
  ASSERT_TRUE(console->WaitLog(MessageBoxLine(64, LanguageText(Str("IDS_MSG_AUTO_CLOSED"))), 10000, mark));
  EXPECT_TRUE(console->WaitLog(kLoginStep, 5000, mark));
  EXPECT_EQ(sim.RequestsTo(Str("Logout.aspx")).size(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return SessionServerClients() == 0; }, 5000));
  ExpectClosesCleanly();
}

TEST_F(SignInE2E, ServiceThatNeverAnswersLeavesTheConsoleResponsiveAndClosable) {
  ASSERT_TRUE(sim.Configure(QJsonObject{{Str("hang"), true}}));
  StartConsole();
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim.RequestsTo(Str("AgentLoad.aspx")).size() == 1; }, 15000));

  const qsizetype mark = console->Log().size();
  ASSERT_TRUE(console->Post(hv::WM_SHOW_MAIN, 1));
  EXPECT_TRUE(console->WaitLog(QStringLiteral("WM_SHOW_MAIN 1"), 3000, mark)) << "the GUI thread is blocked";
  // A second login while the first one waits starts nothing.
  ASSERT_TRUE(console->Post(kWmCommand, kTrayLogin));
  QTest::qWait(1500);
  EXPECT_EQ(sim.RequestsTo(Str("AgentLoad.aspx")).size(), 1);

  QElapsedTimer t;
  t.start();
  ExpectClosesCleanly();
  EXPECT_LT(t.elapsed(), 6000) << "closing waited for the hanging sign-in";
  EXPECT_EQ(console->CountLog(kWorkStep), 0);
}

TEST_F(SignInE2E, ClosingAtTheLoginWindowEndsWithoutLogout) {
  ASSERT_TRUE(console->Start({}));
  ASSERT_TRUE(console->WaitLog(kLoginStep, 15000));
  ExpectClosesCleanly();
  EXPECT_EQ(sim.RequestsTo(Str("Logout.aspx")).size(), 0);
  EXPECT_EQ(sim.RequestsTo(Str("AgentLoad.aspx")).size(), 0);
}

TEST_F(SignInE2E, ClosingInTheWorkStepLogsOutAndEnds) {
  SignIn();
  ExpectClosesCleanly();
  EXPECT_TRUE(console->Log().contains(Str("CMainFrame::OnCloseApplication, CallAgentLogOutPage(), Result = 1")));
  EXPECT_EQ(sim.RequestsTo(Str("Logout.aspx")).size(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return SessionServerClients() == 0; }, 5000)) << "the channel outlived the console";
}

}  // namespace
