// vantrel: the player. Starts in its fixed order, or hands its command line to a
// running first instance and ends.
#include <QApplication>
#include <QDir>

#include "player/start_up.h"
#include "ui/command_line_text.h"
#include "ui/player_session.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  QApplication::setOrganizationName(QStringLiteral("Vantrel"));

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
