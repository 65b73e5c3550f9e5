#include "browser/browser_session.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QInputDialog>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "browser/browser_messages.h"
#include "browser/browser_page.h"
#include "browser/favorites.h"
#include "browser/decompiler_dialog.h"
#include "browser/favorites_dialog.h"
#include "browser/generator_dialog.h"
#include "browser/info_dialog.h"
#include "browser/jpeg_output.h"
#include "browser/shot_rules.h"
#include "browser/thumbnail_worker.h"
#include "core/language.h"
#include "core/log.h"
#include "core/options.h"
#include "core/text.h"
#include "media/identify.h"
#include "media/media_context.h"
#include "media/projector.h"
#include "player/player.h"

namespace vantrel::browser {

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path.substr(path.find_last_of('/') + 1);
}

bool SurfaceFrom(const QImage& image, cDIBSection& surface) {
  if (image.isNull()) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  PictureView view{rgb.width(), rgb.height(), rgb.constBits(), static_cast<std::size_t>(rgb.bytesPerLine()),
                   PictureFormat::Bgrx32};
  return surface.CreateFromPicture(view);
}

}  // namespace

BrowserSession::BrowserSession(BrowserServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)), page_(new BrowserPage()) {
  page_->hide();
  worker_ = std::make_unique<ThumbnailWorker>(*services_.media);
  worker_->onStarting = [this](int batch, int position, int total, const std::string& path) {
    if (batch != batch_) return;
    const std::string text = LangText("BrowseMedia/strShotBefore", "Creating") + " " + std::to_string(position + 1) +
                             " " + LangText("BrowseMedia/strShotMid", "of") + " " + std::to_string(total) + " " +
                             LangText("BrowseMedia/strShotAfter", "");
    page_->ShowProgress(position, total, QString::fromStdString(text), QString::fromStdString(path));
  };
  worker_->onMade = [this](int batch, const ThumbnailJob& job, const std::string& failure) {
    if (batch != batch_) return;
    if (!failure.empty()) Log(job.path + ": " + failure);
    page_->ThumbnailReady(job.index);
    if (!failure.empty()) page_->MarkDamaged(job.index, QString::fromStdString(core::PlainText(failure)));
  };
  worker_->onFinished = [this](int batch, int made, bool) {
    if (batch != batch_) return;
    if (services_.log) services_.log->LogTime("Thumbnail Generation (" + std::to_string(made) + ")");
    page_->HideProgress();
  };

  page_->onCommand = [this](const std::string& command, const std::string& argument) {
    if (command == "BROWSESCROLL") scroll_ = std::atoi(argument.c_str());
    if (services_.player) services_.player->FSCommand(command, argument);
  };
  page_->onMenu = [this](const std::string& name) {
    if (name.rfind("history:", 0) == 0) {
      const std::string folder = history_.Select(std::atoi(name.c_str() + 8));
      if (!folder.empty()) NewMediaBrowse(folder, false);
      return;
    }
    MenuClick(name, -1);
  };
  page_->onItemMenu = [this](int index, QPoint at) { ItemMenu(index, at); };
  page_->onCancelShots = [this] {
    worker_->Cancel();
    page_->HideProgress();
  };
}

void BrowserSession::AttachPlayer(player::Player* player) {
  services_.player = player;
  if (!player) return;
  SyncHistoryMenu();
  using T = player::ScriptType;
  const player::ScriptParameter number{T::Number};
  player->Script().Add("Generate", {number, number, {T::Text}, number, {T::Boolean}},
                       [this](const player::ScriptArgs& a) {
                         Generate(a.Whole(0), a.Whole(1), a.Text(2), a.Whole(3), a.Boolean(4));
                       });
  player->Script().Add("GoLevelUp", {}, [this](const player::ScriptArgs&) { GoLevelUp(); });
}

BrowserSession::~BrowserSession() {
  worker_.reset();
  if (page_ && !page_->parent()) delete page_.data();
}

