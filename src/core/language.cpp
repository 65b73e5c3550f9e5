#include "core/language.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace vantrel::core {

namespace {

// All text below an element, the way a DOM's text property reads it.
void AppendText(const pugi::xml_node& node, std::string& out) {
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) out += child.value();
    else if (child.type() == pugi::node_element) AppendText(child, out);
  }
}

std::string SelectText(const pugi::xml_node& node, const std::string& path) {
  if (!node) return {};
  try {
    const pugi::xpath_node found = node.select_node(path.c_str());
    if (found.attribute()) return found.attribute().value();
    if (found.node()) {
      std::string text;
      if (found.node().type() == pugi::node_element) AppendText(found.node(), text);
      else text = found.node().value();
      return text;
    }
  } catch (const pugi::xpath_exception&) {
    // A key with spaces or punctuation is not a valid path: it is simply not found.
  }
  return {};
}

std::int32_t ReadNumberText(const std::string& text, std::int32_t fallback) {
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() ? value : fallback;
}

struct LocaleEntry {
  std::string_view name;
  std::uint16_t id;
};

// POSIX locale names and their Windows language identifiers. A full name is tried
// first, then the language alone.
constexpr LocaleEntry kLocales[] = {
    {"ar", 1025}, {"bg", 1026}, {"ca", 1027}, {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh", 2052},
    {"zh_CN", 2052}, {"cs", 1029}, {"da", 1030}, {"de", 1031}, {"de_AT", 3079}, {"de_CH", 2055},
    {"el", 1032}, {"en", 1033}, {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105},
    {"es", 3082}, {"es_ES", 3082}, {"es_MX", 2058}, {"fi", 1035}, {"fr", 1036}, {"fr_CA", 3084},
    {"fr_BE", 2060}, {"fr_CH", 4108}, {"he", 1037}, {"hu", 1038}, {"is", 1039}, {"it", 1040},
    {"ja", 1041}, {"ko", 1042}, {"nl", 1043}, {"nl_BE", 2067}, {"nb", 1044}, {"no", 1044},
    {"nn", 2068}, {"pl", 1045}, {"pt_BR", 1046}, {"pt", 2070}, {"pt_PT", 2070}, {"ro", 1048},
    {"ru", 1049}, {"hr", 1050}, {"sk", 1051}, {"sq", 1052}, {"sv", 1053}, {"th", 1054},
    {"tr", 1055}, {"ur", 1056}, {"id", 1057}, {"uk", 1058}, {"be", 1059}, {"sl", 1060},
    {"et", 1061}, {"lv", 1062}, {"lt", 1063}, {"fa", 1065}, {"vi", 1066}, {"hy", 1067},
    {"az", 1068}, {"eu", 1069}, {"mk", 1071}, {"af", 1078}, {"ka", 1079}, {"hi", 1081},
    {"ms", 1086}, {"kk", 1087}, {"sw", 1089}, {"bn", 1093}, {"ta", 1097}, {"gl", 1110},
    {"sr", 3098},
};

}  // namespace

std::string GetNodeValue(const pugi::xml_node& node, std::string_view path, std::string_view defaultText) {
  std::string text = SelectText(node, std::string(path));
  if (text.empty()) text = std::string(defaultText);
  if (!text.empty() && text.front() == '!') {
    const pugi::xml_node last = node.last_child();
    text = last ? SelectText(node, std::string(last.name()) + "/" + text.substr(1) + "/@text") : std::string();
  }
  return text.empty() ? std::string(defaultText) : text;
}

std::uint16_t LocaleIdFromName(std::string_view localeName) {
  // "de_DE.UTF-8@euro" -> "de_DE"
  const auto cut = localeName.find_first_of(".@");
  if (cut != std::string_view::npos) localeName = localeName.substr(0, cut);
  for (const LocaleEntry& entry : kLocales)
    if (entry.name == localeName) return entry.id;
  const std::string_view language = localeName.substr(0, localeName.find('_'));
  for (const LocaleEntry& entry : kLocales)
    if (entry.name == language) return entry.id;
  return 0;
}

std::uint16_t UserLocaleId() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string value = EnvText(variable);
    if (value.empty()) continue;
    if (value == "C" || value == "POSIX" || value.rfind("C.", 0) == 0) return 1033;
    const std::uint16_t id = LocaleIdFromName(value);
    return id ? id : 1033;
  }
  return 1033;
}

