// The ".vantrel" playlist file: writing it byte for byte and reading its entries back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::player {

// Playlist files are written with the playlist format's build stamp
// (core::kPlaylistFormatBuild); the player refuses files from a build later than its
// own (core::kBuildNumber).

// The extension of playlist files, with its point.
inline constexpr std::string_view kPlaylistExtension = ".vantrel";

// The whole file text for entries with play index current: the XML declaration and the
// PLAYLIST element on the first line, each entry on its own tab-indented line after an
// empty one, CR LF line ends, and no line end after the closing tag.
std::string WritePlaylistText(const std::vector<std::string>& entries, std::int32_t current);

struct PlaylistFile {
  bool loaded = false;       // false: the file could not be read or is not well-formed XML
  std::string error;         // why it did not load
  bool hasBuild = false;     // the PLAYLIST element carries a build attribute
  std::int64_t build = 0;    // its value (read as a number; text that is not one is 0)
  std::vector<std::string> entries;  // the text of every child of PLAYLIST, in order
};

// Reads a playlist file. The file is not trusted: its size is bounded (see
// kMaxPlaylistBytes) and so is the number of entries returned (kMaxPlaylistEntries).
PlaylistFile ReadPlaylistFile(const std::string& path);
PlaylistFile ParsePlaylistText(std::string_view text);

inline constexpr std::size_t kMaxPlaylistBytes = 64u << 20;
inline constexpr std::size_t kMaxPlaylistEntries = 32767;  // the list's 16-bit index

}  // namespace vantrel::player