std::string BrowserSession::LangText(std::string_view key, std::string_view fallback) const {
  return services_.languages ? services_.languages->LangText(key, fallback) : std::string(fallback);
}

void BrowserSession::Log(std::string_view line) const {
  if (services_.log) services_.log->WriteLog(line, true);
}

BrowseSettings BrowserSession::Settings() const {
  BrowseSettings settings;
  core::OptionsStore& options = *services_.options;
  if (services_.player) {
    const player::MenuModel& menus = services_.player->Menus();
    settings.showFolder = menus.Checked("mnuShowFolder");
    settings.showMovie = menus.Checked("mnuShowMovie");
    settings.showVideo = menus.Checked("mnuShowVideo");
    settings.showProjector = menus.Checked("mnuShowProjector");
    settings.sortBy = menus.Checked("mnuSortName")   ? SortBy::Name
                      : menus.Checked("mnuSortType") ? SortBy::Type
                      : menus.Checked("mnuSortSize") ? SortBy::Size
                                                     : SortBy::Date;
    settings.sortBack = menus.Checked("mnuSortBack");
  }
  settings.satellite = options.ReadBoolOption("Thumbnails", "Satellite");
  settings.genericProjectors = options.ReadBoolOption("System", "GenericProjectors");
  settings.cachePath = services_.paths.CachePath;
  settings.isFlashProjector = [](const std::string& path) { return media::IsFlashProjector(path); };
  return settings;
}

ShotOptions BrowserSession::ThumbnailOptions() const {
  core::OptionsStore& options = *services_.options;
  ShotOptions shot;
  shot.width = ThumbGrid::kPictureWidth;
  shot.height = ThumbGrid::kPictureHeight;
  shot.highQuality = options.ReadBoolOption("Thumbnails", "HQShots");
  shot.jpegQuality = options.ReadNumberOption("Thumbnails", "ShotJpeg");
  shot.sampleFrom = options.ReadNumberOption("Thumbnails", "SampleFrom");
  shot.sampleTo = options.ReadNumberOption("Thumbnails", "SampleTo");
  shot.noMediaPath = services_.paths.ImagesPath + "nomedia";
  // While the generator's watermark is on, every shot carries the logo.
  if (options.ReadBoolOption("Generator", "Watermark")) shot.logoPath = options.ReadTextOption("Generator", "LogoPath");
  return shot;
}

// ---- Browsing -------------------------------------------------------------------------

void BrowserSession::BrowseMedia() {
  Log("");
  Log(" :: Media Browse");
  NewMediaBrowse(folder_, true);
}

void BrowserSession::ShowFolder(const std::string& folder, bool resetScroll) { NewMediaBrowse(folder, !resetScroll); }

void BrowserSession::ShowError(const std::string& message) { WriteBrowseXml(true, message); }

void BrowserSession::GoLevelUp() {
  if (folder_.empty()) folder_ = std::string(kDriveList);
  NewMediaBrowse(folder_ == kDriveList ? folder_ : folder_ + "..", false);
}

std::vector<player::BrowserItem> BrowserSession::Items() {
  std::vector<player::BrowserItem> items;
  items.reserve(listing_.items.size());
  for (const MediaItem& item : listing_.items) items.push_back({item.Path, item.Type});
  return items;
}

void BrowserSession::NewMediaBrowse(const std::string& folder, bool keepScroll) {
  Log("");
  Log(" :: New Media Browse (" + folder + ")");
  if (!keepScroll) scroll_ = 0;
  const std::string myFlash =
      services_.options->ReadOption(*core::FindOption("Recent", "MyFlash"), core::DefaultMyFlashFolder());
  folder_ = ResolveBrowseFolder(folder, folder_, myFlash);
  listing_ = ListBrowseFolder(folder_, Settings());
  StartThumbnails();
  WriteBrowseXml(true, "");
}

