#include <gtest/gtest.h>

#include "support/run_process.h"

namespace {

using vantrel::testing::RunProcess;

TEST(ToolCli, HelpVersionAndUsageErrors) {
  const auto help = RunProcess(VANTREL_TOOL_PATH, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: vantrel-tool VERB"), std::string::npos);

  const auto version = RunProcess(VANTREL_TOOL_PATH, {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("Vantrel ", 0), 0u) << version.out;

  EXPECT_EQ(RunProcess(VANTREL_TOOL_PATH, {}).exitCode, 2);
  const auto unknown = RunProcess(VANTREL_TOOL_PATH, {"frobnicate"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("unknown verb 'frobnicate'"), std::string::npos);
}

}  // namespace
