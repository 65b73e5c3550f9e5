// vantrel: the player. Reads its own options first (help, version, associations end
// without a window), then starts in its fixed order, or hands its command line to a
// running first instance and ends.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/version.h"
#include "player/start_up.h"
#include "system/associations.h"
#include "system/command_options.h"
#include "ui/command_line_text.h"
#include "ui/player_session.h"

namespace {

constexpr int kExitUsage = 2;

std::string OwnExecutable() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

int ChangeAssociations(bool associate) {
  vantrel::core::OptionsStore options(vantrel::core::OptionsStore::DefaultFilePath());
  vantrel::system::AssociationRequest request;
  request.movie = request.video = request.playlist = associate;
  request.executable = OwnExecutable();
  const vantrel::system::XdgDirs dirs = vantrel::system::XdgDirsFromEnvironment();
  const vantrel::system::AssociationResult result = vantrel::system::SetAssociations(options, dirs, request);
  if (!result.error.empty()) {
    std::fprintf(stderr, "vantrel: %s: %s\n", vantrel::system::UserMimeAppsPath(dirs).c_str(), result.error.c_str());
    return 1;
  }
  if (associate) {
    std::printf("Vantrel now opens Flash movies, Flash videos and playlists (%s).\n",
                vantrel::system::UserMimeAppsPath(dirs).c_str());
  } else {
    std::printf("Flash movies, Flash videos and playlists open with their previous programs again.\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const vantrel::system::PlayerCommand command =
      vantrel::system::ParsePlayerCommand(std::vector<std::string>(argv, argv + argc));
  switch (command.action) {
    case vantrel::system::PlayerAction::Help:
      std::fputs(vantrel::system::PlayerUsage().c_str(), stdout);
      return 0;
    case vantrel::system::PlayerAction::Version:
      std::printf("Vantrel %s\n", vantrel::core::VersionNumberText().c_str());
      return 0;
    case vantrel::system::PlayerAction::UsageError:
      std::fprintf(stderr, "vantrel: %s (see vantrel --help)\n", command.error.c_str());
      return kExitUsage;
    case vantrel::system::PlayerAction::Associate: return ChangeAssociations(true);
    case vantrel::system::PlayerAction::RestoreAssociations: return ChangeAssociations(false);
    case vantrel::system::PlayerAction::Run: break;
  }

  std::vector<std::string> kept = command.rest;
  std::vector<char*> keptArgv;
  for (std::string& word : kept) keptArgv.push_back(word.data());
  keptArgv.push_back(nullptr);
  int keptArgc = static_cast<int>(kept.size());

  QApplication application(keptArgc, keptArgv.data());
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  QApplication::setOrganizationName(QStringLiteral("Vantrel"));
  QApplication::setDesktopFileName(QStringLiteral("vantrel"));

  const QStringList arguments = QApplication::arguments().mid(1);
  const std::string commandLine = vantrel::ui::CommandLineText(arguments, QDir::currentPath());

  vantrel::ui::PlayerSession session;
  switch (session.Start(commandLine)) {
    case vantrel::player::StartUpResult::HandedOver: return 0;
    case vantrel::player::StartUpResult::FlashRequired: return 1;
    case vantrel::player::StartUpResult::Failed: return 1;
    case vantrel::player::StartUpResult::Running: break;
  }
  return QApplication::exec();
}