void BrowserSession::StartThumbnails() {
  worker_->Cancel();
  page_->HideProgress();
  if (listing_.missingThumbs.empty()) return;
  const std::string thumbs = ThumbFolder(folder_, Settings());
  std::vector<ThumbnailJob> jobs;
  for (const std::size_t index : listing_.missingThumbs) {
    const MediaItem& item = listing_.items[index];
    jobs.push_back({static_cast<int>(index), item.Path, thumbs + item.Thumb});
  }
  // A file that is no whole movie gets no thumbnail but a mark, made again (and so
  // marked again) whenever its folder is shown.
  ShotOptions options = ThumbnailOptions();
  options.moviesOnly = true;
  batch_ = worker_->Start(std::move(jobs), options);
}

void BrowserSession::WriteBrowseXml(bool load, const std::string& error) {
  BrowsePageTexts texts;
  texts.font = QApplication::font().family().toStdString();
  texts.found = LangText("BROWSEMEDIA/STRFOUND", "Media Files Found:");
  texts.wait = LangText("BROWSEMEDIA/STRWAIT", "Loading");
  const BrowseSettings settings = Settings();
  const std::string xml = BrowseXmlText(listing_, texts, scroll_, ThumbFolder(folder_, settings), error,
                                        settings.sortBy == SortBy::Date);
  const std::string target = services_.paths.UserPath + "browse.xml";
  core::SaveXML(target, xml, services_.log);
  if (load) LoadPage();
}

void BrowserSession::LoadPage() {
  if (!services_.player) return;
  std::string path = services_.paths.FlashPath + "browse.swf?myXML=" +
                     core::EscapeText(services_.paths.UserPath + "browse.xml") + "&time=" +
                     QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString();
  std::string caption = LangText("BrowseMedia/strBrowseMedia", "Browse Media");
  services_.player->LoadFlash(path, caption, true);
  page_->LoadXml(QString::fromStdString(services_.paths.UserPath + "browse.xml"));
  history_.Visited(folder_);
  page_->SetHistory(history_.Entries(), history_.Selected());
  SyncHistoryMenu();
}

void BrowserSession::SyncHistoryMenu() {
  if (!services_.player) return;
  // The menu's Back and Forward act when the address bar's buttons do.
  player::MenuModel& menus = services_.player->Menus();
  menus.SetEnabled("mnuBrowseBack", history_.CanGoBack());
  menus.SetEnabled("mnuBrowseForward", history_.CanGoForward());
}

void BrowserSession::GoBack() {
  const std::string folder = history_.Back();
  if (!folder.empty()) NewMediaBrowse(folder, false);
  SyncHistoryMenu();
}

void BrowserSession::GoForward() {
  const std::string folder = history_.Forward();
  if (!folder.empty()) NewMediaBrowse(folder, false);
  SyncHistoryMenu();
}

std::string BrowserSession::CurrentFolder() const {
  // The folder the browser shows; while a movie plays, the movie's own folder.
  player::Player* player = services_.player;
  if (player && !player->BrowserMode() && !player->OwnMovie() && !player->Record().SourcePath.empty())
    return FolderOf(player->Record().SourcePath);
  if (!folder_.empty() && folder_ != kDriveList) return folder_;
  return player ? player->LastFolder() : std::string();
}

void BrowserSession::OpenExternally(const std::string& folder) {
  if (services_.openExternally) services_.openExternally(folder);
}

void BrowserSession::SelectBrowseFolder(const std::string& start) {
  if (!services_.dialogs) return;
  const std::string chosen = services_.dialogs->ChooseFolder(
      LangText("BrowseMedia/strSelFolder", "Select Folder to Browse Media in:"),
      start.empty() ? (folder_ == kDriveList ? std::string() : folder_) : start);
  if (!chosen.empty()) NewMediaBrowse(chosen, false);
}

bool BrowserSession::MakingThumbnails() const { return worker_->Busy(); }

// ---- Menus ----------------------------------------------------------------------------

