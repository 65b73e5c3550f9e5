#include "player/playlist_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <pugixml.hpp>

#include "core/paths.h"
#include "core/text.h"
#include "core/version.h"
#include "player/rounding.h"

namespace vantrel::player {

std::string WritePlaylistText(const std::vector<std::string>& entries, std::int32_t current) {
  std::string text = "<?xml version=\"1.0\"?><PLAYLIST app=\"";
  text += core::kProductTitle;
  text += "\" build=\"" + std::to_string(core::kPlaylistFormatBuild) + "\" play=\"" + std::to_string(current) + "\">";
  for (const std::string& entry : entries) {
    text += "\r\n\r\n\t<FILE>";
    text += core::HtmlEncode(entry);
    text += "</FILE>";
  }
  text += "\r\n\r\n\t</PLAYLIST>";
  return text;
}

PlaylistFile ParsePlaylistText(std::string_view text) {
  PlaylistFile file;
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
  if (!parsed) {
    file.error = parsed.description();
    return file;
  }
  file.loaded = true;
  const pugi::xml_node list = doc.child("PLAYLIST");
  if (!list) return file;
  if (const pugi::xml_attribute build = list.attribute("build")) {
    file.hasBuild = true;
    const double value = ReadDecimal(build.value());
    file.build = RoundHalfEven(value);
  }
  for (const pugi::xml_node child : list.children()) {
    if (child.type() != pugi::node_element) continue;
    if (file.entries.size() >= kMaxPlaylistEntries) break;
    file.entries.emplace_back(child.text().get());
  }
  return file;
}

PlaylistFile ReadPlaylistFile(const std::string& path) {
  PlaylistFile file;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    file.error = "File not found";
    return file;
  }
  if (static_cast<std::uint64_t>(info.st_size) > kMaxPlaylistBytes) {
    file.error = "File is too large for a playlist";
    return file;
  }
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) {
    file.error = "File cannot be read";
    return file;
  }
  return ParsePlaylistText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace vantrel::player
