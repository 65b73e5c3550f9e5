#include "core/options.h"

#include <sys/stat.h>

#include <charconv>
#include <filesystem>

#include "core/paths.h"
#include "core/text.h"
#include "core/version.h"

namespace vantrel::core {

namespace {

// Values are written as "key"="text" or "key"=dword:NUMBER (decimal, may be negative);
// "@" names the section's default value. Text escapes: \\ \" \n \r \t.
std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

// Reads a quoted text at the start of line; returns false when it is not one.
bool Unquote(std::string_view& line, std::string& out) {
  if (line.empty() || line.front() != '"') return false;
  out.clear();
  for (std::size_t i = 1; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      line.remove_prefix(i + 1);
      return true;
    }
    if (c == '\\' && i + 1 < line.size()) {
      const char e = line[++i];
      out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
    } else {
      out += c;
    }
  }
  return false;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ParseNumber(std::string_view text, std::int32_t& out) {
  text = Trim(text);
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) {
    // A text such as "12.6" converts the way a numeric conversion would: rounded.
    double real = 0;
    const auto [rend, rec] = std::from_chars(text.data(), text.data() + text.size(), real);
    if (rec != std::errc() || rend != text.data() + text.size()) return false;
    value = static_cast<long long>(real < 0 ? real - 0.5 : real + 0.5);
  }
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace

ParsedOptions ParseOptionsText(std::string_view text) {
  ParsedOptions parsed;
  std::string section;
  bool haveSection = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      const auto close = line.rfind(']');
      haveSection = close != std::string_view::npos && close > 1;
      if (haveSection) section = std::string(line.substr(1, close - 1));
      continue;
    }
    if (!haveSection) continue;
    std::string key;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else if (!Unquote(line, key)) {
      continue;
    }
    line = Trim(line);
    if (line.empty() || line.front() != '=') continue;
    line = Trim(line.substr(1));
    ParsedOptions::Entry entry{section, key, false, {}, 0};
    constexpr std::string_view dword = "dword:";
    if (line.substr(0, dword.size()) == dword) {
      if (!ParseNumber(line.substr(dword.size()), entry.number)) continue;
      entry.isNumber = true;
    } else if (!Unquote(line, entry.text)) {
      continue;
    }
    parsed.entries.push_back(std::move(entry));
  }
  return parsed;
}

OptionsStore::OptionsStore(std::string filePath) : path_(std::move(filePath)) {}

std::string OptionsStore::DefaultFilePath() {
  std::string config = EnvText("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') config = HomeFolder() + ".config";
  return AddSlash(config) + std::string(kProductTitle) + "/options.conf";
}

void OptionsStore::Refresh() {
  // Unwritten changes of a batch win over whatever is on disk meanwhile.
  if (batchDirty_) return;
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) {
    if (loadedStamp_ != 0) sections_.clear();
    loadedStamp_ = 0;
    loadedSize_ = -1;
    return;
  }
  const long long stamp = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  if (stamp == loadedStamp_ && info.st_size == loadedSize_) return;
  loadedStamp_ = stamp;
  loadedSize_ = info.st_size;
  sections_.clear();
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path_, bytes)) return;
  const ParsedOptions parsed =
      ParseOptionsText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  for (const auto& entry : parsed.entries) {
    Value value{entry.isNumber, entry.text, entry.number};
    SectionFor(entry.section)[entry.key] = std::move(value);
  }
}

OptionsStore::Section& OptionsStore::SectionFor(std::string_view section) {
  for (auto& [name, values] : sections_)
    if (EqualsNoCase(name, section)) return values;
  return sections_[std::string(section)];
}

const OptionsStore::Value* OptionsStore::Find(std::string_view section, std::string_view key) {
  Refresh();
  for (auto& [name, values] : sections_) {
    if (!EqualsNoCase(name, section)) continue;
    for (auto& [valueKey, value] : values)
      if (EqualsNoCase(valueKey, key)) return &value;
  }
  return nullptr;
}

bool OptionsStore::Changed() {
  if (batchDepth_ > 0) {
    batchDirty_ = true;
    return true;
  }
  return Flush();
}

bool OptionsStore::EndBatch() {
  if (batchDepth_ > 0) --batchDepth_;
  if (batchDepth_ > 0 || !batchDirty_) return true;
  batchDirty_ = false;
  return Flush();
}