bool BrowserSession::MenuClick(const std::string& name, int index) {
  if (name == "mnuBrowseBack") GoBack();
  else if (name == "mnuBrowseForward") GoForward();
  else if (name == "mnuBrowsePick") SelectBrowseFolder("");
  else if (name == "mnuFavAdd") {
    const std::string folder = CurrentFolder();
    if (folder.empty()) return true;
    if (AddFavorite(favorites_, folder)) {
      SaveFavorites(*services_.options, favorites_);
      LoadFavoritesMenu();
    }
  } else if (name == "mnuFavManage") ManageFavorites();
  else if (name == "mnuFavList") {
    if (index >= 0 && index < static_cast<int>(favorites_.size()))
      NewMediaBrowse(favorites_[static_cast<std::size_t>(index)], false);
  } else if (name == "mnuClearCache") ClearThumbnails();
  else if (name == "mnuGenerator") OpenGenerator("");
  else if (name == "mnuExtract") {
    if (services_.player && !services_.player->OwnMovie()) ExtractResources(services_.player->Record().SourcePath);
  } else if (name == "mnuConvert" || name == "mnuPopConvert") {
    if (services_.player && !services_.player->OwnMovie()) ConvertMedia(services_.player->Record());
  } else if (name == "mnuMovieExtract" || name == "mnuMovieConvert") {
    if (menuItem_ < 0 || menuItem_ >= static_cast<int>(listing_.items.size())) return true;
    const std::string path = listing_.items[static_cast<std::size_t>(menuItem_)].Path;
    if (name == "mnuMovieExtract") {
      ExtractResources(path);
    } else {
      media::MediaRecord record;
      if (media::IdentifyMedia(*services_.media, path, record, false).empty()) ConvertMedia(record);
    }
  }
  else if (name == "mnuFolderGenerator") {
    const bool onFolder = menuItem_ >= 0 && menuItem_ < static_cast<int>(listing_.items.size()) &&
                          listing_.items[static_cast<std::size_t>(menuItem_)].Type == kTypeFolder;
    OpenGenerator(onFolder ? listing_.items[static_cast<std::size_t>(menuItem_)].Path
                           : (folder_ == kDriveList ? std::string() : folder_));
  }
  else if (name == "mnuInfo" || name == "mnuPopInfo") {
    if (services_.player && !services_.player->OwnMovie()) ShowMovieInfo(services_.player->Record());
  } else if (name == "mnuMovieInfo") {
    if (menuItem_ < 0 || menuItem_ >= static_cast<int>(listing_.items.size())) return true;
    media::MediaRecord record;
    media::IdentifyMedia(*services_.media, listing_.items[static_cast<std::size_t>(menuItem_)].Path, record, false);
    ShowMovieInfo(record);
  }
  else if (name == "mnuPicture") SavePicture(false);
  else if (name == "mnuThumbnail") SaveThumbnail();
  else if (name == "mnuFolderBrowse" || name == "mnuMoviePlay" || name == "mnuItemAdd" || name == "mnuItemShow" ||
           name == "mnuItemCut" || name == "mnuItemCopy" || name == "mnuFolderPaste" || name == "mnuItemDelete" ||
           name == "mnuItemRename")
    ItemCommand(name);
  else return false;
  return true;
}

