// The player's public operations as the statement interpreter sees them: each under
// its own name with its parameter types, so "/exec" statements and tip actions can
// call them.
#include "player/player.h"

namespace vantrel::player {

void Player::RegisterScriptOperations() {
  using T = ScriptType;
  const ScriptParameter number{T::Number};
  const ScriptParameter text{T::Text};
  const ScriptParameter boolean{T::Boolean};
  const ScriptParameter optionalFalse{T::Boolean, true, ScriptValue::OfBool(false)};
  const ScriptParameter optionalZero{T::Number, true, ScriptValue::Of(0.0)};
  const ScriptParameter optionalText{T::Text, true, ScriptValue::Of(std::string())};
  ScriptHost& s = script_;

  s.Add("PlayMedia", {}, [this](const ScriptArgs&) { PlayMedia(); });
  s.Add("PauseMedia", {}, [this](const ScriptArgs&) { PauseMedia(); });
  s.Add("PlayPauseMedia", {}, [this](const ScriptArgs&) { PlayPauseMedia(); });
  s.Add("StopMedia", {}, [this](const ScriptArgs&) { StopMedia(); });
  s.Add("GoToFrame", {number}, [this](const ScriptArgs& a) { GoToFrame(static_cast<float>(a.Number(0))); });
  s.Add("FFwd", {}, [this](const ScriptArgs&) { FFwd(); });
  s.Add("Rwd", {}, [this](const ScriptArgs&) { Rwd(); });
  s.Add("MoviePercent", {}, [this](const ScriptArgs&) { MoviePercent(); });
  s.Add("SetQuality", {text}, [this](const ScriptArgs& a) { SetQuality(a.Text(0)); });
  s.Add("SetScaleMode", {number}, [this](const ScriptArgs& a) { SetScaleMode(a.Whole(0)); });
  s.Add("SetSound", {number, number}, [this](const ScriptArgs& a) { SetSound(a.Whole(0), a.Whole(1)); });
  s.Add("MuteSound", {boolean}, [this](const ScriptArgs& a) { MuteSound(a.Boolean(0)); });
  s.Add("SetFlashAlpha", {number}, [this](const ScriptArgs& a) { SetFlashAlpha(a.Whole(0)); });
  s.Add("ToggleTimeMode", {}, [this](const ScriptArgs&) { ToggleTimeMode(); });
  s.Add("ZoomFlash", {number, optionalZero}, [this](const ScriptArgs& a) { ZoomFlash(a.Whole(0), a.Whole(1)); });
  s.Add("ZoomWindow", {number}, [this](const ScriptArgs& a) { ZoomWindow(a.Whole(0)); });
  s.Add("FullScreen", {boolean, optionalFalse, optionalFalse},
        [this](const ScriptArgs& a) { FullScreen(a.Boolean(0), a.Boolean(1), a.Boolean(2)); });
  s.Add("MenuVisible", {boolean}, [this](const ScriptArgs& a) { MenuVisible(a.Boolean(0)); });
  s.Add("GoWeb", {optionalText}, [this](const ScriptArgs& a) { GoWeb(a.Text(0)); });
  s.Add("HelpMe", {}, [this](const ScriptArgs&) { HelpMe(); });

  s.Add("LoadFlash", {text, optionalText, optionalFalse}, [this](const ScriptArgs& a) {
    std::string path = a.Text(0);
    std::string caption = a.Text(1);
    LoadFlash(path, caption, a.Boolean(2));
  });
  s.Add("OpenMovie", {text}, [this](const ScriptArgs& a) { OpenMovie(a.Text(0)); });
  s.Add("OpenMedia", {boolean}, [this](const ScriptArgs& a) { OpenMedia(a.Boolean(0)); });
  s.Add("BrowseMedia", {}, [this](const ScriptArgs&) { BrowseMedia(); });
  s.Add("AddToPlaylist", {text, optionalZero}, [this](const ScriptArgs& a) { AddToPlaylist(a.Text(0), a.Whole(1)); });
  s.Add("SavePlaylist", {text}, [this](const ScriptArgs& a) { SavePlaylist(a.Text(0)); });
  s.Add("ClearPlaylist", {}, [this](const ScriptArgs&) { ClearPlaylist(); });
  s.Add("StartPlayList", {}, [this](const ScriptArgs&) { StartPlayList(); });
  s.Add("PlayNext", {}, [this](const ScriptArgs&) { PlayNext(); });
  s.Add("PlayPrev", {}, [this](const ScriptArgs&) { PlayPrev(); });
  s.Add("PlayRandom", {}, [this](const ScriptArgs&) { PlayRandom(); });
  s.Add("SetRepeatMode", {number}, [this](const ScriptArgs& a) { SetRepeatMode(a.Whole(0)); });
  s.Add("TogglePlaylist", {number}, [this](const ScriptArgs& a) { TogglePlaylist(a.Whole(0)); });

  s.Add("Quit", {text, boolean}, [this](const ScriptArgs& a) { Quit(a.Text(0), a.Boolean(1)); });
  s.Add("Uninstall", {}, [this](const ScriptArgs&) { Uninstall(); });
}

}  // namespace vantrel::player
