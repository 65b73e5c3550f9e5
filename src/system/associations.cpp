#include "system/associations.h"

#include <filesystem>
#include <vector>

#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "system/run_program.h"

namespace fs = std::filesystem;

namespace vantrel::system {

namespace {

constexpr std::string_view kDefaultSection = "[Default Applications]";
// Marks the desktop entry and MIME package that SetAssociations writes for the user, so
// that only those are ever removed again.
constexpr std::string_view kUserEntryMark = "X-Vantrel-User-Entry=true";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool IsSectionHeader(std::string_view line) {
  line = Trim(line);
  return !line.empty() && line.front() == '[';
}

// The key of a "key=value" line, trimmed; "" for other lines.
std::string_view KeyOf(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || IsSectionHeader(line)) return {};
  std::string_view key = Trim(line.substr(0, equals));
  if (!key.empty() && key.front() == '#') return {};
  return key;
}

std::string_view ValueOf(std::string_view line) { return Trim(line.substr(line.find('=') + 1)); }

struct SectionSpan {
  std::size_t header = std::string::npos;  // index of the header line
  std::size_t end = 0;                     // one past its last line
};

SectionSpan FindDefaultSection(const std::vector<std::string>& lines) {
  SectionSpan span;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Trim(lines[i]) == kDefaultSection) {
      span.header = i;
      span.end = i + 1;
      while (span.end < lines.size() && !IsSectionHeader(lines[span.end])) ++span.end;
      return span;
    }
  }
  return span;
}

std::string ReadWhole(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) return {};
  return std::string(bytes.begin(), bytes.end());
}

std::string FirstId(std::string_view value) {
  while (!value.empty()) {
    const std::size_t semicolon = value.find(';');
    const std::string_view id = Trim(value.substr(0, semicolon));
    if (!id.empty()) return std::string(id);
    if (semicolon == std::string_view::npos) break;
    value.remove_prefix(semicolon + 1);
  }
  return {};
}

std::string Describe(const TextLookup& lookup, const FileType& type) {
  return lookup ? lookup(type.descriptionKey, type.description) : std::string(type.description);
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A desktop entry or MIME package we wrote ourselves (and may therefore remove).
bool IsOurUserFile(const std::string& path) { return ReadWhole(path).find(kUserEntryMark) != std::string::npos; }

bool InstalledDesktopEntry(const XdgDirs& dirs) {
  for (const std::string& folder : dirs.dataDirs) {
    if (core::FileExists(folder + "applications/" + std::string(kDesktopId))) return true;
  }
  return false;
}

std::string UserDesktopEntryPath(const XdgDirs& dirs) {
  return dirs.dataHome + "applications/" + std::string(kDesktopId);
}

std::string UserMimePackagePath(const XdgDirs& dirs) { return dirs.dataHome + "mime/packages/vantrel.xml"; }

void MakeFolders(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
}

bool WriteUserEntries(const XdgDirs& dirs, const AssociationRequest& request) {
  MakeFolders(dirs.dataHome + "applications");
  MakeFolders(dirs.dataHome + "mime/packages");
  const std::string entryPath = UserDesktopEntryPath(dirs);
  const std::string packagePath = UserMimePackagePath(dirs);
  // A file of the same name that the user made is left alone.
  if (core::FileExists(entryPath) && !IsOurUserFile(entryPath)) return false;
  if (!core::WriteFileAtomic(entryPath, DesktopEntryText(request.executable, request.lookup)).empty()) return false;
  if (!core::FileExists(packagePath) || IsOurUserFile(packagePath)) {
    if (core::WriteFileAtomic(packagePath, MimePackageXml(request.lookup)).empty()) {
      RunProgram({"update-mime-database", dirs.dataHome + "mime"});
    }
  }
  RunProgram({"update-desktop-database", dirs.dataHome + "applications"});
  return true;
}

void RemoveUserEntries(const XdgDirs& dirs) {
  const std::string entryPath = UserDesktopEntryPath(dirs);
  const std::string packagePath = UserMimePackagePath(dirs);
  std::error_code ec;
  if (core::FileExists(entryPath) && IsOurUserFile(entryPath)) {
    fs::remove(entryPath, ec);
    RunProgram({"update-desktop-database", dirs.dataHome + "applications"});
  }
  if (core::FileExists(packagePath) && IsOurUserFile(packagePath)) {
    fs::remove(packagePath, ec);
    RunProgram({"update-mime-database", dirs.dataHome + "mime"});
  }
}

}  // namespace

