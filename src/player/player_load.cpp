// The loading road: from a path (or a "/exec" statement) to a movie playing in the
// control, with the menus set for the kind of movie.
#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/decompress.h"
#include "media/flv.h"
#include "media/media_context.h"
#include "media/movie_facts.h"
#include "player/player.h"

namespace vantrel::player {

namespace {

constexpr std::string_view kExecPrefix = "/exec ";

// The size of the file at path, or -1 when it cannot be read.
long long FileLength(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  return static_cast<long long>(info.st_size);
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool IsWebAddress(std::string_view text) {
  const auto startsWith = [&](std::string_view scheme) {
    return text.size() > scheme.size() && core::EqualsNoCase(text.substr(0, scheme.size()), scheme);
  };
  return startsWith("http://") || startsWith("https://");
}

void Player::BrowseMedia() { services_.browser->BrowseMedia(); }

bool Player::ActsOnVideo(std::string_view name) const {
  if (!record_.IsVideo || ownMovie_) return false;
  static constexpr std::string_view kItems[] = {"mnuPlay",     "mnuStop",       "mnuFFwd", "mnuRwd",
                                                "mnuVolumeUp", "mnuVolumeDown", "mnuMute", "mnuPlayNext",
                                                "mnuPlayPrev"};
  return std::find(std::begin(kItems), std::end(kItems), name) != std::end(kItems);
}

void Player::OpenMovie(const std::string& path) {
  ClearPlaylist();
  AddToPlaylist(path, 0);
  PlayItem(0);
}

void Player::LoadFlash(std::string& path, std::string& caption, bool browserPage) {
  Log("");
  Log(" :: LoadFlash (");

  if (path.size() >= kExecPrefix.size() && core::EqualsNoCase(std::string_view(path).substr(0, 6), kExecPrefix)) {
    // The statement keeps the blank after the command word; line breaks that survived
    // the command line stand for quotes.
    std::string script = path.substr(kExecPrefix.size() - 1);
    for (char& c : script)
      if (c == '\r') c = '"';
    Log("Execute script: " + script);
    const std::string shown = "Execution: " + script + " >> ";
    services_.browser->ShowError(shown);
    const std::string error = script_.Execute(script);
    if (!error.empty()) {
      Log(error);
      services_.browser->ShowError(shown + error);
    }
    return;
  }

  std::erase(path, '"');
  // Whatever loads now replaces a web movie still on its way.
  if (services_.web) services_.web->CancelFetch();
  if (path.empty()) {
    BrowseMedia();
    return;
  }
  if (IsWebAddress(path)) {
    LoadWebMovie(path, caption);
    return;
  }

  std::string file = path;
  std::string query;
  if (const auto mark = path.rfind('?'); mark != std::string::npos) {
    file = path.substr(0, mark);
    query = path.substr(mark);
  }
  ownMovie_ = !services_.paths.FlashPath.empty() &&
              core::UpperAscii(file).find(core::UpperAscii(services_.paths.FlashPath)) != std::string::npos;
  Log(FileNameOf(file) + ")... ");
  timerRunning_ = false;

  try {
    if (!core::FileExists(file)) {
      Log("Not found");
      FailLoad("File Not Found");
      return;
    }
    if (core::FolderExists(file)) {
      services_.browser->ShowFolder(core::AddSlash(file), true);
      return;
    }
    if (FileLength(file) < 8) {
      Log("File is too short!");
      FailLoad("File is Too Small to Be Valid");
      return;
    }

    media::MediaRecord record;
    media::MediaContext& context = *services_.media;
    std::string result = services_.identify(context, file, record);
    if (result.empty() && context.Error.Pending()) result = context.Error.description;
    if (!result.empty()) {
      context.LastError = result;
      FailLoad(result);
      return;
    }

    if (record.IsProjector && OptionBool("System", "RemoveProjectors")) {
      const std::string target = record.SourcePath + ".swf";
      // The projector goes to the trash only once its movie is safely beside it.
      if (services_.shell->MoveFile(record.MoviePath, target)) {
        record.MoviePath = target;
        services_.shell->MoveToTrash(record.SourcePath);
      }
      if (!core::FileExists(record.SourcePath)) {
        std::string movie = target;
        std::string noCaption;
        LoadFlash(movie, noCaption, false);
        return;
      }
    }

    record_ = record;
    isShortMovie_ = record_.FrameCount < 100;
    SetMenuStates(browserPage);

    services_.window->SetAddressBarVisible(browserPage);
    SwitchBrowserMode(browserPage);

    if (!menus_.Checked("mnuFullScreen") && !menus_.Checked("mnuKeepSize") && !browserMode_) {
      ZoomFlash(100, 1);
    } else {
      pendingZoom_ = true;
    }
    CenterWindow();

    FlashPort& flash = *services_.flash;
    flash.SetAlignMode(0);
    // A movie taken out of a projector (or a compressed one) plays from its copy in the
    // cache, but it belongs where its file is: it reads the files beside that file, not
    // the cache's.
    const bool cacheCopy = fetchedAddress_.empty() && !ownMovie_ && !record_.IsVideo && !record_.SourcePath.empty() &&
                           record_.MoviePath != record_.SourcePath;
    flash.SetMovieAddress(cacheCopy ? record_.SourcePath : fetchedAddress_);
    flash.LoadMovie(0, record_.MoviePath + query);
    SetFlashAlpha(flashAlpha_);
    if (!record_.BackColor.empty()) flash.SetBGColor(record_.BackColor);
    flash.SetLoop(false);
    SetSound(volume_, pan_);
    services_.window->LayoutView();

    movieAddress_ = fetchedAddress_.empty() ? record_.SourcePath : fetchedAddress_;
    if (caption.empty()) caption = record_.FileName;
    services_.window->SetCaption(std::string(core::kProductTitle) + " - " + caption);
    title_ = caption;

    timerRunning_ = true;
    if (!ownMovie_) ++played_;
    StopMedia();
    PlayMedia();

    if (!ownMovie_) AddRecent(record_.SourcePath);
    if (services_.window->SkinLoaded()) services_.window->UpdateSkin();
    if (!ownMovie_) ReportIncomplete();
  } catch (const std::exception& error) {
    FailLoad(error.what());
  }
}

// A movie named by a web address is fetched into the cache first; its local copy then
// takes the ordinary road, captioned with the address's file name.
void Player::LoadWebMovie(const std::string& address, const std::string& caption) {
  Log(address + ")... ");
  if (!services_.web) {
    Log("Not found");
    FailLoad("File Not Found");
    return;
  }
  std::string shown = caption;
  if (shown.empty()) {
    const std::string plain = address.substr(0, address.find_first_of("?#"));
    shown = FileNameOf(plain);
    if (shown.empty() || plain.ends_with("/")) shown = plain;
  }
  services_.web->Fetch(address, [this, shown, address](const std::string& path, const std::string& error) {
    if (path.empty()) {
      FailLoad(error);
      return;
    }
    std::string local = path;
    std::string localCaption = shown;
    fetchedAddress_ = address;
    LoadFlash(local, localCaption, false);
    fetchedAddress_.clear();
  });
}

// A movie or video whose file ends before it should plays what there is, and says so.
void Player::ReportIncomplete() {
  const media::TextLookup lookup = [this](std::string_view key, std::string_view fallback) {
    return LangText(key, fallback);
  };
  std::string note;
  if (record_.IsVideo) {
    double available = 0, claimed = 0;
    if (media::VideoEndsEarly(record_.SourcePath, available, claimed))
      note = media::IncompleteVideoText(available, claimed, lookup);
  } else {
    std::uint64_t available = 0, claimed = 0;
    if (media::MovieEndsEarly(record_, available, claimed))
      note = media::IncompleteMovieText(static_cast<double>(available), static_cast<double>(claimed), lookup);
  }
  if (note.empty()) return;
  Log(note);
  services_.window->ShowStatus(note);
}

void Player::FailLoad(const std::string& failure) {
  record_ = media::BlankRecord();
  if (!ownMovie_ && browserMode_) services_.browser->ShowError(failure);
  Log("Failed to load, since " + failure);
}

void Player::SetMenuStates(bool browserPage) {
  const bool movie = !ownMovie_ && !record_.IsVideo;
  menus_.SetEnabled("MenuPlayback", movie);
  menus_.SetEnabled("mnuConvert", movie);
  menus_.SetEnabled("mnuInfo", !ownMovie_);
  menus_.SetEnabled("mnuExportVideo", !ownMovie_ && !record_.SourcePath.empty());
  menus_.SetEnabled("mnuShowExplorer", browserPage || !ownMovie_);
  menus_.SetEnabled("mnuExtract", movie && !services_.host->DialogOpen("frmDecompiler"));
  menus_.SetEnabled("mnuDesktop", movie && !services_.host->DialogOpen("frmDesktop"));
  menus_.SetEnabled("mnuThumbnail", !ownMovie_);
  SetScreenSaverItems();
  menus_.SetVisible("mnuPopPlay", movie);
  menus_.SetVisible("mnuPopStop", movie);
  menus_.SetVisible("mnuPopConvert", movie);
  menus_.SetVisible("mnuPopInfo", !ownMovie_);
  menus_.SetCaption("mnuConvert", record_.IsProjector ? LangText("Player/mnuConvertEXE", "Convert EXE to SWF")
                                                      : LangText("Player/mnuConvert", "Convert to EXE"));
}

void Player::SwitchBrowserMode(bool browserPage) {
  if (browserPage && !browserMode_) {
    menus_.SetEnabled("mnuScale", false);
    browserScaleMode_ = services_.flash->ScaleMode();
    SetScaleMode(3);
    if (services_.window->State() == WindowState::Normal && !menus_.Checked("mnuKeepSize")) {
      WindowRect rect = services_.window->Geometry();
      const WindowRect screen = services_.window->ScreenArea();
      rect.width = std::min(services_.options->ReadNumberOption("Window", "BrowseWidth") / kTwipsPerPixel, screen.width);
      rect.height =
          std::min(services_.options->ReadNumberOption("Window", "BrowseHeight") / kTwipsPerPixel, screen.height);
      services_.window->SetGeometry(rect);
    }
    browserMode_ = true;
  } else if (!browserPage && browserMode_) {
    menus_.SetEnabled("mnuScale", true);
    SetScaleMode(0);
    browserMode_ = false;
  } else {
    return;
  }
  // The page fills the window; the playlist pane comes back with the movies.
  services_.window->SetPlaylistPaneVisible(menus_.Checked("mnuPlaylist") && !menus_.Checked("mnuHideUI") &&
                                           !browserMode_);
}

bool Player::KeepsHistory() { return OptionBool("Recent", "History"); }

void Player::AddRecent(const std::string& path) {
  // A playlist copy made to bring the history back is the program's own file too.
  if (path == services_.paths.LastPlayedPath + std::string(".vantrel")) return;
  // "Keep a List of Recent Files" off: the folder is still the dialogs' starting point,
  // but nothing is listed.
  if (!KeepsHistory()) {
    if (const auto slash = path.find_last_of('/'); slash != std::string::npos) lastFolder_ = path.substr(0, slash + 1);
    return;
  }
  if (!recent_.Add(path)) return;
  lastFolder_ = recent_.LastFolder();
  SyncRecentMenu();
}

void Player::SyncRecentMenu() {
  const auto& entries = recent_.Entries();
  if (entries.empty()) {
    menus_.ResizeArray("mnuMRU", 1);
    menus_.SetCaption("mnuMRU", 0, LangText("Player/mnuMRU", "No Recent Files"));
    menus_.SetEnabled("mnuMRU", 0, false);
    return;
  }
  menus_.ResizeArray("mnuMRU", static_cast<int>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    menus_.SetCaption("mnuMRU", static_cast<int>(i), entries[i]);
    menus_.SetEnabled("mnuMRU", static_cast<int>(i), true);
  }
}

void Player::SetScreenSaverProgram(std::string path) {
  screenSaverProgram_ = std::move(path);
  SetScreenSaverItems();
}

void Player::SetScreenSaverItems() {
  // The items hand a movie to the screen-saver program: without it they could do nothing.
  const bool saver = !screenSaverProgram_.empty() && core::FileExists(screenSaverProgram_);
  menus_.SetEnabled("mnuMovieSaver", saver);
  menus_.SetEnabled("mnuScreenSaver", saver && !ownMovie_);
}

}  // namespace vantrel::player
