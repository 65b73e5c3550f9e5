// The media browser as the player window runs it: `NewMediaBrowse` and `WriteBrowseXml`
// over the page, the history of the address bar, thumbnails made in the background,
// the browser menus and item commands, favourites, and the shots of the playing movie
// (Capture Frame, Set Thumbnail, the wallpaper picture).
#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/browser_page.h"
#include "browser/media_browser.h"
#include "browser/shots.h"
#include "media/media_record.h"
#include "core/paths.h"
#include "player/browser_port.h"

class QWidget;

namespace vantrel::core {
class ExecutionLog;
class Languages;
class OptionsStore;
}  // namespace vantrel::core

namespace vantrel::media {
struct MediaContext;
}

namespace vantrel::player {
class DialogPort;
class Player;
}  // namespace vantrel::player

namespace vantrel::browser {

class BrowserPage;
struct GeneratorServices;
class ThumbnailWorker;

struct BrowserServices {
  core::Paths paths;
  core::OptionsStore* options = nullptr;
  core::ExecutionLog* log = nullptr;
  const core::Languages* languages = nullptr;  // may be null: defaults
  media::MediaContext* media = nullptr;
  player::DialogPort* dialogs = nullptr;
  player::Player* player = nullptr;
  QWidget* window = nullptr;                      // parent of the dialogs
  std::function<QImage()> grabFrame;              // the playing movie's picture
  std::function<int()> currentFrame;              // the playing movie's frame number
  std::function<void(QPoint globalPos)> popUpItemMenu;  // shows "PupItem"
  std::function<void()> menusChanged;             // item arrays were resized
  std::function<void(const std::string&)> openExternally;  // a folder in the file manager
};

class BrowserSession final : public QObject, public player::BrowserPort {
  Q_OBJECT

 public:
  explicit BrowserSession(BrowserServices services, QObject* parent = nullptr);
  ~BrowserSession() override;

  // The player the page reports to (set once the player exists).
  void AttachPlayer(player::Player* player);
  // The page widget (owned by the caller's window once placed there).
  BrowserPage* Page() const { return page_.data(); }

  // ---- player::BrowserPort ----
  void BrowseMedia() override;
  void ShowFolder(const std::string& folder, bool resetScroll) override;
  void ShowError(const std::string& message) override;
  void GoLevelUp() override;
  std::vector<player::BrowserItem> Items() override;

  // Shows folder; with keepScroll false the scroll starts at the top.
  void NewMediaBrowse(const std::string& folder, bool keepScroll);
  // Writes "browse.xml" with error in its error element; with load, loads the page.
  void WriteBrowseXml(bool load, const std::string& error);
  void GoBack();
  void GoForward();
  // Asks for a folder and shows it (start: the given folder, else the browse folder).
  void SelectBrowseFolder(const std::string& start);

  // Menu items of the browser, the item pop-up, favourites and the picture commands;
  // false when name is not one of them.
  bool MenuClick(const std::string& name, int index);
  // Shows "PupItem" prepared for entry index (0-based, -1 for the page itself).
  void ItemMenu(int index, QPoint globalPos);

  // Opens frmGenerator (source "" keeps the stored one). Returns after it closes.
  void OpenGenerator(const std::string& source);
  // The generator run of "/exec Generate": fills the fields, generates, closes; no
  // summary is shown.
  void Generate(int width, int height, const std::string& source, int quality, bool overwrite);

  // The Resource Extractor for the movie at path (identified with full decompression).
  void ExtractResources(const std::string& path);
  // The conversion dialog for record: projector to movie, movie to projector, or a copy.
  void ConvertMedia(const media::MediaRecord& record);

  // Shows frmInfo for record (modal).
  void ShowMovieInfo(const media::MediaRecord& record);

  // Saves the playing movie's picture: a numbered screenshot in the Flash folder's
  // "ScreenShots/", or (wallpaper) UserPath & "Vantrel Wallpaper.jpg". Returns the path
  // written, "" on failure.
  std::string SavePicture(bool wallpaper);
  // The path of the entry the item pop-up was opened on; empty when there is none.
  std::string MenuItemPath() const;
  // Saves the playing movie's picture as its browser thumbnail. Returns the path or "".
  std::string SaveThumbnail();

  const std::string& Folder() const { return folder_; }
  const BrowseListing& Listing() const { return listing_; }
  const BrowseHistory& History() const { return history_; }
  std::int32_t Scroll() const { return scroll_; }
  bool MakingThumbnails() const;
  const std::vector<std::string>& Favorites() const { return favorites_; }
  // Reads the stored favourites into the menu (start-up).
  void LoadFavoritesMenu();

 private:
  std::string LangText(std::string_view key, std::string_view fallback) const;
  void Log(std::string_view line) const;
  BrowseSettings Settings() const;
  ShotOptions ThumbnailOptions() const;
  GeneratorServices GeneratorSetup() const;
  void StartThumbnails();
  void LoadPage();
  void ItemCommand(const std::string& name);
  void PasteInto(const std::string& folder);
  void ClearThumbnails();
  void ManageFavorites();
  void SyncHistoryMenu();
  // The folder "Add Current Folder" and the page's own menu mean.
  std::string CurrentFolder() const;
  void OpenExternally(const std::string& folder);
  std::string PictureTarget(bool wallpaper);

  BrowserServices services_;
  QPointer<BrowserPage> page_;
  std::unique_ptr<ThumbnailWorker> worker_;
  int batch_ = 0;
  std::string folder_;
  BrowseListing listing_;
  BrowseHistory history_;
  std::vector<std::string> favorites_;
  int menuItem_ = -1;  // the entry the item pop-up was opened on
  std::int32_t scroll_ = 0;
  std::vector<std::string> clipboard_;
  bool clipboardCut_ = false;
};

}  // namespace vantrel::browser
