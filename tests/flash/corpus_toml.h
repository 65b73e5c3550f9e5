// The parts of the corpus's test.toml files that the conformance tests read: the frame
// count, the image comparisons with their tolerances, and the player options.
#pragma once

#include <string>
#include <vector>

namespace vantrel::flash {

struct ImageCheck {
  int tolerance = 0;
  int maxOutliers = 0;
};

struct ImageComparison {
  std::string name;  // "output" compares with output.expected.png
  int trigger = 0;   // frame after which the image is taken; 0 = after the last frame
  std::vector<ImageCheck> checks;
  bool knownFailure = false;
};

struct CorpusTest {
  int frames = 1;
  std::string quality;  // "low", "medium", "high" or ""
  int viewportWidth = 0, viewportHeight = 0;
  bool knownFailure = false;
  bool ignore = false;  // the suite itself does not run it
  std::vector<ImageComparison> images;
};

// Reads the fields above from a test.toml text; unknown keys are passed over.
CorpusTest ParseCorpusToml(const std::string& text);

}  // namespace vantrel::flash