void BrowserSession::ItemMenu(int index, QPoint globalPos) {
  if (!services_.player || !services_.popUpItemMenu) return;
  menuItem_ = index;
  player::MenuModel& menus = services_.player->Menus();
  const bool valid = index >= 0 && index < static_cast<int>(listing_.items.size());
  const bool folder = valid && listing_.items[static_cast<std::size_t>(index)].Type == kTypeFolder;
  const bool media = valid && !folder;
  const bool drive = folder_ == kDriveList;
  // The page itself stands for the folder it shows.
  const bool page = !valid && !drive && !folder_.empty();
  const int parent = menus.Find("PupItem");
  for (const int position : menus.Children(parent)) {
    const player::MenuItem& item = menus.Items()[static_cast<std::size_t>(position)];
    if (!item.name.empty()) menus.SetVisible(item.name, item.index, false);
  }
  const auto show = [&](const char* name, bool visible) { menus.SetVisible(name, visible); };
  show("mnuFolderBrowse", folder);
  show("mnuMoviePlay", media);
  show("mnuItemAdd", (valid && !drive) || page);
  show("mnuItemShow", valid || page);
  show("mnuMovieInfo", media);
  show("mnuFolderGenerator", (folder && !drive) || page);
  const bool movie = media && listing_.items[static_cast<std::size_t>(index)].Type != kTypeVideo;
  show("mnuMovieExtract", movie);
  show("mnuMovieConvert", movie);
  if (movie) {
    const bool exe = listing_.items[static_cast<std::size_t>(index)].Type == kTypeProjector;
    menus.SetCaption("mnuMovieConvert", exe ? LangText("Player/mnuConvertEXE", "Convert EXE to SWF")
                                            : LangText("Player/mnuConvert", "Convert to EXE"));
  }
  show("mnuItemCut", valid && !drive);
  show("mnuItemCopy", valid && !drive);
  show("mnuFolderPaste", !drive && !clipboard_.empty() && (folder || !valid));
  show("mnuItemDelete", valid && !drive);
  show("mnuItemRename", valid && !drive);
  services_.popUpItemMenu(globalPos);
}

void BrowserSession::ItemCommand(const std::string& name) {
  if (name == "mnuFolderPaste") {
    const bool onFolder = menuItem_ >= 0 && menuItem_ < static_cast<int>(listing_.items.size()) &&
                          listing_.items[static_cast<std::size_t>(menuItem_)].Type == kTypeFolder;
    PasteInto(onFolder ? listing_.items[static_cast<std::size_t>(menuItem_)].Path : folder_);
    return;
  }
  player::Player* player = services_.player;
  if (menuItem_ < 0 || menuItem_ >= static_cast<int>(listing_.items.size())) {
    // The page's own menu: the folder it shows.
    if (folder_.empty() || folder_ == kDriveList) return;
    if (name == "mnuItemAdd" && player) player->AddToPlaylist(folder_, 0);
    else if (name == "mnuItemShow") OpenExternally(folder_);
    return;
  }
  const MediaItem item = listing_.items[static_cast<std::size_t>(menuItem_)];
  if (name == "mnuFolderBrowse") NewMediaBrowse(item.Path, false);
  else if (name == "mnuMoviePlay" && player) player->OpenMovie(item.Path);
  else if (name == "mnuItemAdd" && player) player->AddToPlaylist(item.Path, 0);
  else if (name == "mnuItemShow") OpenExternally(item.Type == kTypeFolder ? item.Path : FolderOf(item.Path));
  else if (name == "mnuItemCopy" || name == "mnuItemCut") {
    clipboard_ = {item.Path};
    clipboardCut_ = name == "mnuItemCut";
    auto* data = new QMimeData();
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(item.Path))});
    QApplication::clipboard()->setMimeData(data);
  } else if (name == "mnuItemDelete") {
    const int answer = BrowserMessage(
        services_.dialogs, LangText("BrowseMedia/strDelete", "Move this item to the Trash?") + "\r\n\r\n" + item.Path,
        LangText("Player/mnuItemDelete", "Delete"), {LangText("Shared/Yes", "Yes"), LangText("Shared/No", "No")},
        "delete");
    if (answer != 0) return;
    if (!QFile::moveToTrash(QString::fromStdString(item.Path))) {
      BrowserMessage(services_.dialogs, LangText("BrowseMedia/strNoDelete", "The item could not be moved to the Trash.") +
                                            "\r\n\r\n" + item.Path,
                     LangText("Player/mnuItemDelete", "Delete"), {LangText("Shared/Close", "Close")}, "error");
      return;
    }
    NewMediaBrowse(folder_, true);
  } else if (name == "mnuItemRename") {
    bool ok = false;
    const QString oldName = QString::fromStdString(NameOf(item.Path));
    const QString wanted = QInputDialog::getText(services_.window, QString::fromStdString(LangText("Player/mnuItemRename", "Rename")),
                                                 QString::fromStdString(LangText("BrowseMedia/strNewName", "New name:")),
                                                 QLineEdit::Normal, oldName, &ok);
    if (!ok || wanted.isEmpty() || wanted == oldName) return;
    if (wanted.contains(QLatin1Char('/'))) {
      BrowserMessage(services_.dialogs, LangText("BrowseMedia/strBadName", "A name cannot contain \"/\"."),
                     LangText("Player/mnuItemRename", "Rename"), {LangText("Shared/Close", "Close")}, "error");
      return;
    }
    std::string source = item.Path;
    if (source.size() > 1 && source.back() == '/') source.pop_back();
    const std::string target =
        FolderOf(item.Path) + RenamedName(oldName.toStdString(), wanted.toStdString(), item.Type == kTypeFolder);
    std::error_code failure;
    if (core::FileExists(target)) failure = std::make_error_code(std::errc::file_exists);
    else std::filesystem::rename(source, target, failure);
    if (failure) {
      BrowserMessage(services_.dialogs, failure.message() + "\r\n\r\n" + target, LangText("Player/mnuItemRename", "Rename"),
                     {LangText("Shared/Close", "Close")}, "error");
      return;
    }
    NewMediaBrowse(folder_, true);
  }
}

