// One run of the player program: the options, the log, the folders, the languages,
// the engine, the player core and its window, put together in the start-up order, and
// the hand-over server of the first instance.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QWidget>

#include "core/language.h"
#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "media/media_context.h"
#include "player/browser_port.h"
#include "player/host_port.h"
#include "player/start_up.h"
#include "player/system_shell.h"
#include "ui/desktop_open.h"
#include "ui/qt_dialogs.h"

namespace vantrel::player {
class Player;
}
namespace vantrel::browser {
class BrowserSession;
}

namespace vantrel::net {
struct NetContext;
class WebMovieFetcher;
}  // namespace vantrel::net

namespace vantrel::system {
class SystemIntegration;
}

namespace vantrel::ui {

class FirstRunDialog;
class OptionsDialog;
class TipPanel;
struct Tip;

class InstanceServer;
class MovieEngine;
class PlayerWindow;

// What tests replace: the engine, the dialogs and the modal windows of start-up.
struct SessionHooks {
  std::function<std::unique_ptr<MovieEngine>()> makeEngine;  // unset: the program's engine
  player::DialogPort* dialogs = nullptr;                     // unset: Qt dialogs
  std::function<void(FirstRunDialog&)> firstRun;             // unset: shown modally
  std::function<void(const std::string&)> flashRequired;     // unset: a message box
  std::function<void(OptionsDialog&)> options;               // unset: shown modally
  std::optional<bool> skin;                                  // unset: the option "Window"/"Skin"
  bool noTips = false;                                       // no tip at start
};

class PlayerSession final : public player::StartUpHost, public player::HostPort {
 public:
  explicit PlayerSession(SessionHooks hooks = {});
  ~PlayerSession() override;
  PlayerSession(const PlayerSession&) = delete;
  PlayerSession& operator=(const PlayerSession&) = delete;

  // Runs the start-up procedure for commandLine (the text after the program).
  player::StartUpResult Start(const std::string& commandLine);

  // Null until the folders are laid out.
  PlayerWindow* Window() const { return window_.get(); }
  player::Player* GetPlayer() const { return player_.get(); }
  MovieEngine* Engine() const { return engine_.get(); }
  const core::Paths& Paths() const { return paths_; }
  core::OptionsStore& Options() { return options_; }
  core::Languages* Languages() const { return languages_.get(); }
  // The desktop integration of this run (screen-saver switch, desktop dialog); null
  // until the player window is loaded.
  system::SystemIntegration* System() const { return system_.get(); }
  // The socket a first instance listens on for this user's options.
  QString SocketName() const;
  // A click on a tip's link: the tip's action runs as a statement on the player (errors
  // go to the log), or else its link opens (an address, or a page of the help).
  void FollowTip(const Tip& tip);

  // ---- player::StartUpHost ----
  bool HandOver(const std::string& commandLine) override;
  void InitPaths() override;
  void InitVisualStyles() override;
  void SuppressFaultDialogs() override;
  void InitLanguages() override;
  void ShowFirstRun() override;
  int FlashMajor() override;
  void ShowFlashRequired(const std::string& message) override;
  player::Player& ThePlayer() override;
  bool LoadPlayerWindow() override;
  void ProcessEvents() override;
  void ShowPlayerWindow() override;
  bool SkinLoaded() override;
  void WebUpdate() override;
  void ShowIntro() override;

  // ---- player::HostPort ----
  void WebUpdate(bool automatic) override;
  void OpenHelp(const std::string& topic) override;
  void OfferTip(const std::string& key) override;
  void RestoreScreenSaver() override;
  void ClearFileTypes() override;
  bool DialogOpen(const std::string& name) override;
  void EndProcess() override;

  browser::BrowserSession* Browser() const { return browser_.get(); }

 private:
  void RegisterScriptOperations();
  void MoveFlashFolder(const std::string& oldFolder, const std::string& newFolder);
  void ChooseLanguage(int index);
  void SetWallpaperFromFrame();
  void ShowPage(bool intro);
  void ShowOptions();
  void LoadTipsForLanguage();
  net::NetContext NetworkContext();
  void ShowDownload();
  void ExportPlayingMovie();
  std::unique_ptr<browser::BrowserSession> MakeBrowserSession();

  SessionHooks hooks_;
  core::OptionsStore options_;
  core::ExecutionLog log_;
  core::Paths paths_;
  std::unique_ptr<core::Languages> languages_;
  media::MediaContext media_;
  DesktopShell shell_;
  QtDialogs qtDialogs_;
  // Destroyed in reverse order: the window goes before the player, the player before
  // the engine.
  std::unique_ptr<MovieEngine> engine_;
  std::unique_ptr<browser::BrowserSession> browser_;
  std::unique_ptr<player::Player> player_;
  std::unique_ptr<PlayerWindow> window_;
  std::unique_ptr<InstanceServer> server_;
  QPointer<TipPanel> tips_;
  bool firstInstance_ = false;  // this process answers the hand-over socket
  std::unique_ptr<net::WebMovieFetcher> fetcher_;
  QPointer<QWidget> update_;
  QPointer<QWidget> download_;
  std::unique_ptr<system::SystemIntegration> system_;
};

}  // namespace vantrel::ui
