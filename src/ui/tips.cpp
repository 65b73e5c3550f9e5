#include "ui/tips.h"

#include <filesystem>
#include <pugixml.hpp>

#include "core/language.h"
#include "core/log.h"

namespace vantrel::ui {

namespace {
bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}
}  // namespace

std::string TipsFile(const std::string& mediaPath, const std::string& fileBase, int languageId) {
  std::string file = mediaPath + "Tips/" + fileBase + ".xml";
  if (!Exists(file) && (languageId == 1058 || languageId == 1059)) file = mediaPath + "Tips/Russian.xml";
  if (!Exists(file)) file = mediaPath + "Tips/English.xml";
  return file;
}

std::vector<Tip> LoadTips(const std::string& mediaPath, const std::string& fileBase, int languageId,
                          core::ExecutionLog* log) {
  const std::string file = TipsFile(mediaPath, fileBase, languageId);
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(file.c_str());
  if (!parsed) {
    if (log) log->WriteLog("Tips Loading Failed (" + file + "): " + parsed.description());
    return {};
  }
  std::vector<Tip> tips;
  for (const pugi::xpath_node& found : document.select_nodes("TIPS/TIP")) {
    const pugi::xml_node node = found.node();
    Tip tip;
    tip.Title = core::GetNodeValue(node, "@title", "");
    tip.Text = node.text().get();
    tip.Action = core::GetNodeValue(node, "@action", "");
    tip.Link = core::GetNodeValue(node, "@link", "");
    tip.Kind = core::GetNodeValue(node, "@type", "") == "trick" ? 1 : 0;
    tip.Icon = core::GetNodeValue(node, "@icon", "");
    tip.Help = core::GetNodeValue(node, "@help", "");
    if (tip.Icon.empty() || !Exists(mediaPath + tip.Icon + ".png")) tip.Icon = "Skin/tip";
    tips.push_back(std::move(tip));
  }
  return tips;
}

}  // namespace vantrel::ui
