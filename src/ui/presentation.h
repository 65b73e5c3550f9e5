// The presentation's run-wide state: the language document, the images and help
// folders, the visual style and how help pages open. The session fills it at start;
// tests install their own.
#pragma once

#include <functional>
#include <string>

namespace vantrel::core {
class Languages;
}

namespace vantrel::ui {

struct Presentation {
  const core::Languages* languages = nullptr;  // null: every text keeps its default
  std::string imagesPath;                      // folder of the program's pictures, "/" at the end
  std::string helpPath;                        // folder of the shipped help pages, "/" at the end
  int style = 1;                               // "Window"/"Style"
  // Opens an address (unset: the desktop's opener, OpenOnDesktop).
  std::function<void(const std::string& address)> openAddress;
  // Hears a file or address nothing on the desktop opened (unset: the message window
  // shows it with a Copy button).
  std::function<void(const std::string& target)> cannotOpen;
};

// The presentation of this run.
Presentation& CurrentPresentation();

// Replaces the presentation for the life of the object and puts the previous one back.
class ScopedPresentation {
 public:
  explicit ScopedPresentation(Presentation presentation);
  ~ScopedPresentation();
  ScopedPresentation(const ScopedPresentation&) = delete;
  ScopedPresentation& operator=(const ScopedPresentation&) = delete;

 private:
  Presentation saved_;
};

// A language text of the current presentation, or defaultText.
std::string UiText(const std::string& key, const std::string& defaultText);

// The address of a help topic: the shipped page helpPath + topic + ".html" when it is
// there (the index "index.html" for an empty topic), else "http://" + the product's web
// host + "/help/" + topic, with ".html" unless topic is empty.
std::string HelpAddress(const std::string& topic);

// Opens the help topic (every dialog's help button).
void OpenHelp(const std::string& topic);

// Opens an address with the desktop's handler (or the presentation's openAddress).
void OpenAddress(const std::string& address);

}  // namespace vantrel::ui
