// Every question and report of the browser's windows goes through here, so the whole
// browser speaks with one message window.
#pragma once

#include <string>
#include <vector>

#include "player/dialog_port.h"

namespace vantrel::browser {

// Shows text with buttons (the first is the default) through dialogs; returns the index
// of the button that closed it, 0 when there is no one to ask.
int BrowserMessage(player::DialogPort* dialogs, const std::string& text, const std::string& title,
                   const std::vector<std::string>& buttons, const std::string& picture = "");

}  // namespace vantrel::browser
