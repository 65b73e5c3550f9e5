#include "browser/browser_messages.h"

namespace vantrel::browser {

int BrowserMessage(player::DialogPort* dialogs, const std::string& text, const std::string& title,
                   const std::vector<std::string>& buttons, const std::string& picture) {
  if (!dialogs) return 0;
  return dialogs->ShowMessage(text, title, buttons, picture);
}

}  // namespace vantrel::browser
