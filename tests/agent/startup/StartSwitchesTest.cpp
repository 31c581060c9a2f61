#include "agent/startup/AgentApp.h"

#include <gtest/gtest.h>

TEST(StartSwitches, FirstSwitchFoundWins) {
  struct Case {
    const char* line;
    int mode;
    bool appRun;
    const char* id;
    const char* password;
    const char* rest;
  } cases[] = {
      {"", 0, false, "", "", ""},
      {"-ZEN", 0, false, "", "", "-ZEN"},  // unknown switches leave the line as it is
      {"-APIRUN -APPRUN", 1, false, "", "", " -APPRUN"},
      {"-APPRUN -WEBRUN/a/b", 2, true, "", "", " -WEBRUN/a/b"},
      {"-WEBRUN/agent1/secret", 3, false, "agent1", "secret", "/agent1/secret"},
      {"-WEBRUN/agent1", 3, false, "agent1", "", "/agent1"},
      {"-DMC", 4, false, "", "", ""},
      {"x -CRM y", 5, false, "", "", " y"},
      {"-apprun", 0, false, "", "", "-apprun"},  // case-sensitive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const StartSwitches s = ParseStartSwitches(QString::fromLatin1(c.line));
    EXPECT_EQ(s.RunMode, c.mode);
    EXPECT_EQ(s.AppRun, c.appRun);
    EXPECT_EQ(s.WebId, QString::fromLatin1(c.id));
    EXPECT_EQ(s.WebPassword, QString::fromLatin1(c.password));
    EXPECT_EQ(s.CommandLine, QString::fromLatin1(c.rest));
  }
}
