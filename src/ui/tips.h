// Tips: the per-language tips file and the choice of a tip to show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::core {
class ExecutionLog;
}

namespace vantrel::ui {

struct Tip {
  std::string Title;
  std::string Text;
  std::string Action;
  std::string Link;
  std::int32_t Kind = 0;  // 1 for a trick
  std::string Icon;       // relative to the media folder, without ".png"
  std::string Help;
};

// mediaPath + "Tips/" + fileBase + ".xml"; for the language identifiers 1058 and 1059
// "Tips/Russian.xml" when the language has none; else "Tips/English.xml".
std::string TipsFile(const std::string& mediaPath, const std::string& fileBase, int languageId);

// The tips of the current language, in file order; empty when the file is missing,
// broken (the reason goes to log) or holds no tip. Icons whose picture is missing
// become "Skin/tip".
std::vector<Tip> LoadTips(const std::string& mediaPath, const std::string& fileBase, int languageId,
                          core::ExecutionLog* log);

}  // namespace vantrel::ui
