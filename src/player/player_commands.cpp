// Commands that reach the player from outside the playback road: the movie-command
// bridge, menu clicks and the preparation of pop-up menus.
#include "core/options.h"
#include "core/text.h"
#include "player/player.h"
#include "player/playlist_file.h"
#include "player/rounding.h"

namespace vantrel::player {

namespace {

// A movie's Boolean argument: "true"/"false" in any case, or a number (not 0 is true).
// Anything else is not a Boolean.
bool ReadBoolText(const std::string& text, bool& value) {
  std::string_view trimmed(text);
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  if (core::EqualsNoCase(trimmed, "true")) {
    value = true;
    return true;
  }
  if (core::EqualsNoCase(trimmed, "false")) {
    value = false;
    return true;
  }
  if (trimmed.empty()) return false;
  const char first = trimmed.front();
  if (!(first == '-' || first == '+' || first == '.' || (first >= '0' && first <= '9'))) return false;
  value = ReadDecimal(trimmed) != 0.0;
  return true;
}

}  // namespace

void Player::FSCommand(const std::string& command, const std::string& arguments) {
  const std::string name = core::UpperAscii(command);
  const bool obey = OptionBool("System", "FSCommand");

  if (name == "MEOWLOG") {
    Log("Media debug :: " + arguments);
  } else if (name == "MEOWMSG") {
    services_.dialogs->ShowMessage(arguments, "Media Debug", {"OK"}, "");
  } else if (name == "MEOWOPEN") {
    OpenMedia(true);
  } else if (name == "MEOWHELP") {
    HelpMe();
  } else if (name == "MEOWUPDATE") {
    services_.host->WebUpdate(false);
  } else if (name == "MEOWLOAD") {
    ClearPlaylist();
    AddToPlaylist(arguments, 0);
    PlayItem(0);
  } else if (name == "GOWEB") {
    GoWeb("");
  } else if (name == "BROWSESCROLL") {
    browseScroll_ = RoundHalfEven(ReadDecimal(arguments));
  } else if (name == "SHOTCLICK") {
    const std::int32_t item = RoundHalfEven(ReadDecimal(arguments));
    const std::vector<BrowserItem> items = services_.browser->Items();
    if (item < 1 || item > static_cast<std::int32_t>(items.size())) return;
    const BrowserItem& chosen = items[static_cast<std::size_t>(item - 1)];
    if (chosen.kind == kBrowserFolder) {
      services_.browser->ShowFolder(chosen.path, true);
      return;
    }
    ClearPlaylist();
    AddToPlaylist(chosen.path, 0);
    PlayItem(0);
  } else if (name == "SHOTOVER") {
    const std::int32_t item = RoundHalfEven(ReadDecimal(arguments));
    if (item >= 0 && item <= static_cast<std::int32_t>(services_.browser->Items().size())) hoveredItem_ = item;
  } else if (name == "MEOWSEARCH") {
    services_.browser->ShowFolder(arguments, !arguments.empty());
  } else if (name == "MEOWUP") {
    services_.browser->GoLevelUp();
  } else if (name == "MEOWBROWSE") {
    const std::string folder = services_.dialogs->ChooseFolder(
        LangText("Player/strSelFolder", "Select Folder to Browse Media in:"), arguments.empty() ? lastFolder_ : arguments);
    if (!folder.empty()) services_.browser->ShowFolder(folder, true);
  } else if (name == "FULLSCREEN") {
    bool full = false;
    if (obey && ReadBoolText(arguments, full)) FullScreen(full, false, false);
  } else if (name == "EXEC") {
    Log("Movie opened: '" + arguments + "'");
    if (obey) services_.shell->Open(arguments);
  } else if (name == "QUIT") {
    if (obey) Quit("Movie Request", true);
  }
}

bool Player::MenuClick(std::string_view name, int index) {
  if (const MenuItem* item = menus_.Get(name, index); item && !item->available) return true;
  const auto is = [&](std::string_view candidate) { return name == candidate; };
  const auto toggle = [&](std::string_view item) {
    menus_.SetChecked(item, !menus_.Checked(item));
    return true;
  };

  if (is("mnuOpen") || is("mnuPopOpen")) OpenMedia(true);
  else if (is("mnuAddtoPL") || is("mnuPLadd")) OpenMedia(false);
  else if (is("mnuPLaddFolder")) {
    const std::string folder = services_.dialogs->ChooseFolder(
        LangText("Player/strAddFolder", "Select a folder you would like to add to Playlist:"), lastFolder_);
    if (!folder.empty()) AddToPlaylist(folder, 0);
  } else if (is("mnuSavePL")) {
    Log(" :: Open Save PL Dialog");
    const std::string target = services_.dialogs->SaveFile(
        LangText("Player/mnuSavePL", "Save Playlist..."),
        {{LangText("BrowseMedia/strPlaylist", "Flash Playlist"), "*" + std::string(kPlaylistExtension)}},
        lastFolder_);
    if (!target.empty()) SavePlaylist(target);
  } else if (is("mnuExit") || is("mnuPopExit")) Quit("Exit", true);
  else if (is("mnuPlay") || is("mnuPopPlay")) PlayPauseMedia();
  else if (is("mnuStop") || is("mnuPopStop")) StopMedia();
  else if (is("mnuFFwd")) services_.flash->Forward();
  else if (is("mnuRwd")) services_.flash->Back();
  else if (is("mnuVolumeUp")) SetSound(volume_ + 10, 0);
  else if (is("mnuVolumeDown")) SetSound(volume_ - 10, 0);
  else if (is("mnuMute") || is("mnuPopMute")) {
    const bool mute = !menus_.Checked("mnuMute");
    menus_.SetChecked("mnuMute", mute);
    MuteSound(mute);
  } else if (is("mnuQLvl")) {
    if (const MenuItem* item = menus_.Get("mnuQLvl", index); item && item->kind != MenuKind::Separator)
      SetQuality(item->tag);
  } else if (is("mnuPopHQ")) SetQuality(menus_.Tag("mnuQLvl", 0));
  else if (is("mnuPopLQ")) SetQuality(menus_.Tag("mnuQLvl", 2));
  else if (is("mnuSMode")) SetScaleMode(index);
  else if (is("mnuZoom50")) ZoomFlash(50, 1);
  else if (is("mnuZoom100")) ZoomFlash(100, 1);
  else if (is("mnuZoom200")) ZoomFlash(200, 1);
  else if (is("mnuOpFull")) SetFlashAlpha(100);
  else if (is("mnuOpSign")) SetFlashAlpha(75);
  else if (is("mnuOpMed")) SetFlashAlpha(50);
  else if (is("mnuOpSlite")) SetFlashAlpha(25);
  else if (is("mnuTopMost")) {
    toggle("mnuTopMost");
    services_.window->SetTopMost(menus_.Checked("mnuTopMost"));
  } else if (is("mnuKeepSize") || is("mnuAspectRatio") || is("mnuShuffle") || is("mnuNonStop") || is("mnuTips") ||
             is("mnuHandyKeys"))
    toggle(name);
  else if (is("mnuShowMovie") || is("mnuShowProjector") || is("mnuShowVideo") || is("mnuShowFolder")) {
    toggle(name);
    // The page shows the new choice at once.
    if (browserMode_) services_.browser->BrowseMedia();
  }
  else if (is("mnuMenuBar")) MenuVisible(!menus_.Checked("mnuMenuBar"));
  else if (is("mnuHideUI")) {
    if (menus_.Checked("mnuFullScreen")) return true;
    const bool hide = !menus_.Checked("mnuHideUI");
    if (hide) services_.host->OfferTip("mnuHideUI_Click");
    FullScreen(hide, true, true);
  } else if (is("mnuFullScreen") || is("mnuPopFullScreen")) FullScreen(!menus_.Checked("mnuFullScreen"), false, false);
  else if (is("mnuPlayNext")) PlayNext();
  else if (is("mnuPlayPrev")) PlayPrev();
  else if (is("mnuPlaylist")) TogglePlaylist(1);
  else if (is("mnuRepeatMode")) SetRepeatMode(index);
  else if (is("mnuRemove")) RemoveLines(services_.window->PlaylistSelection());
  else if (is("mnuRemoveAll")) ClearPlaylist();
  else if (is("mnuMoveUp") || is("mnuMoveDown")) {
    const std::vector<std::int32_t> selection = services_.window->PlaylistSelection();
    if (selection.empty()) return true;
    const std::int32_t delta = is("mnuMoveUp") ? -1 : 1;
    MoveItem(selection.front(), delta);
    services_.window->SelectPlaylistLine(selection.front() + delta);
  } else if (is("mnuMRU")) {
    const MenuItem* item = menus_.Get("mnuMRU", index);
    if (item && item->enabled) OpenMovie(item->caption);
  } else if (is("mnuSortName") || is("mnuSortType") || is("mnuSortSize") || is("mnuSortDate")) {
    for (const char* sort : {"mnuSortName", "mnuSortType", "mnuSortSize", "mnuSortDate"})
      menus_.SetChecked(sort, name == sort);
    if (browserMode_) services_.browser->BrowseMedia();
  } else if (is("mnuSortForward") || is("mnuSortBack")) {
    menus_.SetChecked("mnuSortForward", is("mnuSortForward"));
    menus_.SetChecked("mnuSortBack", is("mnuSortBack"));
    if (browserMode_) services_.browser->BrowseMedia();
  } else if (is("mnuBrowse") || is("mnuPopBrowse")) BrowseMedia();
  else if (is("mnuBrowseUp")) services_.browser->GoLevelUp();
  else if (is("mnuShowExplorer")) {
    // The folder that holds the movie (the browsed folder while the browser shows).
    const std::string& path = browserMode_ || record_.SourcePath.empty() ? lastFolder_ : record_.SourcePath;
    const std::size_t slash = path.find_last_of('/');
    if (!path.empty()) services_.shell->Open(slash == std::string::npos ? path : path.substr(0, slash + 1));
  } else if (is("mnuHelpMe")) HelpMe();
  else if (is("mnuAutomate")) services_.host->OpenHelp("automation");
  else if (is("mnuFeedback")) GoWeb("feedback");
  else if (is("mnuWeb")) GoWeb("");
  else if (is("mnuUpd")) services_.host->WebUpdate(false);
  else return false;
  return true;
}

void Player::PreparePopUp(std::string_view kind) {
  if (kind == "PopUp") {
    const std::string quality = services_.flash->Quality2();
    menus_.SetChecked("mnuPopHQ", quality == "High");
    menus_.SetChecked("mnuPopLQ", quality == "Low");
    menus_.SetCaption("mnuPopPlay", menus_.Caption("mnuPlay"));
    menus_.SetEnabled("mnuPopConvert", menus_.Enabled("mnuConvert"));
    return;
  }
  if (kind != "Playlist") return;
  static constexpr std::string_view kPlaylistItems[] = {"mnuMoveUp", "mnuMoveDown", "mnuRemove",
                                                        "mnuRemoveAll", "mnuPLadd", "mnuPLaddFolder"};
  const int parent = menus_.Find("PupItem");
  for (const int position : menus_.Children(parent)) {
    const MenuItem& item = menus_.Items()[static_cast<std::size_t>(position)];
    if (item.name.empty()) continue;
    bool shown = false;
    for (const std::string_view wanted : kPlaylistItems) shown = shown || item.name == wanted;
    menus_.SetVisible(item.name, item.index, shown);
  }
  const std::vector<std::int32_t> selection = services_.window->PlaylistSelection();
  const std::int32_t line = selection.empty() ? -1 : selection.front();
  menus_.SetEnabled("mnuMoveUp", line > 0);
  menus_.SetEnabled("mnuMoveDown", line >= 0 && line < playlist_.LastIndex());
}

}  // namespace vantrel::player
