#include "ui/player_session.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTime>
#include <QUrl>

#include "media/identify.h"
#include "media/projector.h"
#include "player/player.h"
#include "system/system_integration.h"
#include "ui/first_run_dialog.h"
#include "ui/instance_link.h"
#include "ui/languages_ui.h"
#include "ui/movie_engine.h"
#include "ui/player_window.h"

namespace vantrel::ui {

namespace {

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
  system_.reset();
  server_.reset();
  window_.reset();
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
  if (!engine_) engine_ = std::make_unique<MissingEngine>();
  window_ = std::make_unique<PlayerWindow>();
  qtDialogs_.SetParent(window_.get());

  player::PlayerServices services;
  services.paths = paths_;
  services.options = &options_;
  services.log = &log_;
  services.languages = languages_.get();
  services.media = &media_;
  services.identify = [](media::MediaContext& context, const std::string& path, media::MediaRecord& record) {
    return media::IdentifyMedia(context, path, record, false);
  };
  services.isGenericProjector = [](const std::string& path) { return media::IsGenericProjector(path, false); };
  services.flash = &engine_->Port();
  services.window = window_.get();
  services.shell = &shell_;
  services.dialogs = hooks_.dialogs ? hooks_.dialogs : &qtDialogs_;
  services.browser = this;
  services.host = this;
  player_ = std::make_unique<player::Player>(std::move(services));
}

// Qt gives every window the desktop's own style; nothing to switch on.
void PlayerSession::InitVisualStyles() {}

// Linux shows no fault dialog that could be suppressed.
void PlayerSession::SuppressFaultDialogs() {}

void PlayerSession::InitLanguages() {
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
  QMessageBox::information(nullptr, QStringLiteral("Vantrel"), QString::fromStdString(message));
}

player::Player& PlayerSession::ThePlayer() { return *player_; }

bool PlayerSession::LoadPlayerWindow() {
  if (!window_ || !player_) return false;
  window_->Attach(player_.get(), engine_.get());
  window_->onOtherMenu = [this](const std::string& name, int index) {
    if (name == "mnuLangList") ChooseLanguage(index);
    else if (system_) system_->MenuClick(name);
  };
  // The last window is gone: the process ends (a hidden window's close alone would not
  // end Qt's event loop).
  window_->onUnloaded = [] { QCoreApplication::exit(0); };
  window_->onBrowseHome = [this] {
    ShowFolder(options_.ReadOption(*core::FindOption("Recent", "MyFlash")), true);
  };
  options_.WriteText("Window", "hWnd", std::to_string(window_->winId()));
  system_ = std::make_unique<system::SystemIntegration>(options_, paths_, *player_, window_.get());
  system_->applyLanguage = [this](QWidget* dialog) { ApplyLanguage(dialog, *languages_); };
  player_->Load();
  system_->Started();
  BuildLanguageMenu(player_->Menus(), *languages_);
  ApplyMenuLanguage(player_->Menus(), *languages_);
  ApplyLanguage(window_.get(), *languages_);

  server_ = std::make_unique<InstanceServer>();
  if (server_->Listen(SocketName())) {
    QObject::connect(server_.get(), &InstanceServer::CommandReceived, window_.get(),
                     [this](const QString& text) { window_->HandOver(text); });
  }
  return true;
}

void PlayerSession::ProcessEvents() { QCoreApplication::processEvents(); }

void PlayerSession::ShowPlayerWindow() { window_->Show(); }

bool PlayerSession::SkinLoaded() { return window_ && window_->SkinLoaded(); }

void PlayerSession::WebUpdate() { WebUpdate(true); }

// The intro window comes with the intro and about windows.
void PlayerSession::ShowIntro() {}

void PlayerSession::ChooseLanguage(int index) {
  const auto& table = languages_->Table();
  if (index < 0 || static_cast<std::size_t>(index) >= table.size()) return;
  player::MenuModel& menus = player_->Menus();
  for (int i = 0; i < menus.ArrayCount("mnuLangList"); ++i) menus.SetChecked("mnuLangList", i, i == index);
  languages_->SetCurrent(static_cast<std::size_t>(index));
  languages_->LoadLanguage();
  options_.WriteText("System", "Language", table[static_cast<std::size_t>(index)].FileBase);
  ApplyMenuLanguage(menus, *languages_);
  ApplyLanguage(window_.get(), *languages_);
}

// ---- player::HostPort ------------------------------------------------------------------

// The update check comes with the network part of the program.
void PlayerSession::WebUpdate(bool) {}

void PlayerSession::OpenHelp(const std::string& topic) {
  std::string address = "http://" + player::ProductWebHost(languages_.get()) + "/help/" + topic;
  if (!topic.empty()) address += ".html";
  QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

// Tips come with the tips window.
void PlayerSession::OfferTip(const std::string&) {}

void PlayerSession::RestoreScreenSaver() {
  if (system_) system_->RestoreScreenSaver();
}

void PlayerSession::ClearFileTypes() { system::SystemIntegration::ClearFileTypes(options_); }

bool PlayerSession::DialogOpen(const std::string& name) { return system_ && system_->DialogOpen(name); }

void PlayerSession::EndProcess() { QCoreApplication::exit(0); }

// ---- player::BrowserPort ---------------------------------------------------------------

void PlayerSession::LoadBrowsePage() {
  std::string path = paths_.FlashPath + "browse.swf?myXML=" + core::EscapeText(paths_.UserPath + "browse.xml") +
                     "&time=" + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString();
  std::string caption = languages_->LangText("BrowseMedia/strBrowseMedia", "Browse Media");
  player_->LoadFlash(path, caption, true);
}

void PlayerSession::BrowseMedia() { LoadBrowsePage(); }

void PlayerSession::ShowFolder(const std::string&, bool) { LoadBrowsePage(); }

void PlayerSession::ShowError(const std::string& message) {
  if (window_) window_->ShowStatusMessage(QString::fromStdString(message));
}

void PlayerSession::GoLevelUp() {}

std::vector<player::BrowserItem> PlayerSession::Items() { return {}; }

}  // namespace vantrel::ui
