// Page addresses, the login-answer parse, the service error table and the server sets: no network.
#include "agent/web/AgentWeb.h"

#include "agent/log/DeveloperLog.h"
#include "common/IniFile.h"
#include "platform/Paths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

class WebRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    hv::paths::SetProgramDirForTesting(m_dir.path());
    m_web.SetSettingHooks([this](const QString& n) { return m_store.value(n); },
                          [this](const QString& n, const QVariant& v) { m_store.insert(n, v); });
    m_web.SetTextSource([](const QString& key) {
      if (key == QLatin1String("IDS_ERROR_CODE2")) return S("Code %d");
      if (key == QLatin1String("IDS_MSG_UNAVAILABLE_SUPPORT_ERROR")) return S("No %s now");
      return QLatin1Char('{') + key + QLatin1Char('}');
    });
  }
  CIniFile Ini() const { return CIniFile(m_dir.path() + S("/info.ini")); }

  QTemporaryDir m_dir;
  QMap<QString, QVariant> m_store;
  AgentWeb m_web;
};

TEST_F(WebRules, AuthPageUrlByModePortAndScheme) {
  struct Case { int port; bool secure; int mode; const char* group; const char* expected; };
  const Case cases[] = {
      {80, false, 0, "", "http://auth.example:80/AuthWeb/AgentLoad.aspx"},
      {0, false, 0, "", "http://auth.example/AuthWeb/AgentLoad.aspx"},
      {443, true, 0, "", "https://auth.example:443/AuthWeb/AgentLoad.aspx"},
      {8080, false, 1, "", "http://auth.example:8080/AuthWeb/AgentLoad.aspx"},
      {8080, false, 2, "grp", "http://auth.example:8080/AgentLoad.aspx"},
      {0, true, 1, "grp", "https://auth.example/AgentLoad.aspx"},
  };
  for (const Case& c : cases) {
    m_web.AuthServer().SetHost(S("auth.example"));
    m_web.AuthServer().port = c.port;
    m_web.SetSecure(c.secure);
    m_web.SetLoginMode(c.mode);
    m_web.SetExternalGroupId(S(c.group));
    EXPECT_EQ(m_web.AuthPageUrl(S("AgentLoad.aspx")), S(c.expected));
  }
  m_web.Settings().commType = 1;  // bit 0 also means https
  EXPECT_TRUE(m_web.AuthPageUrl(S("x")).startsWith(S("https://")));
}

const char* kAnswer =
    "<RETCODE>100</RETCODE><ENCURID>tok1</ENCURID><USR_NAME>Kim</USR_NAME><SESSIONADDR>ss.example</SESSIONADDR>"
    "<SESSIONPORT>7002</SESSIONPORT><AUTHADDRLOCAL>a1.example</AUTHADDRLOCAL>"
    "<URL_LOGOUT>http://a1.example/AuthWeb/Logout.aspx</URL_LOGOUT>"
    "<URL_SESSIONCHECK>http://a1.example/old</URL_SESSIONCHECK>"
    "<URL_USERWAIT_SESSIONCHK>http://a1.example/new</URL_USERWAIT_SESSIONCHK>"
    "<CONFIG_FUNCTION>1</CONFIG_FUNCTION><CONFIG_AGENT>5</CONFIG_AGENT>"
    "<REMOTECTRL>0</REMOTECTRL><REMOTEUSB>1</REMOTEUSB><WEBCHAT>1</WEBCHAT>"
    "<REMOTEMOBILE></REMOTEMOBILE><MOBILE_NUMBER_SUPPORT>0</MOBILE_NUMBER_SUPPORT>"
    "<AGENT_FORCED_KILL>1</AGENT_FORCED_KILL>"
    "<INUSECOUNT>2</INUSECOUNT><INUSERLIST><USR_NAME>Other</USR_NAME><RETCODE>5</RETCODE></INUSERLIST>";