bool OptionsStore::Flush() {
  std::string text = "# Vantrel options. Written by the program; values are \"text\" or dword:number.\n";
  for (const auto& [name, values] : sections_) {
    if (values.empty()) continue;
    text += "\n[" + name + "]\n";
    for (const auto& [key, value] : values) {
      text += key.empty() ? std::string("@") : Quote(key);
      text += '=';
      text += value.isNumber ? "dword:" + std::to_string(value.number) : Quote(value.text);
      text += '\n';
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
  if (!WriteFileAtomic(path_, text).empty()) return false;
  // Remember our own write so the next read does not parse the file again.
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0) {
    loadedStamp_ = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    loadedSize_ = info.st_size;
  }
  return true;
}

std::string OptionsStore::ReadText(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) {
  const Value* value = Find(section, key);
  if (!value) return std::string(defaultValue);
  return value->isNumber ? std::to_string(value->number) : value->text;
}

std::int32_t OptionsStore::ReadNumber(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) {
  const Value* value = Find(section, key);
  if (!value) return defaultValue;
  if (value->isNumber) return value->number;
  std::int32_t number = 0;
  if (ParseNumber(value->text, number)) return number;
  if (EqualsNoCase(Trim(value->text), "True")) return -1;
  if (EqualsNoCase(Trim(value->text), "False")) return 0;
  return defaultValue;
}

bool OptionsStore::ReadBool(std::string_view section, std::string_view key, bool defaultValue) {
  const Value* value = Find(section, key);
  if (!value) return defaultValue;
  if (value->isNumber) return value->number != 0;
  const std::string_view text = Trim(value->text);
  if (EqualsNoCase(text, "True")) return true;
  if (EqualsNoCase(text, "False")) return false;
  std::int32_t number = 0;
  if (ParseNumber(text, number)) return number != 0;
  return defaultValue;
}

std::string OptionsStore::ReadOption(const OptionDef& option, std::string_view myFlash) {
  std::string fallback(option.defaultText);
  switch (option.rule) {
    case DefaultRule::MyFlashFolder:
      fallback = myFlash.empty() ? ReadText("Recent", "MyFlash", DefaultMyFlashFolder()) : std::string(myFlash);
      break;
    case DefaultRule::ProgramBuild: fallback = std::to_string(kBuildNumber); break;
    default: break;
  }
  switch (option.kind) {
    case OptionKind::Bool:
      return ReadBool(option.section, option.key, EqualsNoCase(fallback, "True")) ? "True" : "False";
    case OptionKind::Number: {
      std::int32_t number = 0;
      if (!ParseNumber(fallback, number)) {
        const Value* value = Find(option.section, option.key);
        return value ? ReadText(option.section, option.key, "") : std::string();
      }
      return std::to_string(ReadNumber(option.section, option.key, number));
    }
    case OptionKind::Text: return ReadText(option.section, option.key, fallback);
  }
  return fallback;
}

bool OptionsStore::ReadBoolOption(std::string_view section, std::string_view key) {
  const OptionDef* option = FindOption(section, key);
  return option ? EqualsNoCase(ReadOption(*option), "True") : ReadBool(section, key, false);
}

std::int32_t OptionsStore::ReadNumberOption(std::string_view section, std::string_view key) {
  const OptionDef* option = FindOption(section, key);
  std::int32_t number = 0;
  if (option && ParseNumber(ReadOption(*option), number)) return number;
  return ReadNumber(section, key, 0);
}

std::string OptionsStore::ReadTextOption(std::string_view section, std::string_view key) {
  const OptionDef* option = FindOption(section, key);
  return option ? ReadOption(*option) : ReadText(section, key, "");
}

bool OptionsStore::WriteText(std::string_view section, std::string_view key, std::string_view value) {
  Refresh();
  Section& values = SectionFor(section);
  for (auto& [existing, stored] : values) {
    if (EqualsNoCase(existing, key)) {
      stored = Value{false, std::string(value), 0};
      return Changed();
    }
  }
  values[std::string(key)] = Value{false, std::string(value), 0};
  return Changed();
}

bool OptionsStore::WriteNumber(std::string_view section, std::string_view key, std::int32_t value) {
  Refresh();
  Section& values = SectionFor(section);
  for (auto& [existing, stored] : values) {
    if (EqualsNoCase(existing, key)) {
      stored = Value{true, {}, value};
      return Changed();
    }
  }
  values[std::string(key)] = Value{true, {}, value};
  return Changed();
}

bool OptionsStore::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteText(section, key, value ? "True" : "False");
}

bool OptionsStore::DeleteKey(std::string_view section, std::string_view key) {
  Refresh();
  Section& values = SectionFor(section);
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EqualsNoCase(it->first, key)) {
      values.erase(it);
      return Changed();
    }
  }
  return true;
}

std::map<std::string, std::string> OptionsStore::SectionValues(std::string_view section) {
  Refresh();
  std::map<std::string, std::string> out;
  for (const auto& [name, values] : sections_) {
    if (!EqualsNoCase(name, section)) continue;
    for (const auto& [key, value] : values) out[key] = value.isNumber ? std::to_string(value.number) : value.text;
  }
  return out;
}

}  // namespace vantrel::core
