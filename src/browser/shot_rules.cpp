#include "browser/shot_rules.h"

#include <algorithm>
#include <cmath>

namespace vantrel::browser {

int ShotFrame(int totalFrames, int sampleFrom, int sampleTo, double random) {
  if (totalFrames <= 1) return -1;
  const double share = sampleFrom / 100.0 + random * (sampleTo - sampleFrom) / 100.0;
  const long frame = std::lround(share * totalFrames);
  return static_cast<int>(std::clamp<long>(frame, 0, totalFrames - 1));
}

std::string ScreenshotPath(const std::string& folder, const std::string& title, int frame,
                           const std::function<bool(const std::string&)>& exists) {
  const std::string stem = folder + title + "." + std::to_string(frame);
  std::string path = stem + ".jpg";
  for (int n = 1; n <= 1000 && exists && exists(path); ++n) path = stem + "(" + std::to_string(n) + ").jpg";
  return path;
}

std::string GeneratorThumbPath(const std::string& moviePath) {
  const auto slash = moviePath.find_last_of('/');
  const auto dot = moviePath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return moviePath + ".jpg";
  return moviePath.substr(0, dot) + ".jpg";
}

}  // namespace vantrel::browser
