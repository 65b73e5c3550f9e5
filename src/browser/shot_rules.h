// The rules around shots that need no engine: which frame a thumbnail shows, the names
// of numbered screenshots, and the thumbnail file the generator writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vantrel::browser {

// The 0-based frame a shot shows for a movie of totalFrames frames: sampleFrom per cent
// plus random (in [0, 1)) times the span up to sampleTo per cent, rounded, kept inside
// the movie. -1 when the movie has at most one frame (the shot is taken where it stands).
int ShotFrame(int totalFrames, int sampleFrom, int sampleTo, double random);

// The numbered screenshot file for frame of the movie titled title in folder (ending
// with "/"): folder & title & "." & frame & ".jpg", or with "(n)" before ".jpg" (n from
// 1, at most 1000 tries) while exists says the name is taken.
std::string ScreenshotPath(const std::string& folder, const std::string& title, int frame,
                           const std::function<bool(const std::string&)>& exists);

// The generator's thumbnail of a movie: its path without the last extension, and
// ".jpg", in the movie's own folder.
std::string GeneratorThumbPath(const std::string& moviePath);

}  // namespace vantrel::browser
