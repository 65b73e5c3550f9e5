#include "player/start_up.h"

#include <exception>

#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "player/player.h"

namespace vantrel::player {

std::string FlashRequiredMessage(int major) {
  return "Adobe Flash ActiveX (version " + std::to_string(major) + ") needs to be updated.\r\n\r\n" +
         "Please use the following guide to install the update.";
}

StartUpResult StartUp(const std::string& commandLine, StartUpHost& host, core::OptionsStore& options,
                      core::ExecutionLog& log) {
  try {
    if (options.ReadBoolOption("System", "OneInstance") && host.HandOver(commandLine)) {
      return StartUpResult::HandedOver;
    }
    log.LogTime("", true);
    host.InitPaths();
    log.WriteLog(" :: Start Up");
    log.WriteLog("Initializing Visual Styles");
    host.InitVisualStyles();
    if (options.ReadBoolOption("System", "GPF")) {
      log.WriteLog("UAE Disabled");
      host.SuppressFaultDialogs();
    }
    log.WriteLog("Argument: " + commandLine);
    host.InitLanguages();
    log.LogTime("Initialized");
    if (options.ReadBoolOption("System", "FirstRun")) {
      host.ShowFirstRun();
      options.WriteBool("System", "FirstRun", false);
    }
    const int major = host.FlashMajor();
    log.WriteLog("Detected <B>Flash " + std::to_string(major) + "</B>");
    if (major < kRequiredFlashMajor) {
      if (!core::EqualsNoCase(commandLine, "/exec Uninstall")) {
        host.ShowFlashRequired(FlashRequiredMessage(major));
        host.ThePlayer().GoWeb("getflash");
      }
      host.ThePlayer().Quit("Flash Required", false);
      return StartUpResult::FlashRequired;
    }

    if (!host.LoadPlayerWindow()) return StartUpResult::Failed;
    host.ProcessEvents();
    Player& player = host.ThePlayer();
    player.ClearPlaylist();
    if (options.ReadBoolOption("Recent", "History")) player.AddToPlaylist(player.Paths().LastPlayedPath, kHistoryDepth);
    if (!commandLine.empty()) player.ProcessCommand(commandLine);
    else player.BrowseMedia();
    log.LogTime("Movie Loaded");
    if (player.Loaded()) {
      host.ShowPlayerWindow();
      if (!host.SkinLoaded()) player.ZoomFlash(100, 0);
    }
    log.LogTime("<B>Player Loaded</B>", true);
    if (options.ReadBoolOption("Update", "Auto")) host.WebUpdate();
    if (options.ReadBoolOption("System", "Intro")) host.ShowIntro();
    return StartUpResult::Running;
  } catch (const std::exception& error) {
    core::RunError failure{5, "Vantrel", error.what()};
    log.ReportError(failure, "Start Up");
    return StartUpResult::Failed;
  }
}

}  // namespace vantrel::player
