// FileVersioning: the version resource (VS_VERSIONINFO) of a Windows executable, read
// straight from the file's bytes by walking its PE resource directory.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::media {

// The string keys in the order they are queried; the query stops at the first missing one.
inline constexpr std::array<std::string_view, 8> kVersionKeys = {
    "CompanyName",    "FileDescription",  "FileVersion", "InternalName",
    "LegalCopyright", "OriginalFileName", "ProductName", "ProductVersion"};

// What the version walk learnt about one executable.
struct VersionInfo {
  bool hasResource = false;  // a VS_VERSIONINFO block was found and parsed
  // First "\VarFileInfo\Translation" entry as eight upper-case hex digits, language
  // first ("040904B0"); "" when there is none.
  std::string translation;
  // The values found, in kVersionKeys order up to the first missing key, each cut at
  // its first NUL and converted from UTF-16 to UTF-8.
  std::vector<std::pair<std::string, std::string>> values;
  // The key the walk stopped at, "" when all eight were present or nothing was read.
  std::string missingKey;

  // The value of key (matched without regard to case), "" when it was not read.
  std::string Value(std::string_view key) const;
};

// Reads the version facts of an executable image held in memory. Any malformed,
// truncated or looping structure simply gives a VersionInfo without a resource (or
// with fewer values); it never reads outside bytes.
VersionInfo ReadVersionInfo(std::span<const std::uint8_t> image);

// The same for a file on disk, reading only the headers and the resource it needs
// (a projector's appended movie is never loaded). A missing or unreadable file gives
// a VersionInfo without a resource.
VersionInfo ReadVersionInfoFile(const std::string& path);

// The version-resource reader: returns the file's "FileVersion" text and sets
// originalFileName to its "OriginalFileName" text; both are "" when the file has no
// version resource or the key walk stopped before them.
std::string FileVersioning(const std::string& path, std::string& originalFileName);

}  // namespace vantrel::media
