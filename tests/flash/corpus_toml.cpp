#include "corpus_toml.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace vantrel::flash {

namespace {

std::string Trim(const std::string& text) {
  const auto start = text.find_first_not_of(" \t\r");
  if (start == std::string::npos) return "";
  const auto end = text.find_last_not_of(" \t\r");
  return text.substr(start, end - start + 1);
}

// The integer after "key =" inside text (an inline table or a line); fallback when absent.
int IntAfter(const std::string& text, const std::string& key, int fallback) {
  std::size_t at = 0;
  while ((at = text.find(key, at)) != std::string::npos) {
    const bool startsWord = at == 0 || !(std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_');
    std::size_t pos = at + key.size();
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (startsWord && pos < text.size() && text[pos] == '=') {
      return static_cast<int>(std::strtod(text.c_str() + pos + 1, nullptr));
    }
    at += key.size();
  }
  return fallback;
}

std::string StringAfter(const std::string& text, const std::string& key) {
  const auto at = text.find(key);
  if (at == std::string::npos) return "";
  const auto open = text.find('"', at);
  const auto close = open == std::string::npos ? open : text.find('"', open + 1);
  return close == std::string::npos ? "" : text.substr(open + 1, close - open - 1);
}

}  // namespace

CorpusTest ParseCorpusToml(const std::string& text) {
  CorpusTest test;
  std::istringstream lines(text);
  std::string line, section;
  ImageComparison* image = nullptr;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      image = nullptr;
      const std::string prefix = "image_comparisons.";
      if (section.rfind(prefix, 0) == 0) {
        std::string name = section.substr(prefix.size());
        name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
        test.images.push_back({name, 0, {}, false});
        image = &test.images.back();
      }
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    if (section.empty()) {
      if (key == "num_frames" || key == "num_ticks") test.frames = std::atoi(value.c_str());
      if (key == "known_failure") test.knownFailure = value == "true";
      if (key == "ignore") test.ignore = value == "true";
    } else if (image) {
      if (key == "tolerance" || key == "max_outliers") {
        if (image->checks.empty()) image->checks.push_back({});
        (key == "tolerance" ? image->checks[0].tolerance : image->checks[0].maxOutliers) = std::atoi(value.c_str());
      } else if (key == "trigger") {
        image->trigger = std::atoi(value.c_str());
      } else if (key == "known_failure") {
        image->knownFailure = value == "true";
      } else if (key == "checks") {
        // checks = [{ tolerance = 0, max_outliers = 40000 }, { ... }] on one line.
        image->checks.clear();
        std::size_t at = 0;
        while ((at = value.find('{', at)) != std::string::npos) {
          const auto close = value.find('}', at);
          const std::string table = value.substr(at, close == std::string::npos ? std::string::npos : close - at);
          image->checks.push_back({IntAfter(table, "tolerance", 0), IntAfter(table, "max_outliers", 0)});
          if (close == std::string::npos) break;
          at = close;
        }
      }
    } else if (section == "player_options") {
      if (key == "with_renderer") test.quality = StringAfter(value, "quality");
      if (key == "viewport_dimensions") {
        test.viewportWidth = IntAfter(value, "width", 0);
        test.viewportHeight = IntAfter(value, "height", 0);
      }
    }
  }
  for (ImageComparison& comparison : test.images) {
    if (comparison.checks.empty()) comparison.checks.push_back({});
  }
  if (test.frames < 1) test.frames = 1;
  return test;
}

}  // namespace vantrel::flash
