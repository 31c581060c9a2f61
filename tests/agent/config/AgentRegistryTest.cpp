#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

#include "agent/config/AgentRegistry.h"
#include "agent/config/ProgramSetup.h"
#include "common/IniFile.h"
#include "common/SettingsTree.h"
#include "platform/Paths.h"

namespace {

const QString kCommon = QStringLiteral("Software\\KESTRIX\\Helvora\\Common");
const QString kSettings = QStringLiteral("Software\\KESTRIX\\Helvora\\Settings");

// Every folder the settings code touches is moved into one temporary folder.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"program", "config", "docs", "desktop", "data"}) QDir().mkpath(Dir(d));
    qputenv("HV_CONFIG_DIR", Dir("config").toUtf8());
    qputenv("HV_DOCUMENTS_DIR", Dir("docs").toUtf8());
    qputenv("HV_DESKTOP_DIR", Dir("desktop").toUtf8());
    qputenv("XDG_DATA_HOME", Dir("data").toUtf8());
    hv::paths::SetProgramDirForTesting(Dir("program"));
  }
  void TearDown() override {
    for (const char* v : {"HV_CONFIG_DIR", "HV_DOCUMENTS_DIR", "HV_DESKTOP_DIR", "XDG_DATA_HOME"}) qunsetenv(v);
    hv::paths::SetProgramDirForTesting(QString());
  }
  QString Dir(const char* name) const { return m_tmp.filePath(QString::fromLatin1(name)); }
  hv::SettingsTree& Tree() { return hv::SettingsTree::ForCurrentUser(); }
  void SetDword(const QString& key, const char* name, quint32 v) {
    ASSERT_TRUE(Tree().Set(key, QString::fromLatin1(name), hv::SettingsValue::FromDword(v)));
  }
  void SetString(const QString& key, const char* name, const QString& v) {
    ASSERT_TRUE(Tree().Set(key, QString::fromLatin1(name), hv::SettingsValue::FromString(v)));
  }
  std::optional<hv::SettingsValue> Get(const QString& key, const char* name) {
    return Tree().Query(key, QString::fromLatin1(name));
  }
  CIniFile Info() const { return CIniFile(Dir("program") + QStringLiteral("/info.ini")); }

  QTemporaryDir m_tmp;
};

TEST_F(ConfigTest, FirstStartWithNothingStoredUsesTheDefaults) {
  CAgentRegistry reg;
  WebSettings web;
  reg.LoadSettings(web);
  EXPECT_EQ(web.authServer.Host(), QString::fromLatin1(kDefaultAuthHost));
  EXPECT_EQ(web.authServer.port, 443);
  EXPECT_EQ(web.commType, 4);
  EXPECT_EQ(web.proxyType, 2);
  EXPECT_EQ(reg.m_nSupportType, 2);
  EXPECT_EQ(reg.m_bTrayNotUse, 1);
  EXPECT_EQ(reg.m_hvOptions.bytes, PcOptionsBlock::Defaults().bytes);
  EXPECT_EQ(reg.m_hvOptionsMobile.bytes, MobileOptionsBlock::Defaults().bytes);
  EXPECT_EQ(reg.m_hvOptionsCam.bytes, PcOptionsBlock().bytes);  // camera options stay zero

  const QString doc = hv::config::InitDocPath(reg);
  EXPECT_EQ(doc, Dir("docs") + QStringLiteral("/Kestrix/Helvora/"));
  EXPECT_TRUE(QDir(doc).exists());
  reg.SaveSettings(web);
  EXPECT_EQ(Get(kCommon, "DocPath")->text, doc);  // reaches the tree with the next save
}

