#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

#include "common/RegistryEx.h"
#include "common/ServerRecord.h"
#include "common/SettingsTree.h"

using hv::SettingsTree;
using hv::SettingsValue;

namespace {

const QString kCommon = QStringLiteral("Software\\KESTRIX\\Helvora\\Common");

class SettingsTreeTest : public ::testing::Test {
 protected:
  QByteArray FileBytes() const {
    QFile f(m_path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void WriteFile(const QByteArray& bytes) {
    QFile f(m_path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  QTemporaryDir m_dir;
  QString m_path = m_dir.filePath(QStringLiteral("cfg/registry.dat"));
};

TEST_F(SettingsTreeTest, ValuesRoundTripThroughTheFileWithTypesAndOddText) {
  ServerRecord rec;
  rec.SetHost(QStringLiteral("auth.example.net"));
  rec.port = 443;
  rec.SetUser(QStringLiteral("agent"));
  rec.SetPassword(QStringLiteral("p=ss%[w]\u0000rd"));
  const struct {
    QString name;
    SettingsValue value;
  } values[] = {
      {QStringLiteral("AuthPort"), SettingsValue::FromDword(0xFFFFFFFFu)},
      {QStringLiteral("AuthAddr"), SettingsValue::FromString(QStringLiteral(" a=b [c] %41\n\r\t\u00e9\ud55c "))},
      {QStringLiteral("Empty"), SettingsValue::FromString(QString())},
      {QStringLiteral("AuthInfo"), SettingsValue::FromBytes(rec.ToBytes())},
      {QStringLiteral("odd = name]%"), SettingsValue::FromBytes(QByteArray())},
      {QString(), SettingsValue::FromDword(7)},  // the key's default value
  };
  {
    SettingsTree tree(m_path);
    for (const auto& v : values) ASSERT_TRUE(tree.Set(kCommon, v.name, v.value)) << qPrintable(v.name);
  }
  SettingsTree reread(m_path);  // a fresh object reads only the file
  for (const auto& v : values) {
    const auto got = reread.Query(QStringLiteral("software\\kestrix\\HELVORA\\common"), v.name.toUpper());
    ASSERT_TRUE(got.has_value()) << qPrintable(v.name);
    EXPECT_EQ(*got, v.value) << qPrintable(v.name);
  }
  EXPECT_EQ(reread.ValueNames(kCommon).size(), 6);
  EXPECT_TRUE(FileBytes().contains("sz:AuthAddr="));
  EXPECT_EQ(QFile::permissions(m_path) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
            QFile::Permissions());
}

TEST_F(SettingsTreeTest, AnotherProgramsChangeIsSeenAndNotLost) {
  SettingsTree console(m_path);
  SettingsTree report(m_path);  // a second process sharing the file
  ASSERT_TRUE(console.Set(kCommon, QStringLiteral("A"), SettingsValue::FromDword(1)));
  EXPECT_EQ(report.Query(kCommon, QStringLiteral("a"))->dword, 1u);
  ASSERT_TRUE(report.Set(kCommon, QStringLiteral("B"), SettingsValue::FromDword(2)));
  ASSERT_TRUE(console.Set(kCommon, QStringLiteral("A"), SettingsValue::FromDword(3)));
  SettingsTree third(m_path);
  EXPECT_EQ(third.Query(kCommon, QStringLiteral("A"))->dword, 3u);
  EXPECT_EQ(third.Query(kCommon, QStringLiteral("B"))->dword, 2u);  // the report tool's write survived
}

TEST_F(SettingsTreeTest, BatchWritesOnceAndKeepsAnotherProgramsChange) {
  SettingsTree console(m_path);
  SettingsTree report(m_path);
  ASSERT_TRUE(console.Set(kCommon, QStringLiteral("A"), SettingsValue::FromDword(1)));
  {
    SettingsTree::Batch batch(console);
    ASSERT_TRUE(console.Set(kCommon, QStringLiteral("A"), SettingsValue::FromDword(2)));
    ASSERT_TRUE(console.Set(kCommon, QStringLiteral("C"), SettingsValue::FromString(QStringLiteral("x"))));
    EXPECT_EQ(console.Query(kCommon, QStringLiteral("A"))->dword, 2u);  // visible at once
    EXPECT_EQ(SettingsTree(m_path).Query(kCommon, QStringLiteral("A"))->dword, 1u);  // not written yet
    ASSERT_TRUE(report.Set(kCommon, QStringLiteral("B"), SettingsValue::FromDword(7)));
  }
  SettingsTree third(m_path);
  EXPECT_EQ(third.Query(kCommon, QStringLiteral("A"))->dword, 2u);
  EXPECT_EQ(third.Query(kCommon, QStringLiteral("C"))->text, QStringLiteral("x"));
  EXPECT_EQ(third.Query(kCommon, QStringLiteral("B"))->dword, 7u);  // written meanwhile, kept
}

TEST_F(SettingsTreeTest, DamagedFilesAreKeptAsideAndDefaultsUsed) {
  const QByteArray damaged[] = {
      QByteArray("\x00\x01garbage", 9),
      "HELVORA-SETTINGS 1\n[Software\\K]\ndword:X=notanumber\n",
      "HELVORA-SETTINGS 1\nhex:Orphan=00\n",
      "HELVORA-SETTINGS 1\n[K]\nhex:X=0g\n",
      "HELVORA-SETTINGS 1\n[K]\ndword:X=4294967296\n",
      "HELVORA-SETTINGS 1\n[K\n",
  };
  for (const QByteArray& bytes : damaged) {
    QDir(m_dir.filePath(QStringLiteral("cfg"))).removeRecursively();
    QDir().mkpath(m_dir.filePath(QStringLiteral("cfg")));
    WriteFile(bytes);
    SettingsTree tree(m_path);
    EXPECT_FALSE(tree.Query(QStringLiteral("K"), QStringLiteral("X")).has_value());
    const QStringList aside =
        QDir(m_dir.filePath(QStringLiteral("cfg"))).entryList({QStringLiteral("registry.dat.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1) << bytes.toStdString();
    QFile kept(m_dir.filePath(QStringLiteral("cfg/") + aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), bytes);  // the damaged file is kept as it was
    EXPECT_TRUE(tree.Set(QStringLiteral("K"), QStringLiteral("X"), SettingsValue::FromDword(5)));
    EXPECT_EQ(SettingsTree(m_path).Query(QStringLiteral("k"), QStringLiteral("x"))->dword, 5u);
  }
}

TEST_F(SettingsTreeTest, DeleteKeyTakesSubkeysButNotSiblings) {
  SettingsTree tree(m_path);
  tree.Set(QStringLiteral("A\\B"), QStringLiteral("v"), SettingsValue::FromDword(1));
  tree.Set(QStringLiteral("A\\B\\C"), QStringLiteral("v"), SettingsValue::FromDword(1));
  tree.Set(QStringLiteral("A\\BC"), QStringLiteral("v"), SettingsValue::FromDword(1));
  EXPECT_TRUE(tree.DeleteKey(QStringLiteral("a\\b")));
  EXPECT_FALSE(tree.KeyExists(QStringLiteral("A\\B\\C")));
  EXPECT_TRUE(tree.KeyExists(QStringLiteral("A\\BC")));
}

class RegistryTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    qputenv("HV_CONFIG_DIR", m_dir.filePath(QStringLiteral("cfg")).toUtf8());
  }
  void TearDown() override { qunsetenv("HV_CONFIG_DIR"); }
};

TEST_F(RegistryTest, WrapperReportsResultTypeAndSize) {
  RegistryEx key;
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, kCommon), RegResult::FileNotFound);
  uint32_t unused = 0;
  EXPECT_EQ(key.QueryDWORD(QStringLiteral("x"), unused), RegResult::InvalidHandle);
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kCommon), RegResult::Success);
  EXPECT_EQ(key.SetString(QStringLiteral("S"), QString(511, u'x')), RegResult::Success);
  EXPECT_EQ(key.SetString(QStringLiteral("Long"), QString(512, u'x')), RegResult::Success);
  const char block[4] = {1, 2, 3, 4};
  EXPECT_EQ(key.SetBinary(QStringLiteral("B"), block, 4), RegResult::Success);

  QString text = QStringLiteral("untouched");
  EXPECT_EQ(key.QueryString(QStringLiteral("S"), text), RegResult::Success);
  EXPECT_EQ(key.LastSize(), 1024);
  EXPECT_EQ(key.LastType(), RegType::String);
  text = QStringLiteral("untouched");
  EXPECT_EQ(key.QueryString(QStringLiteral("Long"), text), RegResult::MoreData);
  EXPECT_EQ(text, QStringLiteral("untouched"));
  uint32_t d = 9;
  EXPECT_EQ(key.QueryDWORD(QStringLiteral("S"), d), RegResult::InvalidData);
  EXPECT_EQ(d, 9u);
  char small[2] = {};
  EXPECT_EQ(key.QueryBinary(QStringLiteral("B"), small, 2), RegResult::MoreData);
  EXPECT_EQ(key.LastSize(), 4);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(RegistryEx().Open(RegRoot::LocalMachine, kCommon), RegResult::FileNotFound);
}

TEST_F(RegistryTest, BaseReadsStoreTheDefaultFirstAndCheckSizes) {
  CRegistryBase reg;
  EXPECT_EQ(reg.KeyPath(QStringLiteral("Common")), kCommon);
  reg.SetProductKey(QString());
  EXPECT_EQ(reg.KeyPath(QString()), QStringLiteral("Software\\KESTRIX"));
  reg.SetProductKey(QStringLiteral("Helvora"));

  uint32_t d = 1;
  EXPECT_FALSE(reg.ReadCommonDWORD(QStringLiteral("AuthPort"), d, 443));  // missing key: the default
  EXPECT_EQ(d, 443u);
  EXPECT_FALSE(reg.WriteCommonDWORD(QString(), 1));  // empty value name fails at once
  ASSERT_TRUE(reg.WriteCommonDWORD(QStringLiteral("AuthPort"), 80));
  EXPECT_TRUE(reg.ReadCommonDWORD(QStringLiteral("authport"), d, 443));
  EXPECT_EQ(d, 80u);

  QString s;
  ASSERT_TRUE(reg.WriteCommonString(QStringLiteral("DocPath"), QString(600, u'd')));
  EXPECT_FALSE(reg.ReadCommonString(QStringLiteral("DocPath"), s, QStringLiteral("def")));
  EXPECT_EQ(s, QStringLiteral("def"));  // 1024 bytes or more counts as missing

  char options[92];
  std::memset(options, 0x5A, sizeof options);
  ASSERT_TRUE(reg.WriteSettingsBinary(QStringLiteral("hvOptions"), "\x01\x02", 2));
  EXPECT_FALSE(reg.ReadSettingsBinary(QStringLiteral("hvOptions"), options, 92));
  EXPECT_EQ(options[0], 0x5A);  // a block of another size leaves the buffer untouched

  EXPECT_TRUE(QFile::exists(m_path));  // the tree of the current user lives in HV_CONFIG_DIR
}

TEST(ProductKeyTable, MapsKnownTypesAndKeepsOthers) {
  const struct {
    int type;
    const char* key;
  } cases[] = {{0, "Helvora"},   {1, "Pallidor"}, {2, "Quintera"}, {201, "Sorvella"},
               {202, "Orbenta"}, {203, "Vestrel"}, {3, "Current"},  {-1, "Current"}};
  for (const auto& c : cases)
    EXPECT_EQ(CRegistryBase::ProductKeyForType(c.type, QStringLiteral("Current")), QString::fromLatin1(c.key)) << c.type;
}

}  // namespace
