#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "common/IniFile.h"
#include "platform/Paths.h"
#include "resources/HVRes.h"

namespace {

class HVResTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(m_dir.filePath(QStringLiteral("Languages")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("Images")));
    hv::paths::SetProgramDirForTesting(m_dir.path());
  }
  void TearDown() override { hv::paths::SetProgramDirForTesting(QString()); }
  void Lang(const char* code, const QByteArray& body = "[HELVORA]\nIDS_NAME=x\n") {
    QFile f(m_dir.filePath(QStringLiteral("Languages/hvv_%1.lng").arg(QLatin1String(code))));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(body);
  }
  void TestIni(const QString& language) {
    CIniFile(m_dir.filePath(QStringLiteral("test.ini"))).SetString(QStringLiteral("RESOURCE"), QStringLiteral("Language"), language);
  }
  QTemporaryDir m_dir;
};

TEST_F(HVResTest, TestIniOverridesTheSystemLanguageAndMissingFilesFallBack) {
  Lang("eng");
  Lang("chi_sim");
  Lang("por");
  const struct {
    const char* override;
    int index;
    const char* file;
  } cases[] = {
      {"3", 3, "hvv_chi_sim.lng"},
      {"7", 7, "hvv_por.lng"},
      {"5", 1, "hvv_eng.lng"},  // French missing: English
      {"42", 1, "hvv_eng.lng"}, // unknown index uses the English file code
  };
  for (const auto& c : cases) {
    TestIni(QString::fromLatin1(c.override));
    HVRes::GetInstance().Reload();
    EXPECT_EQ(HVRes::GetInstance().GetLanguage(), c.index) << c.override;
    EXPECT_TRUE(HVRes::GetInstance().LanguageFilePath().endsWith(QLatin1String(c.file))) << c.override;
  }
  // 8 and an empty value mean "no override": the system language decides.
  for (const char* ignored : {"8", ""}) {
    TestIni(QString::fromLatin1(ignored));
    HVRes::GetInstance().Reload();
    const int expected = HVRes::IndexForUiLanguage(HVRes::SystemUiLanguageId());
    EXPECT_EQ(HVRes::GetInstance().GetLanguage(), expected == 3 || expected == 7 ? expected : 1) << ignored;
  }
  EXPECT_EQ(HVRes::ConsoleLanguageCode(4), QStringLiteral("zh_TW"));
  EXPECT_EQ(HVRes::ProxyFileName(7), QStringLiteral("hvv_eng_proxy.lng"));
  EXPECT_EQ(HVRes::LanguageFileName(9), QStringLiteral("hvv_eng.lng"));
}

TEST_F(HVResTest, NoLanguageFileMeansIndex8EmptyTextsAndAFailedStartCheck) {
  HVRes::GetInstance().Reload();
  EXPECT_EQ(HVRes::GetInstance().GetLanguage(), HVRes::kNoLanguage);
  EXPECT_TRUE(HVRes::GetInstance().LoadStringW(QStringLiteral("IDS_NAME")).isEmpty());
  EXPECT_FALSE(HVRes::LanguageFileExists(HVRes::GetInstance().GetLanguage()));
  Lang("eng");
  EXPECT_TRUE(HVRes::LanguageFileExists(9));
}

TEST_F(HVResTest, UiLanguageIdentifiersMapToIndexes) {
  const struct {
    int id;
    int index;
  } cases[] = {{1042, 0}, {1041, 2}, {2052, 3}, {1028, 4}, {1036, 5}, {1034, 6}, {3082, 6},
               {20490, 6}, {1046, 7}, {2070, 7}, {1033, 1}, {1031, 1}, {21514, 1}};
  for (const auto& c : cases) EXPECT_EQ(HVRes::IndexForUiLanguage(c.id), c.index) << c.id;
}

TEST_F(HVResTest, TextsAreLookedUpByKeyWithQuotesLineBreaksAndALengthLimit) {
  Lang("eng", "[Other]\nIDS_A=wrong\n[HELVORA]\nIDS_A=Plain text\nids_quoted=\" is waiting.\"\n"
              "IDS_LINES=one\\ntwo\nIDS_LONG=" + QByteArray(600, 'x') + "\nIDS_FONT=\n");
  TestIni(QStringLiteral("1"));
  HVRes& res = HVRes::GetInstance();
  res.Reload();
  EXPECT_EQ(res.LoadStringW(QStringLiteral("ids_a")), QStringLiteral("Plain text"));
  EXPECT_EQ(res.LoadStringW(QStringLiteral("IDS_QUOTED")), QStringLiteral(" is waiting."));
  EXPECT_EQ(res.LoadStringW(QStringLiteral("IDS_LINES")), QStringLiteral("one\ntwo"));
  EXPECT_EQ(res.LoadStringW(QStringLiteral("IDS_LONG")).size(), HVRes::kMaxTextUnits);
  EXPECT_TRUE(res.LoadStringW(QStringLiteral("IDS_MISSING")).isEmpty());
  EXPECT_EQ(res.LanguageCode(), QStringLiteral("ENG"));
  EXPECT_FALSE(res.GetFontName().isEmpty());  // empty IDS_FONT: the system's title font
}

