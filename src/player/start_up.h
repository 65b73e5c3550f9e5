// The program's start-up procedure in its fixed order, without widgets: the
// application supplies the steps that need windows, languages or the control.
#pragma once

#include <string>

namespace vantrel::core {
class ExecutionLog;
class OptionsStore;
}  // namespace vantrel::core

namespace vantrel::player {

class Player;

class StartUpHost {
 public:
  virtual ~StartUpHost() = default;
  // Hands the command line to a running first instance; true when one took it (this
  // process then ends without creating anything).
  virtual bool HandOver(const std::string& commandLine) = 0;
  // Lays out the folders and recreates the execution log.
  virtual void InitPaths() = 0;
  virtual void InitVisualStyles() = 0;
  virtual void SuppressFaultDialogs() = 0;
  // Interface font, the language table, the chosen language.
  virtual void InitLanguages() = 0;
  virtual void ShowFirstRun() = 0;
  // The Flash control's major version, 0 when there is none.
  virtual int FlashMajor() = 0;
  // A message with an OK button only, titled with the program's name.
  virtual void ShowFlashRequired(const std::string& message) = 0;
  // The player (it exists once the folders do; its window may not be loaded yet).
  virtual Player& ThePlayer() = 0;
  // Loads the player window (which runs Player::Load); false when it failed.
  virtual bool LoadPlayerWindow() = 0;
  virtual void ProcessEvents() = 0;
  // Shows the player window and applies its skin.
  virtual void ShowPlayerWindow() = 0;
  virtual bool SkinLoaded() = 0;
  virtual void WebUpdate() = 0;
  virtual void ShowIntro() = 0;
};

enum class StartUpResult {
  HandedOver,     // a first instance took the command line; end at once
  FlashRequired,  // the control is missing or too old; the player quit
  Running,        // the player window is up
  Failed,         // an unexpected error stopped start-up (reported to the log)
};

// The lowest major version of the Flash control the program runs with.
inline constexpr int kRequiredFlashMajor = 23;

// Runs start-up for commandLine (the text after the program path).
StartUpResult StartUp(const std::string& commandLine, StartUpHost& host, core::OptionsStore& options,
                      core::ExecutionLog& log);

// The text shown when the control is missing or older than kRequiredFlashMajor.
std::string FlashRequiredMessage(int major);

}  // namespace vantrel::player