TEST_F(WebRules, ParseReadsTheHeadAndDerivesValues) {
  m_store.insert(S("SupportType"), 2);
  EXPECT_EQ(m_web.ParseLoginAnswer(S(kAnswer)), 2);  // 100 reads as "signed in"
  const LoginValues& v = m_web.Values();
  EXPECT_EQ(v.retCode, 100);
  EXPECT_EQ(v.userName, S("Kim"));  // the user list's USR_NAME does not win
  EXPECT_EQ(v.encurid, S("tok1"));
  EXPECT_EQ(v.inUseCount, 2);
  EXPECT_EQ(v.agentForcedKill, 1);
  EXPECT_EQ(v.configFunction, 0x21);
  EXPECT_EQ(v.configAgent, 5);
  EXPECT_EQ(v.viewerConfigAgent, 5);
  EXPECT_EQ(v.supportTypes, 1 | 0x40);
  EXPECT_EQ(m_store.value(S("SupportType")).toInt(), 0x40);  // remote control not allowed -> USB
  EXPECT_EQ(v.sslType, 1);  // absent -> real TLS
  EXPECT_EQ(v.channelSecurity, 1);
  EXPECT_EQ(v.pendingDeleteViewerLog, 30);
  EXPECT_EQ(m_web.Url(S("URL_SESSIONCHECK")), S("http://a1.example/new"));
  EXPECT_EQ(m_web.Url(S("URL_LOGOUT")), S("http://a1.example/AuthWeb/Logout.aspx"));
  // No MULTI_SESSION_SERVER: exactly the single address with an empty ID.
  ASSERT_EQ(m_web.SessionServers().size(), 1);
  EXPECT_EQ(m_web.SessionServers()[0].host, S("ss.example"));
  EXPECT_EQ(m_web.SessionServers()[0].port, 7002);
  EXPECT_TRUE(m_web.GetSessionSvrID().isEmpty());

  // An empty REMOTEMOBILE falls back to MOBILE_NUMBER_SUPPORT; a permitted stored type stays.
  EXPECT_EQ(m_web.ParseLoginAnswer(S("<RETCODE>100</RETCODE><SSL_TYPE>0</SSL_TYPE><REMOTEUSB>1</REMOTEUSB>"
                                     "<REMOTEMOBILE></REMOTEMOBILE><MOBILE_NUMBER_SUPPORT>1</MOBILE_NUMBER_SUPPORT>")), 2);
  EXPECT_EQ(m_web.Values().supportTypes, 8 | 0x40);
  EXPECT_EQ(m_store.value(S("SupportType")).toInt(), 0x40);
  EXPECT_EQ(m_web.Values().channelSecurity, 2);
  EXPECT_EQ(m_store.value(S("SSLType")).toInt(), 0);
}

