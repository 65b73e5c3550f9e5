// The skin's rules without widgets: colours as skin files write them, the shapes cut
// from pictures by a mask colour, the window's outline from the masks, the fade maths,
// and the generated skin that draws every button picture from a few bitmap parts in
// the theme's colours.
#pragma once

#include <QColor>
#include <QImage>
#include <QRegion>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::ui {

// "#RRGGBB" (every "#" removed, the first six characters, blanks when shorter) as a
// colour; characters that are not hexadecimal end the number as they would in a
// hexadecimal reading, so "#FF8000" is red 255, green 128, blue 0.
QColor ParseSkinColour(const std::string& text);

// The pixels of image that differ from colour (the opaque shape), or that equal it
// (the holes), as rows of runs.
QRegion RegionExceptColour(const QImage& image, const QColor& colour);
QRegion RegionFromColour(const QImage& image, const QColor& colour);

// One window-mask hole: its region in the picture's coordinates and where the picture
// sits in the window's client area.
struct WindowHole {
  QRegion region;
  QPoint offset;
};

// The window's shape: the client rectangle with every hole cut out by exclusive-or (two
// overlapping holes put the overlap back). An empty region means no shape at all: a
// plain rectangle (the interface hidden, or the menu bar shown).
QRegion ComposeWindowRegion(const QSize& client, const std::vector<WindowHole>& holes, bool hideUI, bool menuBar);

// The colour a skin label's text is drawn in over background: the skin's own colour
// while it stands out enough (a contrast ratio of at least 4.5 to 1), else black or
// white, whichever stands out more (the "Dark!" colours put dark text on dark fields).
QColor ReadableTextColour(const QColor& wanted, const QColor& background);

// The fade's constant alpha at position (0..steps) for a step direction: rising with
// the position when fading in (+1), falling when fading out (-1).
int FadeAlpha(int position, int steps, int step);

// The four theme colours the generated skin is drawn in.
struct ThemeColours {
  QColor face, shadow, highlight, selection;
};

// The desktop's colours (scheme 0) or the fixed dark grey scheme (scheme 1).
ThemeColours ReadThemeColours(int skinColor);

// A number that changes whenever the desktop's colours or the screen's depth change.
std::int32_t ThemeNumber();

// Brings the pictures under userSkinPath ("up/", "over/", "down/", "disabled/",
// "base/") up to date from the parts in skinPath: nothing happens while the stored
// "View"/"ThemeHash" equals themeNumber; otherwise every picture is drawn again and the
// number stored. Returns the number of pictures written (0 when nothing was to do).
// A part that is missing or a picture that cannot be written is left out.
int BuildGeneratedSkin(const std::string& skinPath, const std::string& userSkinPath, core::OptionsStore& options,
                       std::int32_t themeNumber);

}  // namespace vantrel::ui