void BrowserSession::PasteInto(const std::string& folder) {
  if (clipboard_.empty() || folder.empty() || folder == kDriveList) return;
  std::string problems;
  for (const std::string& path : clipboard_) {
    std::string source = path;
    if (source.size() > 1 && source.back() == '/') source.pop_back();
    const std::string target = folder + NameOf(path);
    std::error_code failure;
    if (core::FileExists(target)) failure = std::make_error_code(std::errc::file_exists);
    else if (clipboardCut_) std::filesystem::rename(source, target, failure);
    else std::filesystem::copy(source, target, std::filesystem::copy_options::recursive, failure);
    if (failure) problems += "\r\n" + target + ": " + failure.message();
  }
  if (clipboardCut_) clipboard_.clear();
  if (!problems.empty())
    BrowserMessage(services_.dialogs, LangText("BrowseMedia/strNoPaste", "Some items could not be pasted:") + problems,
                   LangText("Player/mnuFolderPaste", "Paste"), {LangText("Shared/Close", "Close")}, "error");
  NewMediaBrowse(folder_, true);
}

void BrowserSession::ClearThumbnails() {
  // The thumbnails of the folder shown are removed and made afresh.
  if (folder_.empty() || folder_ == kDriveList) return;
  worker_->Cancel();
  const std::string thumbs = ThumbFolder(folder_, Settings());
  for (const MediaItem& item : listing_.items)
    if (!item.Thumb.empty()) std::remove((thumbs + item.Thumb).c_str());
  NewMediaBrowse(folder_, true);
}

void BrowserSession::LoadFavoritesMenu() {
  if (!services_.player) return;
  favorites_ = LoadFavorites(*services_.options);
  ShowFavoritesMenu(services_.player->Menus(), favorites_,
                    LangText("Player/mnuFavList", "[ No Favorite Folders ]"));
  if (services_.menusChanged) services_.menusChanged();
}

GeneratorServices BrowserSession::GeneratorSetup() const {
  GeneratorServices setup;
  setup.options = services_.options;
  setup.media = services_.media;
  setup.dialogs = services_.dialogs;
  setup.lookup = [this](std::string_view key, std::string_view fallback) { return LangText(key, fallback); };
  setup.shot = ThumbnailOptions();
  setup.open = services_.openExternally;
  return setup;
}

