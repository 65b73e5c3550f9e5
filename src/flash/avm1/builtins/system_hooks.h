// What the System class asks of the program around the engine: the clipboard and the
// screen's size. The player fills these at start; unset, setClipboard does nothing and
// capabilities report a 1920x1080 screen.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace vantrel::flash::avm1 {

struct SystemHooks {
  std::function<void(const std::string& text)> setClipboard;
  // Width and height of the screen in pixels.
  std::function<std::pair<int, int>()> screenSize;
};

// The process's hooks (one player per process).
SystemHooks& Hooks();

}  // namespace vantrel::flash::avm1
