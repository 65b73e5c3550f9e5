// The player window's menu tree: names, captions, shortcuts, tags and initial states.
#include "player/menu_model.h"

namespace vantrel::player {

namespace {

// A small builder so the tree reads like the menu it makes.
class TreeBuilder {
 public:
  explicit TreeBuilder(MenuModel& model) : model_(model) {}

  int Menu(int parent, const char* name, const char* caption, bool visible = true) {
    MenuItem item;
    item.name = name;
    item.caption = caption;
    item.kind = MenuKind::Menu;
    item.visible = visible;
    return model_.Add(parent, std::move(item));
  }

  int Item(int parent, const char* name, const char* caption, const char* shortcut = "",
           MenuMark mark = MenuMark::None, bool checked = false, const char* tag = "") {
    MenuItem item;
    item.name = name;
    item.caption = caption;
    item.shortcut = shortcut;
    item.mark = mark;
    item.checked = checked;
    item.tag = tag;
    return model_.Add(parent, std::move(item));
  }

  int Check(int parent, const char* name, const char* caption, const char* shortcut = "",
            bool checked = false) {
    return Item(parent, name, caption, shortcut, MenuMark::Check, checked);
  }

  int Radio(int parent, const char* name, const char* caption, const char* shortcut = "",
            bool checked = false, const char* tag = "") {
    return Item(parent, name, caption, shortcut, MenuMark::Radio, checked, tag);
  }

  int Tagged(int parent, const char* name, const char* caption, const char* tag) {
    return Item(parent, name, caption, "", MenuMark::None, false, tag);
  }

  int ArrayItem(int parent, const char* name, int index, const char* caption, MenuMark mark = MenuMark::None,
                const char* tag = "", bool checked = false) {
    MenuItem item;
    item.name = name;
    item.index = index;
    item.caption = caption;
    item.mark = std::string_view(caption) == "-" ? MenuMark::None : mark;
    item.tag = tag;
    item.checked = checked;
    return model_.Add(parent, std::move(item));
  }

  void Separator(int parent) {
    MenuItem item;
    item.caption = "-";
    model_.Add(parent, std::move(item));
  }

  void Disable(int position) {
    const MenuItem& item = model_.Items()[static_cast<std::size_t>(position)];
    model_.SetEnabled(item.name, item.index, false);
  }
  void Hide(int position) {
    const MenuItem& item = model_.Items()[static_cast<std::size_t>(position)];
    model_.SetVisible(item.name, item.index, false);
  }