std::int32_t CharsetOfLanguage(std::int32_t langId) {
  if (langId <= 0) return 0;
  const int primary = langId & 0x3FF;
  switch (primary) {
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1A: case 0x1B: case 0x1C: case 0x24:
      return 238;  // Central European (code page 1250)
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F:
      return 204;  // Cyrillic (1251)
    case 0x08: return 161;  // Greek (1253)
    case 0x1F: case 0x2C: return 162;  // Turkish (1254)
    case 0x0D: return 177;  // Hebrew (1255)
    case 0x01: case 0x20: case 0x29: return 178;  // Arabic (1256)
    case 0x25: case 0x26: case 0x27: return 186;  // Baltic (1257)
    case 0x2A: return 163;  // Vietnamese (1258)
    case 0x1E: return 222;  // Thai (874)
    case 0x11: return 128;  // Japanese (932)
    case 0x12: return 129;  // Korean (949)
    case 0x04: return (langId == 1028 || langId == 3076 || langId == 5124) ? 136 : 134;  // Chinese
    default: return 0;  // Western (1252)
  }
}

std::string EscapeText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  auto escapeByte = [&](unsigned char b) {
    out += '%';
    out += kHex[b >> 4];
    out += kHex[b & 15];
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    std::uint32_t code = 0;
    bool valid = length != 0 && i + length <= text.size();
    if (valid) {
      code = length == 1 ? lead : lead & (0x7F >> length);
      for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) { valid = false; break; }
        code = (code << 6) | (next & 0x3F);
      }
    }
    if (!valid) {
      escapeByte('?');
      ++i;
      continue;
    }
    if (code <= 64) escapeByte(static_cast<unsigned char>(code));
    else if (code <= 127) out += static_cast<char>(code);
    else if (code == 185) out.append(text.substr(i, length));
    else
      for (std::size_t k = 0; k < length; ++k) escapeByte(static_cast<unsigned char>(text[i + k]));
    i += length;
  }
  return out;
}

Languages::Languages(std::string languagesPath, ExecutionLog* log)
    : path_(AddSlash(languagesPath)), log_(log) {}

void Languages::EnumerateLanguages(std::string_view optionLanguage, std::uint16_t localeId) {
  if (log_) {
    log_->WriteLog("LC: " + std::to_string(localeId));
    log_->WriteLog("");
    log_->WriteLog(" :: Enumerate Languages");
  }
  table_.clear();
  {
    pugi::xml_document scratch;
    scratch.load_file((path_ + "English.xml").c_str());
    LanguageInfo english;
    english.Title = "English";
    english.Author = GetNodeValue(scratch, "LANG/@author", ".vantrel");
    english.LangID = 1033;
    english.Charset = CharsetOfLanguage(1033);
    english.FileBase = "English";
    table_.push_back(std::move(english));
  }
  std::error_code ec;
  for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 4 || !EqualsNoCase(name.substr(name.size() - 4), ".xml")) continue;
    if (EqualsNoCase(name, "English.xml") || name.front() == '-') continue;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(it->path().c_str());
    if (!parsed) {
      if (log_) log_->WriteLog("Language Failed (" + name + "): " + parsed.description());
      continue;
    }
    LanguageInfo info;
    info.Title = GetNodeValue(doc, "LANG/@title", "");
    if (info.Title.empty()) continue;
    info.Author = GetNodeValue(doc, "LANG/@author", ".vantrel");
    info.LangID = ReadNumberText(GetNodeValue(doc, "LANG/@langID", "0"), 0);
    info.Charset = CharsetOfLanguage(info.LangID);
    info.FileBase = name.substr(0, name.size() - 4);
    table_.push_back(std::move(info));
  }
  current_ = 0;
  bool chosen = false;
  if (!optionLanguage.empty()) {
    for (std::size_t i = 0; i < table_.size() && !chosen; ++i)
      if (EqualsNoCase(table_[i].FileBase, optionLanguage)) current_ = i, chosen = true;
  }
  for (std::size_t i = 0; i < table_.size() && !chosen; ++i)
    if (table_[i].LangID == localeId) current_ = i, chosen = true;
}

bool Languages::LoadLanguage() {
  document_.reset();
  if (table_.empty()) return false;
  return static_cast<bool>(document_.load_file((path_ + table_[current_].FileBase + ".xml").c_str()));
}

std::string Languages::LangText(std::string_view key, std::string_view defaultText) const {
  return GetNodeValue(document_, "LANG/" + UpperAscii(key) + "/@text", defaultText);
}

}  // namespace vantrel::core
