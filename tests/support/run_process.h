// Runs a program of the build and captures what it prints, for command-line tests.
#pragma once

#include <string>
#include <vector>

namespace vantrel::testing {

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs program with args (no shell), waits for it, returns exit code and both streams.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args);

}  // namespace vantrel::testing
