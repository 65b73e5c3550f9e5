// The parts of the corpus's test.toml files that the conformance tests read: the frame
// count, the image comparisons with their tolerances, and the player options.
#pragma once

#include <optional>
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

// How a test's trace output may differ from the expected one: numbers within epsilon, or
// within maxRelative of the larger one's size, on lines that are a number alone (bareNumbers) or in the groups numberPatterns
// capture. Without an [approximations] table outputs must be equal.
struct Approximations {
  bool bareNumbers = false;
  double epsilon = 0;
  double maxRelative = 0;
  std::vector<std::string> numberPatterns;  // ECMAScript regular expressions
};

struct CorpusTest {
  int frames = 1;
  std::string quality;  // "low", "medium", "high" or ""
  int viewportWidth = 0, viewportHeight = 0;
  double viewportScale = 1;  // device pixels per logical pixel of that viewport
  double scriptSeconds = 0;  // max_execution_duration: the frame scripts' time limit (0: the movie's)
  bool knownFailure = false;
  bool ignore = false;  // the suite itself does not run it
  std::vector<ImageComparison> images;
  std::optional<Approximations> approximations;
};

// Reads the fields above from a test.toml text; unknown keys are passed over.
CorpusTest ParseCorpusToml(const std::string& text);

// Whether a trace output matches the expected one, line by line, under the test's
// approximations (exactly when it has none).
bool OutputsMatch(const std::string& actual, const std::string& expected, const std::optional<Approximations>& rules);

}  // namespace vantrel::flash