void BrowserSession::OpenGenerator(const std::string& source) {
  GeneratorDialog dialog(GeneratorSetup(), services_.window);
  if (!source.empty()) {
    GeneratorSettings settings = dialog.Settings();
    settings.source = source;
    dialog.SetSettings(settings);
  }
  dialog.exec();
  // Thumbnails made beside the movies show on the page when Satellite is on.
  if (services_.player && services_.player->BrowserMode()) NewMediaBrowse(folder_, true);
}

void BrowserSession::Generate(int width, int height, const std::string& source, int quality, bool overwrite) {
  GeneratorDialog dialog(GeneratorSetup(), services_.window);
  GeneratorSettings settings = dialog.Settings();
  settings.width = std::max(1, width);
  settings.height = std::max(1, height);
  settings.fixedSize = true;
  settings.source = source;
  settings.quality = std::clamp(quality, 0, 100);
  settings.overwrite = overwrite;
  dialog.SetSettings(settings);
  dialog.show();
  dialog.Generate(true);
  dialog.close();
}

void BrowserSession::ExtractResources(const std::string& path) {
  if (path.empty()) return;
  media::MediaRecord record;
  const std::string failure = media::IdentifyMedia(*services_.media, path, record, true);
  if (!failure.empty() || record.IsVideo) {
    Log("Extract: " + (failure.empty() ? std::string("not a movie") : failure));
    return;
  }
  DecompilerDialog dialog(record, *services_.options, services_.dialogs,
                          [this](std::string_view key, std::string_view fallback) { return LangText(key, fallback); },
                          services_.log, services_.window);
  dialog.onShowFiles = services_.openExternally;
  dialog.exec();
}

void BrowserSession::ConvertMedia(const media::MediaRecord& record) {
  if (record.SourcePath.empty() || record.IsVideo) return;
  const media::ConvertDialogSetup setup = media::ConvertSetupFor(record.IsProjector);
  // "Name|*.ext|Name|*.ext" in the dialog's own filter form.
  QStringList parts = QString::fromStdString(setup.filter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) filters << parts[i] + QStringLiteral(" (") + parts[i + 1] + QStringLiteral(")");
  QString chosenFilter;
  // The movie's own name is proposed, in the folder the browser shows (beside the movie
  // when the browser shows none).
  const QString start = QString::fromStdString(
      media::ConvertDefaultName(record.SourcePath, folder_ == kDriveList ? std::string() : folder_));
  const QString target = QFileDialog::getSaveFileName(
      services_.window, QString::fromStdString(LangText(setup.titleKey, setup.titleDefault)), start,
      filters.join(QStringLiteral(";;")), &chosenFilter);
  if (target.isEmpty()) return;
  const int filterIndex = static_cast<int>(filters.indexOf(chosenFilter)) + 1;
  const media::ConvertPlan plan = media::PlanConversion(record.IsProjector, filterIndex < 1 ? 1 : filterIndex,
                                                        target.toStdString());
  const std::string failure =
      media::RunConversion(*services_.media, plan, record, media::DefaultStubPath(services_.paths.BinaryPath));
  if (!failure.empty()) {
    BrowserMessage(services_.dialogs, failure + "\r\n\r\n" + plan.target, LangText(setup.titleKey, setup.titleDefault),
                   {LangText("Shared/Close", "Close")}, "error");
    return;
  }
  if (services_.player && services_.player->BrowserMode() && FolderOf(plan.target) == folder_) NewMediaBrowse(folder_, true);
  // The new file is named, with the way to its folder.
  const int answer = BrowserMessage(services_.dialogs, LangText("BrowseMedia/strSaved", "The file was written:") + "\r\n\r\n" + plan.target,
                                    LangText(setup.titleKey, setup.titleDefault),
                                    {LangText("Shared/Close", "Close"), LangText("Shared/ShowFiles", "Show Files")}, "save");
  if (answer == 1) OpenExternally(FolderOf(plan.target));
}

