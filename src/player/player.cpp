// The player's playback commands, window sizing and full-screen states.
#include "player/player.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/language.h"
#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "media/identify.h"
#include "media/projector.h"
#include "player/rounding.h"

namespace vantrel::player {

std::string ProductWebHost(const core::Languages* languages) {
  const std::string overridden = core::EnvText("VANTREL_WEB_HOST");
  if (!overridden.empty()) return overridden;
  if (languages) return languages->LangText("PLAYER/MNUWEB", kDefaultWebHost);
  return std::string(kDefaultWebHost);
}

Player::Player(PlayerServices services)
    : services_(std::move(services)),
      menus_(BuildPlayerMenus()),
      recent_(services_.paths.LastPlayedPath),
      generator_(static_cast<std::mt19937::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count())) {
  if (!services_.identify) {
    services_.identify = [](media::MediaContext& context, const std::string& path, media::MediaRecord& record) {
      return media::IdentifyMedia(context, path, record, false);
    };
  }
  if (!services_.isGenericProjector) {
    services_.isGenericProjector = [](const std::string& path) { return media::IsFlashProjector(path); };
  }
  if (!services_.random) {
    services_.random = [this] { return std::uniform_real_distribution<double>(0.0, 1.0)(generator_); };
  }
  menus_.SetCaption("mnuWeb", ProductWebHost(services_.languages));
  RegisterScriptOperations();
}

void Player::Log(std::string_view line) {
  if (services_.log) services_.log->WriteLog(line, true);
  if (services_.logObserver) services_.logObserver(line);
}

std::string Player::LangText(std::string_view key, std::string_view defaultText) const {
  if (services_.languages) return services_.languages->LangText(key, defaultText);
  return std::string(defaultText);
}

bool Player::OptionBool(std::string_view section, std::string_view key) {
  return services_.options->ReadBoolOption(section, key);
}

void Player::CheckRadio(std::string_view name, int count, int checkedIndex) {
  for (int i = 0; i < count; ++i) menus_.SetChecked(name, i, i == checkedIndex);
}

// ---- Playback ---------------------------------------------------------------------

void Player::PlayMedia() {
  services_.flash->SetVariable("playing", "1");
  services_.flash->Play();
}

void Player::PauseMedia() {
  services_.flash->SetVariable("playing", "0");
  services_.flash->Stop();
  menus_.SetChecked("mnuNonStop", false);
}

void Player::PlayPauseMedia() {
  if (services_.flash->Playing()) PauseMedia();
  else PlayMedia();
}

void Player::StopMedia() { services_.flash->Rewind(); }

void Player::GoToFrame(float position) {
  const bool playing = services_.flash->Playing();
  if (record_.IsVideo) {
    const double perMille = std::floor(static_cast<double>(position) * 1000.0);
    services_.flash->SetVariable("seeking", std::to_string(static_cast<long long>(perMille)));
  }
  services_.flash->GotoFrame(RoundHalfEven(static_cast<double>(position) * services_.flash->TotalFrames()));
  if (playing) services_.flash->Play();
  else services_.flash->Stop();
}

void Player::FFwd() {
  const bool playing = services_.flash->Playing();
  services_.flash->GotoFrame(RoundHalfEven(services_.flash->CurrentFrame() + static_cast<double>(record_.FrameRate)));
  services_.flash->SetPlaying(playing);
}

void Player::Rwd() {
  const bool playing = services_.flash->Playing();
  services_.flash->GotoFrame(RoundHalfEven(services_.flash->CurrentFrame() - static_cast<double>(record_.FrameRate)));
  services_.flash->SetPlaying(playing);
}

float Player::MoviePercent() {
  const std::int32_t total = services_.flash->TotalFrames();
  if (total < 2) return 0.0f;
  return static_cast<float>(services_.flash->CurrentFrame()) / static_cast<float>(total - 1);
}

void Player::SetQuality(const std::string& quality) {
  const int count = menus_.ArrayCount("mnuQLvl");
  for (int i = 0; i < count; ++i) menus_.SetChecked("mnuQLvl", i, false);
  services_.flash->SetQuality2(quality);
}

void Player::SetScaleMode(std::int32_t mode) {
  services_.flash->SetScaleMode(mode);
  CheckRadio("mnuSMode", menus_.ArrayCount("mnuSMode"), services_.flash->ScaleMode());
}

void Player::SetSound(std::int32_t volume, std::int32_t pan) {
  volume_ = std::clamp(volume, 0, 100);
  pan_ = std::clamp(pan, -100, 100);
  // A blank record (nothing loaded, or a video) has no colour to give back.
  if (!record_.BackColor.empty()) services_.flash->SetBGColor(record_.BackColor);
}

