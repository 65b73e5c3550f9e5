// The options binding: reading the options into the running player (each value applied
// right after it is read) and writing them back from the menu checks and player state.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "core/language.h"
#include "core/options.h"
#include "core/text.h"
#include "core/version.h"
#include "player/player.h"
#include "player/rounding.h"

namespace vantrel::player {

namespace {

// Options written by the Parts that own them, never by SaveOpts.
bool SkippedOnSave(const core::OptionDef& option) {
  const auto is = [&](std::string_view section, std::string_view key) {
    return core::EqualsNoCase(option.section, section) && core::EqualsNoCase(option.key, key);
  };
  if (option.rule == core::DefaultRule::None) return true;  // ThemeHash, Projector
  if (core::EqualsNoCase(option.section, "Desktop") || core::EqualsNoCase(option.section, "ScreenSaver")) return true;
  return is("System", "FirstRun") || is("Update", "Date") || is("Window", "hWnd");
}

}  // namespace

void Player::LoadOpts() {
  Log("");
  Log(" :: Load Options");
  core::OptionsStore& store = *services_.options;

  SetQuality(store.ReadTextOption("View", "Quality"));
  SetScaleMode(store.ReadNumberOption("View", "ScaleMode"));
  SetFlashAlpha(store.ReadNumberOption("View", "FlashAlpha"));
  TogglePlaylist(store.ReadBoolOption("View", "Playlist") ? 2 : 0);
  const bool hideUI = store.ReadBoolOption("View", "HideUI");
  menus_.SetChecked("mnuHideUI", hideUI);
  FullScreen(hideUI, true, true);

  SetRepeatMode(std::clamp(store.ReadNumberOption("Playback", "RepeatMode"), 0, 2));
  menus_.SetChecked("mnuNonStop", store.ReadBoolOption("Playback", "NonStop"));
  menus_.SetChecked("mnuShuffle", store.ReadBoolOption("Playback", "Shuffle"));

  const bool forward = store.ReadBoolOption("Browser", "SortForward");
  menus_.SetChecked("mnuSortForward", forward);
  menus_.SetChecked("mnuSortBack", !forward);
  const std::string sortBy = store.ReadTextOption("Browser", "SortBy");
  for (const char* sort : {"mnuSortName", "mnuSortType", "mnuSortSize", "mnuSortDate"})
    menus_.SetChecked(sort, menus_.Tag(sort) == sortBy);
  menus_.SetChecked("mnuShowFolder", store.ReadBoolOption("Browser", "ShowFolder"));
  menus_.SetChecked("mnuShowVideo", store.ReadBoolOption("Browser", "ShowVideo"));
  menus_.SetChecked("mnuShowMovie", store.ReadBoolOption("Browser", "ShowMovie"));
  menus_.SetChecked("mnuShowProjector", store.ReadBoolOption("Browser", "ShowProjector"));

  volume_ = std::clamp(store.ReadNumberOption("Sound", "Volume"), 0, 100);
  pan_ = std::clamp(store.ReadNumberOption("Sound", "Pan"), -100, 100);
  savedVolume_ = volume_;
  mute_ = false;
  MuteSound(store.ReadBoolOption("Sound", "Mute"));

  menus_.SetChecked("mnuTips", store.ReadBoolOption("System", "Tips"));
  timeMode_ = std::clamp(store.ReadNumberOption("System", "TimeMode"), 0, 3);

  played_ = store.ReadNumberOption("Update", "Played");

  lastFolder_ = store.ReadTextOption("Recent", "");
  recent_ = RecentFiles(services_.paths.LastPlayedPath);
  if (KeepsHistory()) recent_.Load(store);
  SyncRecentMenu();

  const bool topMost = store.ReadBoolOption("Window", "TopMost");
  menus_.SetChecked("mnuTopMost", topMost);
  services_.window->SetTopMost(topMost);
  MenuVisible(store.ReadBoolOption("Window", "MenuBar"));
  menus_.SetChecked("mnuHandyKeys", store.ReadBoolOption("Window", "HandyKeys"));
  menus_.SetChecked("mnuKeepSize", store.ReadBoolOption("Window", "KeepSize"));
  menus_.SetChecked("mnuAspectRatio", store.ReadBoolOption("Window", "AspectRatio"));
  ApplyWindowPlacement();
}

void Player::ApplyWindowPlacement() {
  if (services_.window->State() != WindowState::Normal) return;
  core::OptionsStore& store = *services_.options;
  const WindowRect present = services_.window->Geometry();
  WindowRect rect;
  rect.left = store.ReadNumber("Window", "Left", present.left * kTwipsPerPixel) / kTwipsPerPixel;
  rect.top = store.ReadNumber("Window", "Top", present.top * kTwipsPerPixel) / kTwipsPerPixel;
  rect.width = store.ReadNumber("Window", "Width", present.width * kTwipsPerPixel) / kTwipsPerPixel;
  rect.height = store.ReadNumber("Window", "Height", present.height * kTwipsPerPixel) / kTwipsPerPixel;
  if (rect.width <= 0 || rect.height <= 0) return;
  services_.window->SetGeometry(rect);
}

void Player::SaveOpts() {
  Log("");
  Log(" :: Save Options");
  core::OptionsStore& store = *services_.options;
  store.BeginBatch();

  std::string sortBy = "Name";
  for (const char* sort : {"mnuSortName", "mnuSortType", "mnuSortSize", "mnuSortDate"})
    if (menus_.Checked(sort)) sortBy = menus_.Tag(sort);
  std::int32_t scaleMode = browserMode_ ? browserScaleMode_ : 2;
  if (!browserMode_) {
    for (int i = 0; i < menus_.ArrayCount("mnuSMode"); ++i)
      if (menus_.Checked("mnuSMode", i)) scaleMode = i;
  }
  const auto flag = [](bool value) { return std::string(value ? "True" : "False"); };
  const std::int32_t storedUsage = store.ReadNumberOption("Update", "Usage");
  const std::int32_t usage = storedUsage + RoundHalfEven(0.3 * usageTicks_);
  usageTicks_ = 0;

  // Values the player itself holds; every other key is written back as the store has it
  // (so defaults become stored values, as a save of every key does).
  std::map<std::string, std::string> state = {
      {"View/Quality", services_.flash->Quality2()},
      {"View/ScaleMode", std::to_string(scaleMode)},
      {"View/FlashAlpha", std::to_string(flashAlpha_)},
      {"View/Playlist", flag(menus_.Checked("mnuPlaylist"))},
      {"View/HideUI", flag(menus_.Checked("mnuHideUI") && !menus_.Checked("mnuFullScreen"))},
      {"Playback/RepeatMode", std::to_string(repeatMode_)},
      {"Playback/NonStop", flag(menus_.Checked("mnuNonStop"))},
      {"Playback/Shuffle", flag(menus_.Checked("mnuShuffle"))},
      {"Browser/SortForward", flag(menus_.Checked("mnuSortForward"))},
      {"Browser/SortBy", sortBy},
      {"Browser/ShowFolder", flag(menus_.Checked("mnuShowFolder"))},
      {"Browser/ShowVideo", flag(menus_.Checked("mnuShowVideo"))},
      {"Browser/ShowMovie", flag(menus_.Checked("mnuShowMovie"))},
      {"Browser/ShowProjector", flag(menus_.Checked("mnuShowProjector"))},
      // A muted player keeps the volume it will give back.
      {"Sound/Volume", std::to_string(mute_ ? savedVolume_ : volume_)},
      {"Sound/Pan", std::to_string(pan_)},
      {"Sound/Mute", flag(mute_)},
      {"System/Tips", flag(menus_.Checked("mnuTips"))},
      {"System/TimeMode", std::to_string(timeMode_)},
      // The update check may have raised the known build past ours ("do not remind me").
      {"Update/Build", std::to_string(std::max(store.ReadNumberOption("Update", "Build"), core::kBuildNumber))},
      {"Update/Usage", std::to_string(usage)},
      {"Update/Played", std::to_string(played_)},
      {"Recent/", lastFolder_},
      {"Window/TopMost", flag(menus_.Checked("mnuTopMost"))},
      {"Window/MenuBar", flag(menus_.Checked("mnuMenuBar"))},
      {"Window/HandyKeys", flag(menus_.Checked("mnuHandyKeys"))},
      {"Window/KeepSize", flag(menus_.Checked("mnuKeepSize"))},
      {"Window/AspectRatio", flag(menus_.Checked("mnuAspectRatio"))},
      {"Window/State", std::to_string(static_cast<int>(services_.window->State()))},
  };
  // The language chosen in the menu is kept from the next save on.
  if (const core::Languages* languages = services_.languages;
      languages && languages->Current() < languages->Table().size())
    state["System/Language"] = languages->Table()[languages->Current()].FileBase;
  const bool normal = services_.window->State() == WindowState::Normal;
  if (normal) {
    const WindowRect rect = services_.window->Geometry();
    state["Window/Left"] = std::to_string(rect.left * kTwipsPerPixel);
    state["Window/Top"] = std::to_string(rect.top * kTwipsPerPixel);
    state["Window/Width"] = std::to_string(rect.width * kTwipsPerPixel);
    state["Window/Height"] = std::to_string(rect.height * kTwipsPerPixel);
  }

  for (const core::OptionDef& option : core::OptionTable()) {
    if (SkippedOnSave(option)) continue;
    const std::string key = std::string(option.section) + "/" + std::string(option.key);
    std::string value;
    if (const auto found = state.find(key); found != state.end()) {
      value = found->second;
    } else if (option.rule == core::DefaultRule::WindowPresent) {
      continue;  // position and size are written only from a normal window
    } else {
      value = store.ReadOption(option);
    }
    if (option.kind == core::OptionKind::Number) {
      store.WriteNumber(option.section, option.key, RoundHalfEven(ReadDecimal(value)));
    } else {
      store.WriteText(option.section, option.key, value);
    }
  }
  // With the history off the list is forgotten, here and in the stored options.
  if (!KeepsHistory() && !recent_.Entries().empty()) {
    recent_ = RecentFiles(services_.paths.LastPlayedPath);
    SyncRecentMenu();
  }
  recent_.Save(store);
  store.EndBatch();
}

}  // namespace vantrel::player