std::string MimeAppsDefault(std::string_view listText, std::string_view mimeType) {
  const std::vector<std::string> lines = SplitLines(listText);
  const SectionSpan span = FindDefaultSection(lines);
  if (span.header == std::string::npos) return {};
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    if (KeyOf(lines[i]) == mimeType) return std::string(ValueOf(lines[i]));
  }
  return {};
}

std::string SetMimeAppsDefault(std::string_view listText, std::string_view mimeType, std::string_view value) {
  std::vector<std::string> lines = SplitLines(listText);
  const bool endsWithBreak = listText.empty() || listText.back() == '\n';
  SectionSpan span = FindDefaultSection(lines);
  const std::string newLine = std::string(mimeType) + "=" + std::string(value);

  std::size_t keyLine = std::string::npos;
  if (span.header != std::string::npos) {
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
      if (KeyOf(lines[i]) == mimeType) {
        keyLine = i;
        break;
      }
    }
  }

  if (!value.empty()) {
    if (keyLine != std::string::npos) {
      lines[keyLine] = newLine;
    } else if (span.header != std::string::npos) {
      // After the section's last non-blank line, so a blank line before the next
      // section stays where it is.
      std::size_t at = span.end;
      while (at > span.header + 1 && Trim(lines[at - 1]).empty()) --at;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), newLine);
    } else {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
      lines.emplace_back(kDefaultSection);
      lines.push_back(newLine);
    }
  } else if (keyLine != std::string::npos) {
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(keyLine));
    span = FindDefaultSection(lines);
    bool empty = true;
    for (std::size_t i = span.header + 1; i < span.end; ++i) empty = empty && Trim(lines[i]).empty();
    if (empty) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(span.header),
                  lines.begin() + static_cast<std::ptrdiff_t>(span.end));
      // A section that ended the list takes the blank line that set it apart with it.
      if (span.header == lines.size()) {
        while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
      }
    }
  }

  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || endsWithBreak) text += '\n';
  }
  return text;
}

std::string UserMimeAppsPath(const XdgDirs& dirs) { return dirs.configHome + "mimeapps.list"; }

std::string DefaultHandler(const XdgDirs& dirs, std::string_view mimeType) {
  std::vector<std::string> files;
  auto addFolder = [&](const std::string& folder, bool withDefaultsList) {
    for (const std::string& desktop : DesktopNames(dirs)) files.push_back(folder + desktop + "-mimeapps.list");
    files.push_back(folder + "mimeapps.list");
    if (withDefaultsList) files.push_back(folder + "defaults.list");
  };
  addFolder(dirs.configHome, false);
  for (const std::string& folder : dirs.configDirs) addFolder(folder, false);
  addFolder(dirs.dataHome + "applications/", true);
  for (const std::string& folder : dirs.dataDirs) addFolder(folder + "applications/", true);
  for (const std::string& file : files) {
    if (!core::FileExists(file)) continue;
    const std::string id = FirstId(MimeAppsDefault(ReadWhole(file), mimeType));
    if (!id.empty()) return id;
  }
  return {};
}

bool IsAssociated(const XdgDirs& dirs, const FileType& type) {
  // The main name decides; the alias follows it.
  return FirstId(MimeAppsDefault(ReadWhole(UserMimeAppsPath(dirs)), type.mimeType)) == kDesktopId;
}