void BrowserSession::ShowMovieInfo(const media::MediaRecord& record) {
  const bool satellite = services_.options->ReadBoolOption("Thumbnails", "Satellite");
  const std::string source = record.SourcePath;
  const std::string thumb =
      source.empty() ? std::string()
                     : (satellite ? FolderOf(source) : services_.paths.CachePath) + ThumbName(source, satellite);
  const ShotOptions shot = ThumbnailOptions();
  InfoDialog dialog(
      record, [this](std::string_view key, std::string_view fallback) { return LangText(key, fallback); }, thumb,
      [this, source, thumb, shot] {
        media::MediaRecord scratch;
        MakeThumbnail(*services_.media, source, thumb, shot, 0.5, scratch);
      },
      services_.window);
  dialog.exec();
}

// ---- Pictures of the playing movie -----------------------------------------------------

std::string BrowserSession::PictureTarget(bool wallpaper) {
  if (wallpaper) return services_.paths.UserPath + "Vantrel Wallpaper.jpg";
  const std::string myFlash =
      services_.options->ReadOption(*core::FindOption("Recent", "MyFlash"), core::DefaultMyFlashFolder());
  const std::string folder = core::AddSlash(myFlash) + "ScreenShots/";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const media::MediaRecord& record = services_.player->Record();
  std::string title = media::FileTitle(record.SourcePath.empty() ? record.FileName : record.SourcePath, true);
  if (title.empty()) title = "Vantrel";
  const int frame = services_.currentFrame ? std::max(0, services_.currentFrame()) : 0;
  return ScreenshotPath(folder, title, frame, [](const std::string& path) { return core::FileExists(path); });
}

std::string BrowserSession::MenuItemPath() const {
  if (menuItem_ < 0 || menuItem_ >= static_cast<int>(listing_.items.size())) return {};
  return listing_.items[static_cast<std::size_t>(menuItem_)].Path;
}

std::string BrowserSession::SavePicture(bool wallpaper) {
  if (!services_.player || !services_.grabFrame) return {};
  const std::string target = PictureTarget(wallpaper);
  cDIBSection surface;
  core::RunError error;
  if (!SurfaceFrom(services_.grabFrame(), surface) ||
      !SaveJPEG(surface, target, services_.options->ReadNumberOption("Thumbnails", "ShotJpeg"), error)) {
    Log("Failed to save JPEG");
    if (services_.log) services_.log->ReportError(error, "Taking Picture");
    return {};
  }
  return target;
}

std::string BrowserSession::SaveThumbnail() {
  if (!services_.player || !services_.grabFrame) return {};
  const std::string movie = services_.player->Record().SourcePath;
  if (movie.empty()) return {};
  const bool satellite = services_.options->ReadBoolOption("Thumbnails", "Satellite");
  const std::string target =
      (satellite ? FolderOf(movie) : services_.paths.CachePath) + ThumbName(movie, satellite);
  cDIBSection surface;
  core::RunError error;
  if (!SurfaceFrom(services_.grabFrame(), surface) ||
      !SaveJPEG(surface, target, services_.options->ReadNumberOption("Thumbnails", "ShotJpeg"), error)) {
    Log("Failed to save JPEG");
    if (services_.log) services_.log->ReportError(error, "Saving Thumbnail");
    return {};
  }
  return target;
}

void BrowserSession::ManageFavorites() {
  const std::string myFlash =
      services_.options->ReadOption(*core::FindOption("Recent", "MyFlash"), core::DefaultMyFlashFolder());
  FavoritesDialog dialog(favorites_, services_.dialogs, services_.languages, myFlash, services_.window);
  if (dialog.exec() != QDialog::Accepted) return;
  favorites_ = dialog.Folders();
  SaveFavorites(*services_.options, favorites_);
  LoadFavoritesMenu();
}

}  // namespace vantrel::browser