TEST_F(ConfigTest, AddressPortAndTransportFollowTheLoadRules) {
  struct Case {
    const char* name;
    std::optional<quint32> commType2, commType;
    QString regAddr;
    QString iniAddr;
    std::optional<int> iniPort;
    QString host;
    int port;
    int comm;
  } cases[] = {
      {"old CommType 1 means HTTPS", std::nullopt, 1u, QStringLiteral("a.example"), {}, {}, QStringLiteral("a.example"), 443, 4},
      {"CommType2 0 wins over CommType", 0u, 1u, QStringLiteral("a.example"), {}, {}, QStringLiteral("a.example"), 443, 0},
      {"CommType2 bit 1 becomes 4", 1u, std::nullopt, QStringLiteral("a.example"), {}, {}, QStringLiteral("a.example"), 443, 4},
      {"info.ini address on port 80 is HTTP", 4u, std::nullopt, QString(), QStringLiteral("ini.example"), 80,
       QStringLiteral("ini.example"), 80, 0},
      {"info.ini port without address", 0u, std::nullopt, QString(), QString(), 443,
       QString::fromLatin1(kDefaultAuthHost), 443, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Tree().DeleteKey(QStringLiteral("Software"));
    QFile::remove(Info().Path());
    if (c.commType2) SetDword(kCommon, "CommType2", *c.commType2);
    if (c.commType) SetDword(kCommon, "CommType", *c.commType);
    if (!c.regAddr.isEmpty()) SetString(kCommon, "AuthAddr", c.regAddr);
    if (!c.iniAddr.isEmpty()) Info().SetString(QStringLiteral("AuthInfo"), QStringLiteral("AuthAddr"), c.iniAddr);
    if (c.iniPort) Info().SetInt(QStringLiteral("AuthInfo"), QStringLiteral("AuthPort"), *c.iniPort);
    ServerRecord stored;
    stored.SetHost(QStringLiteral("inside.record"));
    ASSERT_TRUE(Tree().Set(kCommon, QStringLiteral("AuthInfo"), hv::SettingsValue::FromBytes(stored.ToBytes())));

    CAgentRegistry reg;
    WebSettings web;
    reg.LoadSettings(web);
    EXPECT_EQ(web.authServer.Host(), c.host);  // AuthAddr always overrides the record's host
    EXPECT_EQ(web.authServer.port, c.port);
    EXPECT_EQ(web.commType, c.comm);
  }
}

TEST_F(ConfigTest, SaveWritesTheStoredLayoutsAndForgetsTheAccountOnlyOnDisk) {
  CAgentRegistry reg;
  WebSettings web;
  reg.LoadSettings(web);
  web.authServer.SetUser(QStringLiteral("agent01"));
  web.authServer.SetPassword(QStringLiteral("secret"));
  web.authServer.port = 8443;
  web.obAuthServer.SetUser(QStringLiteral("ob"));
  web.obAuthServer.SetPassword(QStringLiteral("obpw"));
  web.proxy.SetHost(QStringLiteral("proxy.lan"));
  web.proxy.port = 3128;
  reg.m_bOBSaveAccount = 1;
  reg.SaveSettings(web, [](WindowPlacement& p) {
    p = WindowPlacement::FromRect(QRect(10, 20, 484, 621), WindowPlacement::kShowNormal);
    return true;
  });

  EXPECT_EQ(web.authServer.User(), QStringLiteral("agent01"));  // the session keeps its account
  ServerRecord auth;
  ASSERT_EQ(Get(kCommon, "AuthInfo")->bytes.size(), 1020);
  ASSERT_TRUE(auth.FromBytes(Get(kCommon, "AuthInfo")->bytes));
  EXPECT_EQ(auth.Host(), QString::fromLatin1(kDefaultAuthHost));
  EXPECT_EQ(auth.port, 8443);
  EXPECT_EQ(auth.User(), QString());
  EXPECT_EQ(auth.Password(), QString());
  ServerRecord ob;
  ASSERT_TRUE(ob.FromBytes(Get(kCommon, "OBAuthInfo")->bytes));
  EXPECT_EQ(ob.Password(), QStringLiteral("obpw"));  // kept: its save-account flag is on
  EXPECT_EQ(Get(kCommon, "AuthAddr")->text, QString::fromLatin1(kDefaultAuthHost));
  EXPECT_EQ(Get(kCommon, "AuthPort")->dword, 8443u);
  EXPECT_EQ(Get(kCommon, "Proxy")->bytes, web.proxy.ToBytes());
  EXPECT_EQ(Get(kCommon, "CommType2")->dword, 4u);
  EXPECT_FALSE(Get(kCommon, "CommType").has_value());

  const struct {
    const char* name;
    int size;
  } blocks[] = {{"hvOptions", 92}, {"hvOptions_Mobile", 168}, {"hvOptions_Cam", 92}};
  for (const auto& b : blocks) EXPECT_EQ(Get(kSettings, b.name)->bytes.size(), b.size) << b.name;
  const QByteArray pc = Get(kSettings, "hvOptions")->bytes;
  EXPECT_EQ(pc.mid(0, 6), QByteArray("\x04\x00\x00\x00\x44\x00", 6));
  EXPECT_EQ(pc.mid(12, 2), QByteArray("\x28\x00", 2));
  EXPECT_EQ(pc.mid(48, 16), QByteArray("\x08\x00\x00\x00\x4a\x00\x00\x08\x00\x4b\x00\x00\x00\x05\x00\x00", 16));
  EXPECT_EQ(pc.mid(80, 12), QByteArray("\x0c\x00\x00\x00\x00\x00\x00\x60\x00\x00\x00\x00", 12));
  EXPECT_EQ(Get(kSettings, "hvOptions_Mobile")->bytes.mid(80, 80), pc.mid(0, 80));

  const QByteArray placement = Tree()
                                   .Query(QStringLiteral("Software\\KESTRIX\\Helvora\\WindowPlacement"),
                                          QStringLiteral("AgentPlacement6.0"))
                                   ->bytes;
  ASSERT_EQ(placement.size(), 44);
  WindowPlacement wp;
  ASSERT_TRUE(wp.FromBytes(placement));
  EXPECT_EQ(wp.length, 44);
  EXPECT_EQ(wp.showCmd, WindowPlacement::kShow);  // saved as "show" whatever the window was
  EXPECT_EQ(wp.NormalRect(), QRect(10, 20, 484, 621));
  EXPECT_EQ(placement.mid(28, 16), QByteArray("\x0a\x00\x00\x00\x14\x00\x00\x00\xee\x01\x00\x00\x81\x02\x00\x00", 16));
}

TEST_F(ConfigTest, DoNotSeeAgainBitsAreOnlyEverAdded) {
  SetDword(kSettings, "DoNotSeeAgain", 2);
  CAgentRegistry reg;
  WebSettings web;
  reg.LoadSettings(web);
  reg.m_nDoNotSeeAgainRun |= 0x1;
  reg.SaveSettings(web);
  EXPECT_EQ(Get(kSettings, "DoNotSeeAgain")->dword, 3u);

  // An older installation's logout switch shows at load and is merged at the next save.
  Tree().DeleteValue(kSettings, QStringLiteral("DoNotSeeAgain"));
  SetDword(kSettings, "NotUseLogoutMessage", 1);
  CAgentRegistry older;
  older.LoadSettings(web);
  EXPECT_EQ(older.m_nDoNotSeeAgain & 0x1, 0x1);
  older.SaveSettings(web);
  EXPECT_EQ(Get(kSettings, "DoNotSeeAgain")->dword, 1u);
}

TEST_F(ConfigTest, LegacyTimersMigrateOnce) {
  SetDword(kSettings, "Lock", 1);
  SetDword(kSettings, "AutoClose", 0);
  CAgentRegistry reg;
  reg.MigrateLegacyTimes();
  EXPECT_EQ(Get(kSettings, "LockTime_6.0")->dword, 10u);
  EXPECT_EQ(Get(kSettings, "AutoCloseTime_6.0")->dword, 0u);
  EXPECT_EQ(Info().GetInt(QStringLiteral("General"), QStringLiteral("AgentRegUpdate"), 0), 1);
  SetDword(kSettings, "LockTime_6.0", 3);
  CAgentRegistry later;
  later.MigrateLegacyTimes();
  EXPECT_EQ(Get(kSettings, "LockTime_6.0")->dword, 3u);
}

TEST_F(ConfigTest, MigrationWithoutOlderValuesKeepsChosenTimes) {
  SetDword(kSettings, "AutoCloseTime_6.0", 5);  // chosen in another program folder
  CAgentRegistry reg;
  reg.MigrateLegacyTimes();
  EXPECT_EQ(Get(kSettings, "AutoCloseTime_6.0")->dword, 5u);
  EXPECT_FALSE(Get(kSettings, "LockTime_6.0").has_value());
  EXPECT_EQ(Info().GetInt(QStringLiteral("General"), QStringLiteral("AgentRegUpdate"), 0), 1);
}

TEST_F(ConfigTest, UnusableStoredValuesFallBackToDefaults) {
  SetString(kCommon, "DocPath", QString(512, u'x'));  // 1026 bytes with its terminator
  ASSERT_TRUE(Tree().Set(kSettings, QStringLiteral("hvOptions"), hv::SettingsValue::FromBytes(QByteArray(80, '\x7f'))));
  SetDword(kCommon, "ProxyType", 0);
  SetDword(kSettings, "TrayNoUse", 0);
  CAgentRegistry reg;
  WebSettings web;
  reg.LoadSettings(web);
  EXPECT_TRUE(reg.m_strDocPath.isEmpty());
  EXPECT_EQ(hv::config::InitDocPath(reg), Dir("docs") + QStringLiteral("/Kestrix/Helvora/"));
  EXPECT_EQ(reg.m_hvOptions.bytes, PcOptionsBlock::Defaults().bytes);
  EXPECT_EQ(web.proxyType, 2);
  EXPECT_EQ(reg.m_bTrayNotUse, 0);
  reg.SaveSettings(web);
  EXPECT_EQ(Get(kSettings, "hvOptions")->bytes.size(), 92);
}

TEST_F(ConfigTest, ProxyDiscoveryRunsOnlyWhenAsked) {
  for (quint32 type : {2u, 4u}) {
    SetDword(kCommon, "ProxyType", type);
    CAgentRegistry reg;
    int calls = 0;
    reg.SetProxyDiscovery([&](const QString& host, int port, ServerRecord& proxy) {
      ++calls;
      EXPECT_EQ(host, QString::fromLatin1(kDefaultAuthHost));
      EXPECT_EQ(port, 443);
      proxy.SetHost(QStringLiteral("found.proxy"));
      return true;
    });
    WebSettings web;
    reg.LoadSettings(web);
    EXPECT_EQ(calls, type == 4u ? 1 : 0);
    EXPECT_EQ(web.proxy.Host(), type == 4u ? QStringLiteral("found.proxy") : QString());
  }
}

TEST_F(ConfigTest, AuthServerRoundTripsThroughInfoIniWhenTheTreeHasNoAddress) {
  CAgentRegistry reg;
  WebSettings web;
  web.authServer.SetHost(QStringLiteral("backup.example"));
  web.authServer.port = 8080;
  reg.SaveAuthServerToIni(web);
  EXPECT_EQ(Info().GetString(QStringLiteral("AuthInfo"), QStringLiteral("AuthAddr")), QStringLiteral("backup.example"));
  WebSettings loaded;
  reg.LoadSettings(loaded);
  EXPECT_EQ(loaded.authServer.Host(), QStringLiteral("backup.example"));
  EXPECT_EQ(loaded.authServer.port, 8080);
  EXPECT_EQ(loaded.commType, 0);
}

TEST_F(ConfigTest, DesktopLauncherIsWrittenOnceAndOnlyForAnInstalledProgram) {
  const QString launcher = Dir("desktop") + QStringLiteral("/Helvora.desktop");
  EXPECT_FALSE(hv::config::RefreshDesktopShortcut());
  EXPECT_FALSE(QFile::exists(launcher));
  EXPECT_EQ(Info().GetInt(QStringLiteral("General"), QStringLiteral("AgentIconReflash"), 0), 0);

  QFile program(Dir("program") + QStringLiteral("/HVAgent"));
  ASSERT_TRUE(program.open(QIODevice::WriteOnly));
  program.close();
  EXPECT_TRUE(hv::config::RefreshDesktopShortcut());
  const CIniFile entry(launcher);
  EXPECT_EQ(entry.GetString(QStringLiteral("Desktop Entry"), QStringLiteral("Exec")),
            u'"' + program.fileName() + u'"');
  EXPECT_EQ(entry.GetString(QStringLiteral("Desktop Entry"), QStringLiteral("Name")), QStringLiteral("Helvora"));
  EXPECT_EQ(Info().GetInt(QStringLiteral("General"), QStringLiteral("AgentIconReflash"), 0), 1);
  QFile::remove(launcher);
  EXPECT_FALSE(hv::config::RefreshDesktopShortcut());  // once per installation
  EXPECT_FALSE(QFile::exists(launcher));
}

TEST_F(ConfigTest, VersionComesFromBldinfoElseFromTheBuild) {
  EXPECT_EQ(hv::config::LoadVersion().count(u'.'), 3);
  CIniFile(Dir("program") + QStringLiteral("/bldinfo.ini"))
      .SetString(QStringLiteral("General"), QStringLiteral("Version"), QStringLiteral("6.0.1.77"));
  EXPECT_EQ(hv::config::LoadVersion(), QStringLiteral("6.0.1.77"));
}

TEST_F(ConfigTest, ReportToolSeesTheConsolesProxy) {
  CAgentRegistry console;
  WebSettings web;
  console.LoadSettings(web);
  web.proxy.SetHost(QStringLiteral("proxy.lan"));
  web.proxyType = 1;
  console.SaveSettings(web);
  CRegistryBase report;  // the report tool's own view of the same tree
  ServerRecord proxy;
  QByteArray block(1020, '\0');
  ASSERT_TRUE(report.ReadCommonBinary(QStringLiteral("Proxy"), block.data(), 1020));
  ASSERT_TRUE(proxy.FromBytes(block));
  uint32_t type = 0;
  EXPECT_TRUE(report.ReadCommonDWORD(QStringLiteral("ProxyType"), type, 0));
  EXPECT_EQ(proxy.Host(), QStringLiteral("proxy.lan"));
  EXPECT_EQ(type, 1u);
}

}  // namespace