void Player::MuteSound(bool mute) {
  menus_.SetChecked("mnuMute", mute);
  menus_.SetChecked("mnuPopMute", mute);
  // Every mute saves the present volume, also a mute while muted (which saves the
  // silence: unmuting then stays silent until the volume is raised).
  if (mute) {
    savedVolume_ = volume_;
    volume_ = 0;
  } else {
    volume_ = savedVolume_;
  }
  SetSound(volume_, 0);
  mute_ = mute;
}

void Player::SetFlashAlpha(std::int32_t alpha) {
  // The movie itself fades into its background colour; the window stays opaque, so the
  // movie is dimmed once, by the chosen amount.
  services_.flash->SetVariable("_alpha", std::to_string(alpha));
  menus_.SetChecked("mnuOpFull", alpha == 100);
  menus_.SetChecked("mnuOpSign", alpha == 75);
  menus_.SetChecked("mnuOpMed", alpha == 50);
  menus_.SetChecked("mnuOpSlite", alpha == 25);
  flashAlpha_ = alpha;
}

void Player::ToggleTimeMode() { timeMode_ = timeMode_ >= kFramesRemaining ? kTimeElapsed : timeMode_ + 1; }

void Player::ZoomFlash(std::int32_t percent, std::int32_t repeatCount) {
  // Each pass sizes the window once; the repeat passes catch chrome (skin margins)
  // that changed with the new size.
  for (int pass = 0; pass < 256; ++pass) {
    if (services_.window->State() != WindowState::Normal) return;
    menus_.SetChecked("mnuKeepSize", false);
    std::int32_t width = 0, height = 0;
    // Nothing loaded yet (or only a failed load): there is no movie size to zoom to,
    // and the window keeps the size it has.
    if (percent > 0 && (record_.Width <= 0 || record_.Height <= 0)) return;
    if (percent > 0) {
      width = RoundHalfEven(static_cast<double>(record_.Width) * percent / 100.0);
      height = RoundHalfEven(static_cast<double>(record_.Height) * percent / 100.0);
    } else {
      const ViewSize view = services_.window->View();
      width = view.width;
      height = view.height;
      repeatCount = 0;
    }
    const WindowMargins margins = services_.window->FrameMargins();
    const WindowRect screen = services_.window->ScreenArea();
    WindowRect rect = services_.window->Geometry();
    rect.width = std::min(width + margins.left + margins.right, screen.width);
    rect.height = std::min(height + margins.top + margins.bottom, screen.height);
    if (OptionBool("Window", "Centered")) {
      rect.left = screen.left + (screen.width - rect.width) / 2;
      rect.top = screen.top + (screen.height - rect.height) / 2;
    }
    services_.window->SetGeometry(rect);
    if (repeatCount <= 0) return;
    --repeatCount;
  }
}

void Player::CenterWindow() {
  if (services_.window->State() != WindowState::Normal || !OptionBool("Window", "Centered")) return;
  const WindowRect screen = services_.window->ScreenArea();
  WindowRect rect = services_.window->Geometry();
  rect.left = screen.left + (screen.width - rect.width) / 2;
  rect.top = screen.top + (screen.height - rect.height) / 2;
  services_.window->SetGeometry(rect);
}

void Player::CheckZoomItems() {
  const ViewSize view = services_.window->View();
  const std::int64_t w = record_.Width, h = record_.Height;
  const bool known = w > 0 && h > 0;
  menus_.SetChecked("mnuZoom100", known && view.width == w && view.height == h);
  menus_.SetChecked("mnuZoom200", known && view.width == 2 * w && view.height == 2 * h);
  menus_.SetChecked("mnuZoom50", known && 2 * static_cast<std::int64_t>(view.width) == w &&
                                     2 * static_cast<std::int64_t>(view.height) == h);
}

void Player::ZoomWindow(std::int32_t mode) {
  if (mode == 0) {
    services_.window->SetState(WindowState::Normal);
  } else if (mode == 1) {
    services_.window->SetState(WindowState::Maximized);
  } else {
    const bool maximized = services_.window->State() == WindowState::Maximized;
    services_.window->SetState(maximized ? WindowState::Normal : WindowState::Maximized);
  }
}

void Player::ShowMenuBar(bool show) {
  for (const int position : menus_.Children(-1)) {
    const MenuItem& item = menus_.Items()[static_cast<std::size_t>(position)];
    if (item.kind == MenuKind::Menu && item.name.rfind("Menu", 0) == 0) menus_.SetVisible(item.name, show);
  }
  services_.window->SetMenuBarVisible(show);
}

void Player::MenuVisible(bool visible) {
  menus_.SetChecked("mnuMenuBar", visible);
  if (menuBarHidden_ == !visible) return;
  menuBarHidden_ = !visible;
  ShowMenuBar(visible);
}

