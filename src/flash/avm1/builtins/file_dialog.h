// The file dialog FileReference and FileReferenceList ask for. The player window fills
// the hook with the desktop's dialog; where it is unset (the command-line tool, tests
// without a window) every request is answered as if the user cancelled it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vantrel::flash::avm1 {

struct FileDialogRequest {
  enum class Kind { Open, OpenMany, Save };
  Kind kind = Kind::Open;
  struct Filter {
    std::string description;
    std::string extensions;  // "*.jpg;*.png"
  };
  std::vector<Filter> filters;  // none: every file
  std::string defaultName;      // for Save
};

// The chosen files' paths; empty when the user cancelled.
using FileDialogHook = std::function<std::vector<std::string>(const FileDialogRequest& request)>;

// The process's file dialog (one player per process).
FileDialogHook& FileDialog();

}  // namespace vantrel::flash::avm1
