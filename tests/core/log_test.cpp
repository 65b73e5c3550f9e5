#include <gtest/gtest.h>

#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "support/temp_home.h"

namespace vantrel::core {
namespace {

constexpr const char* kHead =
    "\r\n<html>\r\n<head>\r\n<title>Vantrel | Execution Log</title>\r\n</head>\r\n<body>";

TEST(ExecutionLog, EachStartRecreatesTheFiveHeadLines) {
  testing::TempHome home;
  const Paths first = InitPaths(home.Path() + "app/", "Flash Player");
  EXPECT_EQ(first.LogPath, first.UserPath + "Flash Player.Log.html");
  ExecutionLog log;
  log.WriteLog("discarded line");
  const Paths second = InitPaths(home.Path() + "app/", "Flash Player");
  EXPECT_EQ(ReadTextFile(second.LogPath), kHead);
}

TEST(ExecutionLog, ReportErrorComposesLinesAndClearsTheError) {
  ExecutionLog log;
  RunError error{53, "Vantrel", "File not found"};
  const auto lines = log.ReportError(error, "Reading File", "a<b");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "<B><FONT color=\"#000000\">53");
  EXPECT_EQ(lines[2], "Reading File");
  EXPECT_EQ(lines[5], "</B><I><FONT color=\"#333333\">a&#60;b</FONT></I><B>");
  EXPECT_EQ(lines[7], "<B>ALERT:</B> Reading File<BR>File not found<BR>Vantrel");
  EXPECT_FALSE(error.Pending());

  RunError noDetail{5, "s", "d"};
  EXPECT_EQ(log.ReportError(noDetail, "ctx").size(), 7u);
}

TEST(ExecutionLog, LogTimeLapsAndResets) {
  double now = 100.0;
  ExecutionLog log([&] { return now; });
  EXPECT_EQ(log.LogTime("", true), "");  // starts the stopwatch
  now = 100.25;
  EXPECT_EQ(log.LogTime("Initialized"), "Initialized in 250 ms");
  now = 100.5;
  EXPECT_EQ(log.LogTime(""), "");  // only moves the lap mark
  now = 101.0;
  EXPECT_EQ(log.LogTime("Movie Loaded"), "Movie Loaded in 500 ms");
  now = 102.0;
  EXPECT_EQ(log.LogTime("Player Loaded", true), "Player Loaded in 2000 ms");
}

}  // namespace
}  // namespace vantrel::core
