// Linked into the widget tests of whole windows: the test machine's desktop opens
// nothing, and what the program hands to it must not meet a modal message in the middle
// of a later test. Tests that check that message set a presentation of their own.
#include <string>

#include "ui/presentation.h"

namespace {

const bool kQuietDesktop = [] {
  vantrel::ui::CurrentPresentation().cannotOpen = [](const std::string&) {};
  return true;
}();

}  // namespace
