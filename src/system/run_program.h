// Starting the desktop's own command-line tools (gsettings, update-mime-database,
// xfconf-query) without a shell, so that paths with spaces or quotes go through as
// they are.
#pragma once

#include <string>
#include <vector>

namespace vantrel::system {

struct ProgramRun {
  bool started = false;  // false: the program is not installed or could not start
  int exitCode = -1;     // the program's exit code once it ran
  std::string output;    // what it wrote to standard output (at most 64 KiB)
};

// Runs argv[0] (looked up on PATH) with the arguments and waits for it. Standard input
// is /dev/null and standard error is dropped.
ProgramRun RunProgram(const std::vector<std::string>& argv);

// True when name is an executable file in one of the PATH folders.
bool ProgramOnPath(const std::string& name);

}  // namespace vantrel::system
