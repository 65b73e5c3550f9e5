// The player's own command-line options, read before any window exists: --help and
// --version print and end, --associate and --restore-associations change the file
// associations and end, and any other option is a usage error. What is left (files,
// "/exec" statements, Qt's own options) goes on to the start-up procedure.
#pragma once

#include <string>
#include <vector>

namespace vantrel::system {

enum class PlayerAction { Run, Help, Version, Associate, RestoreAssociations, UsageError };

struct PlayerCommand {
  PlayerAction action = PlayerAction::Run;
  std::string error;               // for UsageError: what was wrong
  std::vector<std::string> rest;   // for Run: the arguments the player gets (argv[0] first)
};

// Reads argv. "--" ends the options: what follows is taken as file names, even when it
// starts with "-". Qt's own options (-platform NAME, -style NAME, ...) pass through.
PlayerCommand ParsePlayerCommand(const std::vector<std::string>& argv);

// The text --help prints.
std::string PlayerUsage();

}  // namespace vantrel::system
