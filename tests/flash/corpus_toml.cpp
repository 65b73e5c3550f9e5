#include "corpus_toml.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cmath>
#include <regex>
#include <sstream>

namespace vantrel::flash {

namespace {

std::string Trim(const std::string& text) {
  const auto start = text.find_first_not_of(" \t\r");
  if (start == std::string::npos) return "";
  const auto end = text.find_last_not_of(" \t\r");
  return text.substr(start, end - start + 1);
}

// The number after "key =" inside text (an inline table or a line); fallback when absent.
double NumberAfter(const std::string& text, const std::string& key, double fallback) {
  std::size_t at = 0;
  while ((at = text.find(key, at)) != std::string::npos) {
    const bool startsWord = at == 0 || !(std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_');
    std::size_t pos = at + key.size();
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (startsWord && pos < text.size() && text[pos] == '=') {
      return std::strtod(text.c_str() + pos + 1, nullptr);
    }
    at += key.size();
  }
  return fallback;
}

// The same as an integer (the fraction cut off).
int IntAfter(const std::string& text, const std::string& key, int fallback) {
  return static_cast<int>(NumberAfter(text, key, fallback));
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
  ImageCheck* listedCheck = nullptr;  // a check of its own table: [[image_comparisons.NAME.checks]]
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      const bool tableArray = line.rfind("[[", 0) == 0;
      section = tableArray ? line.substr(2, line.find("]]") - 2) : line.substr(1, line.find(']') - 1);
      image = nullptr;
      listedCheck = nullptr;
      const std::string prefix = "image_comparisons.";
      if (section.rfind(prefix, 0) == 0) {
        std::string name = section.substr(prefix.size());
        name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
        const std::string checks = ".checks";
        const bool isCheck = tableArray && name.size() > checks.size() &&
                             name.compare(name.size() - checks.size(), checks.size(), checks) == 0;
        if (isCheck) name.resize(name.size() - checks.size());
        const auto known = std::find_if(test.images.begin(), test.images.end(),
                                        [&](const ImageComparison& c) { return c.name == name; });
        if (known == test.images.end()) {
          test.images.push_back({name, 0, {}, false});
          image = &test.images.back();
        } else {
          image = &*known;
        }
        if (isCheck) listedCheck = &image->checks.emplace_back();
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
    } else if (listedCheck) {
      if (key == "tolerance") listedCheck->tolerance = std::atoi(value.c_str());
      if (key == "max_outliers") listedCheck->maxOutliers = std::atoi(value.c_str());
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
    } else if (section == "approximations") {
      if (!test.approximations) test.approximations.emplace();
      if (key == "bare_numbers") test.approximations->bareNumbers = value.rfind("true", 0) == 0;
      if (key == "epsilon") test.approximations->epsilon = std::strtod(value.c_str(), nullptr);
      if (key == "max_relative") test.approximations->maxRelative = std::strtod(value.c_str(), nullptr);
      if (key == "number_patterns") {
        // ["a(\\d+)", ...]: basic strings, whose backslashes come doubled.
        std::size_t at = 0;
        while ((at = value.find('"', at)) != std::string::npos) {
          std::string pattern;
          std::size_t i = at + 1;
          for (; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            pattern += value[i];
          }
          test.approximations->numberPatterns.push_back(pattern);
          at = i + 1;
        }
      }
    } else if (section == "player_options") {
      if (key == "with_renderer") test.quality = StringAfter(value, "quality");
      if (key == "max_execution_duration")
        test.scriptSeconds = IntAfter(value, "secs", 0) + IntAfter(value, "nanos", 0) * 1e-9;
      if (key == "viewport_dimensions") {
        test.viewportWidth = IntAfter(value, "width", 0);
        test.viewportHeight = IntAfter(value, "height", 0);
        test.viewportScale = NumberAfter(value, "scale_factor", 1.0);
      }
    }
  }
  for (ImageComparison& comparison : test.images) {
    if (comparison.checks.empty()) comparison.checks.push_back({});
  }
  if (test.frames < 1) test.frames = 1;
  return test;
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// A line that is a number alone ("12", "-0.5", "1e-7"); nullopt otherwise.
std::optional<double> BareNumber(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

bool Near(double a, double b, const Approximations& rules) {
  const double difference = std::abs(a - b);
  return a == b || difference <= rules.epsilon || difference <= rules.maxRelative * std::max(std::abs(a), std::abs(b));
}

bool LinesMatch(const std::string& actual, const std::string& expected, const Approximations& rules) {
  if (actual == expected) return true;
  if (rules.bareNumbers) {
    const auto a = BareNumber(actual), e = BareNumber(expected);
    if (a && e) return Near(*a, *e, rules);
  }
  for (const std::string& source : rules.numberPatterns) {
    std::regex pattern;
    try {
      pattern = std::regex(source);
    } catch (const std::regex_error&) {
      continue;
    }
    // Every match's groups compare as numbers; what lies around them must be equal.
    std::string restA, restE;
    auto a = std::sregex_iterator(actual.begin(), actual.end(), pattern);
    auto e = std::sregex_iterator(expected.begin(), expected.end(), pattern);
    const std::sregex_iterator none;
    std::size_t atA = 0, atE = 0;
    bool matched = false, ok = true;
    for (; a != none && e != none; ++a, ++e) {
      matched = true;
      if (a->size() != e->size()) return false;
      for (std::size_t g = 1; g < a->size(); ++g) {
        const auto na = BareNumber((*a)[g].str()), ne = BareNumber((*e)[g].str());
        if (!na || !ne || !Near(*na, *ne, rules)) ok = false;
      }
      restA += actual.substr(atA, static_cast<std::size_t>(a->position()) - atA);
      restE += expected.substr(atE, static_cast<std::size_t>(e->position()) - atE);
      atA = static_cast<std::size_t>(a->position() + a->length());
      atE = static_cast<std::size_t>(e->position() + e->length());
    }
    if (!matched || a != none || e != none) continue;
    return ok && restA + actual.substr(atA) == restE + expected.substr(atE);
  }
  return false;
}

}  // namespace

bool OutputsMatch(const std::string& actual, const std::string& expected, const std::optional<Approximations>& rules) {
  if (actual == expected) return true;
  if (!rules) return false;
  const auto a = Lines(actual), e = Lines(expected);
  if (a.size() != e.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!LinesMatch(a[i], e[i], *rules)) return false;
  }
  return true;
}

}  // namespace vantrel::flash