TEST_F(HVResTest, TavrinInstallationsUseTheirOwnTextsWhereTheyExist) {
  Lang("eng", "[HELVORA]\nIDS_NAME=standard\n");
  Lang("eng_tavrin", "[HELVORA]\nIDS_NAME=tavrin\n");
  TestIni(QStringLiteral("1"));
  CIniFile(m_dir.filePath(QStringLiteral("info.ini"))).SetString(QStringLiteral("Settings"), QStringLiteral("ProductCode"), QStringLiteral("Tavrin"));
  HVRes::GetInstance().Reload();
  EXPECT_EQ(HVRes::GetInstance().LoadStringW(QStringLiteral("IDS_NAME")), QStringLiteral("tavrin"));
}

TEST_F(HVResTest, ImagesLoadByNumberAndCutIntoStates) {
  QImage strip(40, 10, QImage::Format_ARGB32);
  strip.fill(Qt::red);
  for (int y = 0; y < 10; ++y)
    for (int x = 10; x < 20; ++x) strip.setPixelColor(x, y, Qt::blue);
  ASSERT_TRUE(strip.save(m_dir.filePath(QStringLiteral("Images/1011.png"))));
  HVRes::GetInstance().Reload();
  EXPECT_EQ(HVRes::GetInstance().GetImage(1011).size(), QSize(40, 10));
  const QImage hover = HVRes::GetInstance().GetImageState(1011, 1, 4);
  EXPECT_EQ(hover.size(), QSize(10, 10));
  EXPECT_EQ(hover.pixelColor(5, 5), QColor(Qt::blue));
  EXPECT_TRUE(HVRes::GetInstance().GetImageState(1011, 4, 4).isNull());
  EXPECT_TRUE(HVRes::GetInstance().GetImage(9999).isNull());
}

// The shipped files: every key the console uses has a text in both languages, and a text that
// the program fills in keeps the placeholders of the English one.
TEST(ShippedLanguageFiles, HoldEveryKeyWithMatchingPlaceholders) {
  QFile list(QStringLiteral(HV_TEST_KEY_LIST));
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  const QStringList keys = QString::fromUtf8(list.readAll()).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_GT(keys.size(), 250);
  const CIniFile eng(QStringLiteral(HV_TEST_LANGUAGES "/hvv_eng.lng"));
  const CIniFile kor(QStringLiteral(HV_TEST_LANGUAGES "/hvv_kor.lng"));
  const QRegularExpression placeholder(QStringLiteral("%[sd]"));
  const auto placeholders = [&](const QString& t) {
    QStringList out;
    for (auto it = placeholder.globalMatch(t); it.hasNext();) out << it.next().captured();
    return out;
  };
  for (const QString& key : keys) {
    const QString e = eng.GetString(QStringLiteral("HELVORA"), key);
    const QString k = kor.GetString(QStringLiteral("HELVORA"), key);
    EXPECT_FALSE(e.isEmpty()) << "English: " << qPrintable(key);
    EXPECT_FALSE(k.isEmpty()) << "Korean: " << qPrintable(key);
    EXPECT_EQ(placeholders(e), placeholders(k)) << qPrintable(key);
  }
  EXPECT_EQ(placeholders(eng.GetString(QStringLiteral("HELVORA"), QStringLiteral("IDS_MSG_SESSION_TRANSFER_REQUEST_NOTI"))),
            QStringList({QStringLiteral("%s"), QStringLiteral("%s")}));
}

// Every image the main window, progress window, login window and tray use is shipped.
TEST(ShippedImages, EveryUsedNumberLoads) {
  const int numbers[] = {128,  1011, 1014, 1277, 2000, 2002, 2004, 2007, 2040, 2041, 2042, 2043, 2044,
                         2058, 2059, 1260, 1261, 1262, 1263, 1264, 1265, 1266, 1267, 1268, 1269, 1270, 1271};
  for (int n : numbers) {
    QImage image(QStringLiteral(HV_TEST_IMAGES "/%1.png").arg(n));
    EXPECT_FALSE(image.isNull()) << n;
  }
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);  // the font database needs it
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
