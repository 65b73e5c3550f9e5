// The start-up order, with the application's steps recorded.
#include <memory>

#include "player/start_up.h"
#include "player_fixture.h"

namespace vantrel::player::testing {
namespace {

class StartUpTest : public PlayerTest, public StartUpHost {
 protected:
  bool HandOver(const std::string& commandLine) override {
    steps.push_back("HandOver " + commandLine);
    return firstInstance;
  }
  void InitPaths() override { steps.push_back("InitPaths"); }
  void InitVisualStyles() override { steps.push_back("InitVisualStyles"); }
  void SuppressFaultDialogs() override { steps.push_back("SuppressFaultDialogs"); }
  void InitLanguages() override { steps.push_back("InitLanguages"); }
  void ShowFirstRun() override { steps.push_back("ShowFirstRun"); }
  int FlashMajor() override { return major; }
  void ShowFlashRequired(const std::string& message) override { steps.push_back("ShowFlashRequired " + message); }
  Player& ThePlayer() override { return P(); }
  bool LoadPlayerWindow() override {
    steps.push_back("LoadPlayerWindow");
    P().Load();
    return true;
  }
  void ProcessEvents() override {}
  void ShowPlayerWindow() override { steps.push_back("ShowPlayerWindow"); }
  bool SkinLoaded() override { return false; }
  void WebUpdate() override { steps.push_back("WebUpdate"); }
  void ShowIntro() override { steps.push_back("ShowIntro"); }

  StartUpResult Run(const std::string& commandLine) { return StartUp(commandLine, *this, *options, log); }

  std::vector<std::string> steps;
  bool firstInstance = false;
  int major = 32;
};

TEST_F(StartUpTest, SecondInstanceHandsOverAndDoesNothingElse) {
  firstInstance = true;
  EXPECT_EQ(Run("a.swf"), StartUpResult::HandedOver);
  EXPECT_EQ(steps, std::vector<std::string>{"HandOver a.swf"});
  options->WriteBool("System", "OneInstance", false);
  steps.clear();
  options->WriteBool("Update", "Auto", false);
  EXPECT_EQ(Run(""), StartUpResult::Running);
  EXPECT_EQ(steps.front(), "InitPaths");
}

TEST_F(StartUpTest, FirstStartRunsEveryStepInOrderAndOpensTheCommandLine) {
  const std::string movie = Movie("a.swf");
  EXPECT_EQ(Run(movie), StartUpResult::Running);
  EXPECT_EQ(steps, (std::vector<std::string>{"HandOver " + movie, "InitPaths", "InitVisualStyles", "InitLanguages",
                                             "ShowFirstRun", "LoadPlayerWindow", "ShowPlayerWindow", "WebUpdate"}));
  EXPECT_FALSE(options->ReadBoolOption("System", "FirstRun"));
  EXPECT_EQ(flash.url, movie);

  // The second start shows the browser and skips the first-run dialog; the history
  // (saved when the list was last cleared) comes back.
  P().ClearPlaylist();
  player.reset();
  steps.clear();
  EXPECT_EQ(Run(""), StartUpResult::Running);
  EXPECT_EQ(std::count(steps.begin(), steps.end(), "ShowFirstRun"), 0);
  EXPECT_EQ(P().GetPlaylist().Entries(), std::vector<std::string>{movie});
  EXPECT_EQ(browser.calls.back(), "BrowseMedia");
}

TEST_F(StartUpTest, OldControlShowsTheGuideAndQuitsWithoutSaving) {
  major = 22;
  EXPECT_EQ(Run(""), StartUpResult::FlashRequired);
  EXPECT_EQ(steps.back(),
            "ShowFlashRequired Adobe Flash ActiveX (version 22) needs to be updated.\r\n\r\n"
            "Please use the following guide to install the update.");
  EXPECT_EQ(shell.opened, std::vector<std::string>{"http://www.vantrel.org/getflash"});
  EXPECT_EQ(window.unloads, 1);
  EXPECT_FALSE(options->ReadText("View", "Quality", "").size());

  steps.clear();
  shell.opened.clear();
  EXPECT_EQ(Run("/EXEC uninstall"), StartUpResult::FlashRequired);
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_EQ(std::count_if(steps.begin(), steps.end(),
                          [](const std::string& step) { return step.rfind("ShowFlashRequired", 0) == 0; }),
            0);
}

}  // namespace
}  // namespace vantrel::player::testing
