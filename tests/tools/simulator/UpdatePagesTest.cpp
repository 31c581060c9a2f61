#include "tests/tools/simulator/HvsimProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray kConsole = QByteArray("console bytes\n\0\x01\xff", 18);

void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
  file.write(content);
}

QByteArray ManifestLine(const char* version) {
  return QByteArray("HVAgent ") + version + ' ' + QByteArray::number(kConsole.size()) + ' ' +
         QCryptographicHash::hash(kConsole, QCryptographicHash::Sha256).toHex() + '\n';
}

// A program folder with a console file and its bldinfo.ini, offered by an hvsim of its own.
class UpdatePages : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    WriteFile(m_dir.filePath(QStringLiteral("HVAgent")), kConsole);
    WriteFile(m_dir.filePath(QStringLiteral("bldinfo.ini")), "[General]\r\nVersion=6.0.1.0\r\n");
    m_sim = std::make_unique<HvsimProcess>(QStringList{QStringLiteral("--program-dir"), m_dir.path()});
    ASSERT_TRUE(m_sim->Ok());
  }

  QByteArray Manifest() const {
    const HvsimProcess::Reply r = m_sim->Get(QStringLiteral("/update/manifest.txt"));
    EXPECT_EQ(r.status, 200);
    return r.body;
  }

  QTemporaryDir m_dir;
  std::unique_ptr<HvsimProcess> m_sim;
};

TEST_F(UpdatePages, OfferTheConsoleFileUnderTheSwitchedVersion) {
  EXPECT_EQ(m_sim->Ports().value(QStringLiteral("update_version")).toString(), QStringLiteral("6.0.1.0"));
  EXPECT_EQ(Manifest(), ManifestLine("6.0.1.0"));
  const HvsimProcess::Reply file = m_sim->Get(QStringLiteral("/update/HVAgent"));
  EXPECT_EQ(file.status, 200);
  EXPECT_EQ(file.body, kConsole);

  // The switch announces another version of the same file; removing it or a reset goes back.
  EXPECT_EQ(m_sim->Config(R"({"update_version": "6.0.2.0"})").status, 200);
  EXPECT_EQ(Manifest(), ManifestLine("6.0.2.0"));
  EXPECT_EQ(m_sim->Config(R"({"update_version": null})").status, 200);
  EXPECT_EQ(Manifest(), ManifestLine("6.0.1.0"));
  m_sim->Config(R"({"update_version": "7"})");
  m_sim->Call("POST", QStringLiteral("/_sim/reset"), "");
  EXPECT_EQ(Manifest(), ManifestLine("6.0.1.0"));

  // Anything that would break the manifest line is refused and leaves the configuration alone.
  for (const char* bad : {R"({"update_version": ""})", R"({"update_version": "6.0 2"})",
                          R"({"update_version": "6.0\n2"})", R"({"update_version": 6})", R"({"update_version": "é"})",
                          R"({"delay_ms": 5, "update_version": ""})"}) {
    EXPECT_EQ(m_sim->Config(bad).status, 400) << bad;
  }
  EXPECT_EQ(m_sim->Config(QByteArray(R"({"update_version": ")") + QByteArray(65, '9') + "\"}").status, 400);
  EXPECT_EQ(Manifest(), ManifestLine("6.0.1.0"));
  EXPECT_FALSE(m_sim->Get(QStringLiteral("/_sim/config")).body.contains("delay_ms"));

  EXPECT_EQ(m_sim->Get(QStringLiteral("/update/HVReport")).status, 404);
  EXPECT_EQ(m_sim->Call("POST", QStringLiteral("/update/manifest.txt"), "x").status, 405);
}

TEST_F(UpdatePages, ConsoleFileChangedSinceTheStartIsNotPassedOff) {
  WriteFile(m_dir.filePath(QStringLiteral("HVAgent")), "rebuilt console, other bytes");
  EXPECT_EQ(m_sim->Get(QStringLiteral("/update/HVAgent")).status, 503);
}

TEST_F(UpdatePages, LoginAnswerNamesThisServerAndTheUpdateFolder) {
  const HvsimProcess::Reply r =
      m_sim->Call("POST", QStringLiteral("/AuthWeb/agent/external_user_login"), "externalUserId=x");
  ASSERT_EQ(r.status, 200);
  EXPECT_TRUE(r.body.contains("<RETCODE>100</RETCODE>")) << r.body.constData();
  EXPECT_TRUE(r.body.contains("<MULTI_UPDATE_SERVER>127.0.0.1|" + QByteArray::number(m_sim->Port()) +
                              "|0</MULTI_UPDATE_SERVER>"))
      << r.body.constData();
  EXPECT_TRUE(r.body.contains("<UPDATEDIR>update</UPDATEDIR>"));
}

// Without a real console file nothing is listed, whatever version is switched on.
TEST(UpdatePagesWithoutConsole, ListNothing) {
  const struct {
    const char* label;
    bool console;
    QByteArray bldinfo;
    QByteArray config;
    long manifestStatus;
  } cases[] = {
      {"no console file", false, "[General]\nVersion=6.0.1.0\n", {}, 404},
      {"no console file, version switched", false, "[General]\nVersion=6.0.1.0\n", R"({"update_version":"6.0.2.0"})", 404},
      {"console without a version", true, "[General]\n", {}, 404},
      {"console without a version, version switched", true, "", R"({"update_version":"6.0.2.0"})", 200},
  };
  for (const auto& c : cases) {
    QTemporaryDir dir;
    if (c.console) WriteFile(dir.filePath(QStringLiteral("HVAgent")), kConsole);
    WriteFile(dir.filePath(QStringLiteral("bldinfo.ini")), c.bldinfo);
    HvsimProcess sim({QStringLiteral("--program-dir"), dir.path()});
    ASSERT_TRUE(sim.Ok()) << c.label;
    EXPECT_EQ(sim.Ports().value(QStringLiteral("update_version")).toString(), QString()) << c.label;
    if (!c.config.isEmpty()) sim.Config(c.config);
    const HvsimProcess::Reply r = sim.Get(QStringLiteral("/update/manifest.txt"));
    EXPECT_EQ(r.status, c.manifestStatus) << c.label;
    if (r.status == 200) {
      EXPECT_EQ(r.body, ManifestLine("6.0.2.0")) << c.label;
    }
    if (!c.console) {
      EXPECT_EQ(sim.Get(QStringLiteral("/update/HVAgent")).status, 404) << c.label;
    }
  }
}

}  // namespace
