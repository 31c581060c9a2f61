#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "common/IniFile.h"

namespace {

class IniTest : public ::testing::Test {
 protected:
  QString Write(const QByteArray& bytes) {
    QFile f(m_path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    return m_path;
  }
  QByteArray Bytes() const {
    QFile f(m_path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  QTemporaryDir m_dir;
  QString m_path = m_dir.filePath(QStringLiteral("t.ini"));
};

TEST_F(IniTest, ReadsWithPrivateProfileRules) {
  Write("; comment\r\n"
        "[General]\r\n"
        "autoUpdate=0\r\n"
        "  Spaced Key  =  a value with = and spaces  \r\n"
        "Empty=\r\n"
        "dup=first\r\n"
        "dup=second\r\n"
        "noequals line\r\n"
        "[authinfo]\r\n"
        "AuthPort=443\r\n");
  CIniFile ini(m_path);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"General", "autoUpdate", "0"},  // General is an ordinary section
      {"GENERAL", "AUTOUPDATE", "0"},  // sections and keys ignore case
      {"general", "spaced key", "a value with = and spaces"},
      {"General", "Empty", ""},
      {"General", "dup", "first"},     // the first occurrence wins
      {"AuthInfo", "authport", "443"},
      {"General", "AuthPort", "<def>"},  // keys belong to their section only
      {"Missing", "x", "<def>"},
      {"General", "noequals line", "<def>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ini.GetString(QString::fromUtf8(c.section), QString::fromUtf8(c.key), QStringLiteral("<def>")),
              QString::fromUtf8(c.expected))
        << c.section << "/" << c.key;
  }
  EXPECT_TRUE(ini.GetString(QStringLiteral("General"), QStringLiteral("Empty"), QStringLiteral("d")).isEmpty());
}

TEST_F(IniTest, IntegersReadLikeGetPrivateProfileInt) {
  Write("[S]\na=42\nb=-7\nc=12abc\nd=abc\ne=\nf=99999999999\ng=+5\n");
  CIniFile ini(m_path);
  struct {
    const char* key;
    int expected;
  } cases[] = {{"a", 42}, {"b", -7}, {"c", 12}, {"d", -1}, {"e", -1}, {"f", INT_MAX}, {"g", 5}, {"none", -1}};
  for (const auto& c : cases) EXPECT_EQ(ini.GetInt(QStringLiteral("S"), QString::fromUtf8(c.key), -1), c.expected) << c.key;
}

TEST_F(IniTest, WritesKeepCommentsOrderAndLineEndings) {
  Write("; keep me\r\n[General]\r\nA=1\r\nB=2\r\n\r\n[Other]\r\nX=y\r\n");
  CIniFile ini(m_path);
  EXPECT_TRUE(ini.SetString(QStringLiteral("general"), QStringLiteral("b"), QStringLiteral("two")));
  EXPECT_TRUE(ini.SetInt(QStringLiteral("General"), QStringLiteral("C"), 3));
  EXPECT_TRUE(ini.SetString(QStringLiteral("New"), QStringLiteral("K"), QStringLiteral(" v = w ")));
  EXPECT_EQ(Bytes(),
            QByteArray("; keep me\r\n[General]\r\nA=1\r\nb=two\r\nC=3\r\n\r\n[Other]\r\nX=y\r\n\r\n[New]\r\nK= v = w \r\n"));
  EXPECT_EQ(ini.GetString(QStringLiteral("NEW"), QStringLiteral("k")), QStringLiteral("v = w"));
}

TEST_F(IniTest, NullValueDeletesKeyAndEveryDuplicate) {
  Write("[S]\nk=1\nK=2\nother=3\n");
  CIniFile ini(m_path);
  EXPECT_TRUE(ini.SetString(QStringLiteral("s"), QStringLiteral("k"), QString()));
  EXPECT_EQ(ini.GetString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("gone")), QStringLiteral("gone"));
  EXPECT_EQ(Bytes(), QByteArray("[S]\nother=3\n"));
  // An empty (not null) value stays a key with an empty value.
  EXPECT_TRUE(ini.SetString(QStringLiteral("S"), QStringLiteral("e"), QStringLiteral("")));
  EXPECT_EQ(ini.GetString(QStringLiteral("S"), QStringLiteral("e"), QStringLiteral("d")), QString());
  EXPECT_TRUE(ini.DeleteSection(QStringLiteral("s")));
  EXPECT_TRUE(ini.GetSections().isEmpty());
}

TEST_F(IniTest, MissingFileReadsEmptyAndIsCreatedOnWrite) {
  CIniFile ini(m_dir.filePath(QStringLiteral("sub/new.ini")));
  EXPECT_FALSE(ini.Exists());
  EXPECT_EQ(ini.GetInt(QStringLiteral("A"), QStringLiteral("b"), 7), 7);
  EXPECT_TRUE(ini.DeleteKey(QStringLiteral("A"), QStringLiteral("b")));
  EXPECT_TRUE(ini.SetString(QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")));
  EXPECT_EQ(ini.GetString(QStringLiteral("a"), QStringLiteral("B")), QStringLiteral("c"));
}

TEST_F(IniTest, RefusesLineBreaksThatWouldCorruptTheFile) {
  CIniFile ini(m_path);
  EXPECT_FALSE(ini.SetString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("a\n[Evil]\nx=1")));
  EXPECT_FALSE(ini.SetString(QStringLiteral("S"), QStringLiteral("k=v"), QStringLiteral("1")));
  EXPECT_FALSE(ini.SetString(QString(), QStringLiteral("k"), QStringLiteral("1")));
  EXPECT_TRUE(ini.GetSections().isEmpty());
}

TEST_F(IniTest, Utf16AndUtf8BomFilesKeepTheirEncoding) {
  QByteArray utf16("\xFF\xFE", 2);
  for (char c : QByteArray("[S]\r\nk=v\r\n")) utf16.append(c).append('\0');
  Write(utf16);
  CIniFile ini(m_path);
  EXPECT_EQ(ini.GetString(QStringLiteral("s"), QStringLiteral("K")), QStringLiteral("v"));
  EXPECT_TRUE(ini.SetString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("\uD55C")));
  EXPECT_TRUE(Bytes().startsWith("\xFF\xFE"));
  EXPECT_EQ(ini.GetString(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("\uD55C"));

  Write("\xEF\xBB\xBF[HELVORA]\nIDS_A=\xED\x95\x9C\n");
  EXPECT_EQ(ini.GetString(QStringLiteral("helvora"), QStringLiteral("ids_a")), QStringLiteral("\uD55C"));
}

TEST_F(IniTest, DamagedFileReadsWhatItCan) {
  QByteArray junk;
  for (int i = 0; i < 4096; ++i) junk.append(char((i * 131) & 0xFF));  // NULs, stray brackets, no '='
  junk += "\n[Good]\nkey=value\n";
  junk += "[Huge]\nbig=" + QByteArray(2 * 1024 * 1024, 'x') + "\n";
  junk += "[Open\nk=v\n";  // an unclosed header still starts a section
  Write(junk);
  CIniFile ini(m_path);
  EXPECT_EQ(ini.GetString(QStringLiteral("Good"), QStringLiteral("key")), QStringLiteral("value"));
  EXPECT_EQ(ini.GetString(QStringLiteral("Huge"), QStringLiteral("big")).size(), 2 * 1024 * 1024);
  EXPECT_EQ(ini.GetString(QStringLiteral("Open"), QStringLiteral("k")), QStringLiteral("v"));
  // Writing into it keeps the unreadable part instead of dropping it.
  EXPECT_TRUE(ini.SetString(QStringLiteral("Good"), QStringLiteral("key"), QStringLiteral("new")));
  EXPECT_EQ(ini.GetString(QStringLiteral("Good"), QStringLiteral("key")), QStringLiteral("new"));
  EXPECT_GT(Bytes().size(), 2 * 1024 * 1024);
}

TEST_F(IniTest, SectionEntriesListFirstOccurrences) {
  Write("[HELVORA]\nIDS_A=one\nids_a=dup\nIDS_B=two\n[Other]\nIDS_C=x\n");
  const auto entries = CIniFile(m_path).GetSectionEntries(QStringLiteral("helvora"));
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0], qMakePair(QStringLiteral("IDS_A"), QStringLiteral("one")));
  EXPECT_EQ(entries[1], qMakePair(QStringLiteral("IDS_B"), QStringLiteral("two")));
}

}  // namespace