void Player::FullScreen(bool full, bool force, bool interfaceOnly) {
  if (menus_.Checked("mnuFullScreen") == full && !force) return;
  WindowPort& window = *services_.window;
  menus_.SetChecked("mnuHideUI", full);
  ShowMenuBar(!full);
  window.SetFrameless(full);
  if (!interfaceOnly) {
    menus_.SetChecked("mnuFullScreen", full);
    menus_.SetChecked("mnuPopFullScreen", full);
    menus_.SetEnabled("mnuHideUI", !full);
  }
  window.SetPlaylistPaneVisible(!full && menus_.Checked("mnuPlaylist") && !browserMode_);
  if (interfaceOnly) {
    window.SetSkinView(full ? "viewFullScreen" : "viewNormal");
    if (!full) window.ShowFullScreenControls();
    window.UpdateSkin();
    ZoomFlash(0, 1);
  } else if (full) {
    wasMaximized_ = window.State() == WindowState::Maximized;
    window.SetSkinView("viewFullScreen");
    if (wasMaximized_) window.SetState(WindowState::Normal);
    window.SetState(WindowState::Maximized);
  } else {
    window.SetSkinView("viewNormal");
    window.ShowFullScreenControls();
    window.SetState(wasMaximized_ ? WindowState::Maximized : WindowState::Normal);
    if (!menus_.Checked("mnuKeepSize") && pendingZoom_) {
      pendingZoom_ = false;
      ZoomFlash(100, 1);
    }
  }
  if (interfaceOnly || !window.SkinLoaded()) window.UpdateSkin();
  window.ProcessEvents();
}

void Player::GoWeb(const std::string& page) {
  services_.shell->Open("http://" + ProductWebHost(services_.languages) + "/" + page);
}

void Player::HelpMe() { services_.host->OpenHelp(""); }

void Player::OnReadyStateChange(std::int32_t state) {
  if (state == 4 && !record_.BackColor.empty()) services_.flash->SetBGColor(record_.BackColor);
}

// ---- The update tick ---------------------------------------------------------------

void Player::UpdateTick() {
  if (!timerRunning_) return;
  FlashPort& flash = *services_.flash;

  std::int32_t frame = 0;
  if (record_.IsVideo) {
    const double seconds = ReadDecimal(flash.GetVariable("myVideo.playheadTime"));
    frame = RoundHalfEven(seconds * static_cast<double>(record_.FrameRate));
    if (record_.FrameCount > 0) {
      const double share = static_cast<double>(frame) / record_.FrameCount;
      flash.GotoFrame(RoundHalfEven(share * (flash.TotalFrames() - 1)));
    }
    flash.SetPlaying(flash.GetVariable("playing") == "1");
  } else {
    frame = flash.FrameNum();
  }

  ++usageTicks_;

  const bool frames = timeMode_ == kFrameCurrent || timeMode_ == kFramesRemaining;
  const std::string label = frames ? LangText("Player/strFrame", "Frame") : LangText("Player/strTime", "Time");
  texts_ = BuildDisplayTexts(timeMode_, frame, record_.FrameCount, static_cast<double>(record_.FrameRate), label);

  if (EndOfMovie()) return;

  UpdatePlaybackCaption();
  UpdateQualityChecks();
  services_.window->RefreshPlayback();
}

bool Player::EndOfMovie() {
  FlashPort& flash = *services_.flash;
  // The last frame counts also when it showed between two ticks: a movie that loops
  // by itself is at its last frame only for a frame's time.
  const bool atEnd = flash.PassedLastFrame() || flash.FrameNum() + 1 == flash.TotalFrames();
  if (!atEnd || playlist_.Empty() || ownMovie_) return false;
  switch (repeatMode_) {
    case 0:
      // A one-frame movie is at its end from the start; non-stop play leaves it on
      // screen (as Repeat One leaves it alone) rather than skip it at the first tick.
      if (menus_.Checked("mnuNonStop") && playlist_.Current() < playlist_.LastIndex() && flash.TotalFrames() > 1) {
        PlayNext();
        return true;
      }
      return false;
    case 1:
      if (flash.TotalFrames() > 1) {
        flash.Rewind();
        flash.Play();
        return true;
      }
      return false;
    case 2:
      PlayNext();
      return true;
    default:
      return false;
  }
}

void Player::UpdatePlaybackCaption() {
  if (services_.flash->Playing()) {
    menus_.SetCaption("mnuPlay", LangText("Player/mnuPause", "Pause"));
    return;
  }
  // A movie that stopped itself keeps going in non-stop play.
  if (menus_.Checked("mnuNonStop")) services_.flash->Play();
  menus_.SetCaption("mnuPlay", LangText("Player/mnuPlay", "Play"));
}

void Player::UpdateQualityChecks() {
  const std::string quality = services_.flash->Quality2();
  const int count = menus_.ArrayCount("mnuQLvl");
  for (int i = 0; i < count; ++i) {
    const MenuItem* item = menus_.Get("mnuQLvl", i);
    if (item && item->kind != MenuKind::Separator) menus_.SetChecked("mnuQLvl", i, item->tag == quality);
  }
}

}  // namespace vantrel::player