AssociationResult SetAssociations(core::OptionsStore& options, const XdgDirs& dirs, const AssociationRequest& request) {
  AssociationResult result;
  const std::string listPath = UserMimeAppsPath(dirs);
  const std::string before = ReadWhole(listPath);
  const std::array<bool, 3> flags = {request.movie, request.video, request.playlist};

  std::string text = before;
  options.BeginBatch();
  for (std::size_t i = 0; i < kFileTypes.size(); ++i) {
    const FileType& type = kFileTypes[i];
    for (const auto& [mimeType, previousKey] :
         {std::pair{type.mimeType, type.previousKey}, std::pair{type.aliasMimeType, type.aliasPreviousKey}}) {
      if (mimeType.empty()) continue;
      const std::string current = MimeAppsDefault(before, mimeType);
      std::string previous;
      if (FirstId(current) == kDesktopId) {
        previous = options.ReadText("FileTypes", previousKey, "");
      } else {
        previous = current;
        if (flags[i]) result.changed = true;
      }
      options.WriteText("FileTypes", previousKey, previous);
      text = SetMimeAppsDefault(text, mimeType, flags[i] ? kDesktopId : std::string_view(previous));
    }
  }
  options.EndBatch();

  if (request.movie || request.video || request.playlist) {
    if (!InstalledDesktopEntry(dirs) && !request.executable.empty()) result.userEntry = WriteUserEntries(dirs, request);
  } else {
    RemoveUserEntries(dirs);
  }

  if (text == before) return result;
  std::error_code ec;
  // Nothing left but what we wrote: the list goes, as it was before Vantrel wrote it.
  if (text.empty()) {
    fs::remove(listPath, ec);
    return result;
  }
  MakeFolders(dirs.configHome);
  result.error = core::WriteFileAtomic(listPath, text);
  return result;
}

std::string MimePackageXml(const TextLookup& lookup) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <!-- " + std::string(kUserEntryMark) + " -->\n";
  const FileType& movie = kFileTypes[0];
  const FileType& video = kFileTypes[1];
  const FileType& playlist = kFileTypes[2];
  xml += "  <mime-type type=\"" + std::string(movie.mimeType) + "\">\n    <comment>" +
         XmlEscape(Describe(lookup, movie)) +
         "</comment>\n    <icon name=\"" + std::string(movie.iconName) +
         "\"/>\n    <magic priority=\"50\">\n      <match type=\"string\" value=\"FWS\" offset=\"0\"/>\n"
         "      <match type=\"string\" value=\"CWS\" offset=\"0\"/>\n      <match type=\"string\" value=\"ZWS\" "
         "offset=\"0\"/>\n    </magic>\n    <glob pattern=\"*.swf\"/>\n    <glob pattern=\"*.spl\"/>\n  </mime-type>\n";
  xml += "  <mime-type type=\"" + std::string(video.mimeType) + "\">\n    <comment>" +
         XmlEscape(Describe(lookup, video)) + "</comment>\n    <icon name=\"" + std::string(video.iconName) +
         "\"/>\n    <magic priority=\"50\">\n      <match type=\"string\" value=\"FLV\" offset=\"0\"/>\n"
         "    </magic>\n    <glob pattern=\"*.flv\"/>\n  </mime-type>\n";
  xml += "  <mime-type type=\"" + std::string(playlist.mimeType) + "\">\n    <comment>" +
         XmlEscape(Describe(lookup, playlist)) + "</comment>\n    <icon name=\"" + std::string(playlist.iconName) +
         "\"/>\n    <sub-class-of type=\"application/xml\"/>\n    <glob pattern=\"*.vantrel\"/>\n  </mime-type>\n";
  xml += "</mime-info>\n";
  return xml;
}

std::string QuoteExecArgument(std::string_view argument) {
  std::string quoted = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  // The desktop-entry reader undoes one level of backslashes before splitting Exec.
  std::string escaped;
  for (const char c : quoted) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  // A literal percent sign is written twice.
  std::string out;
  for (const char c : escaped) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

std::string DesktopEntryText(const std::string& executable, const TextLookup& lookup) {
  std::string mimeTypes;
  for (const FileType& type : kFileTypes) {
    mimeTypes += std::string(type.mimeType) + ";";
    if (!type.aliasMimeType.empty()) mimeTypes += std::string(type.aliasMimeType) + ";";
  }
  const std::string comment =
      lookup ? lookup("Vantrel/strComment", "Play Flash movies, videos and projectors")
             : std::string("Play Flash movies, videos and projectors");
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Vantrel\n"
         "GenericName=Flash Player\n"
         "Comment=" + comment + "\n"
         "Exec=" + QuoteExecArgument(executable) + " %F\n"
         "Icon=vantrel\n"
         "Terminal=false\n"
         "Categories=AudioVideo;Video;Player;\n"
         "MimeType=" + mimeTypes + "\n" + std::string(kUserEntryMark) + "\n";
}

}  // namespace vantrel::system
