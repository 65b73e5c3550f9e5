#include "system/system_integration.h"

#include <QMessageBox>
#include <QProcess>
#include <QWidget>

#include "core/options.h"
#include "player/player.h"
#include "system/associations.h"
#include "system/desktop_dialog.h"
#include "system/screen_saver.h"

namespace vantrel::system {

SystemIntegration::SystemIntegration(core::OptionsStore& options, const core::Paths& paths, player::Player& player,
                                     QWidget* window)
    : options_(options), paths_(paths), player_(player), window_(window) {}

SystemIntegration::~SystemIntegration() {
  if (desktop_) delete desktop_.data();
}

void SystemIntegration::Started() {
  if (options_.ReadBool("System", "DisableScreenSaver", false)) inhibitor_.SetSSState(0);
}

void SystemIntegration::RestoreScreenSaver() { inhibitor_.SetSSState(1); }

void SystemIntegration::ApplyScreenSaverOption(bool disable) { inhibitor_.SetSSState(disable ? 0 : 1); }

bool SystemIntegration::DialogOpen(const std::string& name) const { return name == "frmDesktop" && desktop_; }

bool SystemIntegration::MenuClick(const std::string& name) {
  if (name == "mnuDesktop") {
    OpenDesktopDialog();
    return true;
  }
  if (name == "mnuScreenSaver") {
    // The saver plays the file itself; a projector's movie lives in the cache, which the
    // player may clean, so its extracted movie is only a last resort.
    const media::MediaRecord& record = player_.Record();
    if (player_.Loaded())
      SetMovieAsScreenSaver(record.IsProjector || record.SourcePath.empty() ? record.MoviePath : record.SourcePath);
    return true;
  }
  return false;
}

void SystemIntegration::ClearFileTypes(core::OptionsStore& options) {
  SetAssociations(options, XdgDirsFromEnvironment(), AssociationRequest{});
}

void SystemIntegration::OpenDesktopDialog() {
  if (desktop_) {
    desktop_->raise();
    return;
  }
  const media::MediaRecord& record = player_.Record();
  DesktopDialogSetup setup;
  setup.moviePath = record.MoviePath;
  setup.caption = window_ ? window_->windowTitle().toStdString() : std::string("Vantrel");
  setup.backColor = record.BackColor;
  setup.userPath = paths_.UserPath;
  setup.mediaPath = paths_.MediaPath;
  setup.flashPath = paths_.FlashPath;
  setup.saverProgram = SaverProgramPath();
  setup.dirs = XdgDirsFromEnvironment();
  desktop_ = new DesktopDialog(std::move(setup), options_, window_);
  desktop_->setAttribute(Qt::WA_DeleteOnClose);
  if (applyLanguage) applyLanguage(desktop_);
  desktop_->show();
}

void SystemIntegration::SetMovieAsScreenSaver(const std::string& movie) {
  if (movie.empty()) return;
  SetAsSS(options_, movie);
  // XScreenSaver's own choice of module, as the system's screen-saver setting.
  if (const std::string saver = SaverProgramPath(); !saver.empty()) ChooseSaverModule(core::HomeFolder(), saver);
  const std::vector<std::string> settings = ScreenSaverSettingsCommand();
  if (settings.empty()) {
    QMessageBox::information(window_, QStringLiteral("Vantrel"),
                             QStringLiteral("The movie is now the Flash screen saver's movie. Install XScreenSaver "
                                            "to see it when the screen saver starts."));
    return;
  }
  QProcess::startDetached(QString::fromStdString(settings.front()), {});
}

}  // namespace vantrel::system
