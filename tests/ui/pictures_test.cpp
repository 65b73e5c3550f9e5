// The pictures the program's messages and dialogs name are there after the build: every
// picture name written as a literal in a call that shows a message or loads a picture
// is looked for in the sources, and each one must read from Media/Images/.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ui/message_window.h"
#include "ui/presentation.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;

// The top-level arguments of the call whose "(" is at open, as written (empty when the
// call does not close).
std::vector<std::string> Arguments(const std::string& text, std::size_t open) {
  std::vector<std::string> arguments;
  std::string current;
  int depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' || c == '\'') {
      // A literal, escapes included, goes over whole.
      const std::size_t start = i;
      for (++i; i < text.size() && text[i] != c; ++i)
        if (text[i] == '\\') ++i;
      current += text.substr(start, i - start + 1);
      continue;
    }
    if (c == '(' || c == '{' || c == '[') {
      if (depth++ > 0) current += c;
      continue;
    }
    if (c == ')' || c == '}' || c == ']') {
      if (--depth == 0) {
        arguments.push_back(current);
        return arguments;
      }
      current += c;
      continue;
    }
    if (c == ',' && depth == 1) {
      arguments.push_back(current);
      current.clear();
      continue;
    }
    current += c;
  }
  return {};
}

// The name when argument is nothing but a string literal.
std::string Literal(std::string argument) {
  const auto first = argument.find_first_not_of(" \t\r\n");
  const auto last = argument.find_last_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  argument = argument.substr(first, last - first + 1);
  if (argument.size() < 3 || argument.front() != '"' || argument.back() != '"') return {};
  const std::string inner = argument.substr(1, argument.size() - 2);
  return inner.find('"') == std::string::npos ? inner : std::string();
}

// Picture names passed as literals to the program's picture-showing calls in src/.
std::set<std::string> NamesInSources() {
  // The call and which argument (0-based) names the picture: the message window
  // (owner, text, title, picture, ...), the dialogs' message port (text, title, buttons,
  // picture), the browser's messages (port, text, title, buttons, picture), pictures
  // loaded by name and the icons beside dialog controls.
  const std::pair<std::string, std::size_t> calls[] = {
      {"ShowMessage(", 3}, {"BrowserMessage(", 4}, {"LoadPicture(", 0}, {"PageIcon(", 2}};
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(VANTREL_SOURCE_DIR) / "src")) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".cpp" && extension != ".h") continue;
    std::ifstream file(entry.path());
    std::stringstream text;
    text << file.rdbuf();
    const std::string source = text.str();
    for (const auto& [call, position] : calls) {
      for (std::size_t at = source.find(call); at != std::string::npos; at = source.find(call, at + 1)) {
        // Whole names only: "NetShowMessage(" is not "ShowMessage(".
        if (at > 0 && (std::isalnum(static_cast<unsigned char>(source[at - 1])) || source[at - 1] == '_')) continue;
        const std::vector<std::string> arguments = Arguments(source, at + call.size() - 1);
        if (arguments.size() <= position) continue;
        const std::string name = Literal(arguments[position]);
        if (!name.empty()) names.insert(name);
      }
    }
  }
  return names;
}

TEST(Pictures, EveryPictureTheProgramNamesIsBuilt) {
  std::set<std::string> names = NamesInSources();
  // The search finds the messages it should (a broken search would find nothing).
  for (const char* known : {"cubes", "image", "delete", "save", "folder", "error", "info", "link", "nomedia"})
    EXPECT_EQ(names.count(known), 1u) << known << " was not found in the sources";
  // Pictures named by path rather than in a call: the update dialog's, the shots' picture
  // for files without a movie, the dialogs' shadow and the tips' bulb.
  for (const char* byPath : {"update", "nomedia", "shadow", "tip"}) names.insert(byPath);

  Presentation presentation;
  presentation.imagesPath = std::string(VANTREL_BUILD_DIR) + "/Media/Images/";
  ScopedPresentation scoped(presentation);
  for (const std::string& name : names) {
    const QImage picture = LoadPicture(name);
    EXPECT_FALSE(picture.isNull()) << "Media/Images/" << name << ".png does not read";
    // A picture, not an empty canvas: some of its pixels are seen.
    bool seen = false;
    for (int y = 0; y < picture.height() && !seen; ++y)
      for (int x = 0; x < picture.width() && !seen; ++x) seen = qAlpha(picture.pixel(x, y)) > 0;
    EXPECT_TRUE(seen) << name << " is empty";
  }
}

}  // namespace
}  // namespace vantrel::ui
