#include "system/command_options.h"

#include <array>
#include <string_view>

namespace vantrel::system {

namespace {

// Qt's options that take a value, and those that stand alone; QApplication reads them.
constexpr std::array<std::string_view, 10> kQtOptionsWithValue = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-style", "-stylesheet",
    "-display", "-geometry", "-qwindowgeometry", "-qwindowtitle"};
constexpr std::array<std::string_view, 5> kQtFlags = {"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};

template <std::size_t N>
bool OneOf(std::string_view word, const std::array<std::string_view, N>& words) {
  for (std::string_view candidate : words) {
    if (word == candidate) return true;
  }
  return false;
}

}  // namespace

std::string PlayerUsage() {
  return "usage: vantrel [FILE...]\n"
         "       vantrel /exec STATEMENT\n"
         "       vantrel --associate | --restore-associations\n"
         "       vantrel --help | --version\n"
         "\n"
         "Plays Flash movies (SWF), Flash videos (FLV), projectors and .vantrel playlists;\n"
         "without files it shows the media browser. A running Vantrel receives the files.\n"
         "\n"
         "  --associate              make Vantrel the opener of .swf, .flv and .vantrel files\n"
         "                           (the previous openers are kept for --restore-associations)\n"
         "  --restore-associations   give those file types back to their previous openers\n"
         "  --help                   show this text\n"
         "  --version                show the version\n"
         "  --                       what follows are file names\n";
}

PlayerCommand ParsePlayerCommand(const std::vector<std::string>& argv) {
  PlayerCommand command;
  if (!argv.empty()) command.rest.push_back(argv[0]);
  bool optionsEnded = false;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      command.rest.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    PlayerAction action = PlayerAction::Run;
    if (word == "--help" || word == "-h") action = PlayerAction::Help;
    else if (word == "--version" || word == "-v") action = PlayerAction::Version;
    else if (word == "--associate") action = PlayerAction::Associate;
    else if (word == "--restore-associations") action = PlayerAction::RestoreAssociations;
    if (action == PlayerAction::Help || action == PlayerAction::Version) return {action, {}, {}};
    if (action != PlayerAction::Run) {
      // Associations change nothing else, so files beside them would be lost silently.
      if (argv.size() != 2) return {PlayerAction::UsageError, word + " takes no other arguments", {}};
      return {action, {}, {}};
    }
    if (OneOf(word, kQtOptionsWithValue)) {
      if (i + 1 >= argv.size()) return {PlayerAction::UsageError, word + " needs a value", {}};
      command.rest.push_back(word);
      command.rest.push_back(argv[++i]);
      continue;
    }
    if (OneOf(word, kQtFlags)) {
      command.rest.push_back(word);
      continue;
    }
    return {PlayerAction::UsageError, "unknown option '" + word + "'", {}};
  }
  return command;
}

}  // namespace vantrel::system
