#include "ui/player_session.h"

#include <QApplication>
#include <QThread>
#include <QTime>
#include <QUrl>

#include "core/surface_limit.h"
#include "media/identify.h"
#include "media/projector.h"
#include "net/frm_download.h"
#include "net/frm_update.h"
#include "net/net_context.h"
#include "net/web_movie_fetcher.h"
#include "player/player.h"
#include "system/associations.h"
#include "system/desktop.h"
#include "system/flash_folder.h"
#include "system/screen_saver.h"
#include "system/system_integration.h"
#include "system/xdg_dirs.h"
#include "ui/first_run_dialog.h"
#include "ui/instance_link.h"
#include "ui/languages_ui.h"
#include "ui/menu_mirror.h"
#include "ui/message_window.h"
#include "ui/movie_engine.h"
#include "ui/about_window.h"
#include "ui/export_dialog.h"
#include "ui/options_dialog.h"
#include "ui/player_window.h"
#include "ui/presentation.h"
#include "ui/tip_panel.h"
#include "browser/browser_page.h"
#include "browser/browser_session.h"
#include "ui/movie_view.h"
#include <QMenu>
#include <QPainter>

namespace vantrel::ui {

namespace {

// Ends the program's event loop. Outside a running loop (start-up failures, tests) there
// is nothing to end, and asking Qt to quit then would make every later loop, even a
// dialog's, return at once.
void ExitEventLoop() {
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

// Stands in for the control when the program has no engine: start-up then finds
// version 0 and ends with the "needs to be updated" message, as without a control.
class MissingEngine final : public MovieEngine, public player::FlashPort {
 public:
  player::FlashPort& Port() override { return *this; }
  int MajorVersion() override { return 0; }
  void Connect(player::Player*) override {}
  void SetViewSize(QSize) override {}
  void AdvanceTime(double) override {}
  double FrameInterval() override { return 1000.0 / 12; }
  void Paint(QPainter& painter, QSize viewport) override { painter.fillRect(QRect(QPoint(0, 0), viewport), Qt::black); }

  void LoadMovie(std::int32_t, const std::string&) override {}
  void Play() override {}
  void Stop() override {}
  void Rewind() override {}
  void Forward() override {}
  void Back() override {}
  void GotoFrame(std::int32_t) override {}
  std::int32_t TotalFrames() override { return 0; }
  std::int32_t FrameNum() override { return 0; }
  std::int32_t CurrentFrame() override { return 0; }
  bool Playing() override { return false; }
  void SetPlaying(bool) override {}
  std::string Quality2() override { return "High"; }
  void SetQuality2(const std::string&) override {}
  std::int32_t ScaleMode() override { return 0; }
  void SetScaleMode(std::int32_t) override {}
  void SetAlignMode(std::int32_t) override {}
  void SetBGColor(const std::string&) override {}
  void SetLoop(bool) override {}
  void SetVariable(const std::string&, const std::string&) override {}
  std::string GetVariable(const std::string&) override { return {}; }
  std::int32_t FlashVersion() override { return 0; }
};

}  // namespace

PlayerSession::PlayerSession(SessionHooks hooks)
    : hooks_(std::move(hooks)), options_(core::OptionsStore::DefaultFilePath()) {}

PlayerSession::~PlayerSession() {
  if (CurrentPresentation().languages == languages_.get()) CurrentPresentation().languages = nullptr;
  system_.reset();
  server_.reset();
  window_.reset();
  browser_.reset();
  player_.reset();
  engine_.reset();
}

QString PlayerSession::SocketName() const {
  return InstanceSocketName(QString::fromStdString(options_.FilePath()));
}

player::StartUpResult PlayerSession::Start(const std::string& commandLine) {
  return player::StartUp(commandLine, *this, options_, log_);
}

bool PlayerSession::HandOver(const std::string& commandLine) {
  return HandToFirstInstance(SocketName(), QString::fromStdString(commandLine));
}

void PlayerSession::InitPaths() {
  paths_ = core::InitPaths(core::FindAppPath(), "Flash Player");
  log_.WriteLog("Application Path: " + paths_.AppPath);
  log_.WriteLog("Cache Path: " + paths_.CachePath);
  media_.CachePath = paths_.CachePath;
  media_.UserPath = paths_.UserPath;
  media_.FlashPath = paths_.FlashPath;
  media_.Log = &log_;
  media_.Options = &options_;
  media_.ExtractProjector = media::ExtractEXE;
  languages_ = std::make_unique<core::Languages>(paths_.LanguagesPath, &log_);

  engine_ = hooks_.makeEngine ? hooks_.makeEngine() : MakeFlashEngine();
  if (engine_) engine_->SetSharedObjectFolder(paths_.UserPath + "SharedObjects/");
  if (engine_) engine_->SetLocalNetworkRule([this] { return options_.ReadBoolOption("System", "LocalNetwork"); });
  if (!engine_) engine_ = std::make_unique<MissingEngine>();
  window_ = std::make_unique<PlayerWindow>();
  qtDialogs_.SetParent(window_.get());
  shell_.SetOwner(window_.get());

  player::PlayerServices services;
  services.paths = paths_;
  services.options = &options_;
  services.log = &log_;
  services.languages = languages_.get();
  services.media = &media_;
  services.identify = [](media::MediaContext& context, const std::string& path, media::MediaRecord& record) {
    return media::IdentifyMedia(context, path, record, false);
  };
  services.isGenericProjector = [](const std::string& path) { return media::IsFlashProjector(path); };
  services.flash = &engine_->Port();
  services.window = window_.get();
  services.shell = &shell_;
  services.dialogs = hooks_.dialogs ? hooks_.dialogs : &qtDialogs_;
  browser_ = MakeBrowserSession();
  services.browser = browser_.get();
  services.host = this;
  fetcher_ = std::make_unique<net::WebMovieFetcher>(paths_.CachePath, &log_);
  fetcher_->status = [this](const QString& line) { window_->ShowStatusMessage(line); };
  // A movie's script stopped by the engine's limits: the log and the status area say so.
  engine_->SetScriptStoppedHandler([this](const std::string& message) {
    log_.WriteLog("Movie: " + message);
    QString text = QString::fromStdString(message);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    if (window_) window_->ShowStatusMessage(text);
  });
  // A script that runs long keeps the window answering: the status area says so and
  // the window repaints and hears the desktop meanwhile (the engine refuses what would
  // run scripts until it is done, so the player's timers wait); input waits too.
  engine_->SetScriptRunningLongHandler([this](double seconds) {
    if (!window_) return;
    const std::string text =
        languages_->LangText("Player/strScriptRunning", "A script in this movie has been running for %1 seconds");
    window_->ShowStatusMessage(QString::fromStdString(text).arg(static_cast<int>(seconds)));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
  });
  services.web = fetcher_.get();
  player_ = std::make_unique<player::Player>(std::move(services));
  browser_->AttachPlayer(player_.get());
}

// The dialogs' look is read once; the options dialog changes it for windows opened later.
void PlayerSession::InitVisualStyles() {
  Presentation& presentation = CurrentPresentation();
  presentation.style = options_.ReadNumberOption("Window", "Style");
  presentation.imagesPath = paths_.ImagesPath;
  presentation.helpPath = paths_.MediaPath + "Help/";
}

// Linux shows no fault dialog that could be suppressed.
void PlayerSession::SuppressFaultDialogs() {}

void PlayerSession::InitLanguages() {
  CurrentPresentation().languages = languages_.get();
  InitInterfaceFont(options_);
  languages_->EnumerateLanguages(options_.ReadText("System", "Language", ""), core::UserLocaleId());
  languages_->LoadLanguage();
}

void PlayerSession::ShowFirstRun() {
  FirstRunDialog dialog(*languages_, options_);
  dialog.onHelp = [this] { OpenHelp(""); };
  if (hooks_.firstRun) hooks_.firstRun(dialog);
  else dialog.exec();
}

int PlayerSession::FlashMajor() { return engine_ ? engine_->MajorVersion() : 0; }

void PlayerSession::ShowFlashRequired(const std::string& message) {
  if (hooks_.flashRequired) {
    hooks_.flashRequired(message);
    return;
  }
  ShowMessage(nullptr, message, "Vantrel", "error", "OK");
}

player::Player& PlayerSession::ThePlayer() { return *player_; }

bool PlayerSession::LoadPlayerWindow() {
  if (!window_ || !player_) return false;
  window_->Attach(player_.get(), engine_.get());
  window_->onOtherMenu = [this](const std::string& name, int index) {
    if (system_ && system_->MenuClick(name)) return true;
    return browser_->MenuClick(name, index);
  };
  window_->SetMenuAction("mnuWallpaper", [this](int) { SetWallpaperFromFrame(); });
  window_->SetMenuAction("mnuMovieSaver", [this](int) {
    if (system_) system_->SetMovieAsScreenSaver(browser_->MenuItemPath());
  });
  window_->SetMenuAction("mnuLangList", [this](int index) { ChooseLanguage(index); });
  window_->SetMenuAction("mnuOpt", [this](int) { ShowOptions(); });
  window_->SetMenuAction("mnuAbout", [this](int) { ShowPage(false); });
  window_->SetMenuAction("mnuPopAbout", [this](int) { ShowPage(false); });
  window_->SetMenuAction("mnuIntro", [this](int) { ShowPage(true); });
  window_->SetMenuAction("mnuDownload", [this](int) { ShowDownload(); });
  window_->SetMenuAction("mnuExportVideo", [this](int) { ExportPlayingMovie(); });
  // The last window is gone: the process ends (a hidden window's close alone would not
  // end Qt's event loop).
  window_->onUnloaded = [this] {
    // No running window is left to hand command lines to. A second instance (started
    // with One Instance off) leaves the first one's entry alone.
    if (firstInstance_) options_.WriteText("Window", "hWnd", "0");
    ExitEventLoop();
  };
  window_->onBrowseHome = [this] {
    browser_->ShowFolder(options_.ReadOption(*core::FindOption("Recent", "MyFlash")), true);
  };
  options_.WriteText("Window", "hWnd", std::to_string(window_->winId()));
  PlayerWindow::SkinSetup skin;
  skin.skinPath = paths_.SkinPath;
  skin.userSkinPath = paths_.UserSkinPath;
  skin.options = &options_;
  skin.languages = languages_.get();
  skin.log = &log_;
  window_->SetSkinSetup(skin);
  window_->SetMenuAction("mnuSkinList", [this](int index) { window_->UseSkin(index == 1); });
  system_ = std::make_unique<system::SystemIntegration>(options_, paths_, *player_, window_.get());
  system_->applyLanguage = [this](QWidget* dialog) { ApplyLanguage(dialog, *languages_); };
  player_->SetScreenSaverProgram(system::SaverProgramPath());
  RegisterScriptOperations();
  player_->Load();
  system_->Started();
  engine_->SetCropToStage(options_.ReadBoolOption("Window", "Crop"));
  // The Skin menu: "No Skin" and the shipped skin.
  player_->Menus().ResizeArray("mnuSkinList", 2);
  player_->Menus().SetCaption("mnuSkinList", 1, "Vantrel");
  player_->Menus().SetEnabled("mnuSkinList", 1, true);
  window_->UseSkin(hooks_.skin.value_or(options_.ReadNumber("Window", "Skin", 1) != 0));
  // The download dialog is there to be used.
  player_->Menus().SetVisible("mnuDownload", true);
  player_->Menus().SetEnabled("mnuDownload", true);
  browser_->LoadFavoritesMenu();
  BuildLanguageMenu(player_->Menus(), *languages_);
  ApplyMenuLanguage(player_->Menus(), *languages_);
  ApplyLanguage(window_.get(), *languages_);
  window_->Menus()->SetPauseCaption(languages_->LangText("Player/mnuPause", "Pause"));
  tips_ = new TipPanel(window_->centralWidget(), paths_.MediaPath);
  tips_->reservedBottom = [this] { return window_ ? window_->ControlBarHeight() : 0; };
  window_->onChromeChanged = [this] {
    if (tips_ && tips_->isVisible()) tips_->Place();
  };
  tips_->onLink = [this](const Tip& tip) { FollowTip(tip); };
  // The skin's tip button shows another tip.
  window_->onSkinCommand = [this](const std::string& name) { return name == "cmdTip" && tips_->ShowRandomTip(); };
  LoadTipsForLanguage();

  server_ = std::make_unique<InstanceServer>();
  firstInstance_ = server_->Listen(SocketName());
  if (firstInstance_) {
    QObject::connect(server_.get(), &InstanceServer::CommandReceived, window_.get(),
                     [this](const QString& text) { window_->HandOver(text); });
  }
  return true;
}

void PlayerSession::FollowTip(const Tip& tip) {
  // A tip that shows how to do something does it: its action is a statement on the
  // player, as an "/exec" command line is; otherwise its link opens.
  if (!tip.Action.empty()) {
    log_.WriteLog("Tip Action: " + tip.Action);
    const std::string error = player_->Script().Execute(tip.Action);
    if (!error.empty()) log_.WriteLog(error);
    return;
  }
  if (tip.Link.find("://") != std::string::npos) OpenAddress(tip.Link);
  else ui::OpenHelp(tip.Link);
}

void PlayerSession::ProcessEvents() { QCoreApplication::processEvents(); }

void PlayerSession::ShowPlayerWindow() {
  window_->Show();
  if (tips_ && player_->Menus().Checked("mnuTips") && !hooks_.noTips) tips_->ShowRandomTip();
}

bool PlayerSession::SkinLoaded() { return window_ && window_->SkinLoaded(); }

void PlayerSession::WebUpdate() { WebUpdate(true); }

void PlayerSession::ShowIntro() { ShowPage(true); }

void PlayerSession::ShowPage(bool intro) {
  const QString name = intro ? QStringLiteral("frmIntro") : QStringLiteral("frmAbout");
  for (QWidget* open : QApplication::topLevelWidgets()) {
    if (open->objectName() == name && open->isVisible()) {
      open->raise();
      open->activateWindow();
      return;
    }
  }
  const std::string host = player::ProductWebHost(languages_.get());
  PageWindow* page = intro ? static_cast<PageWindow*>(new IntroWindow(host, window_.get()))
                           : new AboutWindow(engine_ ? engine_->Port().FlashVersion() : 0, host, window_.get());
  page->onWeb = [this] { player_->GoWeb(""); };
  page->show();
}

void PlayerSession::ShowOptions() {
  OptionsDialog::Effects effects;
  effects.save = [this] { player_->SaveOpts(); };
  effects.relayout = [this] {
    engine_->SetCropToStage(options_.ReadBoolOption("Window", "Crop"));
    window_->OptionsChanged();
    window_->MovieArea()->update();
  };
  effects.screenSaver = [this](bool disable) {
    if (system_) system_->ApplyScreenSaverOption(disable);
  };
  effects.fileTypesChanged = [this](bool movie, bool video, bool playlist) {
    system::AssociationRequest request;
    request.movie = movie;
    request.video = video;
    request.playlist = playlist;
    request.executable = QCoreApplication::applicationFilePath().toStdString();
    request.lookup = [this](std::string_view key, std::string_view defaultText) {
      return languages_->LangText(key, defaultText);
    };
    const system::AssociationResult result = system::SetAssociations(options_, system::XdgDirsFromEnvironment(), request);
    if (!result.error.empty()) log_.WriteLog("File types: " + result.error);
  };
  effects.flashFolderChanged = [this](const std::string& oldFolder, const std::string& newFolder) {
    MoveFlashFolder(oldFolder, newFolder);
  };
  OptionsDialog dialog(options_, effects, window_.get());
  if (hooks_.options) {
    hooks_.options(dialog);
    return;
  }
  dialog.exec();
}

std::unique_ptr<browser::BrowserSession> PlayerSession::MakeBrowserSession() {
  browser::BrowserServices services;
  services.paths = paths_;
  services.options = &options_;
  services.log = &log_;
  services.languages = languages_.get();
  services.media = &media_;
  services.dialogs = hooks_.dialogs ? hooks_.dialogs : &qtDialogs_;
  services.window = window_.get();
  services.grabFrame = [this] {
    // The movie area's picture, within the drawing limit (a window stretched over
    // several large screens is captured scaled down).
    const QSize area = window_->MovieArea()->size().expandedTo(QSize(1, 1));
    const core::SurfaceSize bounded = core::BoundSurface(area.width(), area.height());
    if (bounded.reduced) log_.WriteLog("Capture: " + core::ReducedSurfaceNote(area.width(), area.height(), bounded));
    const QSize size(bounded.width, bounded.height);
    QImage picture(size, QImage::Format_RGB32);
    if (picture.isNull()) return picture;
    // The shot is of the movie itself: View > Opacity fades only what the window shows.
    const std::int32_t alpha = player_ ? player_->FlashAlpha() : 100;
    if (alpha != 100) engine_->Port().SetVariable("_alpha", "100");
    {
      QPainter painter(&picture);
      engine_->Paint(painter, size);
    }
    if (alpha != 100) engine_->Port().SetVariable("_alpha", std::to_string(alpha));
    return picture;
  };
  services.currentFrame = [this] { return engine_->Port().FrameNum(); };
  services.popUpItemMenu = [this](QPoint at) {
    if (QMenu* menu = window_->Menus() ? window_->Menus()->PopUp("PupItem") : nullptr) menu->popup(at);
  };
  services.menusChanged = [this] {
    if (window_->Menus()) window_->Menus()->Rebuild();
  };
  services.openExternally = [this](const std::string& folder) { OpenOnDesktop(folder, window_.get()); };
  auto session = std::make_unique<browser::BrowserSession>(std::move(services));
  window_->SetBrowserPage(session->Page());
  return session;
}

void PlayerSession::SetWallpaperFromFrame() {
  const std::string picture = browser_->SavePicture(true);
  if (picture.empty()) return;
  const std::string why = system::SetWallpaper(system::XdgDirsFromEnvironment(), picture);
  if (!why.empty()) ShowMessage(window_.get(), why, "Vantrel", "info", "OK");
}

void PlayerSession::ChooseLanguage(int index) {
  const auto& table = languages_->Table();
  if (index < 0 || static_cast<std::size_t>(index) >= table.size()) return;
  player::MenuModel& menus = player_->Menus();
  for (int i = 0; i < menus.ArrayCount("mnuLangList"); ++i) menus.SetChecked("mnuLangList", i, i == index);
  languages_->SetCurrent(static_cast<std::size_t>(index));
  languages_->LoadLanguage();
  ApplyMenuLanguage(menus, *languages_);
  ApplyLanguage(window_.get(), *languages_);
  window_->Menus()->SetPauseCaption(languages_->LangText("Player/mnuPause", "Pause"));
  LoadTipsForLanguage();
}

// ---- player::HostPort ------------------------------------------------------------------

net::NetContext PlayerSession::NetworkContext() {
  net::NetContext context;
  context.options = &options_;
  context.languages = languages_.get();
  context.log = &log_;
  context.cachePath = paths_.CachePath;
  context.imagesPath = paths_.ImagesPath;
  context.applyLanguage = [this](QWidget* dialog) {
    if (languages_) ApplyLanguage(dialog, *languages_);
  };
  // Addresses the network's windows open go through the desktop's opener too.
  context.openUrl = [this](const QUrl& url) {
    OpenOnDesktop(url.toString().toStdString(), window_.get());
    return true;
  };
  // The network's questions and reports use the program's own message window.
  context.showMessage = [](QWidget* parent, const QString& text, const QString& title, const QStringList& buttons,
                           const QString& picture) {
    const std::string first = buttons.isEmpty() ? std::string("OK") : buttons[0].toStdString();
    const std::string second = buttons.size() > 1 ? buttons[1].toStdString() : std::string();
    return ShowMessage(parent, text.toStdString(), title.toStdString(),
                       picture.isEmpty() ? std::string("info") : picture.toStdString(), first, second)
               ? 1
               : 0;
  };
  return context;
}

// The Flash folder moved in the options: its movies, thumbnails and screenshots go along,
// the old folder loses its mark and goes when it is empty, and the new one gets the
// folder's icon and tip. A move that stops half way says what stayed behind.
void PlayerSession::MoveFlashFolder(const std::string& oldFolder, const std::string& newFolder) {
  log_.WriteLog(" :: Move Flash Folder (" + oldFolder + " > " + newFolder + ")");
  if (oldFolder.empty()) {
    system::CustomiseFolder(newFolder, system::FlashFolderTipFor(*languages_));
    return;
  }
  const std::string failure = system::MoveFlashFolder(oldFolder, newFolder, system::FlashFolderTipFor(*languages_));
  if (failure.empty()) return;
  log_.WriteLog("Move Flash Folder: " + failure);
  player::DialogPort* dialogs = hooks_.dialogs ? hooks_.dialogs : &qtDialogs_;
  const std::string text = languages_->LangText("frmOptions/strMoveFailed",
                                                "Some files could not be moved to the new Flash folder and are still in "
                                                "the old one.") +
                           "\n\n" + failure;
  dialogs->ShowMessage(text, languages_->LangText("frmOptions/Caption", "Options"), {"OK"}, "error");
}

// The window's operations that live outside the player's core, callable from "/exec"
// statements and tip actions like the core's own.
void PlayerSession::RegisterScriptOperations() {
  using T = player::ScriptType;
  player::ScriptHost& script = player_->Script();
  script.Add("SetAsSS", {{T::Text}}, [this](const player::ScriptArgs& a) {
    if (system_) system_->SetMovieAsScreenSaver(a.Text(0));
  });
  // Without its argument the check is the user's own (it says when nothing is new).
  script.Add("WebUpdate", {{T::Boolean, true, player::ScriptValue::OfBool(false)}},
             [this](const player::ScriptArgs& a) { WebUpdate(a.Boolean(0)); });
}

void PlayerSession::WebUpdate(bool automatic) {
  // One check at a time: asking again brings the open one to the front (a hidden
  // automatic check still running gives way to the user's own).
  if (update_ && update_->isVisible()) {
    update_->raise();
    return;
  }
  if (automatic && update_) return;
  update_ = net::WebUpdate(automatic, NetworkContext(), window_.get());
}

void PlayerSession::ShowDownload() {
  if (!download_) download_ = new net::frmDownload(NetworkContext(), window_.get());
  download_->show();
  download_->raise();
}

void PlayerSession::ExportPlayingMovie() {
  const media::MediaRecord& record = player_->Record();
  if (player_->OwnMovie() || record.SourcePath.empty()) return;
  ExportMovie movie;
  // A video is read from its file; a movie as the control loaded it (a projector's or a
  // compressed movie's plain copy).
  movie.source = record.IsVideo || record.MoviePath.empty() ? record.SourcePath : record.MoviePath;
  const browser::ExportFacts facts = browser::ReadExportFacts(movie.source);
  if (!facts.error.empty()) {
    ShowMessage(window_.get(), facts.error, UiText("frmExport/Caption", "Export Video"), "error",
                UiText("Shared/Close", "Close"));
    return;
  }
  movie.title = media::FileTitle(record.SourcePath, true);
  movie.isVideo = facts.isVideo;
  movie.width = facts.width;
  movie.height = facts.height;
  movie.rate = facts.rate;
  movie.frames = facts.frames;
  movie.currentFrame = facts.isVideo || !engine_ ? 1 : std::max(1, engine_->Port().FrameNum() + 1);
  ExportVideo(movie, options_, window_.get(),
              [this](const std::string& folder) { OpenOnDesktop(folder, window_.get()); });
}

void PlayerSession::OpenHelp(const std::string& topic) { ui::OpenHelp(topic); }

void PlayerSession::OfferTip(const std::string& key) {
  if (!tips_ || !player_ || !player_->Menus().Checked("mnuTips")) return;
  tips_->ShowTipFor(key);
}

void PlayerSession::LoadTipsForLanguage() {
  if (!tips_) return;
  const auto& table = languages_->Table();
  const std::size_t current = languages_->Current();
  const std::string base = current < table.size() ? table[current].FileBase : "English";
  const int id = current < table.size() ? table[current].LangID : 1033;
  tips_->SetTips(LoadTips(paths_.MediaPath, base, id, &log_));
}

void PlayerSession::RestoreScreenSaver() {
  if (system_) system_->RestoreScreenSaver();
}

void PlayerSession::ClearFileTypes() { system::SystemIntegration::ClearFileTypes(options_); }

bool PlayerSession::DialogOpen(const std::string& name) { return system_ && system_->DialogOpen(name); }

void PlayerSession::EndProcess() { ExitEventLoop(); }

}  // namespace vantrel::ui
