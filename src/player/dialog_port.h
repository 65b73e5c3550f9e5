// The dialogs the player asks questions with: file and folder choosers and messages.
#pragma once

#include <string>
#include <vector>

namespace vantrel::player {

struct FileFilter {
  std::string name;      // "Flash Video"
  std::string patterns;  // "*.flv", or several joined by ";"
};

class DialogPort {
 public:
  virtual ~DialogPort() = default;
  // The chosen files; none when the user cancelled.
  virtual std::vector<std::string> OpenFiles(const std::string& title, const std::vector<FileFilter>& filters,
                                             const std::string& defaultExtension, const std::string& startFolder,
                                             bool multiple) = 0;
  // The chosen target; "" when cancelled.
  virtual std::string SaveFile(const std::string& title, const std::vector<FileFilter>& filters,
                               const std::string& startFolder) = 0;
  // The chosen folder with a trailing slash; "" when cancelled.
  virtual std::string ChooseFolder(const std::string& prompt, const std::string& startFolder) = 0;
  // Shows a message with buttons (the first is the default); returns the index of the
  // button that closed it.
  virtual int ShowMessage(const std::string& text, const std::string& title, const std::vector<std::string>& buttons,
                          const std::string& picture) = 0;
};

}  // namespace vantrel::player
