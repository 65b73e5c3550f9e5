// Playlist files come from anywhere (downloads, other programs): parse them, and check
// that what the program writes reads back the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/playlist_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vantrel::player::PlaylistFile file = vantrel::player::ParsePlaylistText(text);
  if (file.entries.size() > vantrel::player::kMaxPlaylistEntries) __builtin_trap();
  if (!file.loaded) return 0;
  // Entries without "&#" (which the format leaves unescaped) and without characters XML
  // cannot carry survive a write and a read.
  for (const std::string& entry : file.entries) {
    if (entry.find("&#") != std::string::npos || entry.find('\r') != std::string::npos) return 0;
    for (const unsigned char c : entry)
      if (c < 0x20 && c != '\t' && c != '\n') return 0;
    if (!entry.empty() && (entry.front() == ' ' || entry.back() == ' ' || entry.front() == '\n' ||
                           entry.back() == '\n' || entry.front() == '\t' || entry.back() == '\t'))
      return 0;
  }
  const vantrel::player::PlaylistFile again =
      vantrel::player::ParsePlaylistText(vantrel::player::WritePlaylistText(file.entries, 0));
  if (!again.loaded || again.entries != file.entries) __builtin_trap();
  return 0;
}