 private:
  MenuModel& model_;
};

}  // namespace

MenuModel BuildPlayerMenus() {
  MenuModel model;
  TreeBuilder b(model);
  using M = MenuMark;

  const int file = b.Menu(-1, "MenuFile", "File");
  b.Item(file, "mnuOpen", "Open...", "Ctrl+O");
  b.Item(file, "mnuAddtoPL", "Add to Playlist...");
  const int download = b.Item(file, "mnuDownload", "Download...");
  b.Hide(download);
  b.Disable(download);
  b.Disable(b.Item(file, "mnuConvert", "Convert to EXE..."));
  b.Disable(b.Item(file, "mnuExportVideo", "Export Video..."));
  b.Separator(file);
  b.Item(file, "mnuInfo", "Get Info", "Ctrl+I");
  b.Item(file, "mnuShowExplorer", "Show in Explorer");
  b.Item(file, "mnuSavePL", "Export Playlist...");
  b.Separator(file);
  b.Disable(b.ArrayItem(file, "mnuMRU", 0, "No Recent Files"));
  b.Separator(file);
  b.Item(file, "mnuExit", "Exit", "Ctrl+Q");

  const int view = b.Menu(-1, "MenuView", "View");
  b.Check(view, "mnuFullScreen", "Full Screen", "Ctrl+F");
  b.Check(view, "mnuPlaylist", "Playlist", "F6", true);
  b.Check(view, "mnuTopMost", "Always on Top", "Ctrl+T");
  b.Check(view, "mnuMenuBar", "Menu Bar", "F2", true);
  b.Separator(view);
  const int quality = b.Menu(view, "mnuQuality", "Quality");
  b.ArrayItem(quality, "mnuQLvl", 0, "High", M::Radio, "High");
  b.ArrayItem(quality, "mnuQLvl", 1, "Medium", M::Radio, "Medium");
  b.ArrayItem(quality, "mnuQLvl", 2, "Low", M::Radio, "Low");
  b.ArrayItem(quality, "mnuQLvl", 3, "-", M::None, "-");
  b.ArrayItem(quality, "mnuQLvl", 4, "Auto High", M::Radio, "AutoHigh");
  b.ArrayItem(quality, "mnuQLvl", 5, "Auto Low", M::Radio, "AutoLow");
  const int zoom = b.Menu(view, "mnuZoom", "Zoom Movie");
  b.Radio(zoom, "mnuZoom50", "50%");
  b.Radio(zoom, "mnuZoom100", "100%", "Ctrl+Z", true);
  b.Radio(zoom, "mnuZoom200", "200%");
  b.Separator(zoom);
  b.Check(zoom, "mnuKeepSize", "Keep Window Size");
  b.Check(zoom, "mnuAspectRatio", "Keep Aspect Ratio");
  const int scale = b.Menu(view, "mnuScale", "Scale Mode");
  b.ArrayItem(scale, "mnuSMode", 0, "Show All", M::Radio);
  b.ArrayItem(scale, "mnuSMode", 1, "No Border", M::Radio);
  b.ArrayItem(scale, "mnuSMode", 2, "Fit in Window", M::Radio);
  b.ArrayItem(scale, "mnuSMode", 3, "No Scaling", M::Radio);
  b.Separator(view);
  const int opacity = b.Menu(view, "mnuOpacity", "Opacity");
  b.Radio(opacity, "mnuOpFull", "Full", "", true);
  b.Radio(opacity, "mnuOpSign", "Significant");
  b.Radio(opacity, "mnuOpMed", "Medium");
  b.Radio(opacity, "mnuOpSlite", "Slight");
  b.Separator(view);
  const int skin = b.Menu(view, "mnuSkin", "Skin");
  b.ArrayItem(skin, "mnuSkinList", 0, "No Skin", M::Radio);
  b.Separator(skin);
  b.Check(view, "mnuHideUI", "Hide User Interface", "F8");

  const int playback = b.Menu(-1, "MenuPlayback", "Playback");
  b.Item(playback, "mnuPlay", "Play", "Ctrl+P");
  b.Item(playback, "mnuStop", "Stop", "Ctrl+S");
  b.Separator(playback);
  b.Item(playback, "mnuPlayNext", "Next");
  b.Item(playback, "mnuPlayPrev", "Previous");
  b.Separator(playback);
  b.Item(playback, "mnuFFwd", "Step Forward", "Ctrl+N");
  b.Item(playback, "mnuRwd", "Step Backward", "Ctrl+B");
  b.Separator(playback);
  b.Item(playback, "mnuVolumeUp", "Volume Up", "Ctrl+U");
  b.Item(playback, "mnuVolumeDown", "Volume Down", "Ctrl+J");
  b.Check(playback, "mnuMute", "Mute Sound", "Ctrl+M");
  b.Separator(playback);
  const int repeat = b.Menu(playback, "mnuRepeat", "Repeat");
  b.ArrayItem(repeat, "mnuRepeatMode", 0, "Repeat Off", M::Radio, "", true);
  b.ArrayItem(repeat, "mnuRepeatMode", 1, "Repeat One", M::Radio);
  b.ArrayItem(repeat, "mnuRepeatMode", 2, "Repeat All", M::Radio);
  b.Separator(playback);
  b.Check(playback, "mnuShuffle", "Shuffle");
  b.Check(playback, "mnuNonStop", "Play Non Stop");

  const int browser = b.Menu(-1, "MenuBrowser", "Browser");
  b.Item(browser, "mnuBrowse", "Media Browser", "F3");
  b.Item(browser, "mnuBrowsePick", "Go To...");
  b.Separator(browser);
  b.Item(browser, "mnuBrowseBack", "Back");
  b.Item(browser, "mnuBrowseForward", "Forward");
  b.Item(browser, "mnuBrowseUp", "Up");
  b.Separator(browser);
  const int show = b.Menu(browser, "mnuBrowseShow", "Show");
  b.Item(show, "mnuShowMovie", "Flash Movie (SWF)", "", M::Check, true, "!BROWSEMEDIA/STRMOVIE");
  b.Item(show, "mnuShowProjector", "Flash Projector (EXE)", "", M::Check, true, "!BROWSEMEDIA/STRPROJECTOR");
  b.Item(show, "mnuShowVideo", "Flash Video (FLV)", "", M::Check, true, "!BROWSEMEDIA/STRVIDEO");
  b.Separator(show);
  b.Check(show, "mnuShowFolder", "Folders", "", true);
  b.Disable(b.Check(show, "mnuShowOther", "Other Files"));
  const int sort = b.Menu(browser, "mnuBrowseSort", "Sort");
  b.Radio(sort, "mnuSortName", "Name", "", false, "Name");
  b.Radio(sort, "mnuSortType", "Type", "", false, "Type");
  b.Radio(sort, "mnuSortSize", "Size", "", false, "Size");
  b.Radio(sort, "mnuSortDate", "Date", "", true, "Date");
  b.Separator(sort);
  b.Radio(sort, "mnuSortForward", "Sort Forward", "", true);
  b.Radio(sort, "mnuSortBack", "Sort Backward");
  b.Separator(browser);
  const int favorites = b.Menu(browser, "mnuFavorites", "Favorite Folders");
  b.Item(favorites, "mnuFavAdd", "Add Current Folder");
  b.Item(favorites, "mnuFavManage", "Manage...");
  b.Separator(favorites);
  b.Disable(b.ArrayItem(favorites, "mnuFavList", 0, "[ No Favorite Folders ]"));

  const int tools = b.Menu(-1, "MenuTools", "Tools");
  b.Item(tools, "mnuDesktop", "Flash Desktop...");
  b.Item(tools, "mnuScreenSaver", "Flash Screen Saver...");
  b.Item(tools, "mnuWallpaper", "Set as Wallpaper", "Ctrl+D");
  b.Separator(tools);
  b.Item(tools, "mnuGenerator", "Thumbnail Generator...");
  b.Item(tools, "mnuExtract", "Extract Resources...");
  b.Separator(tools);
  b.Item(tools, "mnuPicture", "Capture Frame", "Ctrl+Insert");
  b.Item(tools, "mnuThumbnail", "Set Thumbnail", "Shift+Insert");
  b.Item(tools, "mnuClearCache", "Clear Thumbnails Up", "Shift+Delete");
  b.Separator(tools);
  b.Check(tools, "mnuHandyKeys", "Handy Hot Keys", "Ctrl+K");
  b.Item(tools, "mnuOpt", "Options...");
  b.Separator(tools);
  const int language = b.Menu(tools, "mnuLang", "Language");
  b.Disable(b.ArrayItem(language, "mnuLangList", 0, "[ No Languages ]", M::Radio));

  const int help = b.Menu(-1, "MenuHelp", "Help");
  b.Item(help, "mnuHelpMe", "Vantrel Help", "F1");
  b.Check(help, "mnuTips", "Tips and Tricks", "", true);
  b.Item(help, "mnuIntro", "Feature Overview");
  b.Item(help, "mnuAutomate", "Automation");
  b.Separator(help);
  b.Item(help, "mnuUpd", "Check for Updates");
  b.Item(help, "mnuFeedback", "Support && Feedback");
  b.Item(help, "mnuWeb", "www.vantrel.org");
  b.Separator(help);
  b.Item(help, "mnuAbout", "About Vantrel");

  const int popup = b.Menu(-1, "PopUp", "PopUp", false);
  b.Tagged(popup, "mnuPopPlay", "Play", "!PLAYER/MNUPLAY");
  b.Tagged(popup, "mnuPopStop", "Stop", "!PLAYER/MNUSTOP");
  b.Item(popup, "mnuPopMute", "Mute Sound", "", M::Check, false, "!PLAYER/MNUMUTE");
  b.Separator(popup);
  b.Radio(popup, "mnuPopHQ", "High Quality");
  b.Radio(popup, "mnuPopLQ", "Low Quality");
  b.Separator(popup);
  b.Item(popup, "mnuPopFullScreen", "Full Screen", "", M::Check, false, "!PLAYER/MNUFULLSCREEN");
  b.Tagged(popup, "mnuPopBrowse", "Media Browser", "!PLAYER/MNUBROWSE");
  b.Tagged(popup, "mnuPopInfo", "Get Info", "!PLAYER/MNUINFO");
  b.Separator(popup);
  b.Tagged(popup, "mnuPopOpen", "Open...", "!PLAYER/MNUOPEN");
  b.Tagged(popup, "mnuPopConvert", "Convert to EXE...", "!PLAYER/MNUCONVERT");
  b.Separator(popup);
  b.Tagged(popup, "mnuPopAbout", "About Vantrel", "!PLAYER/MNUABOUT");
  b.Separator(popup);
  b.Tagged(popup, "mnuPopExit", "Exit", "!PLAYER/MNUEXIT");

  const int item = b.Menu(-1, "PupItem", "PupItem", false);
  b.Item(item, "mnuFolderBrowse", "Browse Media");
  b.Tagged(item, "mnuMoviePlay", "Play", "!PLAYER/MNUPLAY");
  b.Tagged(item, "mnuItemAdd", "Add to Playlist", "!PLAYER/ADDTOPL");
  b.Tagged(item, "mnuItemShow", "Show in Explorer", "!PLAYER/MNUSHOWEXPLORER");
  b.Separator(item);
  b.Tagged(item, "mnuMovieInfo", "Get Info", "!PLAYER/MNUINFO");
  b.Tagged(item, "mnuMovieConvert", "Convert to EXE...", "!PLAYER/MNUCONVERT");
  b.Tagged(item, "mnuFolderGenerator", "Thumbnail Generator...", "!PLAYER/MNUGENERATOR");
  b.Tagged(item, "mnuMovieExtract", "Extract Resources...", "!PLAYER/MNUEXTRACT");
  b.Tagged(item, "mnuMovieSaver", "Flash Screen Saver...", "!PLAYER/MNUSCREENSAVER");
  b.Separator(item);
  b.Item(item, "mnuItemCut", "Cut");
  b.Item(item, "mnuItemCopy", "Copy");
  b.Item(item, "mnuFolderPaste", "Paste");
  b.Separator(item);
  b.Item(item, "mnuItemDelete", "Delete");
  b.Item(item, "mnuItemRename", "Rename");
  b.Item(item, "mnuMoveUp", "Move Up");
  b.Item(item, "mnuMoveDown", "Move Down");
  b.Item(item, "mnuRemove", "Remove");
  b.Item(item, "mnuRemoveAll", "Remove All");
  b.Separator(item);
  b.Item(item, "mnuPLadd", "Add Files...");
  b.Item(item, "mnuPLaddFolder", "Add Folder...");

  return model;
}

}  // namespace vantrel::player