TEST_F(WebRules, ParseOfRefusalsAndBrokenAnswers) {
  struct Case { const char* answer; int expected; };
  const Case cases[] = {
      {"<RETCODE>102</RETCODE>", 102},
      {"<RETCODE>106</RETCODE><REMAINING_MINUTE>4</REMAINING_MINUTE>", 106},
      {"", 0},
      {"<RETCODE>10", 0},
      {"garbage \xff\xfe not tags", 0},
      {"<RETCODE><RETCODE>100</RETCODE></RETCODE>", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(m_web.ParseLoginAnswer(S(c.answer)), c.expected) << c.answer;
  m_web.ParseLoginAnswer(S("<RETCODE>106</RETCODE><REMAINING_MINUTE>4</REMAINING_MINUTE><REMAINING_SECOND>9</REMAINING_SECOND>"));
  EXPECT_EQ(m_web.Values().remainingMinute, 4);
  EXPECT_EQ(m_web.Values().remainingSecond, 9);
}

TEST_F(WebRules, ServiceErrorComposition) {
  struct Case { int code; const char* text; int style; };
  const Case cases[] = {
      {102, "{IDS_MSG_INVALID_ID_OR_PWD}({IDS_MESSAGE_CODE}:102)", 0x30},
      {103, "{IDS_MSG_INVALID_PC_ACCESS_ERROR}({IDS_MESSAGE_CODE}:103)", 0x40},
      {104, "{IDS_MSG_INVALID_PC_ACCESS_ERROR}\n\nCode 104", 0x10},
      {302, "{IDS_UNDEFINED_ERROR}({IDS_MSG_SUPPORTING_WITH_INPUT_TEL_NUMBER}:302)", 0x40},
      {414, "{IDS_MSG_ANOTHER_REP_SUPPORTING}\n\n[Error Code : R - 414]", 0x40},
      {602, "{IDS_MSG_ALL_REP_USING}\n\n[Error Code : R - 602]", 0x10},
      {806, "{IDS_MSG_SUPPORT_CANCLE}(806)", 0x40},
      {1000, "No {IDS_CUSTOMER1} now\n\n[Error Code : R - 1000]", 0x10},
      {0, "{IDS_UNDEFINED_ERROR}\n\n[Error Code : R - 0]", 0x10},
  };
  for (const Case& c : cases) {
    QString text;
    int style = 0;
    ASSERT_TRUE(m_web.ComposeServiceError(c.code, text, style)) << c.code;
    EXPECT_EQ(text, S(c.text)) << c.code;
    EXPECT_EQ(style, c.style) << c.code;
  }
  QString text;
  int style = 0;
  EXPECT_FALSE(m_web.ComposeServiceError(109, text, style));

  QStringList shown;
  m_web.SetMessageSink([&](const QString& title, const QString& t, int s) {
    shown << title + QLatin1Char('|') + t + QLatin1Char('|') + QString::number(s);
  });
  m_web.ShowServiceError(109, true);
  m_web.ShowServiceError(115, false);
  EXPECT_EQ(shown, QStringList{S("Helvora Agent|{IDS_MSG_ACCOUNT_LOCK}({IDS_MESSAGE_CODE}:115)|48")});
}

TEST_F(WebRules, AuthServerSetLoadSkipAndSwitch) {
  m_store.insert(S("MULTIAUTHSERVER"), S("a.example|80|id1|0,b.example|x|443|id2|1,bad|1"));
  ASSERT_TRUE(m_web.LoadAuthServerSet());
  ASSERT_EQ(m_web.AuthServerCount(), 2);  // reversed, the three-field entry skipped
  m_web.SelectAuthServer(1);
  EXPECT_EQ(m_web.AuthPageUrl(S("P")), S("https://b.example:443/AuthWeb/P"));
  EXPECT_EQ(m_web.GetAuthSvrID(), S("id2"));
  m_web.SelectAuthServer(2);
  EXPECT_EQ(m_web.AuthPageUrl(S("P")), S("http://a.example:80/AuthWeb/P"));
  m_web.SelectAuthServer(3);
  EXPECT_TRUE(m_web.AuthPageUrl(S("P")).isEmpty());

  m_web.ParseLoginAnswer(S("<RETCODE>5</RETCODE><AUTHADDRLOCAL>A.EXAMPLE</AUTHADDRLOCAL>"
                           "<URL_LOGOUT>http://A.EXAMPLE/x?h=A.EXAMPLE</URL_LOGOUT>"
                           "<URL_FEEDBACK>http://A.EXAMPLE/f</URL_FEEDBACK>"));
  m_web.SelectAuthServer(0);
  EXPECT_TRUE(m_web.AlternateAuthHost(1).isEmpty());  // same server, other letter case
  EXPECT_EQ(m_web.AuthIndex(), 0);
  EXPECT_EQ(m_web.AlternateAuthHost(0), S("b.example"));
  EXPECT_EQ(m_web.AuthIndex(), 1);
  EXPECT_TRUE(m_web.AlternateAuthHost(7).isEmpty());
  m_web.SwitchAuthServer(S("b.example"));
  EXPECT_EQ(m_web.Url(S("URL_LOGOUT")), S("http://b.example/x?h=b.example"));

  // A new set from the answer is stored for the next start, not used now.
  m_web.StoreAuthServerSet(S("<MULTI_AUTH_SERVER>c|1|id3|0</MULTI_AUTH_SERVER>"));
  EXPECT_EQ(m_store.value(S("MULTIAUTHSERVER")).toString(), S("c|1|id3|0"));
  EXPECT_EQ(m_web.AuthServerCount(), 2);
  m_web.StoreAuthServerSet(S("<X>1</X>"));
  EXPECT_EQ(m_store.value(S("MULTIAUTHSERVER")).toString(), S("c|1|id3|0"));
}

TEST_F(WebRules, FeedbackUrlStaysOnSwitch) {
  m_web.ParseLoginAnswer(S("<RETCODE>100</RETCODE><AUTHADDRLOCAL>h1</AUTHADDRLOCAL>"
                           "<URL_LOGINOK>http://h1/a/h1</URL_LOGINOK><URL_FEEDBACK>http://h1/f</URL_FEEDBACK>"));
  m_web.SwitchAuthServer(S("h2"));
  EXPECT_EQ(m_web.Url(S("URL_LOGINOK")), S("http://h2/a/h2"));
  EXPECT_EQ(m_web.Url(S("URL_FEEDBACK")), S("http://h1/f"));
  EXPECT_EQ(m_web.Values().authAddrLocal, S("h2"));
}

TEST_F(WebRules, SessionAndUpdateSetsFromTheAnswer) {
  EXPECT_TRUE(m_web.BuildSessionServerSet(S("<MULTI_SESSION_SERVER>s1|7001|ss1,s2||ss2,|5|x</MULTI_SESSION_SERVER>")));
  ASSERT_EQ(m_web.SessionServers().size(), 2);
  EXPECT_EQ(m_web.SessionServers()[1].port, 0);
  m_web.SetSessionIndex(1);
  EXPECT_EQ(m_web.GetSessionSvrID(), S("ss2"));

  m_web.WriteUpdateServerSet(S("<MULTI_UPDATE_SERVER>u1|80|0|1,u2|8080|1</MULTI_UPDATE_SERVER>"
                               "<UPDATEDIR>//upd</UPDATEDIR><TIMECHECK>1</TIMECHECK>"));
  CIniFile ini = Ini();
  const QString g = S("General");
  EXPECT_EQ(ini.GetInt(g, S("UpSvrCount"), -1), 2);
  EXPECT_EQ(ini.GetString(g, S("UpSvrAddr1")), S("https://u1"));
  EXPECT_EQ(ini.GetString(g, S("UpSvrAddr2")), S("u2"));
  EXPECT_EQ(ini.GetInt(g, S("UpSvrType2"), -1), 1);
  EXPECT_EQ(ini.GetString(g, S("SvrAddr")), S("u1"));
  EXPECT_EQ(ini.GetInt(g, S("SvrPort"), -1), 80);
  EXPECT_EQ(ini.GetString(g, S("WorkDir")), S("upd"));
  EXPECT_EQ(ini.GetInt(g, S("DownloadTimeCheck"), -1), 1);

  // Single-server form: an empty UPDATEPORT writes port 0.
  m_web.WriteUpdateServerSet(S("<UPDATEADDR>up.example</UPDATEADDR><UPDATEDIR>/d2</UPDATEDIR><UPDATEPORT></UPDATEPORT>"));
  EXPECT_EQ(ini.GetString(g, S("SvrAddr")), S("up.example"));
  EXPECT_EQ(ini.GetInt(g, S("SvrPort"), -1), 0);
  EXPECT_EQ(ini.GetInt(g, S("UpSvrCount"), -1), 0);
  EXPECT_EQ(ini.GetString(g, S("UpSvrAddr1")), S("up.example"));
}

TEST_F(WebRules, CommonParamBlockIsTagged) {
  m_web.ParseLoginAnswer(S("<RETCODE>100</RETCODE><ENCURID>t</ENCURID><SESSIONPORT>9</SESSIONPORT>"
                           "<URL_USERCHAT>http://h/chat</URL_USERCHAT><URL_USERWAIT>http://h/w</URL_USERWAIT>"));
  QString block;
  ASSERT_TRUE(m_web.GetCommonParam(QString(), block));
  EXPECT_TRUE(block.startsWith(S("<PRODUCTKEY>0</PRODUCTKEY><ENCURID>t</ENCURID><URL_USERCHAT>http://h/chat</URL_USERCHAT>")));
  EXPECT_TRUE(block.contains(S("<SESSIONPORT>9</SESSIONPORT><URL_USEWAIT>http://h/w</URL_USEWAIT>")));
  EXPECT_TRUE(block.endsWith(S("<RESERVATION_ID></RESERVATION_ID>")));
  ASSERT_TRUE(m_web.GetCommonParam(S("http://o/chat"), block));
  EXPECT_TRUE(block.contains(S("<URL_USERCHAT>http://o/chat</URL_USERCHAT>")));
}

}  // namespace
